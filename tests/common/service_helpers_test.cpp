#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/ServiceHelpers.h"
#include "platform/sim/programs.h"
#include "platform/sim/services.h"
#include "platform/windows.h"
#include "tests/support/sim_test.h"

namespace {

using sim::ServiceBehaviour;

class ServiceHelpersTest : public kvtest::SimTest {
protected:
    sim::ServiceManager& services() { return machine().services(); }
    sim::ServiceInfo Info(const std::string& name) { return *services().Find(name); }
    // Virtual times of the status queries the manager answered for `name`.
    std::vector<std::int64_t> QueryTimes(const std::string& name) {
        std::vector<std::int64_t> times;
        for (const auto& entry : machine().transcript().Entries())
            if (entry.party == "service" && entry.text.starts_with("query " + name + ":")) times.push_back(entry.time);
        return times;
    }
    std::size_t Index(const std::string& party, const std::string& text) {
        auto entries = machine().transcript().Entries();
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i].party == party && entries[i].text == text) return i;
        return entries.size();
    }
};

TEST(ServiceInfoRecord, CopiesEachTextWithinItsBuffer) {
    ServiceInfo empty;
    EXPECT_EQ(empty.m_strServiceName, "");
    EXPECT_EQ(empty.m_strBinaryPath, "");
    const std::string longName(600, 'n');
    ServiceInfo info(longName.c_str(), "C:\\a.exe", nullptr);
    EXPECT_EQ(info.m_strServiceName.size(), 519u);
    EXPECT_EQ(info.m_strBinaryPath, "C:\\a.exe");
    EXPECT_EQ(info.m_strDisplayName, "");
}

TEST_F(ServiceHelpersTest, StopPendingWaitSleepsATenthOfTheHintWithinOneAndTenSeconds) {
    struct Case {
        DWORD hint;
        std::int64_t sleep;
    } cases[] = {{50000, 5000}, {5000, 1000}, {200000, 10000}, {0, 1000}};
    for (const auto& c : cases) {
        const std::string name = "Svc" + std::to_string(c.hint);
        services().Install(name, "C:\\s.exe", ServiceBehaviour::StopsAfterPolls, 2);
        ASSERT_EQ(services().SendControl(name, SERVICE_CONTROL_STOP), 0u);
        services().SetStopWaitHint(name, c.hint);
        const std::int64_t start = machine().clock().Now();
        ASSERT_TRUE(StopServiceAndWait(name)) << c.hint;
        EXPECT_EQ(QueryTimes(name), (std::vector<std::int64_t>{start, start + c.sleep, start + 2 * c.sleep}))
            << c.hint;
        EXPECT_EQ(Info(name).controlsAccepted, 1) << "no second stop request";
    }
}

TEST_F(ServiceHelpersTest, AStoppedServiceNeedsNoControl) {
    services().Install("Idle", "C:\\s.exe", ServiceBehaviour::Stopped);
    EXPECT_TRUE(StopServiceAndWait("Idle"));
    EXPECT_FALSE(machine().transcript().Contains("service", "control Idle"));
    EXPECT_FALSE(StopServiceAndWait("Missing"));
}

