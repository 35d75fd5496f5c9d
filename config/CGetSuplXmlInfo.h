// The "general" section of an INI beside the executable, as a map.
#pragma once

#include <map>
#include <string>

class CGetSuplXmlInfo {
public:
    CGetSuplXmlInfo() {}
    virtual ~CGetSuplXmlInfo() {}

    // Lower-cased "key=value" entries; the first of a repeated key kept.
    void LoadGeneralSection(std::map<std::string, std::string>& entries, const std::string& fileName);
    int AlwaysZero() { return 0; }

    static constexpr unsigned kGeneralSectionSize = 4096;
};
