#include <atomic>
#include <string>
#include <vector>

#include "platform/service.h"
#include "platform/sim/services.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using sim::ServiceBehaviour;

const char kOwn[] = "Kavrion WWAN CfgService";
const char kSibling[] = "Kavrion WWAN Config Service";

// A small service written the way the system writes its own; what it saw is kept here.
struct Seen {
    DWORD dispatcherThread = 0;
    DWORD mainThread = 0;
    std::vector<DWORD> handlerThreads;
    std::vector<DWORD> controls;
    std::vector<long long> controlTimes;
    BOOL dispatcherResult = FALSE;
    DWORD dispatcherError = 0;
    bool registered = false;
    int busy = 0;
    bool overlapped = false;
    DWORD handlerSleep = 0;
    const char* registerName = kOwn;
};
Seen seen;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void Report(DWORD state, DWORD accepts, DWORD checkpoint, DWORD wait) {
    SERVICE_STATUS status{SERVICE_WIN32_OWN_PROCESS, state, accepts, 0, 0, checkpoint, wait};
    SetServiceStatus(statusHandle, &status);
}

void Handler(DWORD control) {
    if (seen.busy++) seen.overlapped = true;
    seen.handlerThreads.push_back(GetCurrentThreadId());
    seen.controls.push_back(control);
    seen.controlTimes.push_back(static_cast<long long>(GetTickCount64()));
    if (seen.handlerSleep) Sleep(seen.handlerSleep);
    if (control == SERVICE_CONTROL_STOP) {
        Report(SERVICE_STOP_PENDING, SERVICE_ACCEPT_STOP, 2, 0);
        SetEvent(stopEvent);
    }
    --seen.busy;
}

void WINAPI_ServiceMain(DWORD, LPSTR*) {
    seen.mainThread = GetCurrentThreadId();
    statusHandle = RegisterServiceCtrlHandlerA(seen.registerName, Handler);
    if (!statusHandle) return;
    seen.registered = true;
    Report(SERVICE_START_PENDING, 0, 1, 3000);
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Sleep(500);
    Report(SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0);
    WaitForSingleObject(stopEvent, INFINITE);
    Report(SERVICE_STOPPED, SERVICE_ACCEPT_STOP, 0, 0);
}

int ProcessMain() {
    seen.dispatcherThread = GetCurrentThreadId();
    char name[] = "Kavrion WWAN CfgService";
    SERVICE_TABLE_ENTRYA table[] = {{name, WINAPI_ServiceMain}, {nullptr, nullptr}};
    seen.dispatcherResult = StartServiceCtrlDispatcherA(table);
    seen.dispatcherError = GetLastError();
    return 0;
}

class ServiceTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        seen = Seen{};
        statusHandle = nullptr;
        stopEvent = nullptr;
    }

    sim::ServiceManager& scm() { return machine().services(); }

    void StopAt(std::int64_t when) {
        machine().clock().At(when, [this] { scm().SendControl(kOwn, SERVICE_CONTROL_STOP); });
    }

    // Starts the service, lets it run until it stops, and returns when its program has ended.
    void RunService() {
        auto process = scm().StartOwnService(kOwn, ProcessMain);
        ASSERT_TRUE(process);
        ASSERT_EQ(machine().clock().Wait({process}, false, INFINITE), WAIT_OBJECT_0);
        machine().clock().Settle();  // deliveries that sent the last control finish too
    }

    std::vector<DWORD> States() {
        std::vector<DWORD> states;
        for (const auto& status : scm().StatusHistory(kOwn)) states.push_back(status.dwCurrentState);
        return states;
    }
};

