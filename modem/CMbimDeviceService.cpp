#include "modem/CMbimDeviceService.h"

#include <cstdio>
#include <new>

#include "common/CLog.h"
#include "platform/sync.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// The id in the thread's code page, as a BSTR the caller frees.
BSTR WideId(const std::string& id) {
    int size = MultiByteToWideChar(CP_THREAD_ACP, 0, id.c_str(), -1, nullptr, 0);
    if (size <= 0) return nullptr;
    std::basic_string<WCHAR> wide(static_cast<std::size_t>(size), WCHAR{0});
    if (MultiByteToWideChar(CP_THREAD_ACP, 0, id.c_str(), -1, wide.data(), size) == 0) return nullptr;
    return SysAllocString(wide.c_str());
}

constexpr int kFailed = -1;

}  // namespace

CMbimDeviceService::CMbimDeviceService() { Init(); }

CMbimDeviceService::~CMbimDeviceService() {
    Uninit();
    m_pendingRequests.clear();
}

HRESULT CMbimDeviceService::Init() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr))
        Log(1, "CoInitializeEx error");
    else
        m_comInitialised = true;

    hr = CoCreateInstance(CLSID_MbnInterfaceManager, nullptr, CLSCTX_ALL, IID_IMbnInterfaceManager,
                          reinterpret_cast<void**>(&m_interfaceManager));
    if (FAILED(hr) || !m_interfaceManager) {
        Log(1, "CoCreateInstance-CLSID_MbnInterfaceManager");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = CoCreateInstance(CLSID_MbnDeviceServicesManager, nullptr, CLSCTX_ALL, IID_IMbnDeviceServicesManager,
                          reinterpret_cast<void**>(&m_deviceServicesManager));
    if (FAILED(hr) || !m_deviceServicesManager) {
        Log(1, "CoCreateInstance-CLSID_MbnDeviceServicesManager");
        return FAILED(hr) ? hr : E_FAIL;
    }
    m_sink = new (std::nothrow) CrMbimServicesEvents(&m_pendingRequests);
    if (!m_sink) {
        Log(1, "New ServiceEvent");
        return E_OUTOFMEMORY;
    }
    return AdviseEvents(m_adviseCookie, m_sink, IID_IMbnDeviceServicesEvents);
}

