#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CStateWork.h"
#include "platform/service.h"
#include "platform/sim/driver.h"
#include "platform/sim/services.h"
#include "platform/sync.h"
#include "tests/core/road_fixture.h"

namespace {

using roadtest::RoadTest;

const char kOldService[] = "Kavrion WWAN Config Service";
const char kEnter[] = "[Infomation][CStateWork::ServiceCheckAndDelete] Enter ServiceCheckThead.";
const char kDone[] = "[Infomation][CStateWork::ServiceCheckAndDelete] ServiceCheckThead done.";

class RegionTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        work_.InitPath();
    }
    CStateWork work_;
};

struct RegionCase {
    int code;
    std::vector<BYTE> bytes;
};

class RegionCode : public RegionTest, public ::testing::WithParamInterface<RegionCase> {};

TEST_P(RegionCode, DriverGetsTheCodeAsFourLittleEndianBytes) {
    const RegionCase& c = GetParam();
    EXPECT_TRUE(work_.SetRegionByIOControl(c.code));
    std::vector<sim::DeviceControl> controls = machine().driver().Controls();
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].code, 0x06000004u);
    EXPECT_EQ(controls[0].input, c.bytes);
    EXPECT_EQ(machine().driver().Region(), static_cast<DWORD>(c.code));
    EXPECT_TRUE(Logged("[Infomation][CStateWork::SetRegionByIOControl] Set region OK. region=" + std::to_string(c.code)));
    EXPECT_EQ(machine().driver().OpenHandleCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegionCode,
                         ::testing::Values(RegionCase{1, {1, 0, 0, 0}}, RegionCase{2, {2, 0, 0, 0}},
                                           RegionCase{3, {3, 0, 0, 0}}));

TEST_F(RegionTest, NoControlDeviceGivesErrorCode2) {
    machine().driver().SetPresent(false);
    EXPECT_FALSE(work_.SetRegionByIOControl(2));
    EXPECT_TRUE(Logged("[Error][CStateWork::SetRegionByIOControl] CreateFile error. errorcode=2"));
    EXPECT_TRUE(machine().driver().Controls().empty());
}

TEST_F(RegionTest, RejectedControlIsReportedWithTheCode) {
    machine().driver().SetRejectError(ERROR_GEN_FAILURE);
    EXPECT_FALSE(work_.SetRegionByIOControl(3));
    EXPECT_TRUE(Logged("[Error][CStateWork::SetRegionByIOControl] Set region error. region=3"));
    EXPECT_EQ(machine().driver().OpenHandleCount(), 0);
}

// ---- the older sibling service ---------------------------------------------------------

struct SiblingCase {
    const char* name;
    bool installed;
    sim::ServiceBehaviour behaviour;
    int pendingPolls;
    bool executable;
    int result;
    int queries;         // status queries after the stop request
    std::int64_t waitMs;  // time the call took
    std::vector<std::string> logged;  // in this order, after the entry line
    std::vector<std::string> notLogged;
    bool deleted;        // DeleteService reached the service
};

void PrintTo(const SiblingCase& c, std::ostream* out) { *out << c.name; }

class Sibling : public RegionTest, public ::testing::WithParamInterface<SiblingCase> {};

TEST_P(Sibling, StopWaitDeleteAndTheExecutable) {
    const SiblingCase& c = GetParam();
    if (c.installed) machine().services().Install(kOldService, roadtest::kOldExe, c.behaviour, c.pendingPolls);
    if (c.executable) WriteFile(roadtest::kOldExe, "MZ");
    std::int64_t start = machine().clock().Now();

    EXPECT_EQ(work_.ServiceCheckAndDelete(), c.result);

    EXPECT_EQ(machine().clock().Now() - start, c.waitMs);
    std::vector<std::string> logged = {kEnter};
    logged.insert(logged.end(), c.logged.begin(), c.logged.end());
    EXPECT_TRUE(LoggedInOrder(logged)) << Log();
    for (const std::string& text : c.notLogged) EXPECT_FALSE(Logged(text)) << text;
    EXPECT_EQ(machine().transcript().Count("service", "query " + std::string(kOldService)), static_cast<std::size_t>(c.queries));
    EXPECT_EQ(machine().transcript().Contains("service", "service deleted Kavrion WWAN Config Service"), c.deleted);
    if (c.installed && !c.deleted) {
        EXPECT_TRUE(machine().services().Exists(kOldService));
    }
    // The executable goes only with the service.
    EXPECT_EQ(std::filesystem::exists(kvtest::HostPath(drives(), roadtest::kOldExe)), c.executable && !c.deleted);
    EXPECT_EQ(machine().services().OpenHandleCount(), 0u);
}

