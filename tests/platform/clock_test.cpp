#include <atomic>
#include <chrono>

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

}  // namespace
