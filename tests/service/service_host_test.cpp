#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CStateWork.h"
#include "platform/service.h"
#include "platform/sync.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/services.h"
#include "service/CServiceStart.h"
#include "service/ServiceHost.h"
#include "tests/support/sim_test.h"

namespace {

const char kService[] = "Kavrion WWAN CfgService";
const char kIni[] = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
const char kLog[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
const char kControlKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";

struct Report {
    DWORD state;
    DWORD accepted;
    DWORD checkPoint;
    DWORD waitHint;
    bool operator==(const Report&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Report& r) {
    return out << "{state " << r.state << ", accepted " << r.accepted << ", checkpoint " << r.checkPoint
               << ", hint " << r.waitHint << "}";
}

class ServiceHostTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
        machine().registry().CreateKey(kControlKey);
    }

    void SetType(int type) { WriteFile(kIni, "[Setting]\nCustomizationSolutionType=" + std::to_string(type) + "\n"); }

    void ControlAt(std::int64_t ms, DWORD control) {
        machine().clock().At(ms, [this, control] { machine().services().SendControl(kService, control); });
    }

    // Runs the program as the manager would; true when its process ended within `limitMs`.
    bool Run(DWORD limitMs = 60000) {
        auto process = machine().services().StartOwnService(kService, [] { return ServiceProgramMain(); });
        if (!process) return false;
        return machine().clock().Wait({process}, false, limitMs) == WAIT_OBJECT_0;
    }

    std::vector<Report> Reports() {
        std::vector<Report> reports;
        for (const SERVICE_STATUS& s : machine().services().StatusHistory(kService)) {
            EXPECT_EQ(s.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
            EXPECT_EQ(s.dwWin32ExitCode, 0u);
            EXPECT_EQ(s.dwServiceSpecificExitCode, 0u);
            reports.push_back({s.dwCurrentState, s.dwControlsAccepted, s.dwCheckPoint, s.dwWaitHint});
        }
        return reports;
    }

    std::string Log() { return ReadText(kLog); }

    // True when the fragments appear in the log in this order.
    static bool InOrder(const std::string& text, const std::vector<std::string>& fragments) {
        std::size_t at = 0;
        for (const std::string& fragment : fragments) {
            at = text.find(fragment, at);
            if (at == std::string::npos) {
                ADD_FAILURE() << "missing in order: " << fragment;
                return false;
            }
            at += fragment.size();
        }
        return true;
    }
};

const Report kStartPending{SERVICE_START_PENDING, 0, 1, 3000};
const Report kRunning{SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0};
const Report kStopped{SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0};

TEST_F(ServiceHostTest, StartAndStopReportTheirStatesAndCheckpoints) {
    SetType(3);
    ControlAt(10000, SERVICE_CONTROL_STOP);
    ASSERT_TRUE(Run());
    std::vector<Report> expected = {kStartPending,
                                    kRunning,
                                    {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 2, 0},
                                    {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 3, 0},
                                    kStopped};
    EXPECT_EQ(Reports(), expected);
    EXPECT_EQ(machine().clock().Now(), 10000);
    EXPECT_TRUE(InOrder(Log(), {"[Information][SvcInit]  ScemsropType=3",
                                "[Information][CServiceStart::StartWork] Service start, StartWork Enter  >> ",
                                "[Information][CServiceStart::StartWork] StartWork Done.",
                                "[Infomation][CStateWork::Work] Triger Service Stop Event.\n",
                                "[Infomation][CServiceStart::StopWork] Stop work success.\r\n\r\n"}));
    EXPECT_NE(Log().find("[Infomation][CStateWork::TheadWork] Enter TheadWork."), std::string::npos);
    EXPECT_EQ(Log().find("Disable Runing Service!"), std::string::npos);
}

struct DisabledCase {
    const char* name;
    const char* ini;  // null: no settings file at all
    int logged;
};

void PrintTo(const DisabledCase& c, std::ostream* out) { *out << c.name; }

class ServiceDisabled : public ServiceHostTest, public ::testing::WithParamInterface<DisabledCase> {};

TEST_P(ServiceDisabled, RunsNoWorkAndStopsAtOnce) {
    if (GetParam().ini) WriteFile(kIni, GetParam().ini);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Reports(), (std::vector<Report>{kStartPending, kRunning, kStopped}));
    EXPECT_EQ(machine().clock().Now(), 0);
    EXPECT_TRUE(InOrder(Log(), {"[Information][SvcInit]  ScemsropType=" + std::to_string(GetParam().logged) + "\n",
                                "[Information][SvcInit] Disable Runing Service!"}));
    EXPECT_EQ(Log().find("StartWork"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Cases, ServiceDisabled,
                         ::testing::Values(DisabledCase{"NoIni", nullptr, 1},
                                           DisabledCase{"NoKey", "[Setting]\nSarType=1\n", 1},
                                           DisabledCase{"One", "[Setting]\nCustomizationSolutionType=1\n", 1},
                                           DisabledCase{"Four", "[Setting]\nCustomizationSolutionType=4\n", 4},
                                           DisabledCase{"Zero", "[Setting]\nCustomizationSolutionType=0\n", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServiceHostTest, FailedRegistrationAttachStillStopsCleanly) {
    SetType(2);
    machine().modem().SetFault(sim::ModemFault::CreateInterfaceManager, E_FAIL);
    ControlAt(10000, SERVICE_CONTROL_STOP);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Reports().size(), 5u);
    EXPECT_EQ(Reports().back(), kStopped);
    std::string log = Log();
    EXPECT_TRUE(InOrder(log, {"[Error][CServiceStart::StartWork] AttachStateMbnRegEvent Fail.",
                              "[Information][CServiceStart::StartWork] StartWork Done.",
                              "[Infomation][CServiceStart::StopWork] Stop work success."}));
    // No worker ran: it neither entered nor saw the stop.
    EXPECT_EQ(log.find("Enter TheadWork."), std::string::npos);
    EXPECT_EQ(log.find("Triger Service Stop Event."), std::string::npos);
    EXPECT_FALSE(machine().transcript().Contains("process", "sc failure"));
}

TEST_F(ServiceHostTest, NoWorkerThreadMeansStartWorkFailsAndTheServiceStillStops) {
    SetType(3);
    machine().FailKernelCall(sim::KernelCall::CreateThread);
    ControlAt(10000, SERVICE_CONTROL_STOP);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Reports().back(), kStopped);
    std::string log = Log();
    EXPECT_TRUE(InOrder(log, {"[Error][CServiceStart::StartWork] StartThread Fail.",
                              "[Information][CServiceStart::StartWork] StartWork Done.",
                              "[Infomation][CServiceStart::StopWork] Stop work success."}));
    EXPECT_EQ(log.find("Enter TheadWork."), std::string::npos);
}

TEST_F(ServiceHostTest, StartWorkReportsWhetherTheWorkerThreadStarted) {
    SetType(3);
    CStateWork::GetInstance()->InitPath();
    CStateWork::GetInstance()->InitLog();
    machine().FailKernelCall(sim::KernelCall::CreateThread);
    CServiceStart start;
    EXPECT_FALSE(start.StartWork());
    start.StopWork();
    EXPECT_EQ(machine().clock().Now(), 0);
}

TEST_F(ServiceHostTest, ControlsOtherThanStopChangeNothing) {
    SetType(3);
    ControlAt(3000, SERVICE_CONTROL_INTERROGATE);
    ControlAt(4000, SERVICE_CONTROL_PAUSE);
    ControlAt(5000, 200);
    ControlAt(10000, SERVICE_CONTROL_STOP);
    ASSERT_TRUE(Run());
    std::vector<Report> expected = {kStartPending,
                                    kRunning,
                                    {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 2, 0},
                                    {SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 3, 0},
                                    kStopped};
    EXPECT_EQ(Reports(), expected);
    EXPECT_EQ(machine().clock().Now(), 10000);
}

TEST_F(ServiceHostTest, FailedHandlerRegistrationEndsWithoutAnyReport) {
    SetType(3);
    machine().services().SetHandlerRegistrationError(ERROR_SERVICE_DOES_NOT_EXIST);
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Reports().empty());
    EXPECT_EQ(Log(), "");
}

TEST_F(ServiceHostTest, OutsideTheManagerMainReturnsZero) {
    EXPECT_EQ(ServiceProgramMain(), 0);
    EXPECT_TRUE(Reports().empty());
}

}  // namespace
