// The profile functions and the INI accessor over an arbitrary settings file: single values,
// integers, whole sections, and the section split into keys and values.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "config/CIniFile.h"
#include "platform/profile.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    kvfuzz::WriteDriveFile("settings.ini", data, size);
    const char* file = "C:\\settings.ini";

    for (const char* key : {"CustomizationSolutionType", "SarType", "AntTurner", "ProjectType"})
        GetPrivateProfileIntA("Setting", key, 1, file);
    // Buffers of every small size, to reach the truncation rules at their edges.
    for (DWORD length : {0u, 1u, 2u, 3u, 20u, 260u}) {
        std::vector<char> buffer(length + 1, 'x');
        GetPrivateProfileStringA("Setting", "SarMapType", "dflt", buffer.data(), length, file);
        GetPrivateProfileStringA("Setting", nullptr, "", buffer.data(), length, file);
        GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(), length, file);
        GetPrivateProfileSectionA("BASE_CONFIG", buffer.data(), length, file);
    }

    CIniFile ini(file);
    std::string value;
    ini.GetValue("GENERAL", "BOARDIDPATH", value);
    std::map<std::string, std::string> entries;
    ini.GetKeyAndValueFromSection("Setting", entries);
    ini.GetKeyAndValueFromSection("BASE_CONFIG", entries);
    return 0;
}
