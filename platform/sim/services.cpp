#include "platform/sim/services.h"

#include <algorithm>
#include <cctype>

#include "platform/sim/machine.h"
#include "platform/sync.h"

namespace sim {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

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
    std::shared_ptr<Event> wake = std::make_shared<Event>(false, false, "");
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
    auto it = services_.find(Lower(name));
    return it == services_.end() ? nullptr : it->second.get();
}

const ServiceManager::Record* ServiceManager::FindLocked(const std::string& name) const {
    auto it = services_.find(Lower(name));
    return it == services_.end() ? nullptr : it->second.get();
}

ServiceManager::Record& ServiceManager::InstallLocked(const std::string& name, const std::string& binaryPath,
                                                      ServiceBehaviour behaviour, int pendingPolls, DWORD type) {
    auto& slot = services_[Lower(name)];
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
    services_.erase(Lower(name));
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
    auto process = std::make_shared<Process>();
    process->manager = this;
    process->service = Lower(name);
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
    const std::string key = Lower(name);
    for (const auto& process : processes_) {
        if (!process->connected || process->ended) continue;
        for (std::size_t i = 0; i < process->entries.size(); ++i) {
            Process::Entry& entry = *process->entries[i];
            if (Lower(entry.name) != key) continue;
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
        if (entry.stopped) ReapLocked(Lower(entry.name));
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
        if (Lower(process->entries[i]->name) == Lower(record.info.name)) index = i;
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
            status.dwWaitHint = 1000;
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
    if (databaseName && Lower(databaseName) != "servicesactive") {
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
    scHandles_[value] = ScHandle{false, Lower(name), access};
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

}  // namespace sim
