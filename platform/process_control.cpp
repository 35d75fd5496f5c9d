#include "platform/process_control.h"

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "platform/find.h"  // ERROR_DIRECTORY
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/programs.h"

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!startupInfo || !processInformation || ((!applicationName || !*applicationName) && (!commandLine || !*commandLine))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (currentDirectory) {
        auto folder = machine->files().Resolve(currentDirectory);
        std::error_code error;
        if (!folder || !std::filesystem::is_directory(*folder, error)) {
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
    }
    DWORD processId = 0;
    sim::ProgramRun run = machine->programs().Start(applicationName ? applicationName : "",
                                                    commandLine ? commandLine : "", &processId);
    if (!run.started) {
        SetLastError(run.error);
        return FALSE;
    }
    // The program has run to its end: both handles are signalled already.
    auto process = std::make_shared<sim::ProcessObject>(processId, run.path, true, run.exitCode);
    auto thread = std::make_shared<sim::ThreadObject>();
    thread->exited = true;
    thread->exitCode = run.exitCode;
    thread->id = processId + 1;
    processInformation->hProcess = machine->handles().Add(process);
    processInformation->hThread = machine->handles().Add(thread);
    processInformation->dwProcessId = processId;
    processInformation->dwThreadId = thread->id;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    sim::Machine* machine = sim::Machine::Current();
    auto object = machine ? machine->handles().Get<sim::ProcessObject>(process) : nullptr;
    if (!object || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *exitCode = machine->programs().ExitCodeOf(*object);
    return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (processId == 0) {  // the idle process
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (processId == 4) {  // the system
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    auto object = machine->programs().Open(processId, &error);
    if (!object) {
        SetLastError(error);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return machine->handles().Add(object);
}

BOOL TerminateProcess(HANDLE process, UINT exitCode) {
    sim::Machine* machine = sim::Machine::Current();
    auto object = machine ? machine->handles().Get<sim::ProcessObject>(process) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error = machine->programs().Terminate(*object, exitCode);
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}