HRESULT CMbimDeviceService::AdviseEvents(DWORD& cookie, IUnknown* sink, REFIID eventsIid) {
    HRESULT hr = m_deviceServicesManager->QueryInterface(IID_IConnectionPointContainer,
                                                         reinterpret_cast<void**>(&m_connectionPointContainer));
    if (FAILED(hr) || !m_connectionPointContainer) {
        Log(1, "QueryInterface");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = m_connectionPointContainer->FindConnectionPoint(eventsIid, &m_connectionPoint);
    if (FAILED(hr) || !m_connectionPoint) {
        Log(1, "FindConnectionPoint");
        return FAILED(hr) ? hr : E_FAIL;
    }
    hr = m_connectionPoint->Advise(sink, &cookie);
    if (FAILED(hr)) {
        cookie = 0;
        Log(1, "Advise");
    }
    return hr;
}

HRESULT CMbimDeviceService::GetFirstInterface() {
    if (!m_interfaceManager) {
        Log(1, "InterfaceMgr is null");
        return kFailed;
    }
    ReleaseAndClear(m_interface);
    SAFEARRAY* interfaces = nullptr;
    HRESULT hr = m_interfaceManager->GetInterfaces(&interfaces);
    if (FAILED(hr)) {
        Log(1, "GetInterfaces");
        return hr;
    }
    LONG lower = 0;
    LONG upper = -1;
    IMbnInterface* first = nullptr;
    const char* failedStep = nullptr;
    if (FAILED(hr = SafeArrayGetLBound(interfaces, 1, &lower))) {
        failedStep = "SafeArrayGetLBound";
    } else if (FAILED(hr = SafeArrayGetUBound(interfaces, 1, &upper))) {
        failedStep = "SafeArrayGetUBound";
    } else if (upper < lower) {
        hr = kFailed;
    } else if (FAILED(hr = SafeArrayGetElement(interfaces, &lower, &first))) {
        failedStep = "SafeArrayGetElement";
    } else if (!first) {
        hr = kFailed;
    } else {
        MBN_READY_STATE state = MBN_READY_STATE_OFF;
        if (FAILED(hr = first->GetReadyState(&state))) failedStep = "GetReadyState";
    }
    if (failedStep) Log(1, failedStep);
    HRESULT destroyed = SafeArrayDestroy(interfaces);
    if (FAILED(hr)) {
        ReleaseAndClear(first);
        return hr;
    }
    if (FAILED(destroyed)) {
        Log(1, "SafeArrayDestroy");
        ReleaseAndClear(first);
        return destroyed;
    }
    m_interface = first;
    return S_OK;
}

bool CMbimDeviceService::CheckInterface() {
    bool present = SUCCEEDED(GetFirstInterface()) && m_interface;
    ReleaseExchange();
    return present;
}

HRESULT CMbimDeviceService::OpenDeviceService() {
    HRESULT hr = GetFirstInterface();
    if (FAILED(hr)) {
        Log(1, "GetInterface");
        return hr;
    }
    BSTR interfaceId = nullptr;
    hr = m_interface->get_InterfaceID(&interfaceId);
    if (FAILED(hr)) {
        Log(1, "get_InterfaceID");
        return hr;
    }
    ReleaseAndClear(m_context);
    hr = m_deviceServicesManager->GetDeviceServicesContext(interfaceId, &m_context);
    SysFreeString(interfaceId);
    if (FAILED(hr)) {
        Log(1, "GetDeviceServicesContext");
        return hr;
    }
    if (!m_context) return kFailed;
    BSTR serviceId = WideId(m_deviceServiceId);
    ReleaseAndClear(m_deviceService);
    hr = m_context->GetDeviceService(serviceId, &m_deviceService);
    SysFreeString(serviceId);
    if (FAILED(hr)) {
        Log(1, "GetDeviceService");
        return hr;
    }
    return m_deviceService ? S_OK : kFailed;
}

int CMbimDeviceService::SendCommand(const std::string& command, std::string& reply, std::string& hex) {
    m_sessionOpenedHere = 0;
    if (!m_deviceServicesManager || !m_sink) return kFailed;
    m_sink->ResetOpenDone();

    int result = 0;
    HRESULT hr = OpenDeviceService();
    if (FAILED(hr)) {
        Log(1, "GetService");
        result = hr;
    }
    BOOL open = FALSE;
    if (result == 0 && FAILED(hr = m_deviceService->get_IsCommandSessionOpen(&open))) {
        Log(1, "get_IsCommandSessionOpen");
        result = hr;
    }
    if (result == 0 && !open) {
        ULONG openRequest = 0;
        if (FAILED(hr = m_deviceService->OpenCommandSession(&openRequest))) {
            Log(1, "OpenCommandSession");
            result = hr;
        } else if (m_sink->WaitOpenDone() != 0) {
            Log(1, "OpenSessionTimeout ");
            result = kFailed;
        } else {
            m_sessionOpenedHere = 1;
        }
    }
    ULONG requestId = 0;
    if (result == 0) {
        // The id is recorded before a completion, however early, can look for it.
        m_sink->LockRequests();
        SAFEARRAY* data = StrToSafeArray(command);
        if (!data) {
            m_sink->UnlockRequests();
            Log(4, "StrToSafeArray\n");
            result = kFailed;
        } else {
            hr = m_deviceService->SetCommand(m_commandId, data, &requestId);
            if (FAILED(hr))
                m_pendingRequests.pop_back();
            else
                m_pendingRequests.back().requestId = requestId;
            m_sink->UnlockRequests();
            SafeArrayDestroy(data);
            if (FAILED(hr)) {
                Log(4, "SetCommand\n");
                result = hr;
            }
        }
    }
    if (result == 0 && m_sink->WaitSetDone() != 0) {
        Log(4, "SetCommandTimeout \n");
        result = kFailed;
    }
    if (result == 0) {
        m_sink->LockRequests();
        for (auto it = m_pendingRequests.begin(); it != m_pendingRequests.end(); ++it) {
            if (it->requestId != requestId) continue;
            reply.assign(it->response.begin(), it->response.begin() + it->responseLength);
            for (LONG i = 0; i < it->responseLength; ++i) {
                char digits[4];
                std::snprintf(digits, sizeof digits, "%02X", it->response[static_cast<std::size_t>(i)]);
                hex += digits;
                hex += ' ';
            }
            m_pendingRequests.erase(it);
            break;
        }
        m_sink->UnlockRequests();
    }

    if (m_sessionOpenedHere && m_deviceService) {
        ULONG closeRequest = 0;
        if (FAILED(m_deviceService->CloseCommandSession(&closeRequest)))
            Log(4, "CloseCommandSession\n");
        else if (m_sink->WaitCloseDone() != 0)
            Log(4, "CloseSessionTimeout\n");
    }
    m_sessionOpenedHere = 0;
    ReleaseExchange();
    return result;
}

SAFEARRAY* CMbimDeviceService::StrToSafeArray(const std::string& command) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(command.size()), 0};
    SAFEARRAY* array = SafeArrayCreate(VT_UI1, 1, &bound);
    if (!array) return nullptr;
    PendingRequest request;
    request.commandLength = static_cast<LONG>(command.size());
    request.command.assign(command.begin(), command.end());
    request.command.push_back(0);
    for (LONG i = 0; i < request.commandLength; ++i) {
        BYTE byte = request.command[static_cast<std::size_t>(i)];
        SafeArrayPutElement(array, &i, &byte);
    }
    m_pendingRequests.push_back(std::move(request));
    return array;
}

