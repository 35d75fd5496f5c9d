// A sink for the Mobile Broadband interface events that does nothing.
#pragma once

#include "platform/com.h"
#include "platform/mbn.h"

class CMbnChangeEventNew final : public IMbnInterfaceEvents {
public:
    CMbnChangeEventNew() = default;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT OnInterfaceCapabilityAvailable(IMbnInterface* newInterface) override;
    HRESULT OnSubscriberInformationChange(IMbnInterface* newInterface) override;
    HRESULT OnReadyStateChange(IMbnInterface* newInterface) override;
    HRESULT OnEmergencyModeChange(IMbnInterface* newInterface) override;
    HRESULT OnHomeProviderAvailable(IMbnInterface* newInterface) override;
    HRESULT OnPreferredProvidersChange(IMbnInterface* newInterface) override;
    HRESULT OnSetPreferredProvidersComplete(IMbnInterface* newInterface, ULONG requestID, HRESULT status) override;
    HRESULT OnScanNetworkComplete(IMbnInterface* newInterface, ULONG requestID, HRESULT status) override;

private:
    ~CMbnChangeEventNew() = default;

    LONG m_refCount = 1;
};
