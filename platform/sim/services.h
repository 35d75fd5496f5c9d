// The simulated machine: the service control manager. It holds the service
// database (the system's own service and any other, such as an older sibling
// with a scripted answer to a stop request), starts the system's own service as
// the manager does, runs the dispatcher that calls ServiceMain and delivers
// controls, records every status report, and keeps each service's failure
// actions (set by "sc failure ...").
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/service.h"
#include "platform/service_install.h"
#include "platform/sim/hidden.h"
#include "platform/sim/objects.h"

namespace sim {

class Machine;

// How an installed service answers the manager.
enum class ServiceBehaviour {
    Own,              // a program the manager starts (StartOwnService); its states are its own reports
    StopsAfterPolls,  // running; accepts STOP, then shows STOP_PENDING to `pendingPolls` queries and is STOPPED after
    Stopped,          // installed, not running: STOP fails with ERROR_SERVICE_NOT_ACTIVE
    RefusesStop,      // running, takes no stop request: ERROR_SERVICE_CANNOT_ACCEPT_CTRL
    HangsStopping,    // accepts STOP and stays STOP_PENDING for ever
};

struct FailureAction {
    DWORD type = SC_ACTION_NONE;
    DWORD delayMs = 0;
};

struct FailureActions {
    bool set = false;
    DWORD resetPeriodSeconds = 0;
    std::vector<FailureAction> actions;
    std::string rebootMessage;
    std::string command;
};

// What the database holds for one service (a copy).
struct ServiceInfo {
    std::string name;
    std::string binaryPath;
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    ServiceBehaviour behaviour = ServiceBehaviour::Own;
    int pendingPolls = 0;  // StopsAfterPolls: STOP_PENDING answers still to give
    SERVICE_STATUS status{};
    FailureActions failureActions;
    bool markedForDelete = false;
    int queries = 0;          // QueryServiceStatus calls answered
    int controlsAccepted = 0; // controls that reached the service

    // --- install settings (services.cpp, install block) ---
    std::string displayName;  // the name when none was given
    DWORD startType = SERVICE_DEMAND_START;
    DWORD errorControl = SERVICE_ERROR_NORMAL;
    std::string loadOrderGroup;
    std::vector<std::string> dependencies;  // services this one needs
    std::string account = "LocalSystem";
    std::string description;
    DWORD configError = 0;       // ChangeServiceConfigA fails with it
    DWORD startError = 0;        // StartServiceA fails with it
    DWORD stopWaitHint = 1000;   // the wait hint a scripted service reports while stopping
    DWORD processId = 0;         // the process a scripted service runs in, 0 none
    int starts = 0;              // start requests accepted
};

class ServiceManager {
public:
    explicit ServiceManager(Machine& machine);
    ~ServiceManager();
    ServiceManager(const ServiceManager&) = delete;
    ServiceManager& operator=(const ServiceManager&) = delete;

    // --- the database, for tests and kvsim ---
    // Adds or replaces a service. Scripted services start RUNNING (Stopped: STOPPED).
    void Install(const std::string& name, const std::string& binaryPath, ServiceBehaviour behaviour,
                 int pendingPolls = 0, DWORD type = SERVICE_WIN32_OWN_PROCESS);
    void Remove(const std::string& name);
    bool Exists(const std::string& name) const;
    std::optional<ServiceInfo> Find(const std::string& name) const;
    // Every status the service reported with SetServiceStatus, in order.
    std::vector<SERVICE_STATUS> StatusHistory(const std::string& name) const;

    // Starts a service of the system as the manager does: `processMain` (the
    // program's main) runs on a new participant thread, the one thread where
    // StartServiceCtrlDispatcherA connects. The service is installed with the
    // machine's executable path when missing. Null when it is already running.
    std::shared_ptr<ThreadObject> StartOwnService(const std::string& name, std::function<int()> processMain);

    // A control sent from outside (usually from a scheduled delivery). 0 when it
    // was queued for the service's handler, else the error ControlService gives.
    // `checkAccepted` false skips the accepted-controls and pending-state checks.
    DWORD SendControl(const std::string& name, DWORD control, bool checkAccepted = true);

    // RegisterServiceCtrlHandlerA fails with `error` from now on (0: works again).
    void SetHandlerRegistrationError(DWORD error);
    // OpenSCManagerA fails with `error` from now on (0: works again).
    void SetManagerOpenError(DWORD error);

