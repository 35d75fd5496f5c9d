#include "common/ServiceHelpers.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <new>

#include "common/FileHelpers.h"
#include "common/TextHelpers.h"
#include "platform/process_control.h"
#include "platform/service_install.h"
#include "platform/sync.h"
#include "platform/toolhelp.h"

namespace {

constexpr DWORD kStopLimitMs = 30000;
constexpr DWORD kStopAndQueryAccess = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;  // 0x2C
constexpr DWORD kDependentAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;                                     // 0x24

// Closes a manager or service handle on every path.
class CScHandle {
public:
    explicit CScHandle(SC_HANDLE handle = nullptr) : m_handle(handle) {}
    ~CScHandle() {
        if (m_handle) CloseServiceHandle(m_handle);
    }
    CScHandle(const CScHandle&) = delete;
    CScHandle& operator=(const CScHandle&) = delete;
    SC_HANDLE Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    SC_HANDLE m_handle;
};

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

// Null for an empty text, so that an absent display name changes nothing.
const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

// A wait hint of 0 would spin and a long one overrun the limit.
DWORD ClampedWait(DWORD ms) { return std::clamp<DWORD>(ms, 1000, 10000); }

bool QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    return QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status,
                                &needed) != FALSE;
}

bool Expired(ULONGLONG start) { return GetTickCount64() - start > kStopLimitMs; }

// The registered executable path, or false.
bool ReadBinaryPath(SC_HANDLE service, std::string& path) {
    DWORD needed = 0;
    if (!QueryServiceConfigA(service, nullptr, 0, &needed) && GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed ? needed : 1]());
    if (!buffer) return false;
    auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.get());
    if (!QueryServiceConfigA(service, config, needed, &needed)) return false;
    path = config->lpBinaryPathName ? config->lpBinaryPathName : "";
    return true;
}

// The lower-cased file name of the executable a command line starts, without
// surrounding quotes or arguments; empty when it names no folder.
std::string ExecutableName(const std::string& commandLine) {
    std::string path;
    if (!commandLine.empty() && commandLine[0] == '"') {
        std::size_t close = commandLine.find('"', 1);
        path = commandLine.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    } else {
        // Unquoted, the path may hold blanks: it ends after ".exe" when there is one.
        std::string lower = ToLowerCopy(commandLine);
        std::size_t end = std::string::npos;
        for (std::size_t at = lower.find(".exe"); at != std::string::npos; at = lower.find(".exe", at + 1)) {
            std::size_t after = at + 4;
            if (after == lower.size() || lower[after] == ' ' || lower[after] == '\t') {
                end = after;
                break;
            }
        }
        if (end == std::string::npos) end = commandLine.find_first_of(" \t");
        path = commandLine.substr(0, end);
    }
    if (path.size() >= MAX_PATH) return "";
    std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return "";
    return ToLowerCopy(path.substr(slash + 1));
}

}  // namespace

int CreateAndStartService(ServiceInfo& info, bool automatic) {
    CScHandle manager(OpenManager());
    if (!manager) {
        std::printf("OpenSCManager failed (%d)\n", static_cast<int>(GetLastError()));
        return 2;
    }
    CScHandle service(OpenServiceA(manager.Get(), info.m_strServiceName.c_str(), SERVICE_ALL_ACCESS));
    if (service) {
        // The logon account, group, tag, dependencies and password stay as they are.
        if (!ChangeServiceConfigA(service.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                  info.m_strBinaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                  OrNull(info.m_strDisplayName)))
            return 1;
        StartServiceA(service.Get(), 0, nullptr);
        return 0;
    }
    CScHandle created(CreateServiceA(manager.Get(), info.m_strServiceName.c_str(), OrNull(info.m_strDisplayName),
                                     SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                     automatic ? SERVICE_AUTO_START : SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                     info.m_strBinaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!created) return 2;
    SetServiceFailureActions(info.m_strServiceName, created.Get());
    StartServiceA(created.Get(), 0, nullptr);
    return 0;
}

bool InstallService(ServiceInfo& info, bool automatic) {
    const int result = CreateAndStartService(info, automatic);
    if (result != 1) return result == 0;
    if (StopServiceAndWait(info.m_strServiceName) || KillServiceProcess(info)) DeleteServiceByName(info.m_strServiceName);
    return CreateAndStartService(info, automatic) == 0;
}

int UninstallService(ServiceInfo& info) {
    if (!QueryServiceBinaryPath(info)) return -1;
    if (!StopServiceAndWait(info.m_strServiceName) && !KillServiceProcess(info)) return -1;
    return DeleteServiceByName(info.m_strServiceName) ? 0 : -1;
}

int StopServiceOrKill(ServiceInfo& info) {
    if (!QueryServiceBinaryPath(info)) return 0;
    return StopServiceAndWait(info.m_strServiceName) || KillServiceProcess(info) ? 1 : 0;
}

bool DeleteServiceByName(const std::string& name) {
    CScHandle manager(OpenManager());
    if (!manager) return false;
    CScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service || !DeleteService(service.Get())) return false;
    std::printf("Service deleted successfully\n");
    return true;
}

