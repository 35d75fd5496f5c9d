// One virtual week of the service on the default notebook: a posture change every ten minutes, a
// registration change every hour, the log grown past its limit twice, STOP at the end.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "platform/sim/driver.h"
#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/services.h"
#include "tests/support/service_run.h"

namespace fs = std::filesystem;

namespace {

using kvtest::SentCommand;
using kvtest::ServiceRun;

constexpr std::int64_t kMinute = 60 * 1000;
constexpr std::int64_t kHour = 60 * kMinute;
constexpr std::int64_t kDay = 24 * kHour;
constexpr std::int64_t kWeek = 7 * kDay;
constexpr std::int64_t kPostureEvery = 10 * kMinute;
constexpr std::int64_t kPostureOffset = 5 * kMinute;  // between two registration changes

// The notebook's map (MapType_2): SAR index by region and device mode, antenna profile by device mode.
constexpr std::array<int, 9> kAntenna = {0, 1, 2, 2, 3, 4, 5, 6, 7};
constexpr std::array<int, 9> kSarFccIsed = {0, 1, 2, 2, 3, 4, 5, 6, 7};
constexpr std::array<int, 9> kSarCe = {8, 9, 10, 10, 11, 12, 13, 14, 15};

struct Network {
    const char* providerId;
    bool ce;
};
constexpr std::array<Network, 3> kNetworks = {{{"20801", true}, {"302720", false}, {"310260", false}}};

// What the layer holds for the system; a leak of any of them grows with the events.
struct Holdings {
    std::size_t comObjects, bstrs, safeArrays, handles, deviceHandles, serviceHandles;
    bool operator==(const Holdings&) const = default;
};

std::string Describe(const Holdings& h) {
    return "com " + std::to_string(h.comObjects) + ", bstr " + std::to_string(h.bstrs) + ", safearray " +
           std::to_string(h.safeArrays) + ", handles " + std::to_string(h.handles) + ", device " +
           std::to_string(h.deviceHandles) + ", sc " + std::to_string(h.serviceHandles);
}

std::vector<std::string> Switch(int mode, bool ce) {
    int sar = ce ? kSarCe[mode] : kSarFccIsed[mode];
    return {"AT+bodysaren?\\r\\n",
            "AT+BODYSARMODE?\\r\\n",
            "at+bodysaron=1," + std::to_string(sar) + "\\r\\n",
            "AT+GTANTTUNINGEN?\\r\\n",
            "AT+GTANTCTRLMODE?\\r\\n",
            "AT+GTANTPROFILE=" + std::to_string(kAntenna[mode]) + "\\r\\n"};
}

TEST(Soak, AWeekOfPosturesAndRegistrationsKeepsEveryCommandAndStops) {
    const auto realStart = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    ServiceRun run("notebook");
    sim::Machine& machine = run.machine();
    const fs::path logHost = run.drives() / "C" / "Kavrion" / "KvConfigService" / "KvConfigService.log";
    const fs::path backupHost = run.drives() / "C" / "Kavrion" / "KvConfigService" / "KvConfigService.logbk";

    // Registration changes on the hour, postures five minutes past every ten.
    int postures = 0;
    for (std::int64_t at = kPostureOffset; at < kWeek; at += kPostureEvery, ++postures) {
        DWORD mode = static_cast<DWORD>(postures % 9);
        run.At(at, [&run, mode] { run.SetControl("DeviceMode", mode); });
    }
    int registrations = 0;
    for (std::int64_t at = kHour; at < kWeek; at += kHour, ++registrations) {
        const char* provider = kNetworks[static_cast<std::size_t>(registrations) % kNetworks.size()].providerId;
        run.At(at, [&run, provider] { run.Register(provider); });
    }
    run.At(kWeek, [&run] { run.Stop(); });

    // The log reaches its limit at the start and again mid-week: each time the next periodic reopening
    // moves it to the backup.
    auto growLog = [logHost] {
        std::error_code ignored;
        fs::resize_file(logHost, static_cast<std::uintmax_t>(CLog::kRotateSize) + 1, ignored);
    };
    run.At(kMinute, growLog);
    run.At(4 * kDay, growLog);

    // Once a day: what the system holds and how big its log is.
    std::vector<Holdings> holdings;
    std::vector<std::uintmax_t> logSizes;
    for (std::int64_t at = kDay - 30 * 1000; at < kWeek; at += kDay) {
        run.At(at, [&] {
            holdings.push_back({sim::LiveComObjects(), sim::LiveBstrs(), sim::LiveSafeArrays(), machine.handles().Count(),
                                static_cast<std::size_t>(machine.driver().OpenHandleCount()),
                                machine.services().OpenHandleCount()});
            std::error_code ignored;
            logSizes.push_back(fs::file_size(logHost, ignored));
        });
    }

    run.Start();
    ASSERT_TRUE(run.RunUntilEnded(kWeek + kMinute)) << "the service did not end after STOP";
    // STOP reached an idle worker: it ends at once.
    EXPECT_LT(run.EndTimeMs() - kWeek, 1000);
    const double realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    const double cpuSeconds = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    // Every posture change and every registration change gave its six commands, with the indexes of the
    // region then in force; nothing else was sent.
    std::vector<SentCommand> sent = run.Commands();
    std::map<std::int64_t, std::vector<std::string>> byEvent;  // the event's time -> its commands
    std::int64_t lastEvent = -1;
    for (const SentCommand& command : sent) {
        std::int64_t event = command.timeMs < kMinute ? 0 : (command.timeMs / (5 * kMinute)) * 5 * kMinute;
        ASSERT_LT(command.timeMs - event, 2000) << command.bytes << " at " << command.timeMs;
        byEvent[event].push_back(command.bytes);
        lastEvent = event;
    }
    EXPECT_EQ(byEvent.size(), static_cast<std::size_t>(postures + registrations + 1)) << "last at " << lastEvent;
    bool ce = false;  // the start registers on a US network
    int mode = 1;     // the registry's device mode at start
    int registration = 0;
    int posture = 0;
    for (const auto& [time, commands] : byEvent) {
        if (time >= kHour && time % kHour == 0)
            ce = kNetworks[static_cast<std::size_t>(registration++) % kNetworks.size()].ce;
        else if (time % kPostureEvery == kPostureOffset)
            mode = posture++ % 9;
        ASSERT_EQ(commands, Switch(mode, ce)) << "event at " << time << " ms";
    }
    EXPECT_EQ(posture, postures);
    EXPECT_EQ(registration, registrations);

    // The log was moved aside twice and never grew far past its limit; a new file carries on.
    EXPECT_TRUE(fs::exists(backupHost));
    std::error_code ignored;
    EXPECT_LE(fs::file_size(backupHost, ignored), static_cast<std::uintmax_t>(CLog::kRotateSize) + 1024 * 1024);
    ASSERT_EQ(logSizes.size(), 7u);
    for (std::uintmax_t size : logSizes) EXPECT_LT(size, static_cast<std::uintmax_t>(CLog::kRotateSize));
    std::string log = run.Log();
    EXPECT_LT(log.size(), 4u * 1024 * 1024);
    EXPECT_EQ(log.rfind("---------------log start------------------\n", 0), 0u);
    EXPECT_NE(log.find("[Infomation][CStateWork::Work] Triger Service Stop Event.\n"), std::string::npos);
    EXPECT_NE(log.find("[Infomation][CServiceStart::StopWork] Stop work success.\r\n\r\n"), std::string::npos);

    // What the system holds is the same every day.
    for (std::size_t day = 1; day < holdings.size(); ++day)
        EXPECT_EQ(holdings[day], holdings[0]) << "day " << day + 1 << ": " << Describe(holdings[day]) << " vs day 1: "
                                              << Describe(holdings[0]);

    // The service reported STOPPED last.
    std::vector<SERVICE_STATUS> statuses = machine.services().StatusHistory(kvtest::kServiceName);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back().dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));

    std::printf("soak: %.1f virtual days in %.1f s real time (%.1f s processor time); %d posture changes, "
                "%d registration changes, %zu AT commands, %lld idle wake-ups\n",
                static_cast<double>(run.EndTimeMs()) / kDay, realSeconds, cpuSeconds, postures, registrations,
                sent.size(), static_cast<long long>(kWeek / 5000));
    // Processor time, all threads: the real time also counts whatever else the machine runs.
    EXPECT_LT(cpuSeconds, 60.0);
}

}  // namespace
