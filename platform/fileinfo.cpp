#include "platform/fileinfo.h"

#include <cstdio>
#include <mutex>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

DWORD GetFileSize(HANDLE handle, LPDWORD fileSizeHigh) {
    sim::Machine* machine = sim::Machine::Current();
    auto file = machine ? machine->handles().Get<sim::FileObject>(handle) : nullptr;
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    std::lock_guard lock(file->mutex);
    std::fflush(file->stream);
    long position = std::ftell(file->stream);
    std::uint64_t size = 0;
    if (std::fseek(file->stream, 0, SEEK_END) == 0) {
        long end = std::ftell(file->stream);
        if (end > 0) size = static_cast<std::uint64_t>(end);
    }
    if (position >= 0) std::fseek(file->stream, position, SEEK_SET);
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}
