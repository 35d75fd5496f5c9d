// The machine whose simulated threads run at once: the same virtual clock, real overlap.
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/sync.h"
#include "tests/platform/deadlock_check.h"
#include "tests/support/sim_test.h"

namespace {

class ConcurrentTest : public ::testing::Test {
protected:
    ConcurrentTest() : machine_(temp_.path(), sim::Threads::Concurrent) {}
    sim::Machine& machine() { return machine_; }

    kvtest::TempDir temp_;
    sim::Machine machine_;
};

// Waits in host time for something another thread does at the same virtual instant; under one
// turn it could never happen, so a bound keeps a broken mode from hanging the test.
bool SeenSoon(const std::function<bool()>& seen) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!seen()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::yield();
    }
    return true;
}

struct Meeting {
    std::atomic<int> arrived{0};
    std::atomic<int> met{0};
};

DWORD Meet(LPVOID parameter) {
    auto* meeting = static_cast<Meeting*>(parameter);
    for (int i = 0; i < 20; ++i) {
        ++meeting->arrived;
        // Both are inside at once only when they truly run together.
        if (SeenSoon([&] { return meeting->arrived.load() >= 2 * (i + 1); })) ++meeting->met;
        Sleep(1);
    }
    return 0;
}

TEST_F(ConcurrentTest, ThreadsRunTogetherAndTheClockMovesOnlyWhenAllWait) {
    ASSERT_TRUE(machine().clock().Concurrent());
    Meeting meeting;
    HANDLE threads[2] = {CreateThread(nullptr, 0, Meet, &meeting, 0, nullptr),
                         CreateThread(nullptr, 0, Meet, &meeting, 0, nullptr)};
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(meeting.met.load(), 40);
    // Twenty sleeps of 1 ms side by side: 20 ms, not 40.
    EXPECT_EQ(machine().clock().Now(), 20);
    for (HANDLE thread : threads) CloseHandle(thread);
}

TEST_F(ConcurrentTest, ADeliveryDueNowRunsBesideTheThreadThatPostedIt) {
    std::atomic<bool> ran{false};
    machine().clock().Post([&] { ran = true; });
    EXPECT_TRUE(SeenSoon([&] { return ran.load(); }));
    EXPECT_EQ(machine().clock().Now(), 0);
}

TEST_F(ConcurrentTest, SettleReturnsOnceEverythingDueNowHasRun) {
    std::atomic<int> ran{0};
    std::atomic<bool> later{false};
    for (int i = 0; i < 8; ++i)
        machine().clock().Post([&] {
            Sleep(0);
            ++ran;
        });
    machine().clock().At(10, [&] { later = true; });
    machine().clock().Settle();
    EXPECT_EQ(ran.load(), 8);
    EXPECT_FALSE(later.load());
    EXPECT_EQ(machine().clock().Now(), 0);
    Sleep(10);
    machine().clock().Settle();
    EXPECT_TRUE(later.load());
}

TEST_F(ConcurrentTest, ADeliveryAtATimeOutsInstantEndsTheWaitInsteadOfTheTimeOut) {
    // Scheduled after the wait began and before it: either way the wait never times out while a
    // delivery due at its instant could still set its event.
    for (bool deliveryFirst : {false, true}) {
        auto event = std::make_shared<sim::Event>(false, false, "");
        const std::int64_t at = machine().clock().Now() + 5000;
        auto setIt = [this, event] { machine().clock().SetEvent(*event); };
        if (deliveryFirst) machine().clock().At(at, setIt);
        HANDLE waiting = CreateThread(
            nullptr, 0,
            [](LPVOID parameter) -> DWORD {
                auto* shared = static_cast<std::shared_ptr<sim::Event>*>(parameter);
                return sim::Machine::Current()->clock().Wait({*shared}, false, 5000);
            },
            &event, 0, nullptr);
        if (!deliveryFirst) {
            Sleep(1);  // the thread's time-out is set by now
            machine().clock().At(at, setIt);
        }
        EXPECT_EQ(WaitForSingleObject(waiting, INFINITE), WAIT_OBJECT_0);
        DWORD result = 0;
        GetExitCodeThread(waiting, &result);
        EXPECT_EQ(result, WAIT_OBJECT_0) << "delivery scheduled first: " << deliveryFirst;
        EXPECT_EQ(machine().clock().Now(), at);
        CloseHandle(waiting);
    }
}

TEST_F(ConcurrentTest, ATimeOutWithNothingInFlightStillCostsNoRealTime) {
    const auto start = std::chrono::steady_clock::now();
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(never, 240000), WAIT_TIMEOUT);
    EXPECT_EQ(machine().clock().Now(), 240000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    CloseHandle(never);
}

TEST_F(ConcurrentTest, ADeadlockIsStillReported) { ExpectDeadlockReported(machine()); }

}  // namespace
