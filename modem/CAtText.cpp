#include "modem/CAtText.h"

bool CAtText::IsSafe(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7f || c == '"') {
            return false;
        }
    }
    return true;
}

bool CAtText::AreValuesSafe(const std::map<std::string, std::string>& values) {
    for (const auto& entry : values) {
        if (!IsSafe(entry.second)) {
            return false;
        }
    }
    return true;
}
