#include "platform/system.h"

#include <cstring>
#include <string_view>

UINT GetSystemDirectoryA(LPSTR buffer, UINT size) {
    constexpr std::string_view folder = "C:\\Windows\\System32";
    if (!buffer || size <= folder.size()) return static_cast<UINT>(folder.size() + 1);
    std::memcpy(buffer, folder.data(), folder.size());
    buffer[folder.size()] = '\0';
    return static_cast<UINT>(folder.size());
}
