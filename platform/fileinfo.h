// Sizes of open files.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// The low 32 bits of the size; the high ones go to `fileSizeHigh` when given.
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);

#endif  // _WIN32
