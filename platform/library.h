// Libraries: loading a DLL by path and calling one of its exports.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include <cstdint>

#include "platform/types.h"

using INT_PTR = std::intptr_t;
// An export, called without arguments; the caller knows what its result means.
using FARPROC = INT_PTR (*)();

// The library's module handle (loading it again gives the same handle and
// counts one more load); null with ERROR_MOD_NOT_FOUND when there is none.
HMODULE LoadLibraryA(LPCSTR fileName);
// Null with ERROR_PROC_NOT_FOUND for an export the library lacks, or
// ERROR_INVALID_HANDLE for a module that is not loaded.
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);
// Undoes one load; the library goes when its last load is undone.
BOOL FreeLibrary(HMODULE module);

#endif  // _WIN32
