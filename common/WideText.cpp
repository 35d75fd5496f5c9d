#include "common/WideText.h"

#include "platform/com.h"

std::string NarrowText(const WCHAR* wide) {
    if (!wide) return "";
    int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return "";
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size - 1));
    return text;
}
