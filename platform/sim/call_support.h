// What the layer's Windows calls share: the machine they act on and the host path a Windows
// path names, each failing with the last error Windows would leave.
#pragma once

#include <filesystem>
#include <optional>

#include "platform/sim/machine.h"
#include "platform/types.h"

namespace sim {

// The current machine; null, with ERROR_NOT_SUPPORTED, when there is none.
Machine* MachineOrFail();

// The host path of a Windows path; none, with the last error set, when the path is empty or
// cannot be mapped.
std::optional<std::filesystem::path> ResolveOrFail(LPCSTR path);
// The same, with the host path's status as std::filesystem::status gives it (taken on the way
// when the look-up learnt it).
std::optional<std::filesystem::path> ResolveOrFail(LPCSTR path, std::filesystem::file_status* status);

// The error for a host path that does not exist: a missing file, or a missing folder on the way.
DWORD MissingError(const std::filesystem::path& host);

}  // namespace sim
