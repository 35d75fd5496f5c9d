#include <atomic>
#include <string>
#include <vector>

#include "platform/sync.h"
#include "tests/platform/deadlock_check.h"
#include "tests/support/sim_test.h"

namespace {

class SyncTest : public kvtest::SimTest {};

TEST_F(SyncTest, WaitForMultipleReturnsLowestSignalledAndConsumesOnlyIt) {
    HANDLE events[3] = {CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr),
                        CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    SetEvent(events[2]);
    SetEvent(events[1]);
    SetEvent(events[0]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 0);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 1);
    // The manual-reset event stays set however often it satisfies a wait.
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(machine().clock().Now(), 0);
    ResetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(machine().clock().Now(), 5000);
}

TEST_F(SyncTest, EmptyOrUnknownHandlesFailAtOnce) {
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE withEmpty[3] = {event, nullptr, event};
    EXPECT_EQ(WaitForMultipleObjects(3, withEmpty, FALSE, 5000), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    HANDLE noThread = nullptr;
    EXPECT_EQ(WaitForSingleObject(noThread, INFINITE), WAIT_FAILED);
    EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(0x7777), INFINITE), WAIT_FAILED);
    EXPECT_EQ(machine().clock().Now(), 0);
}

struct Shared {
    HANDLE gate;
    std::atomic<int> passed{0};
};

DWORD PassGate(LPVOID parameter) {
    auto* shared = static_cast<Shared*>(parameter);
    if (WaitForSingleObject(shared->gate, 10000) == WAIT_OBJECT_0) ++shared->passed;
    return 0;
}

TEST_F(SyncTest, AutoResetWakesOneWaiterManualResetWakesAll) {
    for (BOOL manual : {FALSE, TRUE}) {
        Shared shared;
        shared.gate = CreateEventA(nullptr, manual, FALSE, nullptr);
        HANDLE threads[3];
        for (HANDLE& thread : threads) thread = CreateThread(nullptr, 0, PassGate, &shared, 0, nullptr);
        Sleep(100);  // every thread is waiting now
        SetEvent(shared.gate);
        EXPECT_EQ(WaitForMultipleObjects(3, threads, TRUE, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(shared.passed.load(), manual ? 3 : 1) << "manual=" << manual;
        for (HANDLE thread : threads) CloseHandle(thread);
        CloseHandle(shared.gate);
    }
}

TEST_F(SyncTest, NamedEventsAreSharedAndTheirSetIsRecorded) {
    EXPECT_EQ(OpenEventA(EVENT_MODIFY_STATE, FALSE, "ResetMoudle"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    machine().AddForeignEvent("ResetMoudle");
    HANDLE opened = OpenEventA(EVENT_MODIFY_STATE, FALSE, "ResetMoudle");
    ASSERT_NE(opened, nullptr);
    HANDLE created = CreateEventA(nullptr, FALSE, FALSE, "ResetMoudle");
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(SetEvent(opened));
    EXPECT_EQ(WaitForSingleObject(created, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(machine().transcript().Contains("event", "SetEvent ResetMoudle"));
}

// Two threads trading turns through events, with sleeps in between.
struct PingPong {
    HANDLE ping, pong;
    sim::Transcript* transcript;
};

DWORD Ponger(LPVOID parameter) {
    auto* game = static_cast<PingPong*>(parameter);
    for (int i = 0; i < 5; ++i) {
        WaitForSingleObject(game->ping, INFINITE);
        Sleep(250);
        game->transcript->Add("test", "pong " + std::to_string(i));
        SetEvent(game->pong);
    }
    return 0;
}

std::vector<std::string> PlayPingPong(sim::Machine& machine) {
    PingPong game{CreateEventA(nullptr, FALSE, FALSE, nullptr), CreateEventA(nullptr, FALSE, FALSE, nullptr),
                  &machine.transcript()};
    HANDLE thread = CreateThread(nullptr, 0, Ponger, &game, 0, nullptr);
    for (int i = 0; i < 5; ++i) {
        Sleep(1000);
        machine.transcript().Add("test", "ping " + std::to_string(i));
        SetEvent(game.ping);
        WaitForSingleObject(game.pong, INFINITE);
    }
    WaitForSingleObject(thread, INFINITE);
    return machine.transcript().Lines();
}

TEST_F(SyncTest, TheSameRunGivesTheSameTranscript) {
    auto first = PlayPingPong(machine());
    ASSERT_EQ(first.size(), 10u);
    EXPECT_EQ(first.back(), "[     6.250] test: pong 4");
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(drives());
    EXPECT_EQ(PlayPingPong(machine()), first);
}

// Threads that act at one virtual instant, each writing before and after a wait.
struct Voice {
    sim::Transcript* transcript;
    HANDLE go;
    int index;
};

DWORD Speak(LPVOID parameter) {
    auto* voice = static_cast<Voice*>(parameter);
    voice->transcript->Add("test", "thread " + std::to_string(voice->index) + " starts");
    WaitForSingleObject(voice->go, INFINITE);
    voice->transcript->Add("test", "thread " + std::to_string(voice->index) + " woken");
    return 0;
}

TEST_F(SyncTest, WhatHappensAtOneInstantComesInOneOrder) {
    // A thread keeps running until it waits; the others follow in the order they became ready,
    // however the host schedules its threads.
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(drives(), sim::Threads::OneTurn);
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<Voice> voices;
    for (int i = 0; i < 4; ++i) voices.push_back({&machine().transcript(), go, i});
    std::vector<HANDLE> threads;
    for (Voice& voice : voices) threads.push_back(CreateThread(nullptr, 0, Speak, &voice, 0, nullptr));
    machine().transcript().Add("test", "all created");
    machine().clock().Settle();
    SetEvent(go);
    machine().transcript().Add("test", "go set");
    EXPECT_EQ(WaitForMultipleObjects(4, threads.data(), TRUE, INFINITE), WAIT_OBJECT_0);
    std::vector<std::string> expected = {"all created"};
    for (int i = 0; i < 4; ++i) expected.push_back("thread " + std::to_string(i) + " starts");
    expected.push_back("go set");
    for (int i = 0; i < 4; ++i) expected.push_back("thread " + std::to_string(i) + " woken");
    for (std::string& line : expected) line = "[     0.000] test: " + line;
    EXPECT_EQ(machine().transcript().Lines(), expected);
    EXPECT_EQ(machine().clock().Now(), 0);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(go);
}

TEST_F(SyncTest, ADeadlockIsReportedInsteadOfHanging) { ExpectDeadlockReported(machine()); }

TEST_F(SyncTest, TickCountAndSleepZero) {
    DWORD before = GetTickCount();
    Sleep(0);
    EXPECT_EQ(GetTickCount(), before);
    Sleep(1500);
    EXPECT_EQ(GetTickCount() - before, 1500u);
    EXPECT_EQ(GetTickCount64() - before, 1500u);
}

DWORD ReturnSeven(LPVOID) { return 7; }

TEST_F(SyncTest, AKernelCallMadeToFailFailsOnceAfterTheCallsItSkips) {
    machine().FailKernelCall(sim::KernelCall::CreateEvent, 1);
    HANDLE first = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(CreateEventA(nullptr, FALSE, FALSE, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    HANDLE third = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_NE(third, nullptr);

    machine().FailKernelCall(sim::KernelCall::CreateThread);
    EXPECT_EQ(CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    HANDLE thread = CreateThread(nullptr, 0, ReturnSeven, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    for (HANDLE handle : {first, third, thread}) CloseHandle(handle);
}

}  // namespace
