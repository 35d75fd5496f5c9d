#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/service.h"
#include "platform/sim/programs.h"
#include "platform/sim/services.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using sim::Programs;

const char kOwn[] = "Kavrion WWAN CfgService";
const char kRecovery[] =
    "sc failure \"Kavrion WWAN CfgService\" reset= 86400 actions= restart/60000/restart/60000/restart/60000";

class ProcessTest : public kvtest::SimTest {
protected:
    void InstallOwn() { machine().services().Install(kOwn, "C:\\Kavrion\\KvCfgService\\KvCfgService.exe", sim::ServiceBehaviour::Own); }
    sim::FailureActions ActionsOf(const std::string& name) { return machine().services().Find(name)->failureActions; }
};

TEST(CommandLine, SplitsAsTheRuntimeDoes) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"sc failure \"Kavrion WWAN CfgService\" reset= 86400",
         {"sc", "failure", "Kavrion WWAN CfgService", "reset=", "86400"}},
        {"  a\t b  ", {"a", "b"}},
        {"actions= \"\"", {"actions=", ""}},
        {"\"C:\\Program Files\\x.exe\" arg", {"C:\\Program Files\\x.exe", "arg"}},
        {"a\\\"b c\\\\\"d e\"", {"a\"b", "c\\d e"}},
        {"C:\\dir\\", {"C:\\dir\\"}},
        {"", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Programs::SplitCommandLine(c.line), c.args) << c.line;
}

TEST_F(ProcessTest, RecoveryCommandSetsTheFailureActions) {
    InstallOwn();
    EXPECT_GT(WinExec(kRecovery, SW_HIDE), 31u);
    auto actions = ActionsOf(kOwn);
    EXPECT_TRUE(actions.set);
    EXPECT_EQ(actions.resetPeriodSeconds, 86400u);
    ASSERT_EQ(actions.actions.size(), 3u);
    for (const auto& action : actions.actions) {
        EXPECT_EQ(action.type, SC_ACTION_RESTART);
        EXPECT_EQ(action.delayMs, 60000u);
    }
    EXPECT_EQ(machine().transcript().Lines("process"), std::vector<std::string>{std::string("run ") + kRecovery});
    EXPECT_TRUE(machine().transcript().Contains(
        "service", "failure actions Kavrion WWAN CfgService: reset=86400 actions=restart/60000/restart/60000/restart/60000"));
    auto runs = machine().programs().Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].path, "C:\\Windows\\System32\\sc.exe");
    EXPECT_EQ(runs[0].exitCode, 0u);
}

TEST_F(ProcessTest, EmptyActionsClearTheFailureActions) {
    machine().services().Install("KavrConfigSrv", "C:\\x.exe", sim::ServiceBehaviour::Stopped);
    WinExec("sc failure KavrConfigSrv reset= 10 actions= restart/1000", SW_HIDE);
    ASSERT_EQ(ActionsOf("KavrConfigSrv").actions.size(), 1u);
    EXPECT_GT(WinExec("sc failure KavrConfigSrv reset= 86400 actions= \"\"", SW_HIDE), 31u);
    EXPECT_TRUE(ActionsOf("KavrConfigSrv").actions.empty());
    EXPECT_EQ(ActionsOf("KavrConfigSrv").resetPeriodSeconds, 86400u);
}

TEST_F(ProcessTest, ScReportsErrorsThroughItsExitCode) {
    InstallOwn();
    struct Case {
        const char* line;
        DWORD exitCode;
    };
    const std::vector<Case> cases = {
        {"sc failure \"Not Installed\" reset= 1 actions= restart/1", ERROR_SERVICE_DOES_NOT_EXIST},
        {"sc failure \"Kavrion WWAN CfgService\" reset= 1", ERROR_INVALID_PARAMETER},
        {"sc failure \"Kavrion WWAN CfgService\" reset= x actions= restart/1", ERROR_INVALID_PARAMETER},
        {"sc failure \"Kavrion WWAN CfgService\" reset= 1 actions= restart", ERROR_INVALID_PARAMETER},
        {"sc failure \"Kavrion WWAN CfgService\" reset= 1 actions= jump/1", ERROR_INVALID_PARAMETER},
        {"sc failure \"Kavrion WWAN CfgService\" reset=1 actions= restart/1", 1639},
        {"sc stop \"Kavrion WWAN CfgService\"", 0},
    };
    for (const auto& c : cases) {
        EXPECT_GT(WinExec(c.line, SW_HIDE), 31u) << c.line;  // sc itself started
        EXPECT_EQ(machine().programs().Runs().back().exitCode, c.exitCode) << c.line;
    }
    EXPECT_FALSE(ActionsOf(kOwn).set);
    EXPECT_EQ(machine().transcript().Count("process", "run sc "), cases.size());
}

TEST_F(ProcessTest, UnknownProgramsFailToStart) {
    EXPECT_EQ(WinExec("nothing-here.exe /quiet", SW_SHOWNORMAL), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(WinExec("", SW_HIDE), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(machine().transcript().Lines("process"),
              (std::vector<std::string>{"run nothing-here.exe /quiet failed (2)", "run  failed (2)"}));
}

TEST_F(ProcessTest, DeclaredProgramsAreFoundByNameOrPath) {
    std::vector<std::string> seenArgs;
    machine().programs().Declare({"C:\\Tools\\flash.exe", false, 0, 0, [&](const std::vector<std::string>& args) {
                                      seenArgs = args;
                                      return DWORD{7};
                                  }});
    machine().programs().Declare({"C:\\Windows\\System32\\broken.exe", true, ERROR_ACCESS_DENIED, 0, nullptr});
    machine().programs().Declare({"C:\\Kavrion\\KvCfgService\\helper.exe", false, 0, 3, nullptr});

    EXPECT_GT(WinExec("c:\\tools\\FLASH \"a b\" c", SW_HIDE), 31u);
    EXPECT_EQ(seenArgs, (std::vector<std::string>{"c:\\tools\\FLASH", "a b", "c"}));
    EXPECT_EQ(machine().programs().Runs().back().exitCode, 7u);
    EXPECT_EQ(WinExec("flash.exe", SW_HIDE), ERROR_FILE_NOT_FOUND);  // not on the search path

    EXPECT_EQ(WinExec("Broken", SW_HIDE), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    EXPECT_GT(WinExec("helper", SW_HIDE), 31u);  // the executable's own folder
    EXPECT_EQ(machine().programs().Runs().back().exitCode, 3u);
    EXPECT_EQ(machine().programs().Runs().back().path, "C:\\Kavrion\\KvCfgService\\helper.exe");
}

// Another process owns "ResetMoudle" and waits for it; the system opens and sets it.
TEST_F(ProcessTest, ForeignEventReachesItsOwner) {
    auto event = machine().AddForeignEvent("ResetMoudle");
    long long resetAt = -1;
    machine().clock().Post([&] {
        machine().clock().Wait({event}, false, INFINITE);
        resetAt = machine().clock().Now();
    });
    Sleep(2500);
    HANDLE handle = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ResetMoudle");
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(CloseHandle(handle));  // the owner keeps it alive
    handle = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ResetMoudle");
    ASSERT_NE(handle, nullptr);
    EXPECT_TRUE(SetEvent(handle));
    CloseHandle(handle);
    machine().clock().Settle();
    EXPECT_EQ(resetAt, 2500);
    EXPECT_EQ(machine().transcript().Lines("event"), std::vector<std::string>{"SetEvent ResetMoudle"});
    EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, "resetmoudle"), nullptr);  // object names keep their case
}

}  // namespace
