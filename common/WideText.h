// Conversions between the system's 8-bit text and the platform's wide text.
#pragma once

#include <string>

#include "platform/types.h"

using WideString = std::basic_string<WCHAR>;

// The text in the ANSI code page; empty for a null or empty text.
std::string NarrowText(const WCHAR* wide);

// 8-bit text of the ANSI code page as wide text; the whole text, zeros included.
WideString AnsiToWide(const std::string& text);
// Wide text as UTF-8; the whole text, zeros included.
std::string WideToUtf8(const WideString& wide);
