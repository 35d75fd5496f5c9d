#include "config/CGetSuplXmlInfo.h"

#include <vector>

#include "config/CGlobalFunc.h"
#include "platform/profile.h"

void CGetSuplXmlInfo::LoadGeneralSection(std::map<std::string, std::string>& entries, const std::string& fileName) {
    CGlobalFunc global;
    std::string folder;
    global.GetModuleDir(folder);
    std::string path = folder + fileName;
    std::vector<char> buffer(kGeneralSectionSize, '\0');
    DWORD read = GetPrivateProfileSectionA("general", buffer.data(), kGeneralSectionSize, path.c_str());
    if (read >= kGeneralSectionSize) read = kGeneralSectionSize - 2;
    std::size_t position = 0;
    while (position < read && buffer[position] != '\0') {
        std::string entry(buffer.data() + position);
        position += entry.size() + 1;
        std::string key;
        std::string value;
        if (!global.SplitKeyValue(entry, key, value)) continue;
        entries.emplace(std::move(key), std::move(value));
    }
}
