// Windows of the desktop.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

// The desktop window; a service sees one as every process does.
HWND GetDesktopWindow();

#endif  // _WIN32