TEST_F(ServiceHelpersTest, DependentsStopBeforeTheService) {
    services().Install("Base", "C:\\base.exe", ServiceBehaviour::StopsAfterPolls, 1);
    services().Install("Child", "C:\\child.exe", ServiceBehaviour::StopsAfterPolls, 1);
    services().SetDependencies("Child", {"Base"});
    EXPECT_TRUE(StopServiceAndWait("Base"));
    EXPECT_EQ(Info("Child").status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(Info("Base").status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_LT(Index("service", "control Child: STOP"), Index("service", "control Base: STOP"));
}

TEST_F(ServiceHelpersTest, StopWaitAfterTheControlIsClampedAndEndsAfterThirtySeconds) {
    struct Case {
        DWORD hint;
        std::size_t queries;
    } cases[] = {{0, 32}, {600000, 5}};  // 1 s and 10 s sleeps until 30 s have passed
    for (const auto& c : cases) {
        const std::string name = "Hang" + std::to_string(c.hint);
        services().Install(name, "C:\\h.exe", ServiceBehaviour::HangsStopping);
        services().SetStopWaitHint(name, c.hint);
        const std::int64_t start = machine().clock().Now();
        EXPECT_FALSE(StopServiceAndWait(name)) << c.hint;
        const auto times = QueryTimes(name);
        EXPECT_EQ(times.size(), c.queries) << c.hint;
        EXPECT_GT(times.back() - start, 30000) << c.hint;
        EXPECT_LE(times.back() - start, 40000) << c.hint;
    }
}

TEST_F(ServiceHelpersTest, AServiceRefusingStopIsLeftRunning) {
    services().Install("Stubborn", "C:\\s.exe", ServiceBehaviour::RefusesStop);
    EXPECT_FALSE(StopServiceAndWait("Stubborn"));
    EXPECT_EQ(Info("Stubborn").status.dwCurrentState, SERVICE_RUNNING);
}

TEST_F(ServiceHelpersTest, KillServiceProcessMatchesTheExecutableName) {
    struct Case {
        const char* path;
        bool killed;
    } cases[] = {
        {"D:\\Svc\\My.EXE", true},
        {"\"D:\\Svc\\My.EXE\"", true},
        {"\"D:\\Svc\\My.EXE\" -service run", true},
        {"D:\\Svc\\My.EXE -service", true},
        {"C:\\Program Files\\Svc\\my.exe /k", true},
        {"My.EXE", false},
        {"D:\\Svc\\Other.exe", false},
    };
    for (const auto& c : cases) {
        DWORD other = machine().programs().Launch("C:\\Tools\\notmy.exe");
        DWORD first = machine().programs().Launch("C:\\Elsewhere\\MY.exe");
        DWORD second = machine().programs().Launch("C:\\Third\\my.exe");
        ServiceInfo info("Svc", c.path);
        const std::int64_t start = machine().clock().Now();
        EXPECT_EQ(KillServiceProcess(info), c.killed) << c.path;
        EXPECT_EQ(machine().programs().IsRunning(first), !c.killed) << c.path;
        EXPECT_TRUE(machine().programs().IsRunning(second)) << c.path;
        EXPECT_TRUE(machine().programs().IsRunning(other)) << c.path;
        EXPECT_EQ(machine().clock().Now() - start, c.killed ? 1000 : 0) << c.path;
        for (const auto& process : machine().programs().Running()) {
            HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, process.id);
            TerminateProcess(handle, 0);
            CloseHandle(handle);
        }
    }
}

TEST_F(ServiceHelpersTest, KillServiceProcessFailsWhenTheProcessCannotBeEnded) {
    machine().programs().Launch("C:\\Svc\\guard.exe", true);
    ServiceInfo info("Svc", "C:\\Svc\\guard.exe");
    EXPECT_FALSE(KillServiceProcess(info));
    ServiceInfo tooLong("Svc", ("C:\\" + std::string(300, 'a') + "\\guard.exe").c_str());
    EXPECT_FALSE(KillServiceProcess(tooLong));
}

TEST_F(ServiceHelpersTest, StartOrStopServiceActsOnlyWhenNeeded) {
    services().Install("Run", "C:\\r.exe", ServiceBehaviour::StopsAfterPolls);
    services().Install("Idle", "C:\\i.exe", ServiceBehaviour::Stopped);
    EXPECT_TRUE(StartOrStopService("Run", true));
    EXPECT_EQ(Info("Run").starts, 0);
    EXPECT_TRUE(StartOrStopService("Idle", false));
    EXPECT_FALSE(machine().transcript().Contains("service", "control Idle"));
    EXPECT_TRUE(StartOrStopService("Idle", true));
    EXPECT_EQ(Info("Idle").status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_TRUE(StartOrStopService("Run", false));
    EXPECT_EQ(Info("Run").status.dwCurrentState, SERVICE_STOP_PENDING);
    EXPECT_FALSE(StartOrStopService("Missing", true));
}

TEST_F(ServiceHelpersTest, CreateAndStartServiceCreatesSetsRecoveryAndStarts) {
    struct Case {
        const char* name;
        bool automatic;
        DWORD startType;
    } cases[] = {{"OnDemand", false, SERVICE_DEMAND_START}, {"Auto", true, SERVICE_AUTO_START}};
    for (const auto& c : cases) {
        ServiceInfo info(c.name, "C:\\Svc\\svc.exe", (std::string("Shown ") + c.name).c_str());
        ASSERT_EQ(CreateAndStartService(info, c.automatic), 0) << c.name;
        const sim::ServiceInfo created = Info(c.name);
        EXPECT_EQ(created.startType, c.startType) << c.name;
        EXPECT_EQ(created.binaryPath, "C:\\Svc\\svc.exe");
        EXPECT_EQ(created.displayName, std::string("Shown ") + c.name);
        EXPECT_EQ(created.account, "LocalSystem");
        EXPECT_EQ(created.starts, 1);
        EXPECT_EQ(created.status.dwCurrentState, SERVICE_RUNNING);
        ASSERT_EQ(created.failureActions.actions.size(), 3u);
        EXPECT_EQ(created.failureActions.resetPeriodSeconds, 0u);
        for (const auto& action : created.failureActions.actions) {
            EXPECT_EQ(action.type, SC_ACTION_RESTART);
            EXPECT_EQ(action.delayMs, 30000u);
        }
    }
    EXPECT_EQ(services().OpenHandleCount(), 0u);
}

TEST_F(ServiceHelpersTest, CreateAndStartServiceReconfiguresAnExistingServiceKeepingItsAccount) {
    ServiceInfo first("KvSvc", "C:\\Svc\\old.exe");
    ASSERT_EQ(CreateAndStartService(first, false), 0);
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceA(manager, "KvSvc", SERVICE_ALL_ACCESS);
    ASSERT_TRUE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr,
                                     nullptr, nullptr, "NT AUTHORITY\\LocalService", nullptr, nullptr));
    CloseServiceHandle(service);
    CloseServiceHandle(manager);

    ServiceInfo second("KvSvc", "C:\\Svc\\new.exe", "New name");
    EXPECT_EQ(CreateAndStartService(second, false), 0);
    const sim::ServiceInfo changed = Info("KvSvc");
    EXPECT_EQ(changed.startType, SERVICE_AUTO_START);  // automatic whatever the flag
    EXPECT_EQ(changed.binaryPath, "C:\\Svc\\new.exe");
    EXPECT_EQ(changed.displayName, "New name");
    EXPECT_EQ(changed.account, "NT AUTHORITY\\LocalService");

    services().SetConfigError("KvSvc", ERROR_ACCESS_DENIED);
    EXPECT_EQ(CreateAndStartService(second, true), 1);
    EXPECT_EQ(services().OpenHandleCount(), 0u);
}

