#include "platform/sim/services.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"
#include "platform/sim/programs.h"
#include "platform/sync.h"
#include "platform/sim/names.h"

namespace sim {

namespace {

bool IsPending(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING || state == SERVICE_CONTINUE_PENDING ||
           state == SERVICE_PAUSE_PENDING;
}

// The accept flag a control needs; 0 for controls every running service takes.
DWORD AcceptFlagFor(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP: return SERVICE_ACCEPT_STOP;
        case SERVICE_CONTROL_PAUSE:
        case SERVICE_CONTROL_CONTINUE: return SERVICE_ACCEPT_PAUSE_CONTINUE;
        case SERVICE_CONTROL_SHUTDOWN: return SERVICE_ACCEPT_SHUTDOWN;
        default: return 0;
    }
}

}  // namespace

// One program the manager started for a service of the system.
struct ServiceManager::Process {
    struct Entry {
        std::string name;
        LPSERVICE_MAIN_FUNCTIONA main = nullptr;
        LPHANDLER_FUNCTION handler = nullptr;
        SERVICE_STATUS_HANDLE statusHandle = nullptr;
        bool mainReturned = false;
        bool stopped = false;
        std::vector<char> nameBuffer;  // argv[0] for ServiceMain
        char* argv[2] = {nullptr, nullptr};
    };

    ServiceManager* manager = nullptr;
    std::string service;  // key of the record it was started for
    bool connected = false;
    bool ended = false;
    std::shared_ptr<Event> wake = MakeHidden<Event>(false, false, "");
    std::deque<std::unique_ptr<Entry>> entries;
    std::deque<std::pair<std::size_t, DWORD>> controls;  // entry index, control code
};

struct ServiceManager::Record {
    ServiceInfo info;
    std::vector<SERVICE_STATUS> history;
    std::shared_ptr<Process> process;  // while the system's program runs
    int openHandles = 0;
};

namespace {
// The process whose main runs on this thread (set by StartOwnService).
thread_local ServiceManager::Process* tlProcess = nullptr;
}  // namespace

ServiceManager::ServiceManager(Machine& machine) : machine_(machine) {}

ServiceManager::~ServiceManager() = default;

void ServiceManager::Note(const std::string& text) { machine_.transcript().Add("service", text); }

std::string ServiceManager::StateName(DWORD state) {
    switch (state) {
        case SERVICE_STOPPED: return "STOPPED";
        case SERVICE_START_PENDING: return "START_PENDING";
        case SERVICE_STOP_PENDING: return "STOP_PENDING";
        case SERVICE_RUNNING: return "RUNNING";
        case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
        case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
        case SERVICE_PAUSED: return "PAUSED";
        default: return "state " + std::to_string(state);
    }
}

std::string ServiceManager::ControlName(DWORD control) {
    switch (control) {
        case SERVICE_CONTROL_STOP: return "STOP";
        case SERVICE_CONTROL_PAUSE: return "PAUSE";
        case SERVICE_CONTROL_CONTINUE: return "CONTINUE";
        case SERVICE_CONTROL_INTERROGATE: return "INTERROGATE";
        case SERVICE_CONTROL_SHUTDOWN: return "SHUTDOWN";
        default: return "control " + std::to_string(control);
    }
}

ServiceManager::Record* ServiceManager::FindLocked(const std::string& name) {
    auto it = services_.find(LowerAscii(name));
    return it == services_.end() ? nullptr : it->second.get();
}

const ServiceManager::Record* ServiceManager::FindLocked(const std::string& name) const {
    auto it = services_.find(LowerAscii(name));
    return it == services_.end() ? nullptr : it->second.get();
}

ServiceManager::Record& ServiceManager::InstallLocked(const std::string& name, const std::string& binaryPath,
                                                      ServiceBehaviour behaviour, int pendingPolls, DWORD type) {
    auto& slot = services_[LowerAscii(name)];
    slot = std::make_unique<Record>();
    ServiceInfo& info = slot->info;
    info.name = name;
    info.binaryPath = binaryPath;
    info.type = type;
    info.behaviour = behaviour;
    info.pendingPolls = std::max(pendingPolls, 0);
    info.status.dwServiceType = type;
    const bool running = behaviour != ServiceBehaviour::Own && behaviour != ServiceBehaviour::Stopped;
    info.status.dwCurrentState = running ? SERVICE_RUNNING : SERVICE_STOPPED;
    info.status.dwControlsAccepted = running && behaviour != ServiceBehaviour::RefusesStop ? SERVICE_ACCEPT_STOP : 0;
    return *slot;
}

void ServiceManager::Install(const std::string& name, const std::string& binaryPath, ServiceBehaviour behaviour,
                             int pendingPolls, DWORD type) {
    std::lock_guard lock(mutex_);
    InstallLocked(name, binaryPath, behaviour, pendingPolls, type);
}

