// A wait that nothing can end must reach the machine's deadlock handler, in either threading mode.
#pragma once

#include <atomic>

#include <gtest/gtest.h>

#include "platform/sim/machine.h"
#include "platform/sync.h"

inline void ExpectDeadlockReported(sim::Machine& machine) {
    std::atomic<bool> reported{false};
    HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, "release");
    auto releaseEvent = machine.FindNamedEvent("release");
    machine.clock().SetDeadlockHandler([&] {
        reported = true;
        machine.clock().SetEvent(*releaseEvent);
    });
    HANDLE both[2] = {never, release};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, INFINITE), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(reported.load());
    CloseHandle(never);
    CloseHandle(release);
}
