// Power lost at any moment of a start that unpacks a new package, then a start on the same
// drives and registry; a drive that fills up under the package and under the log.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/registry_store.h"
#include "tests/faults/package_fixture.h"
#include "tests/support/service_run.h"

namespace {

using kvtest::PackageMember;
using kvtest::ServiceRun;

constexpr std::int64_t kSecond = 1000;

std::optional<DWORD> Flag(ServiceRun& run) {
    return run.machine().registry().GetDword(kvtest::kControlKeyPath, "NewPackageFlag");
}

// Runs the started service for `ms` more of virtual time, then stops it.
void RunThenStop(ServiceRun& run, std::int64_t ms) {
    const std::int64_t stopAt = run.machine().clock().Now() + ms;
    run.At(stopAt, [&] { run.Stop(); });
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 60 * kSecond));
}

class PowerOffDuringUnpacking : public ::testing::TestWithParam<std::int64_t> {};

// Every millisecond from the start to past the flag's write falls on another step: a file made,
// written, flushed, moved or given its attributes (1 ms each), or the flag written.
TEST_P(PowerOffDuringUnpacking, PackageWholeWithFlagZeroOrUnpackedAgainWhole) {
    ServiceRun run("notebook");
    const std::vector<PackageMember> members = kvtest::WritePackage(run);
    run.machine().files().SetChangeCost(1);
    run.Start();
    const std::int64_t offAt = GetParam();
    ASSERT_FALSE(run.RunUntilEnded(offAt));
    run.PowerOffAndRestart();

    // As the power loss left the disk: each member old or new, never a part, and with the flag
    // at 0 every member new.
    const std::optional<DWORD> flag = Flag(run);
    ASSERT_TRUE(flag == 0u || flag == 1u);
    std::size_t unpacked = 0;
    for (const PackageMember& member : members) {
        const std::string now = run.File(kvtest::kUnpackFolder + member.name);
        EXPECT_TRUE(now == member.old || now == member.data) << member.name << " holds " << now.size() << " bytes";
        if (flag == 0u) {
            EXPECT_TRUE(now == member.data) << member.name << ": flag 0, but it holds " << now.size() << " bytes";
        }
        unpacked += now == member.data;
    }
    RecordProperty("unpacked", static_cast<int>(unpacked));

    // The next start unpacks it again when it has to, and leaves nothing beside the members.
    run.Start();
    RunThenStop(run, 3 * kSecond);
    for (const PackageMember& member : members)
        EXPECT_TRUE(run.File(kvtest::kUnpackFolder + member.name) == member.data) << member.name;
    EXPECT_EQ(kvtest::Leftovers(run), std::vector<std::string>{});
    EXPECT_EQ(Flag(run), 0u);
    EXPECT_EQ(kvtest::CountOf(run.Log(), "unzip KavrConfigFiles.flz success"), flag == 1u ? 1u : 0u);
}

// The unpacking runs from about 0 to 100 ms, the flag is written right after: every moment up to
// 130 ms, and a few later ones.
std::vector<std::int64_t> PowerOffMoments() {
    std::vector<std::int64_t> moments;
    for (std::int64_t ms = 0; ms <= 110; ++ms) moments.push_back(ms);
    moments.insert(moments.end(), {115, 120, 130, 300, 700, 1300, 5000});
    return moments;
}

INSTANTIATE_TEST_SUITE_P(Moments, PowerOffDuringUnpacking, ::testing::ValuesIn(PowerOffMoments()));

// The AT commands of a start, for a posture set before it.
std::vector<std::string> StartCommands(ServiceRun& run) {
    std::vector<std::string> bytes;
    for (const kvtest::SentCommand& command : run.Commands()) bytes.push_back(command.bytes);
    return bytes;
}

struct RestartCase {
    DWORD deviceMode;
    std::int64_t offAtMs;
};

class RestartAfterPowerOff : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartAfterPowerOff, SendsWhatACleanStartSends) {
    const RestartCase& c = GetParam();
    std::vector<std::string> clean;
    {
        ServiceRun run("notebook");
        run.SetControl("DeviceMode", c.deviceMode);
        run.Start();
        RunThenStop(run, 5 * kSecond);
        clean = StartCommands(run);
    }
    ASSERT_FALSE(clean.empty());

