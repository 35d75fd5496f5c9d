// Windows of the desktop.
#pragma once

#include "platform/types.h"

// The desktop window; a service sees one as every process does.
HWND GetDesktopWindow();
