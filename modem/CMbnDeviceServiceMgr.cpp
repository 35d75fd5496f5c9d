#include "modem/CMbnDeviceServiceMgr.h"

#include <new>

#include "common/ProcessSingleton.h"
#include "platform/sync.h"

namespace {

// HRESULT_FROM_WIN32(ERROR_TIMEOUT): no answer within the wait.
constexpr HRESULT kNoAnswer = static_cast<HRESULT>(0x800705B4);

template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

}  // namespace

CMbnDeviceServiceMgr* CMbnDeviceServiceMgr::GetInstance() {
    return CProcessSingletons::Get<CMbnDeviceServiceMgr>([] { return new CMbnDeviceServiceMgr(); });
}

bool CMbnDeviceServiceMgr::Init() { return InitIfNeeded() == S_OK; }

HRESULT CMbnDeviceServiceMgr::InitIfNeeded() {
    m_setUpState = 2;
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) return hr;
    if (!m_interfaceManager) {
        hr = CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                              reinterpret_cast<void**>(&m_interfaceManager));
        if (FAILED(hr)) return hr;
        if (!m_interfaceManager) return E_FAIL;
    }
    if (!m_sink) {
        m_sink = new (std::nothrow) CDefaultServiceEventNew();
        if (!m_sink) return E_OUTOFMEMORY;
    }
    if (!m_deviceServicesManager) {
        hr = CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                              reinterpret_cast<void**>(&m_deviceServicesManager));
        if (FAILED(hr)) return hr;
        if (!m_deviceServicesManager) return E_FAIL;
    }
    if (!m_connectionPointContainer) {
        hr = m_deviceServicesManager->QueryInterface(IID_IConnectionPointContainer,
                                                     reinterpret_cast<void**>(&m_connectionPointContainer));
        if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    }
    if (!m_connectionPoint) {
        hr = m_connectionPointContainer->FindConnectionPoint(IID_IMbnDeviceServicesEvents, &m_connectionPoint);
        if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    }
    if (m_adviseCookie == 0) {
        hr = m_connectionPoint->Advise(m_sink, &m_adviseCookie);
        if (FAILED(hr)) {
            m_adviseCookie = 0;
            return hr;
        }
    }
    m_setUpState = 1;
    return S_OK;
}

IMbnInterface* CMbnDeviceServiceMgr::GetFirstInterface() {
    if (!m_interfaceManager) return nullptr;
    SAFEARRAY* interfaces = nullptr;
    if (FAILED(m_interfaceManager->GetInterfaces(&interfaces)) || !interfaces) return nullptr;
    IMbnInterface* first = nullptr;
    LONG lower = 0;
    LONG upper = -1;
    if (SUCCEEDED(SafeArrayGetLBound(interfaces, 1, &lower)) && SUCCEEDED(SafeArrayGetUBound(interfaces, 1, &upper)) &&
        upper >= lower && SUCCEEDED(SafeArrayGetElement(interfaces, &lower, &first)) && first) {
        MBN_READY_STATE state = MBN_READY_STATE_OFF;
        first->GetReadyState(&state);
    }
    SafeArrayDestroy(interfaces);
    return first;
}

void CMbnDeviceServiceMgr::ReleaseSessionObjects() {
    ReleaseAndClear(m_deviceService);
    ReleaseAndClear(m_context);
    ReleaseAndClear(m_interface);
}

HRESULT CMbnDeviceServiceMgr::OpenCommandSession(const WCHAR* deviceServiceId) {
    // Each query takes the interface, context and service anew.
    ReleaseSessionObjects();
    if (!m_deviceServicesManager || !m_sink || !deviceServiceId) return E_FAIL;
    m_interface = GetFirstInterface();
    if (!m_interface) return E_FAIL;
    BSTR interfaceId = nullptr;
    if (FAILED(m_interface->get_InterfaceID(&interfaceId)) || !interfaceId) {
        SysFreeString(interfaceId);
        return E_FAIL;
    }
    HRESULT hr = m_deviceServicesManager->GetDeviceServicesContext(interfaceId, &m_context);
    SysFreeString(interfaceId);
    if (FAILED(hr) || !m_context) return E_FAIL;
    BSTR serviceId = SysAllocString(deviceServiceId);
    hr = m_context->GetDeviceService(serviceId, &m_deviceService);
    SysFreeString(serviceId);
    if (FAILED(hr) || !m_deviceService) return E_FAIL;
    BOOL open = FALSE;
    if (FAILED(m_deviceService->get_IsCommandSessionOpen(&open))) return E_FAIL;
    if (open) {
        m_sessionState = 2;
        return 0;
    }
    ULONG requestId = 0;
    if (m_deviceService->OpenCommandSession(&requestId) != S_OK) return E_FAIL;
    if (!m_sink->WaitSessionEvent()) return E_FAIL;
    m_sessionState = 1;
    return 0;
}

