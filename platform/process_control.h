// Starting a program and waiting for it; opening and ending a running process.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

constexpr DWORD STILL_ACTIVE = 259;
constexpr DWORD STARTF_USESHOWWINDOW = 0x1;
constexpr WORD SW_SHOW = 5;

constexpr DWORD PROCESS_TERMINATE = 0x0001;
constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
constexpr DWORD PROCESS_ALL_ACCESS = 0x1FFFFF;

struct STARTUPINFOA {
    DWORD cb;
    LPSTR lpReserved;
    LPSTR lpDesktop;
    LPSTR lpTitle;
    DWORD dwX;
    DWORD dwY;
    DWORD dwXSize;
    DWORD dwYSize;
    DWORD dwXCountChars;
    DWORD dwYCountChars;
    DWORD dwFillAttribute;
    DWORD dwFlags;
    WORD wShowWindow;
    WORD cbReserved2;
    LPBYTE lpReserved2;
    HANDLE hStdInput;
    HANDLE hStdOutput;
    HANDLE hStdError;
};
using LPSTARTUPINFOA = STARTUPINFOA*;

struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};
using LPPROCESS_INFORMATION = PROCESS_INFORMATION*;

// The process handle is signalled when the program has ended.
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation);
// STILL_ACTIVE while the program runs.
BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode);
HANDLE OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
BOOL TerminateProcess(HANDLE process, UINT exitCode);

#endif  // _WIN32