    // Applies failure actions (what "sc failure" does); 0 or ERROR_SERVICE_DOES_NOT_EXIST.
    DWORD SetFailureActions(const std::string& name, const FailureActions& actions);

    // Service handles (SC_HANDLE) still open.
    std::size_t OpenHandleCount() const;

    // --- behind the Windows calls ---
    BOOL RunDispatcher(const SERVICE_TABLE_ENTRYA* table, DWORD* error);
    SERVICE_STATUS_HANDLE RegisterHandler(const char* name, LPHANDLER_FUNCTION handler, DWORD* error);
    DWORD ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status);
    SC_HANDLE OpenManager(const char* machineName, const char* databaseName, DWORD access, DWORD* error);
    SC_HANDLE OpenService(SC_HANDLE manager, const char* name, DWORD access, DWORD* error);
    DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status);
    DWORD Query(SC_HANDLE service, SERVICE_STATUS* status);
    DWORD Delete(SC_HANDLE service);
    DWORD CloseHandle(SC_HANDLE handle);

    // --- install and configuration (services.cpp, install block) ---
    // For tests: make a service refuse reconfiguration or start, report a wait
    // hint while stopping, depend on others, or run in a process of its own.
    void SetConfigError(const std::string& name, DWORD error);
    void SetStartError(const std::string& name, DWORD error);
    void SetStopWaitHint(const std::string& name, DWORD waitHint);
    void SetDependencies(const std::string& name, std::vector<std::string> dependencies);
    // Starts a process for a running scripted service's executable; its id (0: no such service).
    DWORD RunInProcess(const std::string& name, bool refusesTermination = false);
    // A process ended: the services running in it are stopped.
    void ProcessEnded(DWORD processId);

    SC_HANDLE Create(SC_HANDLE manager, const char* name, const char* displayName, DWORD access, DWORD type,
                     DWORD startType, DWORD errorControl, const char* binaryPath, const char* loadOrderGroup,
                     const char* dependencies, const char* account, DWORD* error);
    DWORD ChangeConfig(SC_HANDLE service, DWORD type, DWORD startType, DWORD errorControl, const char* binaryPath,
                       const char* loadOrderGroup, const char* dependencies, const char* account,
                       const char* displayName);
    DWORD ChangeFailureActions(SC_HANDLE service, const SERVICE_FAILURE_ACTIONSA& actions);
    DWORD ChangeDescription(SC_HANDLE service, const char* description);
    DWORD Start(SC_HANDLE service);
    DWORD QueryConfig(SC_HANDLE service, ServiceInfo* config);
    DWORD QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS* status, DWORD* processId);
    // The dependents in stop order (a service after those that depend on it).
    DWORD EnumDependents(SC_HANDLE service, DWORD states, std::vector<ServiceInfo>* dependents);

    static std::string StateName(DWORD state);
    static std::string ControlName(DWORD control);

    struct Process;  // a program the manager started (opaque)

private:
    struct Record;
    struct ScHandle {
        bool manager = false;
        std::string service;  // key of the record
        DWORD access = 0;
    };

    Record* FindLocked(const std::string& name);
    const Record* FindLocked(const std::string& name) const;
    Record& InstallLocked(const std::string& name, const std::string& binaryPath, ServiceBehaviour behaviour,
                          int pendingPolls, DWORD type);
    DWORD SendControlLocked(Record& record, DWORD control, bool checkAccepted);
    DWORD ControlScriptedLocked(Record& record, DWORD control);
    void ReapLocked(const std::string& key);
    void EndProcess(const std::shared_ptr<Process>& process);
    void Note(const std::string& text);
    // The record behind a service handle with `access`, or null with the error.
    Record* ServiceOfLocked(SC_HANDLE service, DWORD access, DWORD* error);
    void StopInProcessLocked(Record& record, std::vector<std::string>& notes);

    Machine& machine_;
    mutable HiddenMutex mutex_;
    std::map<std::string, std::unique_ptr<Record>> services_;  // by lower-case name
    std::vector<std::shared_ptr<Process>> processes_;
    std::map<std::uintptr_t, ScHandle> scHandles_;
    std::uintptr_t nextScHandle_ = 0x70000000;
    std::map<std::uintptr_t, std::pair<std::shared_ptr<Process>, std::size_t>> statusHandles_;
    std::uintptr_t nextStatusHandle_ = 0x71000000;
    DWORD handlerRegistrationError_ = 0;
    DWORD managerOpenError_ = 0;
};

}  // namespace sim
