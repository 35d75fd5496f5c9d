// The virtual clock and every blocking call of the machine.
//
// A participant is a thread the layer started (CreateThread, the service
// dispatcher, a delivery of an outside party) or the host thread that built the
// machine. The machine runs its participants in one of two ways (Threads).
//
// One turn (the default): one participant runs at a time. It keeps the turn
// until it blocks in a wait or ends, then the turn passes to the participant
// that became ready first (a started thread, a woken waiter, a delivery). So
// what happens at one virtual instant comes in one order, never in the order
// the host's threads happen to run, and the same run always gives the same
// transcript. A host mutex must therefore never be held across a wait: the
// next participant could block on it outside the scheduler's sight and stall
// the machine.
//
// Concurrent: every participant that is not blocked runs at once, as on a real
// machine, so that ThreadSanitizer sees what the system's threads share without
// a lock; the turn, which the host sees as a lock handed from thread to thread,
// would hide every such race. A party's callback (Post) starts at once on a
// thread of its own. What happens at one virtual instant comes in any order.
//
// In both, time stands still while any participant runs or is ready. When every
// participant is blocked in a wait, the clock jumps to the earliest of the
// pending time-outs and scheduled deliveries and fires it. So a time-out
// happens only when nothing that could still end the wait is in flight, and a
// 240-second wait costs no real time. Ties are broken by the order of
// scheduling; the concurrent machine fires everything due at one instant
// together, the deliveries before the time-outs.
//
// Whichever participant gives up the turn with nobody ready moves the clock
// itself, and each participant sleeps on a wake-up of its own, rung only once
// the scheduler's lock is let go; under one turn the machine's threads share
// one core. So passing the turn costs one host thread switch on one core.
// Deliveries run on a pool of layer threads that outlives them; each delivery
// still counts as a fresh thread (see CurrentThreadSerial). The concurrent
// machine gives each delivery a host thread of its own instead.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

enum class Threads { OneTurn, Concurrent };

// Thrown inside a simulated thread's wait when the machine shuts down, so that
// threads left blocked unwind and end. The layer's thread wrappers catch it.
struct Terminated {};

// Names the simulated thread running on the calling host thread, never the same
// for two of them (a pooled host thread runs many in turn). Per-thread state of
// the layer (last error, thread id, COM apartment) is kept against it.
std::uint64_t CurrentThreadSerial();

// Runs `action` on the calling simulated thread when its work ends (a started
// thread's body returns, a delivery finishes), as Windows ends what a thread
// owns at its exit; never when the machine's shutdown ends the thread.
void AtThreadExit(std::function<void()> action);

struct Waiter {
    std::uint64_t participant = 0;  // its turn token; 0 for a thread outside the machine
    std::vector<Waitable*> objects;
    bool waitAll = false;
    bool done = false;
    DWORD result = 0;
    std::condition_variable wake;
    bool hasTimer = false;
    std::multimap<std::pair<std::int64_t, std::uint64_t>, Waiter*>::iterator timer;
};

class Scheduler {
public:
    explicit Scheduler(Threads threads = Threads::OneTurn);
    ~Scheduler();
    Scheduler(const Scheduler&) = delete;
    Scheduler& operator=(const Scheduler&) = delete;

    std::int64_t Now() const;
    bool Concurrent() const { return concurrent_; }

    // Waits as WaitForMultipleObjects does: WAIT_OBJECT_0 + lowest satisfied
    // index, WAIT_TIMEOUT, never WAIT_FAILED (the caller checks handles).
    DWORD Wait(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD timeoutMs);
    void Sleep(DWORD ms);

    void SetEvent(Event& event);
    void ResetEvent(Event& event);

    // Starts a participant thread; `body` returns the thread's exit code.
    std::shared_ptr<ThreadObject> StartThread(std::function<DWORD()> body);

    // Runs `action` on a fresh layer thread at virtual time `when` (never
    // earlier than now), once every participant is blocked.
    void At(std::int64_t when, std::function<void()> action);
    // Runs `action` on a fresh layer thread now: as At under one turn, at once
    // beside the caller on the concurrent machine (a party's callback).
    void Post(std::function<void()> action);