bool StopServiceAndWait(const std::string& name) {
    const ULONGLONG start = GetTickCount64();
    CScHandle manager(OpenManager());
    if (!manager) return false;
    CScHandle service(OpenServiceA(manager.Get(), name.c_str(), kStopAndQueryAccess));
    if (!service) return false;
    SERVICE_STATUS_PROCESS status{};
    if (!QueryProcessStatus(service.Get(), status)) return false;
    if (status.dwCurrentState == SERVICE_STOPPED) return true;

    // A stop already under way: wait for it before asking again.
    while (status.dwCurrentState == SERVICE_STOP_PENDING) {
        Sleep(ClampedWait(status.dwWaitHint / 10));
        if (!QueryProcessStatus(service.Get(), status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (Expired(start)) return false;
    }

    StopDependentServices(name, manager.Get(), service.Get());
    if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)))
        return false;
    while (status.dwCurrentState != SERVICE_STOPPED) {
        Sleep(ClampedWait(status.dwWaitHint));
        if (!QueryProcessStatus(service.Get(), status)) return false;
        if (status.dwCurrentState == SERVICE_STOPPED) return true;
        if (Expired(start)) return false;
    }
    return true;
}

bool StopDependentServices(const std::string&, SC_HANDLE manager, SC_HANDLE service) {
    const ULONGLONG start = GetTickCount64();
    DWORD needed = 0;
    DWORD count = 0;
    if (EnumDependentServicesA(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) return true;
    if (GetLastError() != ERROR_MORE_DATA) return false;
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]());
    if (!buffer) return false;
    auto* dependents = reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer.get());
    if (!EnumDependentServicesA(service, SERVICE_ACTIVE, dependents, needed, &needed, &count)) return false;
    for (DWORD i = 0; i < count; ++i) {
        CScHandle dependent(OpenServiceA(manager, dependents[i].lpServiceName, kDependentAccess));
        if (!dependent) return false;
        SERVICE_STATUS_PROCESS status{};
        if (!ControlService(dependent.Get(), SERVICE_CONTROL_STOP, reinterpret_cast<LPSERVICE_STATUS>(&status)))
            return false;
        while (status.dwCurrentState != SERVICE_STOPPED) {
            Sleep(ClampedWait(status.dwWaitHint));
            if (!QueryProcessStatus(dependent.Get(), status)) return false;
            if (status.dwCurrentState == SERVICE_STOPPED) break;
            if (Expired(start)) return false;
        }
    }
    return true;
}

bool KillServiceProcess(ServiceInfo& info) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return false;
    struct Closer {
        HANDLE handle;
        ~Closer() { CloseHandle(handle); }
    } closer{snapshot};
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    if (!Process32First(snapshot, &entry)) return false;
    const std::string wanted = ExecutableName(info.m_strBinaryPath);
    if (wanted.empty()) return false;
    do {
        if (!StrEqualNoCase(ToLowerCopy(entry.szExeFile), wanted)) continue;
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
        if (!process) return false;
        const bool terminated = TerminateProcess(process, 1) != FALSE;
        CloseHandle(process);
        if (!terminated) return false;
        Sleep(1000);
        return true;
    } while (Process32Next(snapshot, &entry));
    return false;
}

bool QueryServiceBinaryPath(ServiceInfo& info) {
    CScHandle manager(OpenManager());
    if (!manager) return false;
    CScHandle service(OpenServiceA(manager.Get(), info.m_strServiceName.c_str(), SERVICE_QUERY_CONFIG));
    std::string path;
    if (!service || !ReadBinaryPath(service.Get(), path)) return false;
    if (path.size() >= ServiceInfo::kTextSize) return false;  // a cut path would name another program
    info.m_strBinaryPath = path;
    return true;
}

int ChangeServiceStartType(ServiceInfo& info, DWORD startType) {
    CScHandle manager(OpenManager());
    if (!manager) return 2;
    CScHandle service(OpenServiceA(manager.Get(), info.m_strServiceName.c_str(), SERVICE_ALL_ACCESS));
    std::string path;
    if (!service || !ReadBinaryPath(service.Get(), path) || path.size() >= ServiceInfo::kTextSize) return 2;
    info.m_strBinaryPath = path;
    return ChangeServiceConfigA(service.Get(), SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                info.m_strBinaryPath.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                OrNull(info.m_strDisplayName))
               ? 0
               : 2;
}

bool StartOrStopService(const std::string& name, bool start) {
    CScHandle manager(OpenManager());
    if (!manager) return false;
    CScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    SERVICE_STATUS status{};
    if (!service || !QueryServiceStatus(service.Get(), &status)) return false;
    if (start) {
        if (status.dwCurrentState != SERVICE_STOPPED) return true;
        return StartServiceA(service.Get(), 0, nullptr) != FALSE;
    }
    if (status.dwCurrentState != SERVICE_RUNNING) return true;
    return ControlService(service.Get(), SERVICE_CONTROL_STOP, &status) != FALSE;
}

int SetServiceRecovery(const std::string& name) {
    CScHandle manager(OpenManager());
    if (!manager) return 2;
    CScHandle service(OpenServiceA(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (!service) return 2;
    return SetServiceFailureActions(name, service.Get()) ? 0 : 2;
}

bool SetServiceFailureActions(const std::string&, SC_HANDLE service) {
    SC_ACTION actions[3] = {{SC_ACTION_RESTART, 30000}, {SC_ACTION_RESTART, 30000}, {SC_ACTION_RESTART, 30000}};
    char none[] = "";
    SERVICE_FAILURE_ACTIONSA failure{0, none, none, 3, actions};
    return ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) != FALSE;
}
