// The Tool Help snapshot of the running processes.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#include <tlhelp32.h>
#else

#include "platform/find.h"  // ERROR_NO_MORE_FILES
#include "platform/types.h"

constexpr DWORD TH32CS_SNAPPROCESS = 0x00000002;
constexpr DWORD ERROR_BAD_LENGTH = 24;

struct PROCESSENTRY32 {
    DWORD dwSize;
    DWORD cntUsage;
    DWORD th32ProcessID;
    ULONG_PTR th32DefaultHeapID;
    DWORD th32ModuleID;
    DWORD cntThreads;
    DWORD th32ParentProcessID;
    LONG pcPriClassBase;
    DWORD dwFlags;
    CHAR szExeFile[MAX_PATH];  // the executable's file name, without its folder
};
using LPPROCESSENTRY32 = PROCESSENTRY32*;

// Closed with CloseHandle.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
// The caller sets dwSize to sizeof(PROCESSENTRY32).
BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry);
// FALSE with ERROR_NO_MORE_FILES after the last process.
BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry);

#endif  // _WIN32
