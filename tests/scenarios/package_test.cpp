// A new configuration package at start, run through kvsim: unpacked, the flag cleared; a damaged
// one leaves the flag set so the next start tries again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/sim_test.h"
#include "tests/support/zip_bytes.h"
#include "tests/scenarios/kvsim_command.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

using ziptest::BuildZip;
using ziptest::RawItem;

const char kFlagWrite[] = "KVControl\\NewPackageFlag";

struct PackageCase {
    const char* name;
    std::string package;
    bool unpacked;
};

void PrintTo(const PackageCase& c, std::ostream* out) { *out << c.name; }

class PackageScenario : public ::testing::TestWithParam<PackageCase> {
protected:
    void Write(const std::string& relative, const std::string& text) {
        fs::path file = temp_.path() / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << text;
    }
    kvtest::TempDir temp_;
};

TEST_P(PackageScenario, FlagFollowsTheUnpacking) {
    const PackageCase& c = GetParam();
    Write("nb/drives/C/Kavrion/KvConfigService/kvwwanConfig.ini", "[Setting]\nCustomizationSolutionType=3\n");
    Write("nb/drives/C/Kavrion/Firmware/KavrConfigFiles.flz", c.package);
    Write("nb/registry.reg",
          "Windows Registry Editor Version 5.00\n\n"
          "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl]\n"
          "\"NewPackageFlag\"=dword:00000001\n");
    Write("nb/scenario.txt", "3s control stop\n");

    kvsim::RunReport report = kvtest::RunNotebookAlone(temp_.path() / "nb");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;

    std::vector<std::string> flagWrites;
    for (const std::string& line : report.transcript)
        if (line.find(kFlagWrite) != std::string::npos) flagWrites.push_back(line);
    const std::string& log = report.log;
    if (c.unpacked) {
        ASSERT_EQ(flagWrites.size(), 1u);
        EXPECT_NE(flagWrites[0].find("[     0.000] registry: "), std::string::npos) << flagWrites[0];
        EXPECT_NE(flagWrites[0].find("dword:0"), std::string::npos) << flagWrites[0];
        EXPECT_NE(log.find("unzip KavrConfigFiles.flz success\n"), std::string::npos) << log;
        // The worker's own write raises REG_CHANGE, handled before the start-up's SIM_CHANGE.
        std::size_t reg = log.find("Enter register event");
        std::size_t sim = log.find("Enter Sim event");
        ASSERT_NE(reg, std::string::npos);
        EXPECT_LT(reg, sim);
    } else {
        EXPECT_TRUE(flagWrites.empty()) << flagWrites[0];
        EXPECT_NE(log.find("unzip KavrConfigFiles.flz failed\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("Enter register event"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackageScenario,
    ::testing::Values(PackageCase{"Unpacked",
                                  BuildZip({RawItem("SrvConfig.ini", "[GENERAL]\n"),
                                            RawItem("SarAnt/table.xml", "<Table/>").Deflated()}),
                                  true},
                      PackageCase{"DamagedMember",
                                  BuildZip({RawItem("SrvConfig.ini", "[GENERAL]\n"),
                                            RawItem("SarAnt/table.xml", "<Table/>").Deflated().BadCrc()}),
                                  false},
                      PackageCase{"NotAnArchive", "PK\x03\x04 but nothing more", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