HRESULT CMbimDeviceService::Unadvise(DWORD cookie) {
    HRESULT hr = m_connectionPoint ? m_connectionPoint->Unadvise(cookie) : E_POINTER;
    ReleaseAndClear(m_connectionPoint);
    ReleaseAndClear(m_connectionPointContainer);
    return hr;
}

void CMbimDeviceService::Uninit() {
    if (m_connectionPoint && m_adviseCookie != 0) {
        if (FAILED(Unadvise(m_adviseCookie))) Log(1, "Unadvise");
        m_adviseCookie = 0;
    }
    ReleaseAndClear(m_connectionPoint);
    ReleaseAndClear(m_connectionPointContainer);
    if (m_sink) {
        m_sink->DetachRequests();
        m_sink->Release();
        m_sink = nullptr;
    }
    ReleaseExchange();
    ReleaseAndClear(m_deviceServicesManager);
    ReleaseAndClear(m_interfaceManager);
    if (m_comInitialised) {
        CoUninitialize();
        m_comInitialised = false;
        Log(4, "CoUninitialize");
    }
}

void CMbimDeviceService::ReleaseExchange() {
    ReleaseAndClear(m_context);
    ReleaseAndClear(m_deviceService);
    ReleaseAndClear(m_interface);
}

int CMbimDeviceService::ReleaseService() {
    ReleaseExchange();
    return 0;
}

bool CMbimDeviceService::SetCommandId(ULONG commandId) {
    m_commandId = commandId;
    return true;
}

bool CMbimDeviceService::SetDeviceServiceId(const std::string& id) {
    std::string bare;
    if (id.size() == 38 && id.front() == '{' && id.back() == '}')
        bare = id.substr(1, 36);
    else if (id.size() == 36)
        bare = id;
    else
        return false;
    for (char& c : bare) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        bool hexDigit = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        if (!hexDigit && c != '-') return false;
    }
    m_deviceServiceId = "{" + bare + "}";
    return true;
}
