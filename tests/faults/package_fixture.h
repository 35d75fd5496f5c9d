// A new configuration package of a few members on the notebook, built by the system's own zip
// writer, with older files of the same names already unpacked.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "config/ZipWriter.h"
#include "platform/sim/file_system.h"
#include "platform/sim/registry_store.h"
#include "tests/support/service_run.h"

namespace kvtest {

inline constexpr const char* kUnpackFolder = "C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\";

struct PackageMember {
    std::string name;
    std::string data;
    std::string old;  // what the folder holds under that name before
};

inline std::vector<PackageMember> WritePackage(ServiceRun& run, int count = 20) {
    EXPECT_EQ(run.machine().registry().SetDword(kControlKeyPath, "NewPackageFlag", 1), "");
    std::filesystem::create_directories(run.drives() / "C" / "Kavrion" / "Firmware");
    ZipHandle* zip = CreateZip("C:\\Kavrion\\Firmware\\KavrConfigFiles.flz", nullptr);
    EXPECT_NE(zip, nullptr);
    std::vector<PackageMember> members;
    for (int i = 0; i < count; ++i) {
        PackageMember member{"520R NV\\SAR_DPR_PV_" + std::to_string(i) + ".xml",
                             std::string(2000 + i, static_cast<char>('a' + i % 26)), "old " + std::to_string(i)};
        EXPECT_EQ(AddZipItemMemory(zip, member.name.c_str(), member.data.data(),
                                   static_cast<DWORD>(member.data.size())),
                  0u);
        run.WriteFile(kUnpackFolder + member.name, member.old);
        members.push_back(std::move(member));
    }
    EXPECT_EQ(CloseZipWriter(zip), 0u);
    run.machine().files().WriteBackAll();  // the package has been on the drive for a while
    return members;
}

// Names under the unpack folder that an unpacking left beside its members.
inline std::vector<std::string> Leftovers(ServiceRun& run) {
    std::vector<std::string> found;
    auto host = run.machine().files().Resolve(kUnpackFolder);
    if (!host || !std::filesystem::exists(*host)) return found;
    for (auto& entry : std::filesystem::recursive_directory_iterator(*host))
        if (entry.path().filename().string().find(".~") != std::string::npos) found.push_back(entry.path().string());
    return found;
}

}  // namespace kvtest
