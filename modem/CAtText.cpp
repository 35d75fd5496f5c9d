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

std::string CAtText::Upper(const std::string& text) {
    std::string upper = text;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return upper;
}