    ServiceRun run("notebook");
    run.SetControl("DeviceMode", c.deviceMode);
    run.Start();
    ASSERT_FALSE(run.RunUntilEnded(c.offAtMs));
    const std::size_t before = run.Commands().size();
    run.PowerOffAndRestart();
    run.Start();
    RunThenStop(run, 5 * kSecond);
    EXPECT_EQ(StartCommands(run), clean) << before << " commands before the power loss";
    // The log's lines were never flushed: the power loss took them, the restart's are whole.
    EXPECT_EQ(kvtest::CountOf(run.Log(), "---------------log start------------------\n"), 1u);
    EXPECT_NE(run.Log().find("Stop work success."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Postures, RestartAfterPowerOff,
                         ::testing::Values(RestartCase{1, 0}, RestartCase{1, 150}, RestartCase{1, 3000},
                                           RestartCase{2, 250}, RestartCase{4, 3000}, RestartCase{7, 450},
                                           RestartCase{8, 3000}),
                         [](const ::testing::TestParamInfo<RestartCase>& info) {
                             return "DeviceMode" + std::to_string(info.param.deviceMode) + "Off" +
                                    std::to_string(info.param.offAtMs) + "ms";
                         });

// --- A full drive ---

TEST(FullDrive, PackageThatCannotBeWrittenKeepsItsFlagAndTheOldFiles) {
    ServiceRun run("notebook");
    const std::vector<PackageMember> members = kvtest::WritePackage(run);
    run.machine().files().SetFreeSpace(3 * 2000);  // the first members fit, then the drive is full
    run.Start();
    RunThenStop(run, 3 * kSecond);
    EXPECT_EQ(Flag(run), 1u);
    std::size_t old = 0;
    for (const PackageMember& member : members) {
        const std::string now = run.File(kvtest::kUnpackFolder + member.name);
        EXPECT_TRUE(now == member.old || now == member.data) << member.name;
        old += now == member.old;
    }
    EXPECT_GT(old, 0u);
    EXPECT_EQ(kvtest::Leftovers(run), std::vector<std::string>{});
    EXPECT_NE(run.Log().find("unzip KavrConfigFiles.flz failed"), std::string::npos);

    // With room again, the next start unpacks it whole.
    run.machine().files().SetFreeSpace(std::nullopt);
    run.Start();
    RunThenStop(run, 3 * kSecond);
    EXPECT_EQ(Flag(run), 0u);
    for (const PackageMember& member : members)
        EXPECT_TRUE(run.File(kvtest::kUnpackFolder + member.name) == member.data) << member.name;
}

TEST(FullDrive, LogLinesAreDroppedWhileFullAndTheWorkerGoesOn) {
    ServiceRun run("notebook");
    run.At(2 * kSecond - 1, [&] { run.machine().files().SetFreeSpace(0); });
    run.At(2 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(5 * kSecond, [&] { run.machine().files().SetFreeSpace(std::nullopt); });
    run.At(6 * kSecond, [&] { run.SetControl("DeviceMode", 4); });
    run.Start();
    RunThenStop(run, 8 * kSecond);

    // Both posture changes reached the modem at their times, the first while nothing was logged.
    std::vector<kvtest::SentCommand> full = run.Commands(2 * kSecond);
    ASSERT_FALSE(full.empty());
    EXPECT_LT(full.front().timeMs, 2 * kSecond + 1000);
    std::vector<kvtest::SentCommand> later = run.Commands(6 * kSecond);
    ASSERT_FALSE(later.empty());
    EXPECT_LT(later.front().timeMs, 6 * kSecond + 1000);

    // No line of 2 s to 5 s (19:36:18 to 19:36:20) in the log; the lines before and after are whole.
    const std::string log = run.Log();
    for (const char* second : {" 19:36:18:", " 19:36:19:", " 19:36:20:"})
        EXPECT_EQ(log.find(second), std::string::npos) << second;
    EXPECT_NE(log.find(" 19:36:16:"), std::string::npos);
    EXPECT_NE(log.find(" 19:36:22:"), std::string::npos);
    EXPECT_NE(log.find("Stop work success."), std::string::npos);
    EXPECT_EQ(log.back(), '\n');
}

}  // namespace
