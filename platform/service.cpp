#include "platform/service.h"

#include "platform/sim/machine.h"
#include "platform/sim/services.h"

namespace {

sim::ServiceManager* ManagerOrFail(DWORD error) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) SetLastError(error);
    return machine ? &machine->services() : nullptr;
}

BOOL Result(DWORD error) {
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}

}  // namespace

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA* serviceStartTable) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    if (!manager) return FALSE;
    DWORD error = ERROR_SUCCESS;
    BOOL ok = manager->RunDispatcher(serviceStartTable, &error);
    SetLastError(error);
    return ok;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR serviceName, LPHANDLER_FUNCTION handler) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_SERVICE_NOT_IN_EXE);
    if (!manager) return nullptr;
    DWORD error = ERROR_SUCCESS;
    SERVICE_STATUS_HANDLE handle = manager->RegisterHandler(serviceName, handler, &error);
    SetLastError(error);
    return handle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE statusHandle, LPSERVICE_STATUS status) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return FALSE;
    if (!status) return Result(ERROR_INVALID_PARAMETER);
    return Result(manager->ReportStatus(statusHandle, *status));
}

SC_HANDLE OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
    sim::ServiceManager* manager = ManagerOrFail(RPC_S_SERVER_UNAVAILABLE);
    if (!manager) return nullptr;
    DWORD error = ERROR_SUCCESS;
    SC_HANDLE handle = manager->OpenManager(machineName, databaseName, desiredAccess, &error);
    SetLastError(error);
    return handle;
}

SC_HANDLE OpenServiceA(SC_HANDLE scManager, LPCSTR serviceName, DWORD desiredAccess) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return nullptr;
    DWORD error = ERROR_SUCCESS;
    SC_HANDLE handle = manager->OpenService(scManager, serviceName, desiredAccess, &error);
    SetLastError(error);
    return handle;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return FALSE;
    return Result(manager->Control(service, control, status));
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return FALSE;
    return Result(manager->Query(service, status));
}

BOOL DeleteService(SC_HANDLE service) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return FALSE;
    return Result(manager->Delete(service));
}

BOOL CloseServiceHandle(SC_HANDLE object) {
    sim::ServiceManager* manager = ManagerOrFail(ERROR_INVALID_HANDLE);
    if (!manager) return FALSE;
    return Result(manager->CloseHandle(object));
}