const char kStopped[] = "Service dwCurrentState == SERVICE_STOPPED";
const char kRemoved[] = "Service removed successfully";

INSTANTIATE_TEST_SUITE_P(
    Cases, Sibling,
    ::testing::Values(
        SiblingCase{"StopsAtTheFirstQuery", true, sim::ServiceBehaviour::StopsAfterPolls, 0, true, 1, 1, 1000,
                    {kStopped, kRemoved, kDone}, {}, true},
        SiblingCase{"StopsAfterThreePolls", true, sim::ServiceBehaviour::StopsAfterPolls, 3, true, 1, 4, 4000,
                    {kStopped, kRemoved, kDone}, {}, true},
        SiblingCase{"ExecutableAlreadyGone", true, sim::ServiceBehaviour::StopsAfterPolls, 1, false, 0, 2, 2000,
                    {kStopped, kRemoved, "Delete Service application Failed"}, {kDone}, true},
        SiblingCase{"NeverLeavesStopPendingIsDeletedAfter30Polls", true, sim::ServiceBehaviour::HangsStopping, 0, true,
                    1, 30, 30000, {kRemoved, kDone}, {kStopped}, true},
        SiblingCase{"NotInstalled", false, sim::ServiceBehaviour::Stopped, 0, true, 0, 0, 0,
                    {"OpenService failed (1060)"}, {"Service stop Failed.", kRemoved}, false},
        SiblingCase{"InstalledButStopped", true, sim::ServiceBehaviour::Stopped, 0, true, 0, 0, 0,
                    {"Service stop Failed."}, {kRemoved}, false},
        SiblingCase{"RefusesTheStop", true, sim::ServiceBehaviour::RefusesStop, 0, true, 0, 0, 0,
                    {"Service stop Failed."}, {kRemoved}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegionTest, ManagerThatCannotBeOpenedEndsTheAttempt) {
    machine().services().Install(kOldService, roadtest::kOldExe, sim::ServiceBehaviour::StopsAfterPolls, 0);
    machine().services().SetManagerOpenError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(work_.ServiceCheckAndDelete(), 0);
    EXPECT_TRUE(LoggedInOrder({kEnter, "OpenSCManager failed (5)"}));
    EXPECT_TRUE(machine().services().Exists(kOldService));
}

TEST_F(RegionTest, FwFlashNewPackageFlag) {
    const char key[] = "HKLM\\SOFTWARE\\WOW6432Node\\Kavrion\\FwFlashService";
    EXPECT_EQ(GetFwFlashNewPackageFlag(), 0u);
    ASSERT_EQ(machine().registry().SetDword(key, "NewPackageFlag", 1), "");
    EXPECT_EQ(GetFwFlashNewPackageFlag(), 1u);
    EXPECT_EQ(SetFwFlashNewPackageFlag(), 0);
    EXPECT_EQ(machine().registry().GetDword(key, "NewPackageFlag"), 2u);
    EXPECT_EQ(GetFwFlashNewPackageFlag(), 2u);
}

// ---- through the worker --------------------------------------------------------------

class RegionWorkerTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        Tables();
        work_ = CStateWork::GetInstance();
        work_->InitPath();
    }
    void Run(const std::string& provider, DWORD ms = 2000) {
        sim::ModemInterface settings;
        settings.providerId = provider;
        modem().AddInterface(settings);
        ASSERT_EQ(work_->InitWork(), 1);
        ASSERT_NE(work_->StartThread(), nullptr);
        Sleep(ms);
        work_->StopThread();
    }
    CStateWork* work_ = nullptr;
};

