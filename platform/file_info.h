// Positions, facts and times of open files (their sizes: platform/fileinfo.h),
// the file-time conversions, the current folder, and a rename that may replace
// its target.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_SEEK = 25;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;
constexpr DWORD MOVEFILE_WRITE_THROUGH = 0x8;

struct BY_HANDLE_FILE_INFORMATION {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD dwVolumeSerialNumber;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD nNumberOfLinks;
    DWORD nFileIndexHigh;
    DWORD nFileIndexLow;
};
using LPBY_HANDLE_FILE_INFORMATION = BY_HANDLE_FILE_INFORMATION*;

// With `distanceToMoveHigh` null the distance is a signed 32-bit value; else
// the two make one signed 64-bit distance and the high half of the new
// position comes back through it.
DWORD SetFilePointer(HANDLE file, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod);
BOOL SetFileTime(HANDLE file, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime);
BOOL GetFileInformationByHandle(HANDLE file, LPBY_HANDLE_FILE_INFORMATION information);

BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime);
BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime);
BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime);

// The length copied (without the terminator), or the size needed (with it)
// when the buffer is too small.
DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer);

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags);

#endif  // _WIN32
