#include "platform/sim/call_support.h"

#include <system_error>

#include "platform/sim/file_system.h"

namespace sim {

Machine* MachineOrFail() {
    Machine* machine = Machine::Current();
    if (!machine) SetLastError(ERROR_NOT_SUPPORTED);
    return machine;
}

std::optional<std::filesystem::path> ResolveOrFail(LPCSTR path) { return ResolveOrFail(path, nullptr); }

std::optional<std::filesystem::path> ResolveOrFail(LPCSTR path, std::filesystem::file_status* status) {
    Machine* machine = MachineOrFail();
    if (!machine) return std::nullopt;
    if (!path || !*path) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return std::nullopt;
    }
    std::optional<std::filesystem::file_status> seen;
    auto host = machine->files().Resolve(path, status ? &seen : nullptr);
    if (!host) {
        SetLastError(ERROR_INVALID_NAME);
        return host;
    }
    if (status) {
        std::error_code error;
        *status = seen ? *seen : std::filesystem::status(*host, error);
    }
    return host;
}

DWORD MissingError(const std::filesystem::path& host) {
    std::error_code error;
    return std::filesystem::is_directory(host.parent_path(), error) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace sim
