#include "config/CGlobalFunc.h"

#include <cstring>
#include <vector>

#include "common/TextHelpers.h"
#include "platform/files.h"
#include "platform/profile.h"

void CGlobalFunc::GetModuleDir(std::string& folder) {
    std::vector<char> buffer(MAX_PATH, '\0');
    GetModuleFileNameA(nullptr, buffer.data(), MAX_PATH);
    buffer.back() = '\0';
    std::string path(buffer.data(), std::strlen(buffer.data()));
    std::size_t slash = path.rfind('\\');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int CGlobalFunc::SplitKeyValue(const std::string& entry, std::string& key, std::string& value) {
    std::string lower = ToLowerCopy(entry);
    std::size_t equals = lower.find('=');
    if (equals == std::string::npos) return 0;
    key = lower.substr(0, equals);
    value = lower.substr(equals + 1);
    return 1;
}

void CGlobalFunc::LoadParameterCmds(int kind, const std::string& iniPath, std::vector<std::string>& commands) {
    std::vector<char> buffer(kParameterSectionSize, '\0');
    DWORD read = GetPrivateProfileSectionA("Parameter", buffer.data(), kParameterSectionSize, iniPath.c_str());
    if (read >= kParameterSectionSize) read = kParameterSectionSize - 2;
    std::size_t position = 0;
    while (position < read && buffer[position] != '\0') {
        std::string entry(buffer.data() + position);
        position += entry.size() + 1;
        std::string key;
        std::string value;
        if (!SplitKeyValue(entry, key, value)) continue;
        if (kind != 0)
            commands.push_back("AT+BODYSAR=" + value + "\r\n");
        else if (key == "at0")
            commands.push_back("AT+GTTASCFG=" + value + "\r\n");
        else
            commands.push_back("AT+GTTAS=" + value + "\r\n");
    }
}
