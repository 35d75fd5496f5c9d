// The system's own folders.
#pragma once

#include "platform/types.h"

// Copies the system folder ("C:\Windows\System32") and returns its length;
// when it does not fit, returns the size needed (zero included) and copies nothing.
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
