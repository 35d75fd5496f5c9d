#include "platform/process.h"

#include "platform/sim/machine.h"
#include "platform/sim/programs.h"

UINT WinExec(LPCSTR cmdLine, UINT) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !cmdLine) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return ERROR_FILE_NOT_FOUND;
    }
    sim::ProgramRun run = machine->programs().Start(cmdLine);
    if (!run.started) {
        SetLastError(run.error);
        // Results above 31 mean success, so a larger error number reads as 0.
        return run.error <= 31 ? run.error : 0;
    }
    SetLastError(ERROR_SUCCESS);
    return 33;
}
