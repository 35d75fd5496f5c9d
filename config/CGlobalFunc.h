// Small helpers: the executable's folder, "key=value" entries, the [Parameter] commands.
#pragma once

#include <string>
#include <vector>

class CGlobalFunc {
public:
    CGlobalFunc() {}
    virtual ~CGlobalFunc() {}

    // The executable's folder with its trailing backslash; empty when the path has none.
    void GetModuleDir(std::string& folder);
    // Lower-cases the entry and splits it at its first "="; 0 (outputs untouched) without one.
    int SplitKeyValue(const std::string& entry, std::string& key, std::string& value);
    // Appends one command per entry of [Parameter]: kind 0 "AT+GTTASCFG=" for key "at0",
    // "AT+GTTAS=" otherwise; any other kind "AT+BODYSAR=".
    void LoadParameterCmds(int kind, const std::string& iniPath, std::vector<std::string>& commands);

    static constexpr unsigned kParameterSectionSize = 8092;
};
