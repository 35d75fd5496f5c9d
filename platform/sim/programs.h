// The simulated machine's programs: a table of the programs a command line can
// start (sc.exe is always there), and the record of every command line run.
// No host program is ever run; a program's behaviour is a function, and it runs
// to its end inside the call that starts it, in no virtual time.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"

namespace sim {

class Machine;

struct Program {
    std::string path;  // Windows path of the executable, e.g. "C:\\Windows\\System32\\sc.exe"
    bool startFails = false;
    DWORD startError = ERROR_FILE_NOT_FOUND;  // when it fails to start
    DWORD exitCode = 0;
    // Runs in place of the fixed exit code; gets the parsed command line, argv[0] first.
    std::function<DWORD(const std::vector<std::string>& args)> run;
};

struct ProgramRun {
    std::string commandLine;
    std::string path;  // the program found; empty when none was
    bool started = false;
    DWORD error = ERROR_SUCCESS;  // why it did not start
    DWORD exitCode = 0;
};

class Programs {
public:
    explicit Programs(Machine& machine);

    // Adds or replaces the program at `program.path`.
    void Declare(Program program);
    void Remove(const std::string& path);
    // The program a command line's first word names: a path (".exe" may be left
    // out) or a bare name looked up in the executable's folder, the current
    // folder, System32 and the Windows folder. Letter case does not matter.
    std::optional<Program> Find(const std::string& name) const;

    // Starts a command line (recorded, transcript party "process") and runs the program to its end.
    ProgramRun Start(const std::string& commandLine);
    std::vector<ProgramRun> Runs() const;

    // Splits a command line as the C runtime does: blanks separate, double
    // quotes group, a backslash escapes a quote.
    static std::vector<std::string> SplitCommandLine(const std::string& commandLine);

private:
    DWORD RunSc(const std::vector<std::string>& args);
    DWORD ScFailure(const std::vector<std::string>& args);

    Machine& machine_;
    mutable std::mutex mutex_;
    std::vector<Program> programs_;
    std::vector<ProgramRun> runs_;
};

}  // namespace sim