TEST_F(ServiceHelpersTest, CreateAndStartServiceWithoutAManagerPrintsTheError) {
    services().SetManagerOpenError(ERROR_ACCESS_DENIED);
    ServiceInfo info("KvSvc", "C:\\Svc\\svc.exe");
    testing::internal::CaptureStdout();
    EXPECT_EQ(CreateAndStartService(info, true), 2);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "OpenSCManager failed (5)\n");
    EXPECT_FALSE(InstallService(info, true));
}

TEST_F(ServiceHelpersTest, InstallServiceReplacesAServiceThatRefusesReconfiguration) {
    struct Case {
        ServiceBehaviour behaviour;
        bool inProcess;
        const char* path;
    } cases[] = {{ServiceBehaviour::StopsAfterPolls, false, "C:\\Old\\stops.exe"},
                 {ServiceBehaviour::RefusesStop, true, "C:\\Old\\refuses.exe"}};
    for (const auto& c : cases) {
        services().Install("KvSvc", c.path, c.behaviour, 1);
        services().SetConfigError("KvSvc", ERROR_ACCESS_DENIED);
        if (c.inProcess) {
            ASSERT_NE(services().RunInProcess("KvSvc"), 0u);
        }
        ServiceInfo info("KvSvc", c.path, "Kv");
        testing::internal::CaptureStdout();
        EXPECT_TRUE(InstallService(info, true));
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "Service deleted successfully\n");
        const sim::ServiceInfo fresh = Info("KvSvc");
        EXPECT_EQ(fresh.configError, 0u);
        EXPECT_EQ(fresh.startType, SERVICE_AUTO_START);
        EXPECT_EQ(fresh.status.dwCurrentState, SERVICE_RUNNING);
        EXPECT_TRUE(machine().transcript().Contains("service", "created KvSvc start=auto"));
        services().Remove("KvSvc");
    }
}

