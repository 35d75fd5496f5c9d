#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "core/CStateWork.h"
#include "platform/sim/registry_store.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"
#include "tests/support/zip_bytes.h"

namespace {

const char kIni[] = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
const char kLog[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
const char kControlKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
const char kRegEvent[] = "[CStateWork::Work] Enter register event";
const char kSimEvent[] = "[[CStateWork::Work] Enter Sim event";
const char kStopEvent[] = "[Infomation][CStateWork::Work] Triger Service Stop Event.\n";
const char kStartLine[] = "---------------log start------------------\n";

// Every occurrence of the markers in the text, in the order they appear.
std::vector<std::string> Sequence(const std::string& text, const std::vector<std::string>& markers) {
    std::vector<std::pair<std::size_t, std::string>> found;
    for (const std::string& marker : markers)
        for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1))
            found.emplace_back(at, marker);
    std::sort(found.begin(), found.end());
    std::vector<std::string> sequence;
    for (auto& [at, marker] : found) sequence.push_back(marker);
    return sequence;
}

std::size_t Count(const std::string& text, const std::string& fragment) {
    std::size_t count = 0;
    for (std::size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1)) ++count;
    return count;
}

class InitPathTest : public kvtest::SimTest {};

TEST_F(InitPathTest, EveryPathHangsBelowTheParentOfTheExecutablesFolder) {
    machine().SetExecutablePath("C:\\Program Files\\Kavrion\\Bin\\KvCfgService.exe");
    CStateWork work;
    EXPECT_EQ(work.InitPath(), 1);
    const std::string base = "C:\\Program Files\\Kavrion\\";
    EXPECT_EQ(work.GetLogFilePath(), base + "KvConfigService\\KvConfigService.log");
    EXPECT_EQ(work.GetPackageFilePath(), base + "Firmware\\KavrConfigFiles.flz");
    EXPECT_EQ(work.GetUnzipFolderPath(), base + "KvConfigService\\KavrConfigFiles\\");
    EXPECT_EQ(work.GetRegionMappingTablePath(), base + "KvConfigService\\RegionMappingTable.xml");
    EXPECT_EQ(work.GetDeviceModeMappingTablePath(), base + "KvConfigService\\DeviceModeToScenarioIndexMappingTable.xml");
    EXPECT_EQ(work.GetIniFilePath(), base + "KvConfigService\\kvwwanConfig.ini");
    EXPECT_EQ(work.GetDeviceIdImageMappingTablePath(), base + "FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml");
    EXPECT_EQ(work.GetScatterFilePath(), base + "FwSwitchBin\\FlashData\\scatter.xml");
    EXPECT_EQ(work.GetOldServiceExePath(), base + "KvConfigService\\KvWwanConfigService.exe");
}

TEST_F(InitPathTest, TwoBackslashesMakeTheDriveTheBase) {
    machine().SetExecutablePath("C:\\Bin\\KvCfgService.exe");
    CStateWork work;
    EXPECT_EQ(work.InitPath(), 1);
    EXPECT_EQ(work.GetIniFilePath(), "C:\\KvConfigService\\kvwwanConfig.ini");
}

TEST_F(InitPathTest, FewerThanTwoBackslashesSetNothing) {
    for (const char* path : {"C:\\KvCfgService.exe", "KvCfgService.exe", "\\KvCfgService.exe", ""}) {
        machine().SetExecutablePath(path);
        CStateWork work;
        EXPECT_EQ(work.InitPath(), 1) << path;
        EXPECT_EQ(work.GetLogFilePath(), "") << path;
        EXPECT_EQ(work.GetIniFilePath(), "") << path;
        EXPECT_EQ(work.GetOldServiceExePath(), "") << path;
    }
}

// The worker singleton driven directly from the test, as the service thread drives it.
class WorkerTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
        machine().registry().CreateKey(kControlKey);
        SetType(2);
        work_ = CStateWork::GetInstance();
        work_->InitPath();
        work_->InitLog();
    }
    void TearDown() override {
        if (running_) work_->StopThread();
        SimTest::TearDown();
    }

    void SetType(int type) { WriteFile(kIni, "[Setting]\nCustomizationSolutionType=" + std::to_string(type) + "\n"); }
    void WriteControl(const std::string& name, DWORD value) {
        ASSERT_EQ(machine().registry().SetDword(kControlKey, name, value, "test"), "");
    }
    void Start() {
        ASSERT_EQ(work_->InitWork(), 1);
        ASSERT_NE(work_->StartThread(), nullptr);
        running_ = true;
    }
    void Stop() {
        work_->StopThread();
        running_ = false;
    }
    std::string Log() { return ReadText(kLog); }

    CStateWork* work_ = nullptr;
    bool running_ = false;
};