HRESULT CMbnDeviceServiceMgr::QueryCommand(const BYTE* command, ULONG commandSize, std::string& deviceMode,
                                           std::string& sarIndex, std::string& antennaIndex,
                                           const WCHAR* deviceServiceId, ULONG commandId) {
    if (m_setUpState == 0) Init();
    if (m_setUpState != 1) return E_FAIL;
    m_sink->ResetQueryEvents();
    HRESULT hr = OpenCommandSession(deviceServiceId);
    if (hr != 0) return hr;
    SAFEARRAY* data = BytesToSafeArray(command, commandSize);
    if (!data) return E_FAIL;
    ULONG requestId = 0;
    hr = m_deviceService->QueryCommand(commandId, data, &requestId);
    if (FAILED(hr)) {
        SafeArrayDestroy(data);
        return hr;
    }
    m_sink->PublishRequestId(requestId);
    std::int32_t values[3] = {0, 0, 0};
    bool usable = false;
    DWORD waited = m_sink->WaitQueryResult(values, &usable);
    SafeArrayDestroy(data);
    if (waited != WAIT_OBJECT_0) return kNoAnswer;
    if (!usable) return E_FAIL;
    std::string* outputs[3] = {&deviceMode, &sarIndex, &antennaIndex};
    for (int i = 0; i < 3; ++i) *outputs[i] = std::to_string(values[i] < 0 ? 0 : values[i]);
    return S_OK;
}

void CMbnDeviceServiceMgr::CloseCommandSession() {
    if (m_sessionState == 1 && m_deviceService) {
        ULONG requestId = 0;
        if (m_deviceService->CloseCommandSession(&requestId) == S_OK && m_sink) m_sink->WaitSessionEvent();
    }
    m_sessionState = 0;
    ReleaseSessionObjects();
}

void CMbnDeviceServiceMgr::Release() {
    CloseCommandSession();
    if (m_connectionPoint && m_adviseCookie != 0) m_connectionPoint->Unadvise(m_adviseCookie);
    m_adviseCookie = 0;
    ReleaseAndClear(m_connectionPoint);
    ReleaseAndClear(m_sink);
    ReleaseAndClear(m_connectionPointContainer);
    ReleaseAndClear(m_deviceServicesManager);
    ReleaseAndClear(m_interfaceManager);
    m_setUpState = 0;
}

SAFEARRAY* BytesToSafeArray(const BYTE* bytes, ULONG count) {
    if (!bytes && count > 0) return nullptr;
    SAFEARRAYBOUND bound{count, 0};
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
    if (!array) return nullptr;
    for (LONG i = 0; i < static_cast<LONG>(count); ++i) {
        BYTE byte = bytes[i];
        SafeArrayPutElement(array, &i, &byte);
    }
    return array;
}

std::string SafeArrayToString(SAFEARRAY* array) {
    VARTYPE vt = VT_EMPTY;
    LONG lower = 0;
    LONG upper = -1;
    if (!array || FAILED(SafeArrayGetVartype(array, &vt)) || vt != VT_UI1 ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) || FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return {};
    long long elements = static_cast<long long>(upper) - lower + 1;
    if (elements < 4) return {};
    BYTE byte = 0;
    std::uint32_t length = 0;
    for (LONG i = 0; i < 4; ++i) {
        LONG index = lower + i;
        if (FAILED(SafeArrayGetElement(array, &index, &byte))) return {};
        length |= static_cast<std::uint32_t>(byte) << (8 * i);
    }
    // The stored length is not trusted beyond the array's end.
    long long available = elements - 4;
    long long count = static_cast<long long>(length) < available ? static_cast<long long>(length) : available;
    std::string text;
    for (long long i = 0; i < count; ++i) {
        LONG index = static_cast<LONG>(lower + 4 + i);
        if (FAILED(SafeArrayGetElement(array, &index, &byte))) break;
        text.push_back(static_cast<char>(byte));
    }
    return text;
}

char* WideToAnsi(char* buffer, const WCHAR* wide, int bufferSize, UINT codePage) {
    if (!buffer || !wide) return nullptr;
    if (WideCharToMultiByte(codePage, 0, wide, -1, buffer, bufferSize, nullptr, nullptr) == 0) return nullptr;
    return buffer;
}
