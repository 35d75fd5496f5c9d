// Readers of the XML mapping tables, and single registry values under HKEY_LOCAL_MACHINE.
#pragma once

#include <string>

#include "platform/types.h"

class CXmlTableReader {
public:
    CXmlTableReader() {}
    ~CXmlTableReader() {}

    // Registry values: 0 on success, 1 on failure.
    int GetRegKeyValue(std::string keyPath, std::string valueName, DWORD& result);
    int GetRegKeyValue(std::string keyPath, std::string valueName, std::string& result);
    int SetRegKeyValue(std::string keyPath, std::string valueName, DWORD value, DWORD type);
    int SetRegKeyValueString(std::string keyPath, std::string valueName, std::string value);

    // 1 exact match, 2 fallback used, 0 neither; `region` is always set.
    int getRegulatoryByMcc(std::string tablePath, std::string mcc, std::string& region);
};
