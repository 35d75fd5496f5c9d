// STOP at any moment: during a posture change (the modem answering or silent) and at a start that
// unpacks a new package. The wake-up in hand finishes, then the service ends, within the waits the
// worker bounds itself.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "tests/faults/package_fixture.h"
#include "tests/support/service_run.h"

namespace {

using kvtest::ServiceRun;

constexpr std::int64_t kPostureAt = 2000;
constexpr std::int64_t kSwitchMs = 600;  // six commands, 100 ms before each
constexpr std::int64_t kUnpackMs = 100;  // 20 members of five file changes, 1 ms each

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
    const std::int64_t stopAt = kPostureAt + c.afterMs;
    // A stop at the very instant of the change comes just after the write: when the machine's
    // threads run at once, two outside events of one instant would otherwise come in either order.
    const bool stopWithTheChange = c.afterMs == 0;
    run.At(kPostureAt, [&run, stopWithTheChange] {
        run.SetControl("DeviceMode", 2);
        if (stopWithTheChange) run.Stop();
    });
    if (c.afterMs != 0) run.At(stopAt, [&] { run.Stop(); });
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

// Each change of a file costs 1 ms, so the early moments fall between the members' steps.
TEST_P(StopDuringUnpacking, PackageUnpackedWholeThenEnds) {
    ServiceRun run("notebook");
    const std::vector<kvtest::PackageMember> members = kvtest::WritePackage(run);
    run.machine().files().SetChangeCost(1);

    const std::int64_t stopAt = GetParam();
    run.At(stopAt, [&] { run.Stop(); });
    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 60000));

    for (const kvtest::PackageMember& member : members)
        EXPECT_TRUE(run.File(kvtest::kUnpackFolder + member.name) == member.data) << member.name;
    EXPECT_EQ(kvtest::Leftovers(run), std::vector<std::string>{});
    EXPECT_EQ(run.machine().registry().GetDword(kvtest::kControlKeyPath, "NewPackageFlag"), 0u);
    // The unpacking, then the flag's write and the start's registration are handled (two
    // switches), then STOP.
    EXPECT_LE(run.EndTimeMs(), std::max<std::int64_t>(stopAt, kUnpackMs + 2 * kSwitchMs) + 100);
    EXPECT_NE(run.Log().find("unzip KavrConfigFiles.flz success"), std::string::npos);
    // A stop that came while the unpacking ran (before the flag's write) is seen only after it.
    if (stopAt < kUnpackMs) {
        std::int64_t flagAt = -1;
        for (const sim::TranscriptEntry& entry : run.machine().transcript().Entries())
            if (entry.party == "registry" && entry.text.find("NewPackageFlag") != std::string::npos) flagAt = entry.time;
        EXPECT_GT(flagAt, stopAt);
        const std::string log = run.Log();
        EXPECT_LT(log.find("unzip KavrConfigFiles.flz success"), log.find("Triger Service Stop Event."));
    }
}

INSTANTIATE_TEST_SUITE_P(Moments, StopDuringUnpacking, ::testing::Values(0, 1, 2, 3, 7, 50, 98, 99, 100, 101, 700, 1300));

// The notebook's local time at virtual 0, as the log stamps it: 19:36:16.000.
constexpr std::int64_t kLogStartMs = ((19 * 60 + 36) * 60 + 16) * 1000;

// The virtual times (ms after the start) at which log messages holding `fragment` were written.
std::vector<std::int64_t> LoggedTimes(const std::string& log, const std::string& fragment) {
    std::vector<std::int64_t> times;
    std::int64_t stamp = -1;
    for (const std::string& line : kvtest::SplitLines(log)) {
        // "[DETAIL] 12-08 19:36:18:300: ..."; a message's further lines carry no stamp.
        const std::size_t date = line.find_first_of("0123456789");
        const std::size_t clock = date + 6;  // after "MM-DD "
        if (line.rfind("[", 0) == 0 && date != std::string::npos && clock + 13 <= line.size() && line[clock + 2] == ':' &&
            line[clock + 12] == ':') {
            auto number = [&](std::size_t at, std::size_t count) { return std::stoll(line.substr(clock + at, count)); };
            stamp = ((number(0, 2) * 60 + number(3, 2)) * 60 + number(6, 2)) * 1000 + number(9, 3) - kLogStartMs;
        }
        if (line.find(fragment) != std::string::npos) times.push_back(stamp);
    }
    return times;
}

class StopDuringRegistration : public ::testing::TestWithParam<std::int64_t> {};

// A registration change that comes while the service stops (the worker still busy with a
// posture's switch) reaches neither the registration sink nor the worker: the sink is let go
// before the worker is told to end. One that comes before the stop is handled as ever.
TEST_P(StopDuringRegistration, AfterTheStopReachesNeitherTheSinkNorTheWorker) {
    ServiceRun run("notebook");
    const std::int64_t stopAt = kPostureAt + 101;
    const std::int64_t registerAt = stopAt + GetParam();
    const bool beforeStop = registerAt < stopAt;
    run.At(kPostureAt, [&] { run.SetControl("DeviceMode", 2); });
    run.At(stopAt, [&] { run.Stop(); });
    run.At(registerAt, [&] { run.Register("20801"); });
    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 60000));
    ASSERT_GT(run.EndTimeMs(), registerAt);  // the registration came before the service had stopped

    const std::string log = run.Log();
    ASSERT_EQ(LoggedTimes(log, "Triger Service Stop Event.").size(), 1u);
    const std::vector<std::int64_t> sink = LoggedTimes(log, "CMbnRegEvent::OnRegisterStateChange enter.");
    EXPECT_EQ(sink.size(), beforeStop ? 1u : 0u);
    for (const char* handling : {"CMbnRegEvent::OnRegisterStateChange", "SetSimChangeEvent"})
        for (std::int64_t at : LoggedTimes(log, handling)) EXPECT_LT(at, stopAt) << handling;
    // The start's registration, and the one before the stop once the posture's switch is done.
    EXPECT_EQ(LoggedTimes(log, "Enter Sim event").size(), beforeStop ? 2u : 1u);
    EXPECT_EQ(kvtest::CountOf(log, "20801") > 0, beforeStop);
}

INSTANTIATE_TEST_SUITE_P(Moments, StopDuringRegistration, ::testing::Values(-100, -1, 1, 100, 300, 498));

}  // namespace
