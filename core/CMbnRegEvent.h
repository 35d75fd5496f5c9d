// The sink of the Mobile Broadband registration events: a registration-state change hands the
// registered provider ID to the worker.
#pragma once

#include "platform/mbn.h"

class CMbnRegEvent final : public IMbnRegistrationEvents {
public:
    // The count starts at 1: the creator's reference.
    CMbnRegEvent() {}
    CMbnRegEvent(const CMbnRegEvent&) = delete;
    CMbnRegEvent& operator=(const CMbnRegEvent&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT OnRegisterModeAvailable(IMbnRegistration* newInterface) override;
    HRESULT OnRegisterStateChange(IMbnRegistration* newInterface) override;
    HRESULT OnPacketServiceStateChange(IMbnRegistration* newInterface) override;
    HRESULT OnSetRegisterModeComplete(IMbnRegistration* newInterface, ULONG requestID, HRESULT status) override;

    // Logs the home provider of the modem's interfaces; nothing calls it.
    bool GetSimInfo();

private:
    ~CMbnRegEvent() {}

    volatile LONG m_refCount = 1;
};