void ServiceManager::Remove(const std::string& name) {
    std::lock_guard lock(mutex_);
    services_.erase(LowerAscii(name));
}

bool ServiceManager::Exists(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return FindLocked(name) != nullptr;
}

std::optional<ServiceInfo> ServiceManager::Find(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Record* record = FindLocked(name);
    if (!record) return std::nullopt;
    return record->info;
}

std::vector<SERVICE_STATUS> ServiceManager::StatusHistory(const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Record* record = FindLocked(name);
    return record ? record->history : std::vector<SERVICE_STATUS>{};
}

void ServiceManager::SetHandlerRegistrationError(DWORD error) {
    std::lock_guard lock(mutex_);
    handlerRegistrationError_ = error;
}

void ServiceManager::SetManagerOpenError(DWORD error) {
    std::lock_guard lock(mutex_);
    managerOpenError_ = error;
}

std::size_t ServiceManager::OpenHandleCount() const {
    std::lock_guard lock(mutex_);
    return scHandles_.size();
}

// --- starting the system's own service -------------------------------------

std::shared_ptr<ThreadObject> ServiceManager::StartOwnService(const std::string& name,
                                                              std::function<int()> processMain) {
    auto process = MakeHidden<Process>();
    process->manager = this;
    process->service = LowerAscii(name);
    {
        std::lock_guard lock(mutex_);
        Record* record = FindLocked(name);
        if (!record)
            record = &InstallLocked(name, machine_.ExecutablePath(), ServiceBehaviour::Own, 0,
                                    SERVICE_WIN32_OWN_PROCESS);
        if (record->process) return nullptr;
        record->info.status = SERVICE_STATUS{record->info.type, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
        record->process = process;
        processes_.push_back(process);
    }
    Note("start " + name);
    return machine_.clock().StartThread([this, process, processMain = std::move(processMain)]() -> DWORD {
        struct Guard {
            ServiceManager* self;
            std::shared_ptr<Process> process;
            ~Guard() {
                tlProcess = nullptr;
                self->EndProcess(process);
            }
        } guard{this, process};
        tlProcess = process.get();
        return static_cast<DWORD>(processMain());
    });
}

void ServiceManager::EndProcess(const std::shared_ptr<Process>& process) {
    std::vector<std::string> notes;
    {
        std::lock_guard lock(mutex_);
        process->ended = true;
        for (auto& [key, record] : services_) {
            if (record->process != process) continue;
            record->process = nullptr;
            if (record->info.status.dwCurrentState != SERVICE_STOPPED) {
                notes.push_back("process of " + record->info.name + " ended while " +
                                StateName(record->info.status.dwCurrentState));
                record->info.status.dwCurrentState = SERVICE_STOPPED;
                record->info.status.dwControlsAccepted = 0;
                record->info.status.dwCheckPoint = 0;
                record->info.status.dwWaitHint = 0;
            }
        }
    }
    if (machine_.clock().ShuttingDown()) return;
    for (const auto& note : notes) Note(note);
}

BOOL ServiceManager::RunDispatcher(const SERVICE_TABLE_ENTRYA* table, DWORD* error) {
    Process* process = tlProcess;
    if (!process || process->manager != this) {
        *error = ERROR_FAILED_SERVICE_CONTROLLER_CONNECT;
        return FALSE;
    }
    std::vector<std::pair<std::string, LPSERVICE_MAIN_FUNCTIONA>> entries;
    for (const SERVICE_TABLE_ENTRYA* entry = table; entry && entry->lpServiceName; ++entry) {
        if (!entry->lpServiceProc) {
            *error = ERROR_INVALID_PARAMETER;
            return FALSE;
        }
        entries.emplace_back(entry->lpServiceName, entry->lpServiceProc);
    }
    if (entries.empty()) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    std::shared_ptr<Process> self;
    {
        std::lock_guard lock(mutex_);
        if (process->connected) {
            *error = ERROR_SERVICE_ALREADY_RUNNING;
            return FALSE;
        }
        for (const auto& owned : processes_)
            if (owned.get() == process) self = owned;
        process->connected = true;
        for (const auto& [name, main] : entries) {
            auto entry = std::make_unique<Process::Entry>();
            entry->name = name;
            entry->main = main;
            entry->nameBuffer.assign(name.begin(), name.end());
            entry->nameBuffer.push_back('\0');
            entry->argv[0] = entry->nameBuffer.data();
            process->entries.push_back(std::move(entry));
            if (!FindLocked(name)) {
                InstallLocked(name, machine_.ExecutablePath(), ServiceBehaviour::Own, 0, SERVICE_WIN32_OWN_PROCESS);
                Record* record = FindLocked(name);
                record->info.status.dwCurrentState = SERVICE_START_PENDING;
                record->process = self;
            }
        }
    }

    for (std::size_t i = 0; i < entries.size(); ++i) {
        Process::Entry* entry = process->entries[i].get();
        machine_.clock().StartThread([this, self, entry]() -> DWORD {
            entry->main(1, entry->argv);
            {
                std::lock_guard lock(mutex_);
                entry->mainReturned = true;
            }
            machine_.clock().SetEvent(*self->wake);
            return 0;
        });
    }

    // The control loop: one control at a time, on this thread.
    for (;;) {
        LPHANDLER_FUNCTION handler = nullptr;
        DWORD control = 0;
        bool done = true;
        {
            std::lock_guard lock(mutex_);
            if (!process->controls.empty()) {
                auto [index, code] = process->controls.front();
                process->controls.pop_front();
                handler = process->entries[index]->handler;
                control = code;
                done = false;
            } else {
                for (const auto& entry : process->entries)
                    if (!entry->mainReturned || (entry->statusHandle && !entry->stopped)) done = false;
            }
        }
        if (handler) {
            handler(control);
            continue;
        }
        if (done) break;
        machine_.clock().Wait({process->wake}, false, INFINITE);
    }
    {
        std::lock_guard lock(mutex_);
        for (const auto& entry : process->entries) {
            if (entry->statusHandle) continue;
            // ServiceMain gave up before registering: the manager marks it stopped.
            if (Record* record = FindLocked(entry->name)) {
                record->info.status.dwCurrentState = SERVICE_STOPPED;
                record->info.status.dwControlsAccepted = 0;
            }
        }
    }
    return TRUE;
}

SERVICE_STATUS_HANDLE ServiceManager::RegisterHandler(const char* name, LPHANDLER_FUNCTION handler, DWORD* error) {
    if (!name || !handler) {
        *error = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    std::lock_guard lock(mutex_);
    if (handlerRegistrationError_) {
        *error = handlerRegistrationError_;
        return nullptr;
    }
    const std::string key = LowerAscii(name);
    for (const auto& process : processes_) {
        if (!process->connected || process->ended) continue;
        for (std::size_t i = 0; i < process->entries.size(); ++i) {
            Process::Entry& entry = *process->entries[i];
            if (LowerAscii(entry.name) != key) continue;
            entry.handler = handler;
            if (!entry.statusHandle) {
                std::uintptr_t value = nextStatusHandle_;
                nextStatusHandle_ += 4;
                statusHandles_[value] = {process, i};
                entry.statusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(value);
            }
            return entry.statusHandle;
        }
    }
    *error = ERROR_SERVICE_NOT_IN_EXE;
    return nullptr;
}

DWORD ServiceManager::ReportStatus(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) {
    std::string note;
    std::shared_ptr<Process> process;
    {
        std::lock_guard lock(mutex_);
        auto it = statusHandles_.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == statusHandles_.end()) return ERROR_INVALID_HANDLE;
        if (status.dwCurrentState < SERVICE_STOPPED || status.dwCurrentState > SERVICE_PAUSED)
            return ERROR_INVALID_PARAMETER;
        process = it->second.first;
        Process::Entry& entry = *process->entries[it->second.second];
        Record* record = FindLocked(entry.name);
        if (!record) return ERROR_SERVICE_DOES_NOT_EXIST;
        record->info.status = status;
        record->history.push_back(status);
        entry.stopped = status.dwCurrentState == SERVICE_STOPPED;
        note = "status " + record->info.name + ": " + StateName(status.dwCurrentState) +
               " accepts=" + std::to_string(status.dwControlsAccepted) +
               " checkpoint=" + std::to_string(status.dwCheckPoint) + " wait=" + std::to_string(status.dwWaitHint);
        if (entry.stopped) ReapLocked(LowerAscii(entry.name));
    }
    Note(note);
    machine_.clock().SetEvent(*process->wake);
    return ERROR_SUCCESS;
}

// --- controls ----------------------------------------------------------------

DWORD ServiceManager::SendControl(const std::string& name, DWORD control, bool checkAccepted) {
    std::shared_ptr<Event> wake;
    DWORD result = ERROR_SERVICE_DOES_NOT_EXIST;
    {
        // Noted before the handler can see it, so the transcript keeps cause before effect.
        std::lock_guard lock(mutex_);
        std::string serviceName = name;
        if (Record* record = FindLocked(name)) {
            serviceName = record->info.name;
            if (record->info.behaviour == ServiceBehaviour::Own) {
                result = SendControlLocked(*record, control, checkAccepted);
                if (result == ERROR_SUCCESS) wake = record->process->wake;
            } else {
                result = ControlScriptedLocked(*record, control);
            }
        }
        Note("control " + serviceName + ": " + ControlName(control) +
             (result ? " failed (" + std::to_string(result) + ")" : std::string()));
    }
    if (wake) machine_.clock().SetEvent(*wake);
    return result;
}

DWORD ServiceManager::SendControlLocked(Record& record, DWORD control, bool checkAccepted) {
    const std::shared_ptr<Process> process = record.process;
    const SERVICE_STATUS& status = record.info.status;
    if (!process || !process->connected || status.dwCurrentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    std::size_t index = process->entries.size();
    for (std::size_t i = 0; i < process->entries.size(); ++i)
        if (LowerAscii(process->entries[i]->name) == LowerAscii(record.info.name)) index = i;
    if (index == process->entries.size() || !process->entries[index]->handler)
        return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;  // still starting: no handler yet
    if (checkAccepted) {
        if (IsPending(status.dwCurrentState)) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        DWORD flag = AcceptFlagFor(control);
        if (flag && !(status.dwControlsAccepted & flag)) return ERROR_INVALID_SERVICE_CONTROL;
    }
    process->controls.emplace_back(index, control);
    ++record.info.controlsAccepted;
    return ERROR_SUCCESS;
}

DWORD ServiceManager::ControlScriptedLocked(Record& record, DWORD control) {
    SERVICE_STATUS& status = record.info.status;
    if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SERVICE_NOT_ACTIVE;
    if (control == SERVICE_CONTROL_INTERROGATE) return ERROR_SUCCESS;
    if (control != SERVICE_CONTROL_STOP) return ERROR_INVALID_SERVICE_CONTROL;
    switch (record.info.behaviour) {
        case ServiceBehaviour::RefusesStop: return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
        case ServiceBehaviour::StopsAfterPolls:
        case ServiceBehaviour::HangsStopping:
            if (status.dwCurrentState == SERVICE_STOP_PENDING) return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
            status.dwCurrentState = SERVICE_STOP_PENDING;
            status.dwControlsAccepted = 0;
            status.dwCheckPoint = 1;
            status.dwWaitHint = record.info.stopWaitHint;
            ++record.info.controlsAccepted;
            return ERROR_SUCCESS;
        default: return ERROR_SERVICE_NOT_ACTIVE;
    }
}

// --- service handles ---------------------------------------------------------

SC_HANDLE ServiceManager::OpenManager(const char* machineName, const char* databaseName, DWORD access,
                                      DWORD* error) {
    std::lock_guard lock(mutex_);
    if (managerOpenError_) {
        *error = managerOpenError_;
        return nullptr;
    }
    if (machineName && *machineName) {
        *error = RPC_S_SERVER_UNAVAILABLE;  // no other machine on this network
        return nullptr;
    }
    if (databaseName && LowerAscii(databaseName) != "servicesactive") {
        *error = ERROR_DATABASE_DOES_NOT_EXIST;
        return nullptr;
    }
    std::uintptr_t value = nextScHandle_;
    nextScHandle_ += 4;
    scHandles_[value] = ScHandle{true, "", access};
    return reinterpret_cast<SC_HANDLE>(value);
}

SC_HANDLE ServiceManager::OpenService(SC_HANDLE manager, const char* name, DWORD access, DWORD* error) {
    std::lock_guard lock(mutex_);
    auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(manager));
    if (it == scHandles_.end() || !it->second.manager) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (!name || !*name) {
        *error = ERROR_INVALID_NAME;
        return nullptr;
    }
    Record* record = FindLocked(name);
    if (!record) {
        *error = ERROR_SERVICE_DOES_NOT_EXIST;
        return nullptr;
    }
    ++record->openHandles;
    std::uintptr_t value = nextScHandle_;
    nextScHandle_ += 4;
    scHandles_[value] = ScHandle{false, LowerAscii(name), access};
    return reinterpret_cast<SC_HANDLE>(value);
}

DWORD ServiceManager::Control(SC_HANDLE service, DWORD control, SERVICE_STATUS* status) {
    std::string name;
    {
        std::lock_guard lock(mutex_);
        auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(service));
        if (it == scHandles_.end() || it->second.manager) return ERROR_INVALID_HANDLE;
        DWORD needed = SERVICE_USER_DEFINED_CONTROL;
        if (control == SERVICE_CONTROL_STOP) needed = SERVICE_STOP;
        if (control == SERVICE_CONTROL_INTERROGATE) needed = SERVICE_INTERROGATE;
        if (control == SERVICE_CONTROL_PAUSE || control == SERVICE_CONTROL_CONTINUE) needed = SERVICE_PAUSE_CONTINUE;
        if ((it->second.access & needed) != needed) return ERROR_ACCESS_DENIED;
        Record* record = FindLocked(it->second.service);
        if (!record) return ERROR_SERVICE_DOES_NOT_EXIST;
        name = record->info.name;
    }
    DWORD result = SendControl(name, control, true);
    if (status) {
        std::lock_guard lock(mutex_);
        if (const Record* record = FindLocked(name)) *status = record->info.status;
    }
    return result;
}

