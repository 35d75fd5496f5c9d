// STOP at any moment: during a posture change (the modem answering or silent) and at a start that
// unpacks a new package. The wake-up in hand finishes, then the service ends, within the waits the
// worker bounds itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "config/ZipWriter.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "tests/support/service_run.h"

namespace {

using kvtest::ServiceRun;

constexpr std::int64_t kPostureAt = 2000;
constexpr std::int64_t kSwitchMs = 600;  // six commands, 100 ms before each

struct StopCase {
    std::int64_t afterMs;  // after the posture change
    bool silent;           // the AT service never answers
};

std::string Name(const ::testing::TestParamInfo<StopCase>& info) {
    return std::string(info.param.silent ? "Silent" : "Answering") + "At" + std::to_string(info.param.afterMs) + "ms";
}

class StopDuringPosture : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuringPosture, EndsOnceTheSwitchIsDone) {
    const StopCase& c = GetParam();
    ServiceRun run("notebook");
    if (c.silent) run.At(kPostureAt - 1, [&] { run.machine().modem().SetReplyOverride(sim::ModemReply::Silence()); });
    run.At(kPostureAt, [&] { run.SetControl("DeviceMode", 2); });
    const std::int64_t stopAt = kPostureAt + c.afterMs;
    run.At(stopAt, [&] { run.Stop(); });
    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 60000));

    // The switch of the posture change ran to its end: with answers its six commands; silent, its
    // four exchanges each ended by the 5 s wait.
    std::vector<kvtest::SentCommand> sent = run.Commands(kPostureAt);
    const std::int64_t switchEnd = kPostureAt + (c.silent ? 4 * 5100 : kSwitchMs);
    EXPECT_EQ(sent.size(), c.silent ? 4u : 6u);
    EXPECT_LE(run.EndTimeMs(), std::max(stopAt, switchEnd) + 100);
    std::string log = run.Log();
    EXPECT_NE(log.find("[Infomation][CStateWork::Work] Triger Service Stop Event.\n"), std::string::npos);
    EXPECT_NE(log.find("[Infomation][CServiceStart::StopWork] Stop work success.\r\n\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Moments, StopDuringPosture,
                         ::testing::Values(StopCase{0, false}, StopCase{1, false}, StopCase{50, false},
                                           StopCase{99, false}, StopCase{100, false}, StopCase{101, false},
                                           StopCase{250, false}, StopCase{300, false}, StopCase{450, false},
                                           StopCase{599, false}, StopCase{600, false}, StopCase{601, false},
                                           StopCase{0, true}, StopCase{100, true}, StopCase{2600, true},
                                           StopCase{7700, true}, StopCase{20400, true}),
                         Name);

class StopDuringUnpacking : public ::testing::TestWithParam<std::int64_t> {};

TEST_P(StopDuringUnpacking, PackageUnpackedWholeThenEnds) {
    ServiceRun run("notebook");
    ASSERT_EQ(run.machine().registry().SetDword(kvtest::kControlKeyPath, "NewPackageFlag", 1), "");
    // A package of a few members; the writer of the system builds it on the machine.
    std::filesystem::create_directories(run.drives() / "C" / "Kavrion" / "Firmware");
    ZipHandle* zip = CreateZip("C:\\Kavrion\\Firmware\\KavrConfigFiles.flz", nullptr);
    ASSERT_NE(zip, nullptr);
    std::vector<std::string> names;
    for (int i = 0; i < 20; ++i) {
        names.push_back("520R NV\\SAR_DPR_PV_" + std::to_string(i) + ".xml");
        std::string data(2000 + i, static_cast<char>('a' + i % 26));
        ASSERT_EQ(AddZipItemMemory(zip, names.back().c_str(), data.data(), static_cast<DWORD>(data.size())), 0u);
    }
    ASSERT_EQ(CloseZipWriter(zip), 0u);

    const std::int64_t stopAt = GetParam();
    run.At(stopAt, [&] { run.Stop(); });
    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 60000));

    for (const std::string& name : names)
        EXPECT_EQ(run.File("C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\" + name).size(), 2000u + (&name - &names[0]))
            << name;
    EXPECT_EQ(run.machine().registry().GetDword(kvtest::kControlKeyPath, "NewPackageFlag"), 0u);
    // The flag's write and the start's registration are handled (two switches), then STOP.
    EXPECT_LE(run.EndTimeMs(), std::max<std::int64_t>(stopAt, 2 * kSwitchMs) + 100);
    EXPECT_NE(run.Log().find("unzip KavrConfigFiles.flz success"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Moments, StopDuringUnpacking, ::testing::Values(0, 1, 100, 700, 1300));

}  // namespace
