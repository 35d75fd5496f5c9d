#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/sim/programs.h"
#include "platform/sim/services.h"
#include "platform/windows.h"
#include "tests/support/sim_test.h"

namespace {

using sim::ServiceBehaviour;

class ServiceInstallTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager_, nullptr);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        SimTest::TearDown();
    }
    SC_HANDLE Create(const char* name, const char* account = nullptr, DWORD startType = SERVICE_DEMAND_START) {
        return CreateServiceA(manager_, name, nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, startType,
                              SERVICE_ERROR_NORMAL, "\"C:\\Svc\\svc.exe\" -run", nullptr, nullptr, nullptr, account,
                              nullptr);
    }
    // The configuration as QueryServiceConfigA lays it out, asked twice as callers do.
    bool Config(SC_HANDLE service, std::vector<BYTE>& buffer) {
        DWORD needed = 0;
        if (QueryServiceConfigA(service, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.assign(needed, 0);
        return QueryServiceConfigA(service, reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data()), needed,
                                   &needed) != FALSE;
    }
    SC_HANDLE manager_ = nullptr;
};

TEST_F(ServiceInstallTest, CreateRegistersTheSettingsAndQueryConfigGivesThemBack) {
    SC_HANDLE service = CreateServiceA(manager_, "KvSvc", "Kv Service", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, "C:\\Svc\\svc.exe", nullptr, nullptr,
                                       "Base\0Net\0", nullptr, nullptr);
    ASSERT_NE(service, nullptr);
    std::vector<BYTE> buffer;
    ASSERT_TRUE(Config(service, buffer));
    auto* config = reinterpret_cast<LPQUERY_SERVICE_CONFIGA>(buffer.data());
    EXPECT_EQ(config->dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(config->dwStartType, SERVICE_AUTO_START);
    EXPECT_EQ(config->dwErrorControl, SERVICE_ERROR_NORMAL);
    EXPECT_STREQ(config->lpBinaryPathName, "C:\\Svc\\svc.exe");
    EXPECT_STREQ(config->lpDisplayName, "Kv Service");
    EXPECT_STREQ(config->lpServiceStartName, "LocalSystem");
    EXPECT_EQ(std::string(config->lpDependencies, 10), std::string("Base\0Net\0\0", 10));
    auto info = machine().services().Find("kvsvc");
    ASSERT_TRUE(info);
    EXPECT_EQ(info->status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(machine().transcript().Contains("service", "created KvSvc start=auto path=C:\\Svc\\svc.exe"));
    CloseServiceHandle(service);
}

TEST_F(ServiceInstallTest, CreateRefusals) {
    machine().services().Install("Taken", "C:\\t.exe", ServiceBehaviour::Stopped);
    struct Case {
        const char* name;
        const char* account;
        DWORD error;
    } cases[] = {
        {"Taken", nullptr, ERROR_SERVICE_EXISTS},
        {"TAKEN", nullptr, ERROR_SERVICE_EXISTS},
        {"Bad\\Name", nullptr, ERROR_INVALID_NAME},
        {"", nullptr, ERROR_INVALID_NAME},
        {"KvSvc", "KvSvc", ERROR_INVALID_SERVICE_ACCOUNT},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Create(c.name, c.account), nullptr) << c.name;
        EXPECT_EQ(GetLastError(), c.error) << c.name;
    }
    SC_HANDLE readOnly = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    EXPECT_EQ(CreateServiceA(readOnly, "New", nullptr, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                             SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "C:\\n.exe", nullptr, nullptr, nullptr,
                             nullptr, nullptr),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseServiceHandle(readOnly);
}

TEST_F(ServiceInstallTest, ChangeConfigKeepsWhatItIsNotGiven) {
    SC_HANDLE service = Create("KvSvc", "NT AUTHORITY\\LocalService");
    ASSERT_NE(service, nullptr);
    ASSERT_TRUE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_AUTO_START, SERVICE_NO_CHANGE,
                                     "C:\\Svc\\new.exe", nullptr, nullptr, nullptr, nullptr, nullptr, "Shown"));
    auto info = machine().services().Find("KvSvc");
    EXPECT_EQ(info->startType, SERVICE_AUTO_START);
    EXPECT_EQ(info->binaryPath, "C:\\Svc\\new.exe");
    EXPECT_EQ(info->displayName, "Shown");
    EXPECT_EQ(info->account, "NT AUTHORITY\\LocalService");
    EXPECT_EQ(info->type, SERVICE_WIN32_OWN_PROCESS);

    // The service's own name is no logon account.
    EXPECT_FALSE(ChangeServiceConfigA(service, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                      "C:\\Svc\\new.exe", nullptr, nullptr, nullptr, "KvSvc", nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_SERVICE_ACCOUNT);
    machine().services().SetConfigError("KvSvc", ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine().services().Find("KvSvc")->startType, SERVICE_AUTO_START);
    CloseServiceHandle(service);
}

TEST_F(ServiceInstallTest, FailureActionsReplaceWhatIsGiven) {
    SC_HANDLE service = Create("KvSvc");
    SC_ACTION actions[2] = {{SC_ACTION_RESTART, 30000}, {SC_ACTION_NONE, 0}};
    char message[] = "";
    SERVICE_FAILURE_ACTIONSA failure{86400, message, nullptr, 2, actions};
    ASSERT_TRUE(ChangeServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));
    auto info = machine().services().Find("KvSvc");
    ASSERT_EQ(info->failureActions.actions.size(), 2u);
    EXPECT_EQ(info->failureActions.resetPeriodSeconds, 86400u);
    EXPECT_EQ(info->failureActions.actions[0].type, SC_ACTION_RESTART);
    EXPECT_EQ(info->failureActions.actions[0].delayMs, 30000u);
    EXPECT_TRUE(machine().transcript().Contains("service", "failure actions KvSvc: reset=86400 actions=restart/30000/none/0"));

    // Restart actions need a handle that may start the service.
    SC_HANDLE limited = OpenServiceA(manager_, "KvSvc", SERVICE_CHANGE_CONFIG);
    EXPECT_FALSE(ChangeServiceConfig2A(limited, SERVICE_CONFIG_FAILURE_ACTIONS, &failure));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(ChangeServiceConfig2A(service, 99, &failure));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
    CloseServiceHandle(limited);
    CloseServiceHandle(service);
}

