// Sizes of open files.
#pragma once

#include "platform/types.h"

constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// The low 32 bits of the size; the high ones go to `fileSizeHigh` when given.
DWORD GetFileSize(HANDLE file, LPDWORD fileSizeHigh);
