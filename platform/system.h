// The system's own folders.
#pragma once

// Built for Windows: Windows' own declarations. Otherwise ours, over the simulated machine.
#if defined(_WIN32)
#include <windows.h>
#else

#include "platform/types.h"

// Copies the system folder ("C:\Windows\System32") and returns its length;
// when it does not fit, returns the size needed (zero included) and copies nothing.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);

#endif  // _WIN32