DWORD CallDispatcher(LPVOID) {
    char name[] = "Kavrion WWAN CfgService";
    SERVICE_TABLE_ENTRYA table[] = {{name, WINAPI_ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : GetLastError();
}

TEST(ServiceWithoutMachine, DispatcherFailsToConnect) {
    ASSERT_EQ(sim::Machine::Current(), nullptr);
    EXPECT_EQ(CallDispatcher(nullptr), ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

TEST_F(ServiceTest, DispatcherFailsAtOnceOutsideTheManager) {
    EXPECT_EQ(CallDispatcher(nullptr), ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    HANDLE thread = CreateThread(nullptr, 0, CallDispatcher, nullptr, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    CloseHandle(thread);
    EXPECT_EQ(machine().clock().Now(), 0);
    EXPECT_EQ(seen.mainThread, 0u);
}

TEST_F(ServiceTest, RunsServiceMainAndStopsOnControl) {
    StopAt(7000);
    RunService();
    EXPECT_TRUE(seen.dispatcherResult);
    EXPECT_NE(seen.mainThread, 0u);
    EXPECT_NE(seen.mainThread, seen.dispatcherThread);
    ASSERT_EQ(seen.controls, std::vector<DWORD>{SERVICE_CONTROL_STOP});
    EXPECT_EQ(seen.handlerThreads, std::vector<DWORD>{seen.dispatcherThread});
    EXPECT_EQ(machine().clock().Now(), 7000);

    EXPECT_EQ(States(), (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING,
                                            SERVICE_STOPPED}));
    auto history = scm().StatusHistory(kOwn);
    EXPECT_EQ(history[0].dwCheckPoint, 1u);
    EXPECT_EQ(history[0].dwWaitHint, 3000u);
    EXPECT_EQ(history[0].dwServiceType, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(scm().Find(kOwn)->status.dwCurrentState, SERVICE_STOPPED);

    auto lines = machine().transcript().Lines("service");
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "start Kavrion WWAN CfgService",
                         "status Kavrion WWAN CfgService: START_PENDING accepts=0 checkpoint=1 wait=3000",
                         "status Kavrion WWAN CfgService: RUNNING accepts=1 checkpoint=0 wait=0",
                         "control Kavrion WWAN CfgService: STOP",
                         "status Kavrion WWAN CfgService: STOP_PENDING accepts=1 checkpoint=2 wait=0",
                         "status Kavrion WWAN CfgService: STOPPED accepts=1 checkpoint=0 wait=0",
                     }));
}

TEST_F(ServiceTest, ControlsAreCheckedAgainstTheReportedState) {
    struct Case {
        std::int64_t at;
        DWORD control;
        bool checked;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {200, SERVICE_CONTROL_STOP, true, ERROR_SERVICE_CANNOT_ACCEPT_CTRL},  // START_PENDING
        {1000, SERVICE_CONTROL_PAUSE, true, ERROR_INVALID_SERVICE_CONTROL},
        {1100, SERVICE_CONTROL_INTERROGATE, true, ERROR_SUCCESS},
        {1200, SERVICE_CONTROL_PAUSE, false, ERROR_SUCCESS},
        {2000, SERVICE_CONTROL_STOP, true, ERROR_SUCCESS},
    };
    std::vector<DWORD> results(cases.size(), 0xFFFF);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case c = cases[i];
        machine().clock().At(c.at, [this, c, i, &results] { results[i] = scm().SendControl(kOwn, c.control, c.checked); });
    }
    RunService();
    for (std::size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(results[i], cases[i].error) << "case " << i;
    EXPECT_EQ(seen.controls,
              (std::vector<DWORD>{SERVICE_CONTROL_INTERROGATE, SERVICE_CONTROL_PAUSE, SERVICE_CONTROL_STOP}));
    EXPECT_EQ(scm().SendControl(kOwn, SERVICE_CONTROL_STOP), ERROR_SERVICE_NOT_ACTIVE);
    EXPECT_EQ(scm().SendControl("No Such Service", SERVICE_CONTROL_STOP), ERROR_SERVICE_DOES_NOT_EXIST);
    EXPECT_TRUE(machine().transcript().Contains("service", "control Kavrion WWAN CfgService: PAUSE failed (1052)"));
}

TEST_F(ServiceTest, ControlsReachTheHandlerOneAtATime) {
    seen.handlerSleep = 1000;
    for (int i = 0; i < 3; ++i)
        machine().clock().At(1000, [this] { scm().SendControl(kOwn, SERVICE_CONTROL_INTERROGATE); });
    StopAt(1001);  // behind the three, whatever order the threads of one instant take
    RunService();
    EXPECT_FALSE(seen.overlapped);
    EXPECT_EQ(seen.controls.size(), 4u);
    EXPECT_EQ(seen.controls.back(), SERVICE_CONTROL_STOP);
    ASSERT_EQ(seen.controlTimes.size(), 4u);
    for (std::size_t i = 1; i < seen.controlTimes.size(); ++i)
        EXPECT_EQ(seen.controlTimes[i] - seen.controlTimes[i - 1], 1000);
}

TEST_F(ServiceTest, ControlServiceOnTheOwnServiceGoesToItsHandler) {
    machine().clock().At(3000, [] {
        SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE service = OpenServiceA(manager, "kavrion wwan cfgservice", SERVICE_STOP);
        SERVICE_STATUS status{};
        EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
        CloseServiceHandle(service);
        CloseServiceHandle(manager);
    });
    RunService();
    EXPECT_EQ(seen.controls, std::vector<DWORD>{SERVICE_CONTROL_STOP});
    EXPECT_EQ(scm().OpenHandleCount(), 0u);
}

TEST_F(ServiceTest, FailedHandlerRegistrationEndsTheDispatcher) {
    scm().SetHandlerRegistrationError(ERROR_NOT_ENOUGH_MEMORY);
    RunService();
    EXPECT_FALSE(seen.registered);
    EXPECT_NE(seen.mainThread, 0u);
    EXPECT_TRUE(seen.dispatcherResult);
    EXPECT_TRUE(scm().StatusHistory(kOwn).empty());
    EXPECT_EQ(machine().transcript().Count("service", "status "), 0u);
}

TEST_F(ServiceTest, HandlerForANameNotInTheTableIsRefused) {
    seen.registerName = "Some Other Service";
    RunService();
    EXPECT_FALSE(seen.registered);
    EXPECT_EQ(RegisterServiceCtrlHandlerA(kOwn, Handler), nullptr);  // no dispatcher connected any more
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_IN_EXE);
}

int ProcessMainTwice() {
    ProcessMain();
    char name[] = "Kavrion WWAN CfgService";
    SERVICE_TABLE_ENTRYA table[] = {{name, WINAPI_ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}

TEST_F(ServiceTest, DispatcherConnectsOncePerProcess) {
    StopAt(1000);
    auto process = scm().StartOwnService(kOwn, ProcessMainTwice);
    ASSERT_EQ(machine().clock().Wait({process}, false, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(process->exitCode, ERROR_SERVICE_ALREADY_RUNNING);
}

int ReturnsAfterASecond() {
    Sleep(1000);
    return 0;
}

TEST_F(ServiceTest, ProgramEndingWithoutStoppingLeavesTheServiceStopped) {
    auto process = scm().StartOwnService(kOwn, ReturnsAfterASecond);
    EXPECT_EQ(scm().Find(kOwn)->status.dwCurrentState, SERVICE_START_PENDING);
    EXPECT_EQ(scm().StartOwnService(kOwn, ReturnsAfterASecond), nullptr);  // already running
    machine().clock().Wait({process}, false, INFINITE);
    EXPECT_EQ(scm().Find(kOwn)->status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(machine().transcript().Contains("service", "ended while START_PENDING"));
}

// --- the older sibling service ---------------------------------------------

class SiblingTest : public ServiceTest {
protected:
    SC_HANDLE manager_ = nullptr;
    void SetUp() override {
        ServiceTest::SetUp();
        manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        ASSERT_NE(manager_, nullptr);
    }
    void TearDown() override {
        CloseServiceHandle(manager_);
        ServiceTest::TearDown();
    }
    void Install(ServiceBehaviour behaviour, int polls = 0) {
        scm().Install(kSibling, "C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe", behaviour, polls);
    }
    SC_HANDLE Open(DWORD access = DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS) {
        return OpenServiceA(manager_, kSibling, access);
    }
    DWORD QueryState(SC_HANDLE service) {
        SERVICE_STATUS status{};
        EXPECT_TRUE(QueryServiceStatus(service, &status));
        return status.dwCurrentState;
    }
};

TEST_F(SiblingTest, MissingServiceCannotBeOpened) {
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
}

TEST_F(SiblingTest, StopRequestAnswersByBehaviour) {
    struct Case {
        ServiceBehaviour behaviour;
        BOOL accepted;
        DWORD error;
        DWORD stateAfter;
    };
    const std::vector<Case> cases = {
        {ServiceBehaviour::StopsAfterPolls, TRUE, ERROR_SUCCESS, SERVICE_STOP_PENDING},
        {ServiceBehaviour::HangsStopping, TRUE, ERROR_SUCCESS, SERVICE_STOP_PENDING},
        {ServiceBehaviour::Stopped, FALSE, ERROR_SERVICE_NOT_ACTIVE, SERVICE_STOPPED},
        {ServiceBehaviour::RefusesStop, FALSE, ERROR_SERVICE_CANNOT_ACCEPT_CTRL, SERVICE_RUNNING},
    };
    for (const auto& c : cases) {
        Install(c.behaviour, 3);
        SC_HANDLE service = Open();
        ASSERT_NE(service, nullptr);
        SERVICE_STATUS status{};
        SetLastError(0);
        EXPECT_EQ(ControlService(service, SERVICE_CONTROL_STOP, &status), c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(GetLastError(), c.error);
        }
        EXPECT_EQ(status.dwCurrentState, c.stateAfter);
        EXPECT_EQ(QueryState(service), c.stateAfter);
        EXPECT_TRUE(CloseServiceHandle(service));
    }
}

TEST_F(SiblingTest, StopsAfterTheScriptedNumberOfPolls) {
    Install(ServiceBehaviour::StopsAfterPolls, 2);
    SC_HANDLE service = Open();
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, nullptr));
    EXPECT_EQ(QueryState(service), SERVICE_STOP_PENDING);
    EXPECT_EQ(QueryState(service), SERVICE_STOP_PENDING);
    EXPECT_EQ(QueryState(service), SERVICE_STOPPED);
    EXPECT_EQ(QueryState(service), SERVICE_STOPPED);
    EXPECT_EQ(scm().Find(kSibling)->queries, 4);
    // A second stop request on a stopped service fails.
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);

    EXPECT_TRUE(DeleteService(service));
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
    EXPECT_TRUE(scm().Exists(kSibling));  // still held open
    EXPECT_TRUE(CloseServiceHandle(service));
    EXPECT_FALSE(scm().Exists(kSibling));
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);

    EXPECT_EQ(machine().transcript().Lines("service"),
              (std::vector<std::string>{
                  "control Kavrion WWAN Config Service: STOP",
                  "query Kavrion WWAN Config Service: STOP_PENDING",
                  "query Kavrion WWAN Config Service: STOP_PENDING",
                  "query Kavrion WWAN Config Service: STOPPED",
                  "query Kavrion WWAN Config Service: STOPPED",
                  "control Kavrion WWAN Config Service: STOP failed (1062)",
                  "service deleted Kavrion WWAN Config Service",
              }));
}

TEST_F(SiblingTest, HangingServiceStaysMarkedForDelete) {
    Install(ServiceBehaviour::HangsStopping);
    SC_HANDLE service = Open();
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, nullptr));
    for (int i = 0; i < 50; ++i) ASSERT_EQ(QueryState(service), SERVICE_STOP_PENDING);
    EXPECT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    ASSERT_TRUE(scm().Exists(kSibling));
    EXPECT_TRUE(scm().Find(kSibling)->markedForDelete);
}

TEST_F(SiblingTest, CallsNeedTheAccessTheHandleWasOpenedWith) {
    Install(ServiceBehaviour::StopsAfterPolls);
    SC_HANDLE service = Open(SERVICE_QUERY_STATUS);
    EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(DeleteService(service));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseServiceHandle(service);
    EXPECT_FALSE(CloseServiceHandle(service));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(scm().OpenHandleCount(), 1u);  // the manager's own
}

TEST_F(SiblingTest, ManagerOpeningCanBeMadeToFail) {
    scm().SetManagerOpenError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(OpenServiceA(nullptr, kSibling, SERVICE_STOP), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace

namespace {

// The removal loop the worker runs: stop, poll once a second while stop-pending, delete.
TEST_F(SiblingTest, PollingOnceASecondTakesVirtualTimeOnly) {
    Install(ServiceBehaviour::StopsAfterPolls, 2);
    SC_HANDLE service = Open();
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, nullptr));
    SERVICE_STATUS status{};
    do {
        Sleep(1000);
    } while (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOP_PENDING);
    EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);
    EXPECT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    EXPECT_EQ(machine().clock().Now(), 3000);
    std::vector<std::int64_t> queryTimes;
    for (const auto& entry : machine().transcript().Entries())
        if (entry.text.rfind("query ", 0) == 0) queryTimes.push_back(entry.time);
    EXPECT_EQ(queryTimes, (std::vector<std::int64_t>{1000, 2000, 3000}));
    EXPECT_FALSE(scm().Exists(kSibling));
}

}  // namespace