TEST_F(ServiceInstallTest, StartRunsTheServiceInAProcessOfItsExecutable) {
    SC_HANDLE service = Create("KvSvc");
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status,
                                     &needed));
    EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
    EXPECT_EQ(status.dwControlsAccepted, SERVICE_ACCEPT_STOP);
    ASSERT_NE(status.dwProcessId, 0u);
    auto running = machine().programs().Running();
    ASSERT_EQ(running.size(), 1u);
    EXPECT_EQ(running[0].path, "C:\\Svc\\svc.exe");
    EXPECT_FALSE(StartServiceA(service, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

    // Killing its process stops it.
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId);
    ASSERT_TRUE(TerminateProcess(process, 1));
    CloseHandle(process);
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status,
                                     &needed));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_EQ(status.dwProcessId, 0u);

    // A stop through the manager ends the process as well.
    ASSERT_TRUE(StartServiceA(service, 0, nullptr));
    SERVICE_STATUS plain{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &plain));
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status), sizeof status,
                                     &needed));
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(machine().programs().Running().empty());
    CloseServiceHandle(service);
}

TEST_F(ServiceInstallTest, StartRefusals) {
    SC_HANDLE disabled = Create("Off", nullptr, SERVICE_DISABLED);
    EXPECT_FALSE(StartServiceA(disabled, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DISABLED);
    SC_HANDLE failing = Create("Failing");
    machine().services().SetStartError("Failing", ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_FALSE(StartServiceA(failing, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
    EXPECT_TRUE(machine().transcript().Contains("service", "start Failing failed (1053)"));
    SC_HANDLE queryOnly = OpenServiceA(manager_, "Failing", SERVICE_QUERY_STATUS);
    EXPECT_FALSE(StartServiceA(queryOnly, 0, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    for (SC_HANDLE h : {disabled, failing, queryOnly}) CloseServiceHandle(h);
}

TEST_F(ServiceInstallTest, StatusExNeedsRoomForTheWholeRecord) {
    machine().services().Install("Old", "C:\\old.exe", ServiceBehaviour::StopsAfterPolls);
    SC_HANDLE service = OpenServiceA(manager_, "Old", SERVICE_QUERY_STATUS);
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    EXPECT_FALSE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                                      sizeof(SERVICE_STATUS), &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(SERVICE_STATUS_PROCESS));
    CloseServiceHandle(service);
}

TEST_F(ServiceInstallTest, DependentsComeInStopOrder) {
    auto& services = machine().services();
    services.Install("Base", "C:\\base.exe", ServiceBehaviour::StopsAfterPolls);
    services.Install("Mid", "C:\\mid.exe", ServiceBehaviour::StopsAfterPolls);
    services.Install("Top", "C:\\top.exe", ServiceBehaviour::StopsAfterPolls);
    services.Install("Idle", "C:\\idle.exe", ServiceBehaviour::Stopped);
    services.Install("Other", "C:\\other.exe", ServiceBehaviour::StopsAfterPolls);
    services.SetDependencies("Mid", {"base"});
    services.SetDependencies("Top", {"Mid", "Base"});
    services.SetDependencies("Idle", {"Base"});
    SC_HANDLE base = OpenServiceA(manager_, "Base", SERVICE_ENUMERATE_DEPENDENTS);
    DWORD needed = 0;
    DWORD count = 7;
    EXPECT_FALSE(EnumDependentServicesA(base, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(GetLastError(), ERROR_MORE_DATA);
    EXPECT_EQ(count, 0u);
    std::vector<BYTE> buffer(needed);
    auto* list = reinterpret_cast<LPENUM_SERVICE_STATUSA>(buffer.data());
    ASSERT_TRUE(EnumDependentServicesA(base, SERVICE_ACTIVE, list, needed, &needed, &count));
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(list[0].lpServiceName, "Top");
    EXPECT_STREQ(list[1].lpServiceName, "Mid");
    EXPECT_EQ(list[1].ServiceStatus.dwCurrentState, SERVICE_RUNNING);
    ASSERT_TRUE(EnumDependentServicesA(base, SERVICE_INACTIVE, list, needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_STREQ(list[0].lpServiceName, "Idle");

    SC_HANDLE other = OpenServiceA(manager_, "Other", SERVICE_ENUMERATE_DEPENDENTS);
    EXPECT_TRUE(EnumDependentServicesA(other, SERVICE_ACTIVE, nullptr, 0, &needed, &count));
    EXPECT_EQ(count, 0u);
    CloseServiceHandle(base);
    CloseServiceHandle(other);
}

}  // namespace