    // What a Settle declares to the sanitizer (concurrent machine). Seen: a test or
    // kvsim looks at the machine at rest, and what every thread did before is ordered
    // before its next line. Unseen: a party settles a call of the system (an early
    // completion), and nothing is ordered, as Windows orders nothing there.
    enum class Settled { Seen, Unseen };
    // Blocks the caller until everything due up to now has run and settled: every
    // other participant waits and nothing is due before a later instant.
    void Settle(Settled settled = Settled::Seen);

    // The calling thread counts as a participant from Join until Leave.
    void Join();
    void Leave();

    // Called (without the lock) when every thread waits and nothing is
    // scheduled; the default prints the virtual time and aborts.
    void SetDeadlockHandler(std::function<void()> handler);

    // Wakes every waiter with Terminated, stops the clock and joins every
    // thread the scheduler started.
    void Shutdown();
    bool ShuttingDown() const;

    DWORD NextThreadId();

private:
    using Key = std::pair<std::int64_t, std::uint64_t>;

    DWORD WaitHidden(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD timeoutMs);
    int Satisfied(const Waiter& waiter) const;
    void Consume(Waiter& waiter, int index);
    void WakeLocked(Waiter& waiter, DWORD result);
    void WakeWaitersOfLocked(Waitable& object);
    struct Pooled;
    class Lock;
    using Wake = std::condition_variable;

    void Schedule(std::int64_t when, std::function<void()> action, bool atOnce);
    void ClockLoop();
    bool StepLocked();
    bool StepAtOnceLocked();
    bool PendingLocked() const { return !timers_.empty() || !scheduled_.empty() || !settlers_.empty(); }
    void RunDelivery(std::function<void()> action);
    void PoolLoop(Pooled& self);
    void StartDeliveryThreadLocked(std::function<void()> action);
    void ReapLocked();
    std::uint64_t NewParticipantLocked();
    void MakeReadyLocked(std::uint64_t participant);
    void PassTurnLocked();
    void MoveClockLocked();
    void StopRunningLocked(std::uint64_t participant);
    bool HoldsTurnLocked(std::uint64_t participant) const { return concurrent_ || turn_ == participant; }
    bool SoleRunnerLocked(std::uint64_t participant) const;
    void AwaitTurnLocked(Lock& lock, std::uint64_t participant, const std::function<bool()>& also = nullptr);
    void HandOffLocked(std::shared_ptr<Wake> wake);
    bool BusyLocked() const { return concurrent_ ? running_ > 0 : turn_ != 0 || !ready_.empty(); }

    mutable std::mutex mutex_;
    std::condition_variable clockWake_;
    std::map<std::uint64_t, std::shared_ptr<Wake>> sleepers_;  // participants waiting for the turn
    std::shared_ptr<Wake> handoff_;  // the thread the turn went to, woken when the lock is let go
    const bool concurrent_;
    std::atomic<std::int64_t> now_{0};  // written under the lock; read without it, so reading the time orders no threads
    std::uint64_t seq_ = 0;
    std::uint64_t turn_ = 0;  // the participant that runs, 0 when none
    std::deque<std::uint64_t> ready_;
    int running_ = 0;  // concurrent: participants not blocked
    std::uint64_t nextParticipant_ = 1;
    int blocked_ = 0;
    bool stopping_ = false;
    std::multimap<Key, Waiter*> timers_;
    std::multimap<Key, std::function<void()>> scheduled_;
    std::vector<std::shared_ptr<Event>> settlers_;  // concurrent: set once nothing is due up to now
    char settled_ = 0;  // where each thread that comes to wait leaves, for the sanitizer, what it did
    std::vector<Waiter*> allWaiters_;
    std::function<void()> deadlockHandler_;
    DWORD nextThreadId_ = 100;
    const int core_;  // where the machine's threads run; -1: wherever the host puts them

    struct Worker {
        std::thread thread;
        std::shared_ptr<bool> done;
    };
    std::vector<Worker> workers_;

    // A delivery thread: idle until handed a delivery, which it runs as the participant given.
    struct Pooled {
        std::thread thread;
        std::shared_ptr<Wake> wake = std::make_shared<Wake>();
        std::function<void()> job;
        std::uint64_t participant = 0;
    };
    std::vector<std::unique_ptr<Pooled>> pool_;
    std::vector<Pooled*> idle_;
    std::thread clock_;
};

}  // namespace sim