TEST_F(WorkerTest, FirstWakeUpAppliesTheRegionThenStopEndsTheLoop) {
    Start();
    Sleep(1000);
    Stop();
    std::string log = Log();
    EXPECT_EQ(Sequence(log, {kRegEvent, kSimEvent, kStopEvent}), (std::vector<std::string>{kSimEvent, kStopEvent}));
    EXPECT_NE(log.find("[Infomation][CStateWork::TheadWork] Enter TheadWork."), std::string::npos);
    EXPECT_NE(log.find("[Info]Config service Properties->recovery"), std::string::npos);
    EXPECT_NE(log.find("\n\n--------Start service-------------------\n"), std::string::npos);
    EXPECT_NE(log.find("SetSimChangeEvent mccmnc:: \n"), std::string::npos);
    EXPECT_NE(log.find("mcc:\n"), std::string::npos);
    EXPECT_TRUE(machine().transcript().Contains(
        "process", "sc failure \"Kavrion WWAN CfgService\" reset= 86400 actions= restart/60000/restart/60000/restart/60000"));
}

TEST_F(WorkerTest, ControlKeyChangeAndRegistrationChangePendingTogetherTakeTwoPassesInThatOrder) {
    ASSERT_EQ(work_->InitWork(), 1);
    // Raised before the worker exists, so both events are pending at its first wait.
    WriteControl("DeviceMode", 3);
    ASSERT_NE(work_->StartThread(), nullptr);
    running_ = true;
    Sleep(1000);
    Stop();
    EXPECT_EQ(Sequence(Log(), {kRegEvent, kSimEvent, kStopEvent}),
              (std::vector<std::string>{kRegEvent, kSimEvent, kStopEvent}));
}

TEST_F(WorkerTest, StopWithAControlKeyChangePendingHandlesTheChangeFirst) {
    Start();
    Sleep(1000);
    WriteControl("DeviceMode", 5);
    Stop();
    EXPECT_EQ(Sequence(Log(), {kRegEvent, kSimEvent, kStopEvent}),
              (std::vector<std::string>{kSimEvent, kRegEvent, kStopEvent}));
    EXPECT_EQ(Count(Log(), "[Infomation][CStateWork::ServiceCheckAndDelete] Enter ServiceCheckThead."), 2u);
}

TEST_F(WorkerTest, EveryControlKeyChangeIsSeenBecauseTheNotificationIsArmedAgain) {
    Start();
    for (DWORD mode = 1; mode <= 3; ++mode) {
        machine().clock().At(mode * 2000, [this, mode] { WriteControl("DeviceMode", mode); });
    }
    Sleep(10000);
    Stop();
    EXPECT_EQ(Count(Log(), kRegEvent), 3u);
    EXPECT_EQ(Count(Log(), "Config enter."), 3u);
}

TEST_F(WorkerTest, RegistrationChangeRunsConfigOnlyForType3AndTheSettingIsReadAtEveryWakeUp) {
    SetType(3);
    Start();
    Sleep(1000);  // the start-up's SIM_CHANGE, with type 3
    EXPECT_EQ(Count(Log(), "Config enter."), 1u);
    SetType(1);
    work_->SetSimChangeEvent("46001", "");
    Sleep(1000);
    Stop();
    std::string log = Log();
    EXPECT_EQ(Count(log, kSimEvent), 2u);
    EXPECT_EQ(Count(log, "Config enter."), 1u);
    EXPECT_NE(log.find("SetSimChangeEvent mccmnc:: 46001\n"), std::string::npos);
    EXPECT_NE(log.find("mcc:460\n"), std::string::npos);
}

TEST_F(WorkerTest, ShortProviderIdGivesAShortMcc) {
    Start();
    Sleep(1000);
    work_->SetSimChangeEvent("31", "");
    Sleep(1000);
    Stop();
    EXPECT_NE(Log().find("mcc:31\n"), std::string::npos);
}

