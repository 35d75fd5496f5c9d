// The shell's file operation: deleting files or whole folders, renaming.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#include <shellapi.h>
#else

#include "platform/types.h"

using FILEOP_FLAGS = WORD;

constexpr UINT FO_DELETE = 0x0003;
constexpr UINT FO_RENAME = 0x0004;

constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;
constexpr FILEOP_FLAGS FOF_NOERRORUI = 0x0400;

// pFrom and pTo are lists of names, each ending in a zero, the list in a second zero.
struct SHFILEOPSTRUCTA {
    HWND hwnd;
    UINT wFunc;
    LPCSTR pFrom;
    LPCSTR pTo;
    FILEOP_FLAGS fFlags;
    BOOL fAnyOperationsAborted;
    LPVOID hNameMappings;
    LPCSTR lpszProgressTitle;
};
using LPSHFILEOPSTRUCTA = SHFILEOPSTRUCTA*;

// 0 when every name was handled. FO_DELETE removes files and folders with
// everything in them; FO_RENAME renames the one name of pFrom to the one of
// pTo, replacing an existing file when FOF_NOCONFIRMATION is given.
int SHFileOperationA(LPSHFILEOPSTRUCTA operation);

#endif  // _WIN32