TEST_F(ServiceHelpersTest, InstallServiceGivesUpWhenTheOldServiceCannotBeRemoved) {
    services().Install("KvSvc", "C:\\Old\\kvsvc.exe", ServiceBehaviour::RefusesStop);
    services().SetConfigError("KvSvc", ERROR_ACCESS_DENIED);
    ServiceInfo info("KvSvc", "C:\\Old\\kvsvc.exe");
    EXPECT_FALSE(InstallService(info, true));
    EXPECT_FALSE(Info("KvSvc").markedForDelete);
}

TEST_F(ServiceHelpersTest, UninstallAndStopOrKill) {
    services().Install("Gone", "C:\\Svc\\gone.exe", ServiceBehaviour::StopsAfterPolls, 1);
    ServiceInfo gone("Gone");
    testing::internal::CaptureStdout();
    EXPECT_EQ(UninstallService(gone), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Service deleted successfully\n");
    EXPECT_EQ(gone.m_strBinaryPath, "C:\\Svc\\gone.exe");
    EXPECT_FALSE(services().Exists("Gone"));
    ServiceInfo missing("Missing");
    EXPECT_EQ(UninstallService(missing), -1);

    services().Install("Stubborn", "\"C:\\Svc\\stub.exe\" -k", ServiceBehaviour::RefusesStop);
    ServiceInfo stubborn("Stubborn");
    EXPECT_EQ(StopServiceOrKill(stubborn), 0);  // no process of that name runs
    ASSERT_NE(services().RunInProcess("Stubborn"), 0u);
    EXPECT_EQ(StopServiceOrKill(stubborn), 1);
    EXPECT_EQ(Info("Stubborn").status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(StopServiceOrKill(missing), 0);
}

TEST_F(ServiceHelpersTest, BinaryPathAndStartType) {
    services().Install("KvSvc", "\"C:\\Svc\\kv svc.exe\" -run", ServiceBehaviour::Stopped);
    ServiceInfo info("KvSvc", "C:\\stale.exe");
    ASSERT_TRUE(QueryServiceBinaryPath(info));
    EXPECT_EQ(info.m_strBinaryPath, "\"C:\\Svc\\kv svc.exe\" -run");
    ServiceInfo other("KvSvc", "C:\\stale.exe");
    EXPECT_EQ(ChangeServiceStartType(other, SERVICE_DISABLED), 0);
    EXPECT_EQ(other.m_strBinaryPath, "\"C:\\Svc\\kv svc.exe\" -run");
    EXPECT_EQ(Info("KvSvc").startType, SERVICE_DISABLED);
    EXPECT_EQ(Info("KvSvc").account, "LocalSystem");
    services().SetConfigError("KvSvc", ERROR_ACCESS_DENIED);
    EXPECT_EQ(ChangeServiceStartType(other, SERVICE_AUTO_START), 2);
    EXPECT_EQ(Info("KvSvc").startType, SERVICE_DISABLED);
    ServiceInfo missing("Missing");
    EXPECT_FALSE(QueryServiceBinaryPath(missing));
    EXPECT_EQ(ChangeServiceStartType(missing, SERVICE_AUTO_START), 2);
}

TEST_F(ServiceHelpersTest, RecoveryAndDeletion) {
    services().Install("KvSvc", "C:\\Svc\\kv.exe", ServiceBehaviour::Stopped);
    EXPECT_EQ(SetServiceRecovery("KvSvc"), 0);
    EXPECT_TRUE(machine().transcript().Contains(
        "service", "failure actions KvSvc: reset=0 actions=restart/30000/restart/30000/restart/30000"));
    EXPECT_EQ(SetServiceRecovery("Missing"), 2);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(DeleteServiceByName("KvSvc"));
    EXPECT_FALSE(DeleteServiceByName("Missing"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Service deleted successfully\n");
    EXPECT_FALSE(services().Exists("KvSvc"));
}

}  // namespace