TEST_F(WorkerTest, WithoutTheControlKeyTheWorkerStillRunsAndStops) {
    machine().registry().DeleteKey(kControlKey);
    Start();
    Sleep(6000);
    Stop();
    EXPECT_EQ(Count(Log(), kRegEvent), 0u);
    EXPECT_EQ(Count(Log(), kStopEvent), 1u);
    EXPECT_NE(Log().find("get NewPackageFlag error!"), std::string::npos);
}

TEST_F(WorkerTest, WithoutSimChangeTheWorkerWaitsOnTheOtherEventsAndStops) {
    // REG_CHANGE is the first event InitWork creates, SIM_CHANGE the second.
    machine().FailKernelCall(sim::KernelCall::CreateEvent, 1);
    machine().clock().At(7000, [this] { WriteControl("DeviceMode", 4); });
    Start();
    Sleep(12000);
    Stop();
    std::string log = Log();
    EXPECT_NE(log.find("[ERROR]  12-08 19:36:16:000: [Fail][CStateWork::InitWork] Create SIM_CHANGE Event Fail.\n"),
              std::string::npos);
    EXPECT_EQ(Sequence(log, {kRegEvent, kSimEvent, kStopEvent}), (std::vector<std::string>{kRegEvent, kStopEvent}));
    EXPECT_NE(log.find("12-08 19:36:23:000: Config enter."), std::string::npos);
    EXPECT_EQ(machine().clock().Now(), 12000);
}

TEST_F(WorkerTest, ARefusedFirstArmingIsArmedAgainAtTheNextWakeUpWithoutASwitch) {
    machine().registry().FailNotifications(ERROR_NOT_ENOUGH_MEMORY);
    Start();
    machine().clock().At(7000, [this] { WriteControl("DeviceMode", 4); });
    Sleep(12000);
    Stop();
    const std::string log = Log();
    EXPECT_EQ(Sequence(log, {kRegEvent, kSimEvent, kStopEvent}),
              (std::vector<std::string>{kSimEvent, kRegEvent, kStopEvent}));
    EXPECT_EQ(Count(log, "Config enter."), 1u);
    EXPECT_NE(log.find("12-08 19:36:23:000: Config enter."), std::string::npos);
    EXPECT_EQ(log.find("Control key watched again."), std::string::npos);
    EXPECT_EQ(log.find("Control key lost"), std::string::npos);
}

TEST_F(WorkerTest, AnArmingRefusedAfterAChangeIsArmedAgainAtTheNextWakeUp) {
    Start();
    machine().clock().At(2000, [this] {
        machine().registry().FailNotifications(ERROR_NOT_ENOUGH_MEMORY);
        WriteControl("DeviceMode", 3);
    });
    machine().clock().At(12000, [this] { WriteControl("DeviceMode", 4); });
    Sleep(14000);
    Stop();
    const std::string log = Log();
    EXPECT_EQ(Count(log, kRegEvent), 2u);
    EXPECT_NE(log.find("12-08 19:36:18:000: Config enter."), std::string::npos);
    EXPECT_NE(log.find("12-08 19:36:28:000: Config enter."), std::string::npos);
}

struct PackageCase {
    const char* name;
    int flag;  // -1: no value
    std::vector<std::string> logged;
    DWORD flagAfter;
};

void PrintTo(const PackageCase& c, std::ostream* out) { *out << c.name; }

class PackageStep : public WorkerTest, public ::testing::WithParamInterface<PackageCase> {};