DWORD ServiceManager::Query(SC_HANDLE service, SERVICE_STATUS* status) {
    std::string note;
    {
        std::lock_guard lock(mutex_);
        auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(service));
        if (it == scHandles_.end() || it->second.manager) return ERROR_INVALID_HANDLE;
        if (!(it->second.access & SERVICE_QUERY_STATUS)) return ERROR_ACCESS_DENIED;
        if (!status) return ERROR_INVALID_PARAMETER;
        Record* record = FindLocked(it->second.service);
        if (!record) return ERROR_SERVICE_DOES_NOT_EXIST;
        SERVICE_STATUS& current = record->info.status;
        if (record->info.behaviour == ServiceBehaviour::StopsAfterPolls &&
            current.dwCurrentState == SERVICE_STOP_PENDING) {
            if (record->info.pendingPolls > 0) {
                --record->info.pendingPolls;
                ++current.dwCheckPoint;
            } else {
                current = SERVICE_STATUS{record->info.type, SERVICE_STOPPED, 0, 0, 0, 0, 0};
            }
        }
        ++record->info.queries;
        *status = current;
        note = "query " + record->info.name + ": " + StateName(current.dwCurrentState);
    }
    Note(note);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Delete(SC_HANDLE service) {
    std::string name;
    {
        std::lock_guard lock(mutex_);
        auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(service));
        if (it == scHandles_.end() || it->second.manager) return ERROR_INVALID_HANDLE;
        if (!(it->second.access & DELETE)) return ERROR_ACCESS_DENIED;
        Record* record = FindLocked(it->second.service);
        if (!record) return ERROR_SERVICE_DOES_NOT_EXIST;
        if (record->info.markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
        record->info.markedForDelete = true;
        name = record->info.name;
    }
    Note("service deleted " + name);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::CloseHandle(SC_HANDLE handle) {
    std::lock_guard lock(mutex_);
    auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == scHandles_.end()) return ERROR_INVALID_HANDLE;
    std::string key = it->second.service;
    bool manager = it->second.manager;
    scHandles_.erase(it);
    if (!manager) {
        if (Record* record = FindLocked(key)) --record->openHandles;
        ReapLocked(key);
    }
    return ERROR_SUCCESS;
}