struct MappedRegionCase {
    const char* provider;
    std::vector<std::vector<BYTE>> sent;
};

class MappedRegion : public RegionWorkerTest, public ::testing::WithParamInterface<MappedRegionCase> {};

TEST_P(MappedRegion, TypeTwoHandsTheMappedRegionToTheDriver) {
    Settings("CustomizationSolutionType=2\nSarType=1\n");
    Run(GetParam().provider);
    std::vector<std::vector<BYTE>> sent;
    for (const sim::DeviceControl& control : machine().driver().Controls()) {
        EXPECT_EQ(control.code, 0x06000004u);
        sent.push_back(control.input);
    }
    EXPECT_EQ(sent, GetParam().sent);
    // Type 2 does not run the index switch on a registration change.
    EXPECT_FALSE(Logged("Config enter."));
}

INSTANTIATE_TEST_SUITE_P(Cases, MappedRegion,
                         ::testing::Values(MappedRegionCase{"20801", {{2, 0, 0, 0}}},
                                           MappedRegionCase{"310410", {{1, 0, 0, 0}}},
                                           // lower case in the table, upper-cased by the worker
                                           MappedRegionCase{"302720", {{3, 0, 0, 0}}},
                                           MappedRegionCase{"45005", {}}));

TEST_F(RegionWorkerTest, TypeThreeSendsNoRegionButRunsTheSwitch) {
    Settings("CustomizationSolutionType=3\nSarType=0\n");
    Run("20801");
    EXPECT_TRUE(machine().driver().Controls().empty());
    EXPECT_TRUE(LoggedInOrder({"mcc:208", "Config enter.", "FlashSarByImage", "SarType=Disable,stop config SarIndex!"}));
}

TEST_F(RegionWorkerTest, MissingSiblingIsReportedAfterEveryHandledEvent) {
    Settings("CustomizationSolutionType=2\n");
    machine().clock().At(2000, [this] { Control("DeviceMode", 3); });
    machine().clock().At(4000, [this] { work_->SetSimChangeEvent("20801", ""); });
    Run("310410", 6000);
    EXPECT_EQ(CountLogged(kEnter), 3u);
    EXPECT_EQ(CountLogged("OpenService failed (1060)"), 3u);
}

TEST_F(RegionWorkerTest, SiblingRemovedOnceThenReportedMissing) {
    Settings("CustomizationSolutionType=2\n");
    machine().services().Install(kOldService, roadtest::kOldExe, sim::ServiceBehaviour::StopsAfterPolls, 3);
    WriteFile(roadtest::kOldExe, "MZ");
    machine().clock().At(8000, [this] { Control("DeviceMode", 3); });
    Run("310410", 10000);
    EXPECT_EQ(CountLogged(kDone), 1u);
    EXPECT_EQ(CountLogged("OpenService failed (1060)"), 1u);
    EXPECT_FALSE(machine().services().Exists(kOldService));
    EXPECT_TRUE(machine().transcript().Contains("file", "deleted C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe"));
}

TEST_F(RegionWorkerTest, PostureWrittenWhileConfigRunsIsHandledByTheNextPass) {
    Settings("CustomizationSolutionType=2\nSarType=0\nAntTurner=1\n");
    Control("DeviceMode", 7);
    machine().clock().At(2000, [this] { Control("DeviceMode", 1); });
    // After the first pass read the posture and before its profile command.
    machine().clock().At(2250, [this] { Control("DeviceMode", 2); });
    Run("310410", 5000);
    EXPECT_EQ(CountLogged("Config enter."), 2u);
    const std::vector<std::string> profile = {"AT+GTANTPROFILE=1\r\n", "AT+GTANTPROFILE=2\r\n"};
    std::vector<std::string> sent;
    for (const std::string& command : Sent())
        if (command.rfind("AT+GTANTPROFILE=", 0) == 0) sent.push_back(command);
    EXPECT_EQ(sent, profile);
}

}  // namespace
