// The AT command channel's sink for the device-service events.
#pragma once

#include <vector>

#include "modem/PendingRequest.h"
#include "platform/com.h"
#include "platform/mbn.h"

class CrMbimServicesEvents final : public IMbnDeviceServicesEvents {
public:
    // The list stays the channel's; the sink only fills replies into it.
    explicit CrMbimServicesEvents(std::vector<PendingRequest>* pendingRequests);

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

    void ResetOpenDone();
    // 0 when the event came within 5000 ms, 1 when the time ran out.
    int WaitOpenDone();
    int WaitSetDone();
    int WaitCloseDone();

    // The pending-request lock, shared with the sender. It is a layer wait, so
    // a completion that comes while the sender holds it simply waits.
    void LockRequests();
    void UnlockRequests();
    // The channel is going away: later completions find no list.
    void DetachRequests();

private:
    ~CrMbimServicesEvents();

    LONG m_refCount = 1;
    HANDLE m_openDone = nullptr;
    HANDLE m_closeDone = nullptr;
    HANDLE m_setDone = nullptr;
    std::vector<PendingRequest>* m_pendingRequests = nullptr;
    HANDLE m_requestLock = nullptr;
};
