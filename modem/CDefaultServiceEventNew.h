// The device-mode channel's sink: hands the three reported numbers to the
// sender through a published request id.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/com.h"
#include "platform/mbn.h"

class CDefaultServiceEventNew : public IMbnDeviceServicesEvents {
public:
    CDefaultServiceEventNew();

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT OnQuerySupportedCommandsComplete(IMbnDeviceService* deviceService, SAFEARRAY* commandIDList,
                                             HRESULT status, ULONG requestID) override;
    HRESULT OnOpenCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) override;
    HRESULT OnCloseCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) override;
    HRESULT OnSetCommandComplete(IMbnDeviceService* deviceService, ULONG responseID, SAFEARRAY* deviceServiceData,
                                 HRESULT status, ULONG requestID) override;
    HRESULT OnQueryCommandComplete(IMbnDeviceService* deviceService, ULONG responseID, SAFEARRAY* deviceServiceData,
                                   HRESULT status, ULONG requestID) override;
    HRESULT OnEventNotification(IMbnDeviceService* deviceService, ULONG eventID, SAFEARRAY* deviceServiceData) override;
    HRESULT OnOpenDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) override;
    HRESULT OnCloseDataSessionComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) override;
    HRESULT OnWriteDataComplete(IMbnDeviceService* deviceService, HRESULT status, ULONG requestID) override;
    HRESULT OnReadData(IMbnDeviceService* deviceService, SAFEARRAY* deviceServiceData) override;
    HRESULT OnInterfaceStateChange(BSTR interfaceID, MBN_DEVICE_SERVICES_INTERFACE_STATE stateChange) override;
    virtual ~CDefaultServiceEventNew();

    // True when the session event came within 5000 ms.
    bool WaitSessionEvent();
    void ResetQueryEvents();
    void PublishRequestId(ULONG requestId);
    void ClearRequestId();
    bool WaitRequestIdPublished();
    // Waits at most 5000 ms for the answer; when it came, `values` gets the
    // three numbers and `usable` whether the answer carried them (status 0
    // and 12 bytes or more). The published id is cleared in every case.
    // Returns the wait's result.
    DWORD WaitQueryResult(std::int32_t values[3], bool* usable);

private:
    LONG m_refCount = 1;
    HANDLE m_sessionEvent = nullptr;
    HANDLE m_responseEvent = nullptr;
    HANDLE m_requestIdEvent = nullptr;
    ULONG m_requestId = 0;
    std::int32_t m_deviceMode = 0;
    std::int32_t m_sarIndex = 0;
    std::int32_t m_antennaIndex = 0;
    bool m_answerUsable = false;
    // Guards the id and the values between the sender and the API's threads.
    std::mutex m_mutex;
};