TEST_P(PackageStep, FlagDecidesTheUnpacking) {
    const PackageCase& c = GetParam();
    if (c.flag >= 0) WriteControl("NewPackageFlag", static_cast<DWORD>(c.flag));
    Start();
    Sleep(1000);
    Stop();
    std::string log = Log();
    for (const std::string& line : c.logged) EXPECT_NE(log.find(line), std::string::npos) << line;
    for (const char* other : {"unzip KavrConfigFiles.flz", "Do not need to unzip anymore", "get NewPackageFlag error!"}) {
        bool expected = false;
        for (const std::string& line : c.logged) expected = expected || line.find(other) != std::string::npos;
        if (!expected) {
            EXPECT_EQ(log.find(other), std::string::npos) << other;
        }
    }
    if (c.flag >= 0) {
        EXPECT_EQ(machine().registry().GetDword(kControlKey, "NewPackageFlag"), c.flagAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackageStep,
    ::testing::Values(PackageCase{"Missing", -1, {"get NewPackageFlag error!"}, 0},
                      PackageCase{"Zero", 0, {"] 12-08 19:36:16:000: 0\n", "Do not need to unzip anymore"}, 0},
                      PackageCase{"OneWithoutPackage", 1, {": 1\n", "unzip KavrConfigFiles.flz failed"}, 1},
                      PackageCase{"Two", 2, {": 2\n"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(WorkerTest, APackageIsUnpackedBelowTheConfigFolderAndItsFlagCleared) {
    WriteFile("C:\\Kavrion\\Firmware\\KavrConfigFiles.flz",
              ziptest::BuildZip({ziptest::RawItem("SrvConfig.ini", "[GENERAL]\n"),
                                 ziptest::RawItem("SarAnt/table.xml", "<Table/>").Deflated()}));
    WriteControl("NewPackageFlag", 1);
    Start();
    Sleep(1000);
    Stop();
    const std::string folder = "C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\";
    EXPECT_EQ(ReadFile(folder + "SrvConfig.ini"), "[GENERAL]\n");
    EXPECT_EQ(ReadFile(folder + "SarAnt\\table.xml"), "<Table/>");
    EXPECT_EQ(machine().registry().GetDword(kControlKey, "NewPackageFlag"), 0u);
    // The flag's own write is the first control-key change.
    EXPECT_EQ(Sequence(Log(), {"unzip KavrConfigFiles.flz success", kRegEvent, kSimEvent}),
              (std::vector<std::string>{"unzip KavrConfigFiles.flz success", kRegEvent, kSimEvent}));
}

TEST_F(WorkerTest, The2160thWakeUpReopensTheLogWithANewStartLine) {
    Start();
    // Wake-up 1 is the start-up's SIM_CHANGE at 0 s; then one time-out every 5 s.
    Sleep(2158 * 5000 + 1000);
    EXPECT_EQ(Log().find("Set SetLogPath-----"), std::string::npos);
    EXPECT_EQ(Count(Log(), kStartLine), 1u);
    Sleep(5000);
    EXPECT_NE(Log().find("Set SetLogPath-----"), std::string::npos);
    Stop();
    std::string log = Log();
    EXPECT_EQ(Count(log, kStartLine), 2u);
    std::size_t reopen = log.find("Set SetLogPath-----");
    std::size_t start = log.find(kStartLine, reopen);
    std::size_t stop = log.find(kStopEvent);
    ASSERT_NE(start, std::string::npos);
    EXPECT_LT(reopen, start);
    EXPECT_LT(start, stop);
    // 10795 s after the start: 19:36:16 + 2:59:55.
    EXPECT_NE(log.find("12-08 22:36:11:000: Set SetLogPath-----"), std::string::npos);
}

DWORD LogEverySecond(LPVOID parameter) {
    const int lines = *static_cast<int*>(parameter);
    for (int i = 0; i < lines; ++i) {
        CLog::GetInstance()->WriteLog(4, "other thread " + std::to_string(i));
        Sleep(1000);
    }
    return 0;
}

TEST_F(WorkerTest, The2160thWakeUpMovesAGrownLogToTheBackupWhileAnotherThreadLogs) {
    const std::string backup = std::string(kLog) + "bk";
    WriteFile(backup, "older backup");
    Start();
    Sleep(2158 * 5000 + 1000);
    std::filesystem::resize_file(kvtest::HostPath(drives(), kLog), 0x31FFFFF + 1);
    int lines = 10;
    HANDLE other = CreateThread(nullptr, 0, LogEverySecond, &lines, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(other, INFINITE), WAIT_OBJECT_0);
    CloseHandle(other);
    Stop();

    EXPECT_GT(std::filesystem::file_size(kvtest::HostPath(drives(), backup)), 0x31FFFFFu);
    const std::string log = Log();
    EXPECT_EQ(log.rfind(kStartLine, 0), 0u);
    EXPECT_LT(log.size(), 2000u);
    EXPECT_NE(log.find("other thread 9"), std::string::npos);
    EXPECT_NE(log.find(kStopEvent), std::string::npos);
}

}  // namespace
