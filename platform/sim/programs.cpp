#include "platform/sim/programs.h"

#include <algorithm>
#include <cctype>

#include "platform/service.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/services.h"
#include "platform/sim/names.h"

namespace sim {

namespace {

constexpr DWORD ERROR_INVALID_COMMAND_LINE = 1639;
const char kSystemFolder[] = "C:\\Windows\\System32";
const char kWindowsFolder[] = "C:\\Windows";

bool HasExtension(const std::string& name) {
    std::size_t slash = name.find_last_of("\\/");
    std::size_t dot = name.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool ParseDecimal(const std::string& text, DWORD* value) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long result = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        result = result * 10 + static_cast<unsigned>(c - '0');
    }
    if (result > 0xFFFFFFFFull) return false;
    *value = static_cast<DWORD>(result);
    return true;
}

}  // namespace

Programs::Programs(Machine& machine) : machine_(machine) {
    Program sc;
    sc.path = std::string(kSystemFolder) + "\\sc.exe";
    sc.run = [this](const std::vector<std::string>& args) { return RunSc(args); };
    programs_.push_back(std::move(sc));
}

void Programs::Declare(Program program) {
    std::lock_guard lock(mutex_);
    const std::string key = LowerAscii(program.path);
    programs_.erase(std::remove_if(programs_.begin(), programs_.end(),
                                   [&](const Program& p) { return LowerAscii(p.path) == key; }),
                    programs_.end());
    programs_.push_back(std::move(program));
}

void Programs::Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    const std::string key = LowerAscii(path);
    programs_.erase(std::remove_if(programs_.begin(), programs_.end(),
                                   [&](const Program& p) { return LowerAscii(p.path) == key; }),
                    programs_.end());
}

std::optional<Program> Programs::Find(const std::string& name) const {
    if (name.empty()) return std::nullopt;
    std::vector<std::string> candidates;
    const std::string file = HasExtension(name) ? name : name + ".exe";
    if (name.find_first_of("\\/:") != std::string::npos) {
        candidates.push_back(machine_.files().Normalize(file));
    } else {
        for (const std::string& folder : {FolderOf(machine_.ExecutablePath()), machine_.files().CurrentDirectory(),
                                          std::string(kSystemFolder), std::string(kWindowsFolder)})
            candidates.push_back(folder + "\\" + file);
    }
    std::lock_guard lock(mutex_);
    for (const std::string& candidate : candidates)
        for (const Program& program : programs_)
            if (LowerAscii(program.path) == LowerAscii(candidate)) return program;
    return std::nullopt;
}

std::vector<std::string> Programs::SplitCommandLine(const std::string& commandLine) {
    std::vector<std::string> args;
    std::size_t i = 0;
    const std::size_t n = commandLine.size();
    for (;;) {
        while (i < n && (commandLine[i] == ' ' || commandLine[i] == '\t')) ++i;
        if (i >= n) break;
        std::string arg;
        bool quoted = false;
        for (; i < n; ++i) {
            char c = commandLine[i];
            if (!quoted && (c == ' ' || c == '\t')) break;
            if (c == '\\') {
                std::size_t slashes = 0;
                while (i < n && commandLine[i] == '\\') ++slashes, ++i;
                if (i < n && commandLine[i] == '"') {
                    arg.append(slashes / 2, '\\');
                    if (slashes % 2) {
                        arg += '"';
                        continue;
                    }
                    --i;  // the quote toggles on the next round
                    continue;
                }
                arg.append(slashes, '\\');
                --i;
                continue;
            }
            if (c == '"') {
                quoted = !quoted;
                continue;
            }
            arg += c;
        }
        args.push_back(std::move(arg));
    }
    return args;
}

ProgramRun Programs::Start(const std::string& commandLine) {
    ProgramRun run;
    run.commandLine = commandLine;
    const std::vector<std::string> args = SplitCommandLine(commandLine);
    std::optional<Program> program = args.empty() ? std::nullopt : Find(args[0]);
    if (!program) {
        run.error = ERROR_FILE_NOT_FOUND;
    } else if (program->startFails) {
        run.path = program->path;
        run.error = program->startError;
    } else {
        run.path = program->path;
        run.started = true;
    }
    machine_.transcript().Add(
        "process", "run " + commandLine + (run.started ? std::string() : " failed (" + std::to_string(run.error) + ")"));
    if (run.started) run.exitCode = program->run ? program->run(args) : program->exitCode;
    std::lock_guard lock(mutex_);
    runs_.push_back(run);
    return run;
}

std::vector<ProgramRun> Programs::Runs() const {
    std::lock_guard lock(mutex_);
    return runs_;
}

// --- sc.exe ------------------------------------------------------------------

DWORD Programs::RunSc(const std::vector<std::string>& args) {
    if (args.size() >= 2 && LowerAscii(args[1]) == "failure") return ScFailure(args);
    return args.size() >= 2 ? ERROR_SUCCESS : ERROR_INVALID_COMMAND_LINE;  // other verbs are only recorded
}

// sc failure <service> [reset= <seconds>] [reboot= <message>] [command= <line>] [actions= <type>/<ms>/...]
DWORD Programs::ScFailure(const std::vector<std::string>& args) {
    if (args.size() < 3) return ERROR_INVALID_COMMAND_LINE;
    const std::string& name = args[2];
    auto service = machine_.services().Find(name);
    if (!service) return ERROR_SERVICE_DOES_NOT_EXIST;
    FailureActions actions = service->failureActions;
    bool haveReset = false;
    bool haveActions = false;
    for (std::size_t i = 3; i < args.size(); i += 2) {
        const std::string option = LowerAscii(args[i]);
        if (option.empty() || option.back() != '=' || i + 1 >= args.size()) return ERROR_INVALID_COMMAND_LINE;
        const std::string& value = args[i + 1];
        if (option == "reset=") {
            if (LowerAscii(value) == "infinite") {
                actions.resetPeriodSeconds = 0xFFFFFFFF;
            } else if (!ParseDecimal(value, &actions.resetPeriodSeconds)) {
                return ERROR_INVALID_PARAMETER;
            }
            haveReset = true;
        } else if (option == "reboot=") {
            actions.rebootMessage = value;
        } else if (option == "command=") {
            actions.command = value;
        } else if (option == "actions=") {
            std::vector<std::string> parts;
            std::size_t start = 0;
            if (!value.empty()) {
                for (std::size_t slash; (slash = value.find('/', start)) != std::string::npos; start = slash + 1)
                    parts.push_back(value.substr(start, slash - start));
                parts.push_back(value.substr(start));
            }
            if (parts.size() % 2) return ERROR_INVALID_PARAMETER;
            actions.actions.clear();
            for (std::size_t k = 0; k < parts.size(); k += 2) {
                FailureAction action;
                const std::string type = LowerAscii(parts[k]);
                if (type == "restart") action.type = SC_ACTION_RESTART;
                else if (type == "reboot") action.type = SC_ACTION_REBOOT;
                else if (type == "run") action.type = SC_ACTION_RUN_COMMAND;
                else if (type.empty() || type == "none") action.type = SC_ACTION_NONE;
                else return ERROR_INVALID_PARAMETER;
                if (!ParseDecimal(parts[k + 1], &action.delayMs)) return ERROR_INVALID_PARAMETER;
                actions.actions.push_back(action);
            }
            haveActions = true;
        } else {
            return ERROR_INVALID_COMMAND_LINE;
        }
    }
    // The reset period and the actions go together.
    if (haveReset != haveActions) return ERROR_INVALID_PARAMETER;
    return machine_.services().SetFailureActions(service->name, actions);
}

}  // namespace sim
