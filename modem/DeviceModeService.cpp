#include "modem/DeviceModeService.h"

namespace {
char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool IsDeviceModeServiceId(const std::string& id) {
    if (id.size() != sizeof kDeviceModeServiceId - 1) return false;
    for (std::size_t i = 0; i < id.size(); ++i)
        if (Lower(id[i]) != Lower(kDeviceModeServiceId[i])) return false;
    return true;
}
