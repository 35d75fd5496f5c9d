// Wide text of the Mobile Broadband API as the system's 8-bit text.
#pragma once

#include <string>

#include "platform/types.h"

// The text in the ANSI code page; empty for a null or empty text.
std::string NarrowText(const WCHAR* wide);
