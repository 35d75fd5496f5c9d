#include "platform/window.h"

HWND GetDesktopWindow() { return reinterpret_cast<HWND>(static_cast<ULONG_PTR>(0x00010010)); }
