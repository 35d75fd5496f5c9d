// Starting programs.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;

// Greater than 31 when the program was started.
UINT WinExec(LPCSTR cmdLine, UINT cmdShow);

#endif  // _WIN32
