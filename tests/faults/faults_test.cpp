// The service through the faults of its surroundings: each fault comes and goes while it runs; the
// service logs it, keeps running, works again once the fault is over and still stops on request.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim/driver.h"
#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/services.h"
#include "tests/support/service_run.h"

namespace {

using kvtest::ServiceRun;
using Commands = std::vector<std::string>;

constexpr std::int64_t kSecond = 1000;
constexpr std::int64_t kMinute = 60 * kSecond;
constexpr std::int64_t kHour = 60 * kMinute;

// The AT commands received in [from, to).
Commands Sent(const ServiceRun& run, std::int64_t from, std::int64_t to) {
    Commands sent;
    for (const kvtest::SentCommand& command : run.Commands(from))
        if (command.timeMs < to) sent.push_back(command.bytes);
    return sent;
}

// The full switch of the default notebook (FCC) for a device mode whose SAR index and antenna
// profile are both `index`.
Commands Switch(int sar, int antenna) {
    return {"AT+bodysaren?\\r\\n", "AT+BODYSARMODE?\\r\\n", "at+bodysaron=1," + std::to_string(sar) + "\\r\\n",
            "AT+GTANTTUNINGEN?\\r\\n", "AT+GTANTCTRLMODE?\\r\\n", "AT+GTANTPROFILE=" + std::to_string(antenna) + "\\r\\n"};
}

// What the switch sends when every query fails: the SAR step ends at its first query, the antenna
// step goes on past its failed queries and sends the profile.
Commands FailedSwitch(int antenna) {
    return {"AT+bodysaren?\\r\\n", "AT+GTANTTUNINGEN?\\r\\n", "AT+GTANTCTRLMODE?\\r\\n",
            "AT+GTANTPROFILE=" + std::to_string(antenna) + "\\r\\n"};
}

bool Logged(const std::string& log, const std::string& message) {
    return log.find(": " + message + "\n") != std::string::npos;
}

// Stops the service at `stopAt` and expects it to end within `bound`.
void StopAndExpectEnd(ServiceRun& run, std::int64_t stopAt, std::int64_t bound) {
    run.At(stopAt, [&run] { run.Stop(); });
    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(stopAt + 5 * kMinute)) << "the service did not end after STOP";
    EXPECT_LE(run.EndTimeMs(), stopAt + bound);
    EXPECT_TRUE(Logged(run.Log(), "[Infomation][CStateWork::Work] Triger Service Stop Event.\n"));
}

