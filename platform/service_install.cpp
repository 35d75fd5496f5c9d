#include "platform/service_install.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/services.h"

namespace {

sim::ServiceManager* ManagerOrFail() {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) SetLastError(ERROR_INVALID_HANDLE);
    return machine ? &machine->services() : nullptr;
}

BOOL Result(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

// Lays texts out after a fixed record in the caller's buffer.
class CTextArea {
public:
    CTextArea(LPBYTE buffer, std::size_t offset) : m_buffer(buffer), m_offset(offset) {}
    LPSTR Put(const std::string& text) { return Put(text.c_str(), text.size() + 1); }
    LPSTR Put(const char* bytes, std::size_t size) {
        LPSTR at = reinterpret_cast<LPSTR>(m_buffer + m_offset);
        std::memcpy(at, bytes, size);
        m_offset += size;
        return at;
    }

private:
    LPBYTE m_buffer;
    std::size_t m_offset;
};

std::string MultiString(const std::vector<std::string>& names) {
    std::string list;
    for (const auto& name : names) list += name + '\0';
    return list + '\0';
}

}  // namespace

SC_HANDLE CreateServiceA(SC_HANDLE scManager, LPCSTR serviceName, LPCSTR displayName, DWORD desiredAccess,
                         DWORD serviceType, DWORD startType, DWORD errorControl, LPCSTR binaryPathName,
                         LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                         LPCSTR) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return nullptr;
    if (tagId) *tagId = 0;
    DWORD error = ERROR_SUCCESS;
    SC_HANDLE handle = manager->Create(scManager, serviceName, displayName, desiredAccess, serviceType, startType,
                                       errorControl, binaryPathName, loadOrderGroup, dependencies, serviceStartName,
                                       &error);
    SetLastError(error);
    return handle;
}

BOOL ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,
                          LPCSTR binaryPathName, LPCSTR loadOrderGroup, LPDWORD tagId, LPCSTR dependencies,
                          LPCSTR serviceStartName, LPCSTR, LPCSTR displayName) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    if (tagId) *tagId = 0;
    return Result(manager->ChangeConfig(service, serviceType, startType, errorControl, binaryPathName, loadOrderGroup,
                                        dependencies, serviceStartName, displayName));
}

BOOL ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    if (!info) return Result(ERROR_INVALID_ADDRESS);
    switch (infoLevel) {
        case SERVICE_CONFIG_FAILURE_ACTIONS:
            return Result(manager->ChangeFailureActions(service, *static_cast<SERVICE_FAILURE_ACTIONSA*>(info)));
        case SERVICE_CONFIG_DESCRIPTION:
            return Result(manager->ChangeDescription(service, static_cast<SERVICE_DESCRIPTIONA*>(info)->lpDescription));
        default: return Result(ERROR_INVALID_LEVEL);
    }
}

BOOL StartServiceA(SC_HANDLE service, DWORD, LPCSTR*) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    return Result(manager->Start(service));
}

BOOL QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA serviceConfig, DWORD bufSize,
                         LPDWORD bytesNeeded) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    if (!bytesNeeded) return Result(ERROR_INVALID_ADDRESS);
    sim::ServiceInfo info;
    if (DWORD error = manager->QueryConfig(service, &info)) return Result(error);
    if (info.displayName.empty()) info.displayName = info.name;
    const std::string dependencies = MultiString(info.dependencies);
    const std::size_t needed = sizeof(QUERY_SERVICE_CONFIGA) + info.binaryPath.size() + 1 +
                               info.loadOrderGroup.size() + 1 + dependencies.size() + info.account.size() + 1 +
                               info.displayName.size() + 1;
    *bytesNeeded = static_cast<DWORD>(needed);
    if (!serviceConfig || bufSize < needed) return Result(ERROR_INSUFFICIENT_BUFFER);
    auto* buffer = reinterpret_cast<LPBYTE>(serviceConfig);
    CTextArea texts(buffer, sizeof(QUERY_SERVICE_CONFIGA));
    serviceConfig->dwServiceType = info.type;
    serviceConfig->dwStartType = info.startType;
    serviceConfig->dwErrorControl = info.errorControl;
    serviceConfig->lpBinaryPathName = texts.Put(info.binaryPath);
    serviceConfig->lpLoadOrderGroup = texts.Put(info.loadOrderGroup);
    serviceConfig->dwTagId = 0;
    serviceConfig->lpDependencies = texts.Put(dependencies.data(), dependencies.size());
    serviceConfig->lpServiceStartName = texts.Put(info.account);
    serviceConfig->lpDisplayName = texts.Put(info.displayName);
    return Result(ERROR_SUCCESS);
}

BOOL QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer, DWORD bufSize,
                          LPDWORD bytesNeeded) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    if (infoLevel != SC_STATUS_PROCESS_INFO) return Result(ERROR_INVALID_LEVEL);
    if (!bytesNeeded) return Result(ERROR_INVALID_ADDRESS);
    *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
    if (!buffer || bufSize < sizeof(SERVICE_STATUS_PROCESS)) return Result(ERROR_INSUFFICIENT_BUFFER);
    SERVICE_STATUS status{};
    DWORD processId = 0;
    if (DWORD error = manager->QueryProcessStatus(service, &status, &processId)) return Result(error);
    SERVICE_STATUS_PROCESS full{status.dwServiceType, status.dwCurrentState, status.dwControlsAccepted,
                                status.dwWin32ExitCode, status.dwServiceSpecificExitCode, status.dwCheckPoint,
                                status.dwWaitHint, processId, 0};
    std::memcpy(buffer, &full, sizeof full);
    return Result(ERROR_SUCCESS);
}

BOOL EnumDependentServicesA(SC_HANDLE service, DWORD serviceState, LPENUM_SERVICE_STATUSA services, DWORD bufSize,
                            LPDWORD bytesNeeded, LPDWORD servicesReturned) {
    sim::ServiceManager* manager = ManagerOrFail();
    if (!manager) return FALSE;
    if (!bytesNeeded || !servicesReturned) return Result(ERROR_INVALID_ADDRESS);
    *bytesNeeded = 0;
    *servicesReturned = 0;
    std::vector<sim::ServiceInfo> dependents;
    if (DWORD error = manager->EnumDependents(service, serviceState, &dependents)) return Result(error);
    for (auto& info : dependents)
        if (info.displayName.empty()) info.displayName = info.name;
    std::size_t needed = dependents.size() * sizeof(ENUM_SERVICE_STATUSA);
    for (const auto& info : dependents) needed += info.name.size() + 1 + info.displayName.size() + 1;
    *bytesNeeded = static_cast<DWORD>(needed);
    if (needed == 0) return Result(ERROR_SUCCESS);
    if (!services || bufSize < needed) return Result(ERROR_MORE_DATA);
    CTextArea texts(reinterpret_cast<LPBYTE>(services), dependents.size() * sizeof(ENUM_SERVICE_STATUSA));
    for (std::size_t i = 0; i < dependents.size(); ++i) {
        services[i].lpServiceName = texts.Put(dependents[i].name);
        services[i].lpDisplayName = texts.Put(dependents[i].displayName);
        services[i].ServiceStatus = dependents[i].status;
    }
    *servicesReturned = static_cast<DWORD>(dependents.size());
    return Result(ERROR_SUCCESS);
}
