// Events and waits as Windows gives them.
#include <vector>

#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

using SyncTest = ConformanceTest;

struct CEvents {
    explicit CEvents(std::vector<BOOL> manualReset) {
        for (BOOL manual : manualReset) handles.push_back(CreateEventA(nullptr, manual, FALSE, nullptr));
    }
    ~CEvents() {
        for (HANDLE handle : handles) CloseHandle(handle);
    }
    std::vector<HANDLE> handles;
};

TEST_F(SyncTest, WaitForMultipleObjectsGivesTheLowestSignalledIndexAndResetsOnlyIt) {
    CEvents events({FALSE, FALSE, FALSE});
    const DWORD count = static_cast<DWORD>(events.handles.size());
    ASSERT_TRUE(SetEvent(events.handles[2]));
    ASSERT_TRUE(SetEvent(events.handles[1]));
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), WAIT_OBJECT_0 + 1);
    // The auto-reset event that satisfied the wait is reset; the other stays set.
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SyncTest, AManualResetEventStaysSignalledUntilReset) {
    CEvents events({TRUE, FALSE});
    const DWORD count = static_cast<DWORD>(events.handles.size());
    ASSERT_TRUE(SetEvent(events.handles[0]));
    ASSERT_TRUE(SetEvent(events.handles[1]));
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(events.handles[1], 0), WAIT_OBJECT_0);  // never consumed above
    ASSERT_TRUE(ResetEvent(events.handles[0]));
    EXPECT_EQ(WaitForMultipleObjects(count, events.handles.data(), FALSE, 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

struct CWaiter {
    HANDLE event;
    DWORD result;
};

DWORD WaitOnce(LPVOID parameter) {
    auto* waiter = static_cast<CWaiter*>(parameter);
    waiter->result = WaitForSingleObject(waiter->event, 500);
    return 0;
}

TEST_F(SyncTest, AnAutoResetEventWakesOneWaiter) {
    CEvents events({FALSE});
    CWaiter waiters[2] = {{events.handles[0], 99}, {events.handles[0], 99}};
    HANDLE threads[2];
    for (int i = 0; i < 2; ++i) threads[i] = CreateThread(nullptr, 0, &WaitOnce, &waiters[i], 0, nullptr);
    ASSERT_TRUE(SetEvent(events.handles[0]));
    EXPECT_EQ(WaitForMultipleObjects(2, threads, TRUE, 10000), WAIT_OBJECT_0);
    for (HANDLE thread : threads) CloseHandle(thread);
    int woken = 0;
    for (const CWaiter& waiter : waiters) {
        EXPECT_TRUE(waiter.result == WAIT_OBJECT_0 || waiter.result == WAIT_TIMEOUT) << waiter.result;
        woken += waiter.result == WAIT_OBJECT_0;
    }
    EXPECT_EQ(woken, 1);
    EXPECT_EQ(WaitForSingleObject(events.handles[0], 0), static_cast<DWORD>(WAIT_TIMEOUT));
}

TEST_F(SyncTest, AnInvalidHandleFailsTheWait) {
    HANDLE none = nullptr;
    SetLastError(0);
    EXPECT_EQ(WaitForMultipleObjects(1, &none, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

}  // namespace
}  // namespace conformance
