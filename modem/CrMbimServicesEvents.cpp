#include "modem/CrMbimServicesEvents.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/CLog.h"
#include "common/WideText.h"
#include "modem/DeviceModeService.h"
#include "platform/sync.h"

namespace {

constexpr DWORD kCompletionWaitMs = 5000;
int WaitDone(HANDLE event) { return WaitForSingleObject(event, kCompletionWaitMs) == WAIT_OBJECT_0 ? 0 : 1; }

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

}  // namespace

CrMbimServicesEvents::CrMbimServicesEvents(std::vector<PendingRequest>* pendingRequests)
    : m_openDone(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_closeDone(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_setDone(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_pendingRequests(pendingRequests),
      m_requestLock(CreateEventA(nullptr, FALSE, TRUE, nullptr)) {}

CrMbimServicesEvents::~CrMbimServicesEvents() {
    for (HANDLE event : {m_openDone, m_closeDone, m_setDone, m_requestLock})
        if (event) CloseHandle(event);
}

HRESULT CrMbimServicesEvents::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IMbnDeviceServicesEvents)) {
        AddRef();
        *object = static_cast<IMbnDeviceServicesEvents*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CrMbimServicesEvents::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CrMbimServicesEvents::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

void CrMbimServicesEvents::ResetOpenDone() { ResetEvent(m_openDone); }
int CrMbimServicesEvents::WaitOpenDone() { return WaitDone(m_openDone); }
int CrMbimServicesEvents::WaitSetDone() { return WaitDone(m_setDone); }
int CrMbimServicesEvents::WaitCloseDone() { return WaitDone(m_closeDone); }

void CrMbimServicesEvents::LockRequests() { WaitForSingleObject(m_requestLock, INFINITE); }
void CrMbimServicesEvents::UnlockRequests() { SetEvent(m_requestLock); }

void CrMbimServicesEvents::DetachRequests() {
    LockRequests();
    m_pendingRequests = nullptr;
    UnlockRequests();
}

HRESULT CrMbimServicesEvents::OnOpenCommandSessionComplete(IMbnDeviceService*, HRESULT, ULONG) {
    SetEvent(m_openDone);
    return S_OK;
}

HRESULT CrMbimServicesEvents::OnCloseCommandSessionComplete(IMbnDeviceService*, HRESULT status, ULONG) {
    SetEvent(m_closeDone);
    return status;
}

HRESULT CrMbimServicesEvents::OnSetCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY* deviceServiceData,
                                                   HRESULT status, ULONG requestID) {
    if (status != S_OK) {
        Log(1, "OnSetCommandComplete-status-not-ok");
        return status;
    }
    bool matched = false;
    LockRequests();
    if (m_pendingRequests) {
        for (PendingRequest& request : *m_pendingRequests) {
            if (request.requestId != requestID) continue;
            matched = true;
            void* data = nullptr;
            if (deviceServiceData && SUCCEEDED(SafeArrayAccessData(deviceServiceData, &data))) {
                LONG lower = 0;
                LONG upper = -1;
                if (SUCCEEDED(SafeArrayGetLBound(deviceServiceData, 1, &lower)) &&
                    SUCCEEDED(SafeArrayGetUBound(deviceServiceData, 1, &upper))) {
                    long long length = static_cast<long long>(upper) - lower + 1;
                    request.responseLength = length > 0 ? static_cast<LONG>(length) : 0;
                    const BYTE* bytes = static_cast<const BYTE*>(data);
                    request.response.assign(bytes, bytes + request.responseLength);
                }
                SafeArrayUnaccessData(deviceServiceData);
            }
            break;
        }
    }
    UnlockRequests();
    if (!matched) {
        Log(1, "OnSetCommandComplete-no-match-command");
        return S_OK;
    }
    SetEvent(m_setDone);
    return S_OK;
}

HRESULT CrMbimServicesEvents::OnEventNotification(IMbnDeviceService* deviceService, ULONG,
                                                  SAFEARRAY* deviceServiceData) {
    std::string id;
    BSTR wide = nullptr;
    if (deviceService && SUCCEEDED(deviceService->get_DeviceServiceID(&wide))) id = NarrowText(wide);
    SysFreeString(wide);
    Log(4, "UUID0:");
    Log(4, id);
    if (!IsDeviceModeServiceId(id)) return S_OK;
    Log(4, "UUID1:");
    Log(4, id);
    LONG lower = 0;
    LONG upper = -1;
    void* data = nullptr;
    if (!deviceServiceData || FAILED(SafeArrayGetLBound(deviceServiceData, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(deviceServiceData, 1, &upper)) || static_cast<long long>(upper) - lower + 1 < 12 ||
        FAILED(SafeArrayAccessData(deviceServiceData, &data)))
        return S_OK;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    std::int32_t values[3];
    for (int i = 0; i < 3; ++i) {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = (v << 8) | bytes[i * 4 + k];
        values[i] = static_cast<std::int32_t>(v);
    }
    SafeArrayUnaccessData(deviceServiceData);
    char text[256];
    std::snprintf(text, sizeof text, "UI32DeviceMode=%d UI32SarIndex=%d UI32AntennaIndex=%d", values[0], values[1],
                  values[2]);
    Log(4, "Data1:");
    Log(4, text);
    return S_OK;
}

HRESULT CrMbimServicesEvents::OnQuerySupportedCommandsComplete(IMbnDeviceService*, SAFEARRAY*, HRESULT, ULONG) {
    return S_OK;
}
HRESULT CrMbimServicesEvents::OnQueryCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY*, HRESULT, ULONG) {
    return S_OK;
}
HRESULT CrMbimServicesEvents::OnOpenDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CrMbimServicesEvents::OnCloseDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CrMbimServicesEvents::OnWriteDataComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CrMbimServicesEvents::OnReadData(IMbnDeviceService*, SAFEARRAY*) { return S_OK; }
HRESULT CrMbimServicesEvents::OnInterfaceStateChange(BSTR, MBN_DEVICE_SERVICES_INTERFACE_STATE) { return S_OK; }