// The posture changed while the modem was gone: the modem that comes back
// registers on its network again, and that registration brings it the
// posture's indexes before any later change.
TEST(Faults, ModemGoneBetweenTwoPosturesAndBack) {
    ServiceRun run("notebook");
    sim::ModemInterface modem = run.machine().modem().Interface(0);
    run.At(2 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(3 * kSecond, [&] { run.machine().modem().RemoveInterfaces(); });
    run.At(4 * kSecond, [&] { run.SetControl("DeviceMode", 7); });
    run.At(6 * kSecond, [&] { run.machine().modem().ReturnInterface(modem); });
    run.At(7 * kSecond, [&] { run.SetControl("DeviceMode", 4); });
    StopAndExpectEnd(run, 9 * kSecond, kSecond);

    EXPECT_EQ(Sent(run, 2 * kSecond, 3 * kSecond), Switch(2, 2));
    EXPECT_EQ(Sent(run, 3 * kSecond, 6 * kSecond), Commands{});
    EXPECT_EQ(Sent(run, 6 * kSecond, 7 * kSecond), Switch(6, 6));
    EXPECT_EQ(Sent(run, 7 * kSecond, 9 * kSecond), Switch(3, 3));
    std::string log = run.Log();
    EXPECT_EQ(kvtest::CountOf(log, ": CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: 310410\n"), 1u);
    // Four commands found no modem: the SAR query, the two antenna queries and the profile.
    EXPECT_EQ(kvtest::CountOf(log, ": MBIM not exist\n"), 4u);
    EXPECT_TRUE(Logged(log, "Query BodySar enable/disable get fail!"));
    EXPECT_TRUE(Logged(log, "AntTunner index set fail!"));
}

TEST(Faults, EveryAtReplyErrorForAWhile) {
    ServiceRun run("notebook");
    run.At(3 * kSecond, [&] { run.machine().modem().SetReplyOverride(sim::ModemReply::Error()); });
    run.At(4 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(5 * kSecond, [&] { run.Register("20801"); });
    run.At(6 * kSecond, [&] { run.machine().modem().SetReplyOverride(std::nullopt); });
    run.At(7 * kSecond, [&] { run.SetControl("DeviceMode", 7); });
    StopAndExpectEnd(run, 9 * kSecond, kSecond);

    EXPECT_EQ(Sent(run, 4 * kSecond, 5 * kSecond), FailedSwitch(2));
    EXPECT_EQ(Sent(run, 5 * kSecond, 6 * kSecond), FailedSwitch(2));
    // The region of the registration made during the outage is in force afterwards (CE, tablet).
    EXPECT_EQ(Sent(run, 7 * kSecond, 9 * kSecond), Switch(14, 6));
    std::string log = run.Log();
    EXPECT_EQ(kvtest::CountOf(log, ": ExecuteCmd\n"), 8u);
    EXPECT_TRUE(Logged(log, "Query BodySar enable/disable get fail!"));
    EXPECT_TRUE(Logged(log, "Query AntTuner enable/disable fail,stop config AntTurnerMapTable!"));
}

TEST(Faults, AtServiceNeverAnswersEachExchangeEndsByItsTimeOut) {
    ServiceRun run("notebook");
    run.At(3 * kSecond, [&] { run.machine().modem().SetReplyOverride(sim::ModemReply::Silence()); });
    run.At(4 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(40 * kSecond, [&] { run.machine().modem().SetReplyOverride(std::nullopt); });
    run.At(41 * kSecond, [&] { run.SetControl("DeviceMode", 7); });
    StopAndExpectEnd(run, 43 * kSecond, kSecond);

    std::vector<kvtest::SentCommand> silent = run.Commands(4 * kSecond);
    ASSERT_GE(silent.size(), 4u);
    Commands bytes;
    for (std::size_t i = 0; i < 4; ++i) bytes.push_back(silent[i].bytes);
    EXPECT_EQ(bytes, FailedSwitch(2));
    // Each unanswered command held the worker for its 5 s wait, then the 100 ms before the next.
    for (std::size_t i = 1; i < 4; ++i) EXPECT_EQ(silent[i].timeMs - silent[i - 1].timeMs, 5100) << i;
    EXPECT_EQ(Sent(run, 41 * kSecond, 43 * kSecond), Switch(6, 6));
    std::string log = run.Log();
    EXPECT_EQ(kvtest::CountOf(log, ": SetCommandTimeout \n\n"), 4u);
}

TEST(Faults, ControlDriverAbsentThenRejectingThenBack) {
    ServiceRun run("notebook-region");
    sim::ControlDriver& driver = run.machine().driver();
    run.At(8 * kSecond, [&] { driver.SetPresent(false); });
    run.At(9 * kSecond, [&] { run.Register("310260"); });
    run.At(10 * kSecond, [&] {
        driver.SetPresent(true);
        driver.SetRejectError(31);  // ERROR_GEN_FAILURE
    });
    run.At(11 * kSecond, [&] { run.Register("302720"); });
    run.At(12 * kSecond, [&] { driver.SetRejectError(0); });
    run.At(13 * kSecond, [&] { run.Register("310260"); });
    StopAndExpectEnd(run, 15 * kSecond, kSecond);

    std::string log = run.Log();
    EXPECT_TRUE(Logged(log, "[Error][CStateWork::SetRegionByIOControl] CreateFile error. errorcode=2"));
    EXPECT_TRUE(Logged(log, "[Error][CStateWork::SetRegionByIOControl] Set region error. region=3"));
    EXPECT_TRUE(Logged(log, "[Infomation][CStateWork::SetRegionByIOControl] Set region OK. region=1"));
    EXPECT_EQ(driver.Region(), 1u);
    EXPECT_EQ(driver.OpenHandleCount(), 0);
}

TEST(Faults, ControlKeyDeletedAndCreatedAgainIsWatchedAgain) {
    ServiceRun run("notebook");
    sim::Registry& registry = run.machine().registry();
    run.At(2 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(3 * kSecond, [&] { registry.DeleteKey(kvtest::kControlKeyPath, "scenario"); });
    // The driver's installer puts the key back with the notebook's present posture.
    run.At(4 * kSecond, [&] {
        registry.CreateKey(kvtest::kControlKeyPath);
        for (const char* sensor : {"Sensor1", "Sensor2", "Sensor3"}) run.SetControl(sensor, 0);
        run.SetControl("DeviceMode", 7);
    });
    run.At(20 * kSecond, [&] { run.SetControl("DeviceMode", 4); });
    StopAndExpectEnd(run, 22 * kSecond, kSecond);

    EXPECT_EQ(Sent(run, 2 * kSecond, 3 * kSecond), Switch(2, 2));
    // The values of the new key are applied once it is found (at the latest one idle wait later) ...
    std::vector<kvtest::SentCommand> back = run.Commands(4 * kSecond);
    ASSERT_GE(back.size(), 6u);
    EXPECT_LT(back[0].timeMs, 4 * kSecond + 5200);
    EXPECT_EQ(Sent(run, 4 * kSecond, 20 * kSecond), Switch(6, 6));
    // ... and later posture changes are seen again.
    EXPECT_EQ(Sent(run, 20 * kSecond, 22 * kSecond), Switch(3, 3));
    std::string log = run.Log();
    EXPECT_TRUE(Logged(log, "[Fail][CStateWork::ArmRegChange] Control key lost, watching for its return."));
    EXPECT_TRUE(Logged(log, "[Infomation][CStateWork::ReopenControlKey] Control key watched again."));
}

TEST(Faults, SettingsMissingEmptyOrGarbledMidRun) {
    ServiceRun run("notebook");
    const std::string settings = run.File(kvtest::kServiceIni);
    const auto host = run.machine().files().Resolve(kvtest::kServiceIni);
    ASSERT_TRUE(host);
    run.At(3 * kSecond, [&] { std::filesystem::remove(*host); });
    run.At(4 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(5 * kSecond, [&] { run.WriteFile(kvtest::kServiceIni, ""); });
    run.At(6 * kSecond, [&] { run.SetControl("DeviceMode", 4); });
    run.At(7 * kSecond, [&] {
        run.WriteFile(kvtest::kServiceIni, std::string("\xEF\xBB\xBF[Set\0ting\n=CustomizationSolutionType\n[[]]=3\r\r"
                                                        "SarType\xff=1\nAntTurner",
                                                        56) +
                                               std::string(5000, '[') + "\n");
    });
    run.At(8 * kSecond, [&] { run.SetControl("DeviceMode", 5); });
    run.At(9 * kSecond, [&] { run.Register("20801"); });
    run.At(10 * kSecond, [&] { run.WriteFile(kvtest::kServiceIni, settings); });
    run.At(11 * kSecond, [&] { run.SetControl("DeviceMode", 7); });
    StopAndExpectEnd(run, 13 * kSecond, kSecond);

    // Without the settings the index switch is off: no command until they are back.
    EXPECT_EQ(Sent(run, 3 * kSecond, 11 * kSecond), Commands{});
    // The registration made meanwhile still changed the region (CE, tablet).
    EXPECT_EQ(Sent(run, 11 * kSecond, 13 * kSecond), Switch(14, 6));
    std::string log = run.Log();
    EXPECT_EQ(kvtest::CountOf(log, ": SarType=Disable,stop config SarIndex!\n"), 3u);
}

TEST(Faults, LogFolderUnwritableForAWhile) {
    ServiceRun run("notebook");
    const char* folder = "C:\\Kavrion\\KvConfigService";
    run.At(2 * kSecond, [&] { run.SetControl("DeviceMode", 2); });
    run.At(kMinute, [&] { run.machine().files().SetWriteDenied(folder, true); });
    // The log is reopened every 2160 wake-ups (three idle hours): the reopening during the fault
    // fails, the one after it works.
    run.At(3 * kHour + 30 * kMinute, [&] { run.SetControl("DeviceMode", 8); });
    run.At(4 * kHour, [&] { run.machine().files().SetWriteDenied(folder, false); });
    run.At(6 * kHour + 30 * kMinute, [&] { run.SetControl("DeviceMode", 4); });
    StopAndExpectEnd(run, 7 * kHour, kSecond);

    // The service worked on through the fault.
    EXPECT_EQ(Sent(run, 3 * kHour, 4 * kHour), Switch(7, 7));
    EXPECT_EQ(Sent(run, 6 * kHour, 7 * kHour), Switch(3, 3));
    std::string log = run.Log();
    EXPECT_TRUE(Logged(log, "AntTunerIndex:2"));
    EXPECT_FALSE(Logged(log, "AntTunerIndex:7"));  // dropped while the folder was closed
    EXPECT_TRUE(Logged(log, "AntTunerIndex:3"));
    EXPECT_EQ(kvtest::CountOf(log, "---------------log start------------------\n"), 2u);
}

TEST(Faults, OlderServiceHangsInStopPending) {
    ServiceRun run("notebook-region");
    run.machine().services().Install(kvtest::kOlderService, "C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe",
                                     sim::ServiceBehaviour::HangsStopping);
    run.At(40 * kSecond, [&] { run.Register("310260"); });
    StopAndExpectEnd(run, 45 * kSecond, kSecond);

    // The start's removal gave up after 30 polls of a second; the worker went on.
    EXPECT_EQ(run.CountTranscript("service", "query Kavrion WWAN Config Service: STOP_PENDING"), 30u);
    std::string log = run.Log();
    EXPECT_TRUE(Logged(log, "[Infomation][CStateWork::SetRegionByIOControl] Set region OK. region=1"));
    EXPECT_EQ(run.machine().driver().Region(), 1u);
}

TEST(Faults, StopWhileTheOlderServiceHangsEndsAfterTheBoundedWait) {
    ServiceRun run("notebook-region");
    run.machine().services().Install(kvtest::kOlderService, "C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe",
                                     sim::ServiceBehaviour::HangsStopping);
    // The start's removal waits from 0 s: 30 polls, a second apart.
    StopAndExpectEnd(run, 10 * kSecond, 21 * kSecond);
    EXPECT_GE(run.EndTimeMs(), 30 * kSecond);
}

}  // namespace
