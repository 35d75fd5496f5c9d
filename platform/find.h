// Listing folders, copying files and removing folders, by Windows path.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/files.h"  // FILE_ATTRIBUTE_*
#include "platform/types.h"

constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_DIRECTORY = 267;

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};
using LPWIN32_FIND_DATAA = WIN32_FIND_DATAA*;

// `fileName` is a folder, a separator and a name pattern ('*' and '?'; "*.*"
// matches every name). A folder other than a drive root lists "." and ".."
// first. INVALID_HANDLE_VALUE when the folder cannot be listed or nothing matches.
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData);
BOOL FindClose(HANDLE findFile);

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
// Only an empty folder can be removed.
BOOL RemoveDirectoryA(LPCSTR pathName);

#endif  // _WIN32
