#include "platform/service.h"

#include "platform/sim/machine.h"

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA*) {
    SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    return FALSE;
}
