// Processes that keep running: started services, processes a test declares,
// and the processes CreateProcessA starts (which end within the call).
#include <algorithm>

#include "platform/sim/machine.h"
#include "platform/sim/programs.h"
#include "platform/sim/services.h"

namespace sim {

namespace {
constexpr DWORD kStillActive = 259;
}  // namespace

ProgramRun Programs::Start(const std::string& applicationName, const std::string& commandLine, DWORD* processId) {
    if (applicationName.empty()) {
        ProgramRun run = Start(commandLine);
        std::lock_guard lock(mutex_);
        *processId = run.started ? (nextProcessId_ += 4) : 0;
        return run;
    }
    ProgramRun run;
    run.commandLine = commandLine;
    std::optional<Program> program = Find(applicationName);
    if (!program) {
        run.error = ERROR_FILE_NOT_FOUND;
    } else if (program->startFails) {
        run.path = program->path;
        run.error = program->startError;
    } else {
        run.path = program->path;
        run.started = true;
    }
    machine_.transcript().Add("process", "run " + applicationName + " with " + commandLine +
                                             (run.started ? std::string()
                                                          : " failed (" + std::to_string(run.error) + ")"));
    if (run.started) run.exitCode = program->run ? program->run(SplitCommandLine(commandLine)) : program->exitCode;
    std::lock_guard lock(mutex_);
    runs_.push_back(run);
    *processId = run.started ? (nextProcessId_ += 4) : 0;
    return run;
}

DWORD Programs::Launch(const std::string& path, bool refusesTermination) {
    std::lock_guard lock(mutex_);
    RunningProcess process;
    process.id = nextProcessId_ += 4;
    process.path = path;
    process.refusesTermination = refusesTermination;
    process.object = std::make_shared<ProcessObject>(process.id, path, false, kStillActive);
    running_.push_back(process);
    return process.id;
}

std::vector<RunningProcess> Programs::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool Programs::IsRunning(DWORD processId) const {
    std::lock_guard lock(mutex_);
    return std::any_of(running_.begin(), running_.end(), [&](const RunningProcess& p) { return p.id == processId; });
}

std::shared_ptr<ProcessObject> Programs::Open(DWORD processId, DWORD* error) {
    std::lock_guard lock(mutex_);
    for (const RunningProcess& process : running_)
        if (process.id == processId) return process.object;
    *error = ERROR_INVALID_PARAMETER;  // what Windows says for an id no process has
    return nullptr;
}

DWORD Programs::Terminate(ProcessObject& process, DWORD exitCode) {
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(running_.begin(), running_.end(),
                               [&](const RunningProcess& p) { return p.id == process.id; });
        if (it == running_.end() || it->refusesTermination) return ERROR_ACCESS_DENIED;
        process.exitCode = exitCode;
        running_.erase(it);
    }
    machine_.clock().SetEvent(process);
    machine_.transcript().Add("process", "terminated " + process.path + " (" + std::to_string(process.id) +
                                             ") exit " + std::to_string(exitCode));
    // Outside the lock: the manager calls back into Exit for processes it ends itself.
    machine_.services().ProcessEnded(process.id);
    return ERROR_SUCCESS;
}

void Programs::Exit(DWORD processId, DWORD exitCode) {
    std::shared_ptr<ProcessObject> object;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(running_.begin(), running_.end(),
                               [&](const RunningProcess& p) { return p.id == processId; });
        if (it == running_.end()) return;
        object = it->object;
        object->exitCode = exitCode;
        running_.erase(it);
    }
    machine_.clock().SetEvent(*object);
}

DWORD Programs::ExitCodeOf(const ProcessObject& process) const {
    std::lock_guard lock(mutex_);
    return process.exitCode;
}

}  // namespace sim
