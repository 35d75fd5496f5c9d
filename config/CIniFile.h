// Reads single values and whole sections of one INI file.
#pragma once

#include <map>
#include <string>

#include "platform/types.h"

class CIniFile {
public:
    CIniFile();
    explicit CIniFile(std::string path);
    virtual ~CIniFile();

    void SetFileName(std::string path);
    // The value (at most 259 characters; empty when missing) and its length.
    int GetValue(std::string section, std::string key, std::string& value);
    // Every "key=value" entry of the section, split at its last "=", the first
    // of a repeated key kept; false when the section reads as empty.
    bool GetKeyAndValueFromSection(std::string section, std::map<std::string, std::string>& entries);
    void ResetSizes();

    static constexpr DWORD kValueSize = 260;
    static constexpr DWORD kSectionSize = 65536;
    static constexpr std::size_t kMaxKeyLength = 49;
    static constexpr std::size_t kMaxValueLength = 48;

private:
    std::string m_strFileName;
    DWORD m_dwSectionSize = 512;
    DWORD m_dwKeySize = 33;
};
