#include <sched.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "platform/com.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
using Clock = std::chrono::steady_clock;

class ClockTest : public SimTest {};

long long RealMs(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST_F(ClockTest, LongSleepsCostNoRealTime) {
    auto start = Clock::now();
    for (int i = 0; i < 240; ++i) Sleep(1000);
    EXPECT_EQ(machine().clock().Now(), 240000);
    EXPECT_LT(RealMs(start), 2000);
}

TEST_F(ClockTest, TimedWaitTimesOutInVirtualTime) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto start = Clock::now();
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(machine().clock().Now(), 5000);
    EXPECT_LT(RealMs(start), 2000);
    CloseHandle(event);
}

DWORD SetAfterThreeSeconds(LPVOID event) {
    Sleep(3000);
    SetEvent(static_cast<HANDLE>(event));
    return 7;
}

TEST_F(ClockTest, WaitEndedByAnotherThreadAtItsVirtualTime) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(nullptr, 0, SetAfterThreeSeconds, event, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(machine().clock().Now(), 3000);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
}

TEST_F(ClockTest, ScheduledEventsHappenAtTheirTimes) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, "Outside");
    auto shared = machine().FindNamedEvent("Outside");
    std::atomic<long long> firedAt{-1};
    machine().clock().At(2000, [&] {
        firedAt = machine().clock().Now();
        machine().clock().SetEvent(*shared);
    });
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(firedAt.load(), 2000);
    EXPECT_EQ(machine().clock().Now(), 2000);
}

TEST_F(ClockTest, LocalTimeFollowsVirtualTime) {
    machine().SetStartTime({2026, 12, 2, 8, 19, 36, 16, 123});
    Sleep(3600 * 1000 * 5);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(now.wMonth, 12);
    EXPECT_EQ(now.wDay, 9);
    EXPECT_EQ(now.wHour, 0);
    EXPECT_EQ(now.wMinute, 36);
    EXPECT_EQ(now.wSecond, 16);
    EXPECT_EQ(now.wMilliseconds, 123);
}

// What a delivery finds of the thread it runs on.
struct Seen {
    DWORD lastError = 0;
    DWORD threadId = 0;
    HRESULT comStart = E_FAIL;
    std::thread::id host;
};

TEST_F(ClockTest, EachDeliveryRunsAsAFreshThreadThoughHostThreadsAreReused) {
    // Deliveries one after another: whatever one leaves on its thread (an error number, an
    // apartment) the next does not find, and each has a thread id of its own.
    machine_.reset();  // the reuse of host threads is the one-turn machine's
    machine_ = std::make_unique<sim::Machine>(drives(), sim::Threads::OneTurn);
    std::vector<Seen> seen(4);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        machine().clock().At(static_cast<std::int64_t>(100 * (i + 1)), [&seen, i] {
            seen[i].lastError = GetLastError();
            seen[i].threadId = GetCurrentThreadId();
            seen[i].comStart = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            seen[i].host = std::this_thread::get_id();
            SetLastError(ERROR_ACCESS_DENIED);
        });
    }
    Sleep(1000);
    std::set<DWORD> ids;
    std::set<std::thread::id> hosts;
    for (const Seen& one : seen) {
        EXPECT_EQ(one.lastError, 0u);
        EXPECT_EQ(one.comStart, S_OK);
        ids.insert(one.threadId);
        hosts.insert(one.host);
    }
    EXPECT_EQ(ids.size(), seen.size());
    EXPECT_EQ(hosts.size(), 1u);
    EXPECT_EQ(hosts.count(std::this_thread::get_id()), 0u);
}

TEST_F(ClockTest, ADeliveryThatWaitsLeavesTheNextOneItsOwnThread) {
    // The first delivery waits for what the second does at 2 s; on a single reused thread
    // the second could never run.
    HANDLE gate = CreateEventA(nullptr, FALSE, FALSE, "Gate");
    HANDLE done = CreateEventA(nullptr, TRUE, FALSE, "Done");
    auto gateEvent = machine().FindNamedEvent("Gate");
    auto doneEvent = machine().FindNamedEvent("Done");
    std::atomic<long long> passedAt{-1};
    machine().clock().At(1000, [&] {
        if (machine().clock().Wait({gateEvent}, false, INFINITE) == WAIT_OBJECT_0) passedAt = machine().clock().Now();
        machine().clock().SetEvent(*doneEvent);
    });
    machine().clock().At(2000, [&] { machine().clock().SetEvent(*gateEvent); });
    EXPECT_EQ(WaitForSingleObject(done, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(passedAt.load(), 2000);
    CloseHandle(gate);
    CloseHandle(done);
}

TEST_F(ClockTest, ADeliveryLeftWaitingEndsWithTheMachine) {
    auto never = std::make_shared<sim::Event>(true, false, "");
    std::atomic<bool> started{false};
    sim::Scheduler& clock = machine().clock();  // the fixture's pointer goes while the delivery waits
    clock.Post([&] {
        started = true;
        clock.Wait({never}, false, INFINITE);
    });
    Sleep(10);
    EXPECT_TRUE(started.load());
    machine_.reset();  // must not hang
}

TEST_F(ClockTest, AJoinedHostThreadRunsOnOneCoreUntilItLeaves) {
    machine_.reset();
    cpu_set_t before;
    ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
    if (CPU_COUNT(&before) < 2) GTEST_SKIP() << "one core only";
    machine_ = std::make_unique<sim::Machine>(drives());
    cpu_set_t during;
    ASSERT_EQ(sched_getaffinity(0, sizeof during, &during), 0);
    EXPECT_EQ(CPU_COUNT(&during), 1);
    machine_.reset();
    cpu_set_t after;
    ASSERT_EQ(sched_getaffinity(0, sizeof after, &after), 0);
    EXPECT_TRUE(CPU_EQUAL(&before, &after));
    machine_ = std::make_unique<sim::Machine>(drives());
}

}  // namespace
