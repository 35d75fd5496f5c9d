#include "common/WideText.h"

#include <climits>

#include "platform/com.h"

namespace {

std::string WideToMultiByte(UINT codePage, const WCHAR* wide, std::size_t length) {
    if (!wide || length == 0 || length > INT_MAX) return "";
    const int wideLength = static_cast<int>(length);
    const int size = WideCharToMultiByte(codePage, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return "";
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = WideCharToMultiByte(codePage, 0, wide, wideLength, text.data(), size, nullptr, nullptr);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

}  // namespace

std::string NarrowText(const WCHAR* wide) {
    if (!wide) return "";
    std::size_t length = 0;
    while (wide[length]) ++length;
    return WideToMultiByte(CP_ACP, wide, length);
}

WideString AnsiToWide(const std::string& text) {
    if (text.empty() || text.size() > INT_MAX) return {};
    const int length = static_cast<int>(text.size());
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (size <= 0) return {};
    WideString wide(static_cast<std::size_t>(size), WCHAR{});
    const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, wide.data(), size);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

std::string WideToUtf8(const WideString& wide) { return WideToMultiByte(CP_UTF8, wide.data(), wide.size()); }
