// The simulated machine's programs: a table of the programs a command line can
// start (sc.exe is always there), and the record of every command line run.
// No host program is ever run; a program's behaviour is a function, and it runs
// to its end inside the call that starts it, in no virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

class Machine;

// --- Libraries (LoadLibraryA, GetProcAddress, FreeLibrary) -------------------
// A DLL the machine holds: its Windows path and the exports it provides, each
// called without arguments. Every library call is recorded (party "library").
struct Library {
    std::string path;  // e.g. "C:\\Kavrion\\FwSwitchbin\\WWANFirmwareFlash.dll"
    std::map<std::string, std::function<std::intptr_t()>> exports;  // by name, letter case counts
};

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

// A process behind HANDLEs (CreateProcessA, OpenProcess): signalled when it has
// ended. One object per process, shared by all its handles.
class ProcessObject : public Event {
public:
    ProcessObject(DWORD id, std::string path, bool ended, DWORD exitCode)
        : Event(true, ended, ""), id(id), path(std::move(path)), exitCode(exitCode) {}
    const DWORD id;
    const std::string path;
    DWORD exitCode;  // STILL_ACTIVE (259) while it runs; guarded by the Programs mutex
};

// A process that runs until it is terminated (or its service stops).
struct RunningProcess {
    DWORD id = 0;
    std::string path;  // Windows path of its executable
    DWORD parentId = 0;
    bool refusesTermination = false;  // TerminateProcess fails with ERROR_ACCESS_DENIED
    std::shared_ptr<ProcessObject> object;
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

    // --- processes that keep running (programs_running.cpp) ---
    // CreateProcessA: runs `applicationName`, or the command line's first word
    // when it is empty, to its end (recorded like Start); the new process id.
    ProgramRun Start(const std::string& applicationName, const std::string& commandLine, DWORD* processId);
    // Adds a running process of the executable at `path` (a test's, or a started service's); its id.
    DWORD Launch(const std::string& path, bool refusesTermination = false);
    // The running processes in the order they started (the Tool Help snapshot).
    std::vector<RunningProcess> Running() const;
    bool IsRunning(DWORD processId) const;
    // Null with the error OpenProcess gives when there is no such process.
    std::shared_ptr<ProcessObject> Open(DWORD processId, DWORD* error);
    // Ends the process with `exitCode`; 0 or the error TerminateProcess gives.
    // A service running in it stops.
    DWORD Terminate(ProcessObject& process, DWORD exitCode);
    // The process ended by itself (its service stopped).
    void Exit(DWORD processId, DWORD exitCode);
    // STILL_ACTIVE while it runs.
    DWORD ExitCodeOf(const ProcessObject& process) const;

    // --- Libraries (programs_libraries.cpp) ---
    // Adds or replaces the library at `library.path` (a loaded one stays loaded).
    void DeclareLibrary(Library library);
    void RemoveLibrary(const std::string& path);
    // For the library calls: the module of a path (a bare name is looked for in
    // the executable's folder, System32 and the Windows folder), null with the
    // error in `error`; each load counts.
    HMODULE LoadLibrary(const std::string& name, DWORD* error);
    // Each distinct export gets one of kExportSlots call slots; -1 with `error`.
    int ExportSlot(HMODULE module, const std::string& exportName, DWORD* error);
    std::intptr_t CallExport(int slot);
    bool FreeLibrary(HMODULE module);
    // How many loads of the library at `path` are not undone.
    int LoadCount(const std::string& path) const;
    static constexpr int kExportSlots = 16;

private:
    DWORD RunSc(const std::vector<std::string>& args);
    DWORD ScFailure(const std::vector<std::string>& args);

    Machine& machine_;
    mutable HiddenMutex mutex_;
    std::vector<Program> programs_;
    std::vector<ProgramRun> runs_;
    std::vector<RunningProcess> running_;
    DWORD nextProcessId_ = 1000;

    // --- Libraries (programs_libraries.cpp), under mutex_ ---
    struct LoadedLibrary {
        std::string path;  // as declared
        std::uintptr_t base = 0;
        int loads = 0;
    };
    struct ExportSlotEntry {
        std::string libraryPath;
        std::string exportName;
    };
    const Library* FindLibraryLocked(const std::string& name) const;
    LoadedLibrary* LoadedLocked(HMODULE module);
    std::vector<Library> libraries_;
    std::vector<LoadedLibrary> loaded_;
    std::vector<ExportSlotEntry> slots_;
};

}  // namespace sim
