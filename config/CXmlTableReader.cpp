// Placeholders until the registry accessors and the mapping readers land.
#include "config/CXmlTableReader.h"

int CXmlTableReader::GetRegKeyValue(std::string, std::string, DWORD&) { return 1; }
int CXmlTableReader::GetRegKeyValue(std::string, std::string, std::string& result) {
    result.clear();
    return 1;
}
int CXmlTableReader::SetRegKeyValue(std::string, std::string, DWORD, DWORD) { return 1; }
int CXmlTableReader::SetRegKeyValueString(std::string, std::string, std::string) { return 1; }
int CXmlTableReader::getRegulatoryByMcc(std::string, std::string, std::string& region) {
    region = "FCC";
    return 2;
}
