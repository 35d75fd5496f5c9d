// Starting programs.
#pragma once

#include "platform/types.h"

constexpr UINT SW_HIDE = 0;
constexpr UINT SW_SHOWNORMAL = 1;

// Greater than 31 when the program was started.
UINT WinExec(LPCSTR cmdLine, UINT cmdShow);
