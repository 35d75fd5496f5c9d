#include "modem/CAtText.h"

#include <cstdio>

#include "common/CLog.h"

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

bool CAtText::IsSafe(const std::string& file, const std::string& key, const std::string& value) {
    if (IsSafe(value)) {
        return true;
    }
    LogValueRefused(file, key, value, kUnsafe);
    return false;
}

bool CAtText::AreValuesSafe(const std::string& file, const std::string& where,
                            const std::map<std::string, std::string>& values) {
    for (const auto& [key, value] : values) {
        if (!IsSafe(file, where + key, value)) {
            return false;
        }
    }
    return true;
}

bool CAtText::Fits(const std::string& file, const std::string& command) {
    if (Fits(command)) {
        return true;
    }
    LogFileNotUsed(file, "its command \"" + Printable(command) + "\" (" + std::to_string(command.size()) +
                             " bytes) is longer than 4095 characters");
    return false;
}

bool CAtText::IsSendable(const std::string& file, const std::string& key, const std::string& value,
                         const std::string& command) {
    if (!IsSafe(file, key, value)) {
        return false;
    }
    if (!Fits(command)) {
        LogValueRefused(file, key, value, kTooLong);
        return false;
    }
    return true;
}

void CAtText::LogFileNotUsed(const std::string& file, const std::string& why) {
    CLog::GetInstance()->WriteLog(1, kFileNotUsed + file + ": " + why);
}

void CAtText::LogValueRefused(const std::string& file, const std::string& key, const std::string& value,
                              const std::string& why) {
    // A cut value says how long it was.
    const std::string size = value.size() > kShownBytes ? " (" + std::to_string(value.size()) + " bytes)" : "";
    CLog::GetInstance()->WriteLog(
        1, kValueRefused + file + ": " + key + " \"" + Printable(value) + "\"" + size + " " + why);
}

std::string CAtText::Printable(const std::string& value) {
    std::string text;
    for (std::size_t i = 0; i < value.size() && i < kShownBytes; ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        switch (c) {
            case '\\': text += "\\\\"; break;
            case '"': text += "\\\""; break;
            case '\r': text += "\\r"; break;
            case '\n': text += "\\n"; break;
            case '\t': text += "\\t"; break;
            default:
                if (c < 0x20 || c == 0x7f) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02x", c);
                    text += hex;
                } else {
                    text += static_cast<char>(c);
                }
        }
    }
    if (value.size() > kShownBytes) {
        text += "...";
    }
    return text;
}
