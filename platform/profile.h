// INI profile files, read as Windows reads them.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned, DWORD size,
                               LPCSTR fileName);
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR returned, DWORD size, LPCSTR fileName);

#endif  // _WIN32
