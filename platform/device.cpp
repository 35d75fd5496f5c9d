#include "platform/device.h"

#include "platform/sim/driver.h"
#include "platform/sim/machine.h"

BOOL DeviceIoControl(HANDLE device, DWORD ioControlCode, LPVOID inBuffer, DWORD inBufferSize, LPVOID outBuffer,
                     DWORD outBufferSize, LPDWORD bytesReturned, LPOVERLAPPED) {
    sim::Machine* machine = sim::Machine::Current();
    auto object = machine ? machine->handles().Get<sim::DeviceObject>(device) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD error = machine->driver().Control(*object, ioControlCode, inBuffer, inBufferSize, outBuffer, outBufferSize,
                                            bytesReturned);
    SetLastError(error);
    return error == ERROR_SUCCESS ? TRUE : FALSE;
}