// A service marked for delete goes once it is stopped and nobody holds it open.
void ServiceManager::ReapLocked(const std::string& key) {
    auto it = services_.find(key);
    if (it == services_.end()) return;
    const Record& record = *it->second;
    if (record.info.markedForDelete && record.openHandles <= 0 &&
        record.info.status.dwCurrentState == SERVICE_STOPPED)
        services_.erase(it);
}

DWORD ServiceManager::SetFailureActions(const std::string& name, const FailureActions& actions) {
    std::string note;
    {
        std::lock_guard lock(mutex_);
        Record* record = FindLocked(name);
        if (!record) return ERROR_SERVICE_DOES_NOT_EXIST;
        record->info.failureActions = actions;
        record->info.failureActions.set = true;
        note = "failure actions " + record->info.name + ": reset=" + std::to_string(actions.resetPeriodSeconds) +
               " actions=";
        for (std::size_t i = 0; i < actions.actions.size(); ++i) {
            static const char* const kNames[] = {"none", "restart", "reboot", "run"};
            const FailureAction& action = actions.actions[i];
            if (i) note += "/";
            note += (action.type < 4 ? kNames[action.type] : "?") + std::string("/") + std::to_string(action.delayMs);
        }
    }
    Note(note);
    return ERROR_SUCCESS;
}

