#include "config/CIniFile.h"

#include <cstring>
#include <vector>

#include "common/CLog.h"
#include "platform/profile.h"

CIniFile::CIniFile() {}

CIniFile::CIniFile(std::string path) : m_strFileName(std::move(path)) {}

CIniFile::~CIniFile() {}

void CIniFile::SetFileName(std::string path) { m_strFileName = std::move(path); }

void CIniFile::ResetSizes() {
    m_dwSectionSize = 512;
    m_dwKeySize = 33;
}

int CIniFile::GetValue(std::string section, std::string key, std::string& value) {
    std::vector<char> buffer(kValueSize, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(), kValueSize, m_strFileName.c_str());
    buffer.back() = '\0';
    value.assign(buffer.data(), std::strlen(buffer.data()));
    return static_cast<int>(value.size());
}

bool CIniFile::GetKeyAndValueFromSection(std::string section, std::map<std::string, std::string>& entries) {
    CLog* log = CLog::GetInstance();
    log->WriteLog(4, "GetKeyAndValueFromSection enter");
    entries.clear();

    std::vector<char> buffer(kSectionSize, '\0');
    DWORD read = GetPrivateProfileSectionA(section.c_str(), buffer.data(), kSectionSize, m_strFileName.c_str());
    if (read >= kSectionSize) read = kSectionSize - 2;
    log->WriteLog(4, "SectionKeyAndValue");
    log->WriteLog(4, std::string(buffer.data()));
    if (read == 0) return false;

    // Entries are zero-terminated; an empty entry ends the list.
    std::size_t position = 0;
    while (position < read && buffer[position] != '\0') {
        std::string entry(buffer.data() + position);
        position += entry.size() + 1;
        std::size_t equals = entry.rfind('=');
        if (equals == std::string::npos) continue;
        std::string key = entry.substr(0, equals).substr(0, kMaxKeyLength);
        std::string value = entry.substr(equals + 1).substr(0, kMaxValueLength);
        if (key.empty() || value.empty()) continue;
        entries.emplace(std::move(key), std::move(value));
    }
    log->WriteLog(4, "GetKeyAndValueFromSection end");
    return true;
}
