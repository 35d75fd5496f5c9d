#include "modem/CDefaultServiceEventNew.h"

#include <cstdint>
#include <string>

#include "common/WideText.h"
#include "modem/DeviceModeService.h"
#include "platform/sync.h"

namespace {

constexpr DWORD kAnswerWaitMs = 5000;
constexpr DWORD kPublishWaitMs = 20480;

bool IsDeviceModeService(IMbnDeviceService* service) {
    BSTR id = nullptr;
    if (!service || FAILED(service->get_DeviceServiceID(&id))) return false;
    std::string text = NarrowText(id);
    SysFreeString(id);
    return IsDeviceModeServiceId(text);
}

}  // namespace

CDefaultServiceEventNew::CDefaultServiceEventNew()
    : m_sessionEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_responseEvent(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_requestIdEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CDefaultServiceEventNew::~CDefaultServiceEventNew() {
    for (HANDLE event : {m_sessionEvent, m_responseEvent, m_requestIdEvent})
        if (event) CloseHandle(event);
}

HRESULT CDefaultServiceEventNew::QueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    if (IsEqualIID(riid, IID_IMbnDeviceServicesEvents)) {
        AddRef();
        *object = static_cast<IMbnDeviceServicesEvents*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG CDefaultServiceEventNew::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CDefaultServiceEventNew::Release() {
    LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
}

bool CDefaultServiceEventNew::WaitSessionEvent() {
    return WaitForSingleObject(m_sessionEvent, kAnswerWaitMs) == WAIT_OBJECT_0;
}

void CDefaultServiceEventNew::ResetQueryEvents() {
    ResetEvent(m_responseEvent);
    ClearRequestId();
}

void CDefaultServiceEventNew::PublishRequestId(ULONG requestId) {
    {
        std::lock_guard lock(m_mutex);
        m_requestId = requestId;
    }
    SetEvent(m_requestIdEvent);
}

void CDefaultServiceEventNew::ClearRequestId() {
    {
        std::lock_guard lock(m_mutex);
        m_requestId = 0;
    }
    ResetEvent(m_requestIdEvent);
}

bool CDefaultServiceEventNew::WaitRequestIdPublished() {
    return WaitForSingleObject(m_requestIdEvent, kPublishWaitMs) == WAIT_OBJECT_0;
}

DWORD CDefaultServiceEventNew::WaitQueryResult(std::int32_t values[3], bool* usable) {
    DWORD result = WaitForSingleObject(m_responseEvent, kAnswerWaitMs);
    if (result == WAIT_OBJECT_0) {
        std::lock_guard lock(m_mutex);
        values[0] = m_deviceMode;
        values[1] = m_sarIndex;
        values[2] = m_antennaIndex;
        if (usable) *usable = m_answerUsable;
    }
    ClearRequestId();
    return result;
}

HRESULT CDefaultServiceEventNew::OnOpenCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT, ULONG) {
    if (IsDeviceModeService(deviceService)) SetEvent(m_sessionEvent);
    return S_OK;
}

HRESULT CDefaultServiceEventNew::OnCloseCommandSessionComplete(IMbnDeviceService* deviceService, HRESULT, ULONG) {
    if (IsDeviceModeService(deviceService)) SetEvent(m_sessionEvent);
    return S_OK;
}

HRESULT CDefaultServiceEventNew::OnQueryCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY* deviceServiceData,
                                                        HRESULT status, ULONG requestID) {
    // The completion can overtake the sender's publication of its id.
    if (!WaitRequestIdPublished()) return S_OK;
    {
        std::lock_guard lock(m_mutex);
        if (requestID != m_requestId) return S_OK;
        m_answerUsable = false;
        LONG lower = 0;
        LONG upper = -1;
        void* data = nullptr;
        if (status == S_OK && deviceServiceData && SUCCEEDED(SafeArrayGetLBound(deviceServiceData, 1, &lower)) &&
            SUCCEEDED(SafeArrayGetUBound(deviceServiceData, 1, &upper)) &&
            SUCCEEDED(SafeArrayAccessData(deviceServiceData, &data))) {
            if (static_cast<long long>(upper) - lower + 1 >= 12) {
                const BYTE* bytes = static_cast<const BYTE*>(data);
                std::int32_t* targets[3] = {&m_deviceMode, &m_sarIndex, &m_antennaIndex};
                for (int i = 0; i < 3; ++i) {
                    std::uint32_t v = 0;
                    for (int k = 3; k >= 0; --k) v = (v << 8) | bytes[i * 4 + k];
                    *targets[i] = static_cast<std::int32_t>(v);
                }
                m_answerUsable = true;
            }
            SafeArrayUnaccessData(deviceServiceData);
        }
    }
    SetEvent(m_responseEvent);
    return S_OK;
}

HRESULT CDefaultServiceEventNew::OnQuerySupportedCommandsComplete(IMbnDeviceService*, SAFEARRAY*, HRESULT, ULONG) {
    return S_OK;
}
HRESULT CDefaultServiceEventNew::OnSetCommandComplete(IMbnDeviceService*, ULONG, SAFEARRAY*, HRESULT, ULONG) {
    return S_OK;
}
HRESULT CDefaultServiceEventNew::OnEventNotification(IMbnDeviceService*, ULONG, SAFEARRAY*) { return S_OK; }
HRESULT CDefaultServiceEventNew::OnOpenDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CDefaultServiceEventNew::OnCloseDataSessionComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CDefaultServiceEventNew::OnWriteDataComplete(IMbnDeviceService*, HRESULT, ULONG) { return S_OK; }
HRESULT CDefaultServiceEventNew::OnReadData(IMbnDeviceService*, SAFEARRAY*) { return S_OK; }
HRESULT CDefaultServiceEventNew::OnInterfaceStateChange(BSTR, MBN_DEVICE_SERVICES_INTERFACE_STATE) { return S_OK; }