// =============================================================================
// Install and configuration: CreateServiceA, ChangeServiceConfigA,
// ChangeServiceConfig2A, StartServiceA, QueryServiceConfigA,
// QueryServiceStatusEx, EnumDependentServicesA.

namespace {

bool KnownAccount(const std::string& account) {
    const std::string name = LowerAscii(account);
    return name == "localsystem" || name == ".\\localsystem" || name == "nt authority\\localservice" ||
           name == "nt authority\\networkservice";
}

// Names, each ended by a zero, the list by a second zero.
std::vector<std::string> SplitMultiString(const char* list) {
    std::vector<std::string> names;
    for (const char* at = list; at && *at; at += std::strlen(at) + 1) names.emplace_back(at);
    return names;
}

std::string StartTypeName(DWORD startType) {
    switch (startType) {
        case SERVICE_BOOT_START: return "boot";
        case SERVICE_SYSTEM_START: return "system";
        case SERVICE_AUTO_START: return "auto";
        case SERVICE_DEMAND_START: return "demand";
        case SERVICE_DISABLED: return "disabled";
        default: return std::to_string(startType);
    }
}

// The executable a registered command line starts, without quotes or arguments.
std::string ExecutableOf(const std::string& binaryPath) {
    if (!binaryPath.empty() && binaryPath[0] == '"') {
        std::size_t close = binaryPath.find('"', 1);
        return binaryPath.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    std::size_t exe = LowerAscii(binaryPath).find(".exe");
    if (exe != std::string::npos) return binaryPath.substr(0, exe + 4);
    return binaryPath.substr(0, binaryPath.find(' '));
}

bool ValidType(DWORD type) {
    return type == SERVICE_KERNEL_DRIVER || type == SERVICE_WIN32_OWN_PROCESS || type == SERVICE_WIN32_SHARE_PROCESS;
}

}  // namespace

ServiceManager::Record* ServiceManager::ServiceOfLocked(SC_HANDLE service, DWORD access, DWORD* error) {
    auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(service));
    if (it == scHandles_.end() || it->second.manager) {
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if ((it->second.access & access) != access) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    Record* record = FindLocked(it->second.service);
    if (!record) *error = ERROR_SERVICE_DOES_NOT_EXIST;
    return record;
}

void ServiceManager::SetConfigError(const std::string& name, DWORD error) {
    std::lock_guard lock(mutex_);
    if (Record* record = FindLocked(name)) record->info.configError = error;
}

void ServiceManager::SetStartError(const std::string& name, DWORD error) {
    std::lock_guard lock(mutex_);
    if (Record* record = FindLocked(name)) record->info.startError = error;
}

void ServiceManager::SetStopWaitHint(const std::string& name, DWORD waitHint) {
    std::lock_guard lock(mutex_);
    if (Record* record = FindLocked(name)) {
        record->info.stopWaitHint = waitHint;
        if (record->info.status.dwCurrentState == SERVICE_STOP_PENDING) record->info.status.dwWaitHint = waitHint;
    }
}

void ServiceManager::SetDependencies(const std::string& name, std::vector<std::string> dependencies) {
    std::lock_guard lock(mutex_);
    if (Record* record = FindLocked(name)) record->info.dependencies = std::move(dependencies);
}

DWORD ServiceManager::RunInProcess(const std::string& name, bool refusesTermination) {
    std::lock_guard lock(mutex_);
    Record* record = FindLocked(name);
    if (!record || record->info.behaviour == ServiceBehaviour::Own ||
        record->info.status.dwCurrentState == SERVICE_STOPPED)
        return 0;
    record->info.processId = machine_.programs().Launch(ExecutableOf(record->info.binaryPath), refusesTermination);
    return record->info.processId;
}

void ServiceManager::StopInProcessLocked(Record& record, std::vector<std::string>& notes) {
    record.info.processId = 0;
    if (record.info.status.dwCurrentState == SERVICE_STOPPED) return;
    notes.push_back("process of " + record.info.name + " ended while " + StateName(record.info.status.dwCurrentState));
    record.info.status = SERVICE_STATUS{record.info.type, SERVICE_STOPPED, 0, 0, 0, 0, 0};
}

void ServiceManager::ProcessEnded(DWORD processId) {
    if (!processId) return;
    std::vector<std::string> notes;
    {
        std::lock_guard lock(mutex_);
        std::vector<std::string> keys;
        for (auto& [key, record] : services_) {
            if (record->info.processId != processId || record->info.behaviour == ServiceBehaviour::Own) continue;
            StopInProcessLocked(*record, notes);
            keys.push_back(key);
        }
        for (const auto& key : keys) ReapLocked(key);
    }
    for (const auto& note : notes) Note(note);
}

SC_HANDLE ServiceManager::Create(SC_HANDLE manager, const char* name, const char* displayName, DWORD access,
                                 DWORD type, DWORD startType, DWORD errorControl, const char* binaryPath,
                                 const char* loadOrderGroup, const char* dependencies, const char* account,
                                 DWORD* error) {
    std::string note;
    SC_HANDLE handle = nullptr;
    {
        std::lock_guard lock(mutex_);
        auto it = scHandles_.find(reinterpret_cast<std::uintptr_t>(manager));
        if (it == scHandles_.end() || !it->second.manager) {
            *error = ERROR_INVALID_HANDLE;
            return nullptr;
        }
        if (!(it->second.access & SC_MANAGER_CREATE_SERVICE)) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        if (!name || !*name || std::strpbrk(name, "\\/")) {
            *error = ERROR_INVALID_NAME;
            return nullptr;
        }
        if (!binaryPath || !*binaryPath || !ValidType(type) || startType > SERVICE_DISABLED ||
            errorControl > SERVICE_ERROR_CRITICAL) {
            *error = ERROR_INVALID_PARAMETER;
            return nullptr;
        }
        if (account && !KnownAccount(account)) {
            *error = ERROR_INVALID_SERVICE_ACCOUNT;
            return nullptr;
        }
        if (const Record* existing = FindLocked(name)) {
            *error = existing->info.markedForDelete ? ERROR_SERVICE_MARKED_FOR_DELETE : ERROR_SERVICE_EXISTS;
            return nullptr;
        }
        const std::string display = displayName && *displayName ? displayName : name;
        for (const auto& [key, record] : services_) {
            const std::string other = record->info.displayName.empty() ? record->info.name : record->info.displayName;
            if (LowerAscii(other) == LowerAscii(display) || key == LowerAscii(display)) {
                *error = ERROR_DUPLICATE_SERVICE_NAME;
                return nullptr;
            }
        }
        Record& record = InstallLocked(name, binaryPath, ServiceBehaviour::Stopped, 0, type);
        record.info.displayName = display;
        record.info.startType = startType;
        record.info.errorControl = errorControl;
        record.info.loadOrderGroup = loadOrderGroup ? loadOrderGroup : "";
        record.info.dependencies = SplitMultiString(dependencies);
        record.info.account = account ? account : "LocalSystem";
        ++record.openHandles;
        std::uintptr_t value = nextScHandle_;
        nextScHandle_ += 4;
        scHandles_[value] = ScHandle{false, LowerAscii(name), access};
        handle = reinterpret_cast<SC_HANDLE>(value);
        note = "created " + std::string(name) + " start=" + StartTypeName(startType) + " path=" + binaryPath;
    }
    Note(note);
    *error = ERROR_SUCCESS;
    return handle;
}

DWORD ServiceManager::ChangeConfig(SC_HANDLE service, DWORD type, DWORD startType, DWORD errorControl,
                                   const char* binaryPath, const char* loadOrderGroup, const char* dependencies,
                                   const char* account, const char* displayName) {
    std::string note;
    {
        std::lock_guard lock(mutex_);
        DWORD error = ERROR_SUCCESS;
        Record* record = ServiceOfLocked(service, SERVICE_CHANGE_CONFIG, &error);
        if (!record) return error;
        ServiceInfo& info = record->info;
        if (info.markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
        if (info.configError) return info.configError;
        if ((type != SERVICE_NO_CHANGE && !ValidType(type)) ||
            (startType != SERVICE_NO_CHANGE && startType > SERVICE_DISABLED) ||
            (errorControl != SERVICE_NO_CHANGE && errorControl > SERVICE_ERROR_CRITICAL) ||
            (binaryPath && !*binaryPath))
            return ERROR_INVALID_PARAMETER;
        if (account && !KnownAccount(account)) return ERROR_INVALID_SERVICE_ACCOUNT;
        if (type != SERVICE_NO_CHANGE) info.type = info.status.dwServiceType = type;
        if (startType != SERVICE_NO_CHANGE) info.startType = startType;
        if (errorControl != SERVICE_NO_CHANGE) info.errorControl = errorControl;
        if (binaryPath) info.binaryPath = binaryPath;
        if (loadOrderGroup) info.loadOrderGroup = loadOrderGroup;
        if (dependencies) info.dependencies = SplitMultiString(dependencies);
        if (account) info.account = account;
        if (displayName) info.displayName = *displayName ? displayName : info.name;
        note = "config " + info.name + ": start=" + StartTypeName(info.startType) + " path=" + info.binaryPath +
               " account=" + info.account;
    }
    Note(note);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::ChangeFailureActions(SC_HANDLE service, const SERVICE_FAILURE_ACTIONSA& change) {
    std::string name;
    FailureActions actions;
    {
        std::lock_guard lock(mutex_);
        DWORD error = ERROR_SUCCESS;
        Record* record = ServiceOfLocked(service, SERVICE_CHANGE_CONFIG, &error);
        if (!record) return error;
        if (record->info.markedForDelete) return ERROR_SERVICE_MARKED_FOR_DELETE;
        if (change.cActions && !change.lpsaActions) return ERROR_INVALID_PARAMETER;
        // Only a handle that may start the service may have it restarted.
        for (DWORD i = 0; change.lpsaActions && i < change.cActions; ++i)
            if (change.lpsaActions[i].Type == SC_ACTION_RESTART) {
                DWORD startError = ERROR_SUCCESS;
                if (!ServiceOfLocked(service, SERVICE_START, &startError)) return startError;
            }
        name = record->info.name;
        actions = record->info.failureActions;
    }
    if (change.lpRebootMsg) actions.rebootMessage = change.lpRebootMsg;
    if (change.lpCommand) actions.command = change.lpCommand;
    if (change.lpsaActions) {  // without an action list the reset period is not used either
        actions.resetPeriodSeconds = change.dwResetPeriod;
        actions.actions.clear();
        for (DWORD i = 0; i < change.cActions; ++i)
            actions.actions.push_back(FailureAction{change.lpsaActions[i].Type, change.lpsaActions[i].Delay});
    }
    return SetFailureActions(name, actions);
}

DWORD ServiceManager::ChangeDescription(SC_HANDLE service, const char* description) {
    std::lock_guard lock(mutex_);
    DWORD error = ERROR_SUCCESS;
    Record* record = ServiceOfLocked(service, SERVICE_CHANGE_CONFIG, &error);
    if (!record) return error;
    if (description) record->info.description = description;
    return ERROR_SUCCESS;
}

DWORD ServiceManager::Start(SC_HANDLE service) {
    std::string note;
    DWORD error = ERROR_SUCCESS;
    {
        std::lock_guard lock(mutex_);
        Record* record = ServiceOfLocked(service, SERVICE_START, &error);
        if (!record) return error;
        ServiceInfo& info = record->info;
        if (info.markedForDelete) error = ERROR_SERVICE_MARKED_FOR_DELETE;
        else if (info.startType == SERVICE_DISABLED) error = ERROR_SERVICE_DISABLED;
        else if (info.status.dwCurrentState != SERVICE_STOPPED) error = ERROR_SERVICE_ALREADY_RUNNING;
        else if (info.startError) error = info.startError;
        else if (info.behaviour == ServiceBehaviour::Own) error = ERROR_SERVICE_REQUEST_TIMEOUT;  // no program to run here
        if (error) {
            note = "start " + info.name + " failed (" + std::to_string(error) + ")";
        } else {
            if (info.behaviour == ServiceBehaviour::Stopped) info.behaviour = ServiceBehaviour::StopsAfterPolls;
            info.status = SERVICE_STATUS{info.type, SERVICE_RUNNING,
                                         info.behaviour == ServiceBehaviour::RefusesStop ? 0u : SERVICE_ACCEPT_STOP,
                                         0, 0, 0, 0};
            info.processId = machine_.programs().Launch(ExecutableOf(info.binaryPath));
            ++info.starts;
            note = "start " + info.name;
        }
    }
    Note(note);
    return error;
}

DWORD ServiceManager::QueryConfig(SC_HANDLE service, ServiceInfo* config) {
    std::lock_guard lock(mutex_);
    DWORD error = ERROR_SUCCESS;
    Record* record = ServiceOfLocked(service, SERVICE_QUERY_CONFIG, &error);
    if (!record) return error;
    *config = record->info;
    return ERROR_SUCCESS;
}

DWORD ServiceManager::QueryProcessStatus(SC_HANDLE service, SERVICE_STATUS* status, DWORD* processId) {
    DWORD error = Query(service, status);
    if (error) return error;
    DWORD ended = 0;
    {
        std::lock_guard lock(mutex_);
        Record* record = ServiceOfLocked(service, SERVICE_QUERY_STATUS, &error);
        if (!record) return error;
        // A scripted service that has stopped leaves its process.
        if (record->info.status.dwCurrentState == SERVICE_STOPPED && record->info.behaviour != ServiceBehaviour::Own)
            std::swap(ended, record->info.processId);
        *processId = record->info.processId;
    }
    if (ended) machine_.programs().Exit(ended, 0);
    return ERROR_SUCCESS;
}

DWORD ServiceManager::EnumDependents(SC_HANDLE service, DWORD states, std::vector<ServiceInfo>* dependents) {
    std::lock_guard lock(mutex_);
    DWORD error = ERROR_SUCCESS;
    Record* record = ServiceOfLocked(service, SERVICE_ENUMERATE_DEPENDENTS, &error);
    if (!record) return error;
    if (!states || states > SERVICE_STATE_ALL) return ERROR_INVALID_PARAMETER;
    std::vector<std::string> order;  // keys, each after those that depend on it
    std::function<void(const std::string&)> visit = [&](const std::string& key) {
        for (const auto& [otherKey, other] : services_) {
            const auto& needs = other->info.dependencies;
            if (std::none_of(needs.begin(), needs.end(), [&](const std::string& n) { return LowerAscii(n) == key; }))
                continue;
            if (std::find(order.begin(), order.end(), otherKey) != order.end()) continue;
            visit(otherKey);
            if (std::find(order.begin(), order.end(), otherKey) == order.end()) order.push_back(otherKey);
        }
    };
    visit(LowerAscii(record->info.name));
    dependents->clear();
    for (const auto& key : order) {
        const ServiceInfo& info = FindLocked(key)->info;
        const bool active = info.status.dwCurrentState != SERVICE_STOPPED;
        if ((active && (states & SERVICE_ACTIVE)) || (!active && (states & SERVICE_INACTIVE)))
            dependents->push_back(info);
    }
    return ERROR_SUCCESS;
}

}  // namespace sim
