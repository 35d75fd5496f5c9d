// Files and folders, by Windows path (mapped into the machine's drive folder).
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#include <shlwapi.h>
#else

#include "platform/types.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x2;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x4;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000;

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES attributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
// Writes what the file's buffers hold through to the disk (see the machine's write-back).
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFileA(LPCSTR fileName);
BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName);
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES attributes);
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes);

// Shell path helpers.
BOOL PathFileExistsA(LPCSTR path);
BOOL PathIsDirectoryA(LPCSTR path);

#endif  // _WIN32
