#include "platform/sim/scheduler.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/sim/hidden.h"
#include "platform/sync.h"

namespace sim {

namespace {
constexpr DWORD kTerminatedResult = 0xDEAD0001;

thread_local Scheduler* tlScheduler = nullptr;
thread_local std::uint64_t tlParticipant = 0;  // the thread's turn token, 0 when it is no participant
thread_local bool tlOwned = false;  // started by the scheduler: may be unwound at shutdown

// Where this thread sleeps until it has the turn; shared, since whoever hands the turn over
// rings it after letting the lock go, when the thread may already be gone.
std::shared_ptr<std::condition_variable>& TurnWake() {
    thread_local auto wake = std::make_shared<std::condition_variable>();
    return wake;
}

std::atomic<std::uint64_t> nextThreadSerial{1};
thread_local std::uint64_t tlThreadSerial = 0;

thread_local std::vector<std::function<void()>> tlExitActions;

void BeginSimulatedThread() {
    {
        Hidden hidden;
        tlThreadSerial = nextThreadSerial.fetch_add(1);
    }
    tlExitActions.clear();
}

// The calling host thread, started by `scheduler`, runs as its participant from now on.
void BecomeParticipant(Scheduler* scheduler, std::uint64_t participant) {
    tlScheduler = scheduler;
    tlParticipant = participant;
    tlOwned = true;
    BeginSimulatedThread();
}

void RunExitActions() {
    auto actions = std::move(tlExitActions);
    tlExitActions.clear();
    for (auto& action : actions) action();
}

// One participant runs at a time, so the machine's threads share one core:
// handing the turn over is then a switch on that core, not a wake-up across
// cores (an inter-processor interrupt, dearer still under a hypervisor), which
// cost several times more per hand-over. The core is the one the machine was
// built on; a host thread that joins is placed there until it leaves.
int CurrentCore() { return sched_getcpu(); }

bool PlaceOnCore(int core, cpu_set_t* before = nullptr) {
    if (core < 0) return false;
    if (before && sched_getaffinity(0, sizeof *before, before) != 0) return false;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(core, &one);
    return sched_setaffinity(0, sizeof one, &one) == 0;
}

// A thread shutting its own machine down cannot wait for itself to end.
void JoinUnlessSelf(std::thread& thread) {
    if (!thread.joinable()) return;
    if (thread.get_id() == std::this_thread::get_id())
        thread.detach();
    else
        thread.join();
}

thread_local bool tlPlaced = false;  // a joined host thread placed on the machine's core
thread_local cpu_set_t tlAffinityBefore;
}  // namespace

std::uint64_t CurrentThreadSerial() {
    if (tlThreadSerial == 0) BeginSimulatedThread();
    return tlThreadSerial;
}

void AtThreadExit(std::function<void()> action) {
    CurrentThreadSerial();
    tlExitActions.push_back(std::move(action));
}

// The scheduler's lock. Letting it go rings the wake-up of the thread the turn was handed to:
// rung with the lock held, that thread would wake only to wait for the lock.
class Scheduler::Lock {
public:
    explicit Lock(Scheduler& scheduler) : scheduler_(scheduler), lock_(scheduler.mutex_) {}
    ~Lock() {
        if (lock_.owns_lock()) Unlock();
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    void Unlock() {
        std::shared_ptr<Wake> wake = std::move(scheduler_.handoff_);
        lock_.unlock();
        if (wake) wake->notify_one();
    }
    void Relock() { lock_.lock(); }

    template <class Ready>
    void WaitOn(Wake& wake, Ready ready) {
        if (ready()) return;
        if (scheduler_.handoff_) {
            Unlock();
            Relock();
        }
        wake.wait(lock_, ready);
    }

private:
    Scheduler& scheduler_;
    std::unique_lock<std::mutex> lock_;
};

Scheduler::Scheduler(Threads threads)
    : concurrent_(threads == Threads::Concurrent), core_(concurrent_ ? -1 : CurrentCore()) {
    clock_ = std::thread([this] {
        PlaceOnCore(core_);
        ClockLoop();
    });
}

Scheduler::~Scheduler() { Shutdown(); }

std::int64_t Scheduler::Now() const { return now_.load(std::memory_order_relaxed); }

DWORD Scheduler::NextThreadId() {
    Hidden hidden(concurrent_);
    std::lock_guard lock(mutex_);
    return nextThreadId_++;
}

int Scheduler::Satisfied(const Waiter& waiter) const {
    if (waiter.waitAll) {
        for (const Waitable* object : waiter.objects)
            if (!object->Signaled()) return -1;
        return 0;
    }
    for (std::size_t i = 0; i < waiter.objects.size(); ++i)
        if (waiter.objects[i]->Signaled()) return static_cast<int>(i);
    return -1;
}

void Scheduler::Consume(Waiter& waiter, int index) {
    if (waiter.waitAll) {
        for (Waitable* object : waiter.objects) object->Acquire();
    } else {
        waiter.objects[static_cast<std::size_t>(index)]->Acquire();
    }
}

void Scheduler::WakeLocked(Waiter& waiter, DWORD result) {
    for (Waitable* object : waiter.objects) object->waiters.remove(&waiter);
    if (waiter.hasTimer) {
        timers_.erase(waiter.timer);
        waiter.hasTimer = false;
    }
    allWaiters_.erase(std::remove(allWaiters_.begin(), allWaiters_.end(), &waiter), allWaiters_.end());
    waiter.done = true;
    waiter.result = result;
    --blocked_;
    if (waiter.participant)
        MakeReadyLocked(waiter.participant);
    else
        waiter.wake.notify_one();
}

std::uint64_t Scheduler::NewParticipantLocked() { return nextParticipant_++; }

void Scheduler::MakeReadyLocked(std::uint64_t participant) {
    if (concurrent_) {
        ++running_;
        auto sleeper = sleepers_.find(participant);
        if (sleeper != sleepers_.end()) HandOffLocked(sleeper->second);
        return;
    }
    ready_.push_back(participant);
    if (turn_ == 0) PassTurnLocked();
}

// The participant that runs blocks or ends.
void Scheduler::StopRunningLocked(std::uint64_t participant) {
    if (!concurrent_) {
        if (turn_ == participant) PassTurnLocked();
        return;
    }
    if (running_ > 0) --running_;
    if (running_ == 0) MoveClockLocked();
}

bool Scheduler::SoleRunnerLocked(std::uint64_t participant) const {
    if (concurrent_) return running_ == 1 && settlers_.empty();
    return turn_ == participant && ready_.empty();
}

// Called by the participant that has the turn when it blocks or ends, or when
// none has it: the first ready participant runs next. With nobody ready the
// caller moves the clock itself, as the clock thread would, which saves a host
// thread switch per step; what it cannot do (report a deadlock, serve threads
// outside the machine) stays with the clock thread.
void Scheduler::PassTurnLocked() {
    if (ready_.empty()) {
        turn_ = 0;
        MoveClockLocked();
        return;
    }
    turn_ = ready_.front();
    ready_.pop_front();
    auto sleeper = sleepers_.find(turn_);
    if (sleeper != sleepers_.end()) HandOffLocked(sleeper->second);
}

void Scheduler::MoveClockLocked() {
    while (!stopping_ && !BusyLocked() && StepLocked()) {
    }
    if (!BusyLocked()) clockWake_.notify_one();
}

void Scheduler::HandOffLocked(std::shared_ptr<Wake> wake) {
    if (handoff_) handoff_->notify_one();  // never lose a hand-over that is still to be rung
    handoff_ = std::move(wake);
}

// At shutdown the turn no longer holds anyone back, so every thread can unwind.
void Scheduler::AwaitTurnLocked(Lock& lock, std::uint64_t participant, const std::function<bool()>& also) {
    auto mine = [&] { return (!also || also()) && (HoldsTurnLocked(participant) || stopping_); };
    if (mine()) return;
    const std::shared_ptr<Wake>& wake = TurnWake();
    sleepers_[participant] = wake;
    lock.WaitOn(*wake, mine);
    sleepers_.erase(participant);
}

// Fires the earliest pending time-out or scheduled delivery; false when there is none.
bool Scheduler::StepLocked() {
    if (concurrent_) return StepAtOnceLocked();
    if (timers_.empty() && scheduled_.empty()) return false;
    const bool takeAction =
        !scheduled_.empty() && (timers_.empty() || scheduled_.begin()->first < timers_.begin()->first);
    if (takeAction) {
        auto it = scheduled_.begin();
        now_ = std::max(now_.load(), it->first.first);
        auto action = std::move(it->second);
        scheduled_.erase(it);
        RunDelivery(std::move(action));
    } else {
        auto it = timers_.begin();
        now_ = std::max(now_.load(), it->first.first);
        WakeLocked(*it->second, WAIT_TIMEOUT);
    }
    return true;
}

// Concurrent: everything due at the earliest instant fires together, the deliveries first, so that a
// wait times out only once nothing due at its instant could still end it; a settler wakes once nothing
// is due up to now.
bool Scheduler::StepAtOnceLocked() {
    auto dueBy = [](const auto& queue, std::int64_t when) { return !queue.empty() && queue.begin()->first.first <= when; };
    if (!settlers_.empty() && !dueBy(scheduled_, now_) && !dueBy(timers_, now_)) {
        std::vector<std::shared_ptr<Event>> settlers;
        settlers.swap(settlers_);
        for (const auto& settler : settlers) {
            settler->signaled = true;
            WakeWaitersOfLocked(*settler);
        }
        return true;
    }
    if (timers_.empty() && scheduled_.empty()) return false;
    if (!scheduled_.empty() && (timers_.empty() || scheduled_.begin()->first.first <= timers_.begin()->first.first)) {
        now_ = std::max(now_.load(), scheduled_.begin()->first.first);
        while (dueBy(scheduled_, now_)) {
            auto action = std::move(scheduled_.begin()->second);
            scheduled_.erase(scheduled_.begin());
            RunDelivery(std::move(action));
        }
    } else {
        now_ = std::max(now_.load(), timers_.begin()->first.first);
        while (dueBy(timers_, now_)) WakeLocked(*timers_.begin()->second, WAIT_TIMEOUT);
    }
    return true;
}

void Scheduler::WakeWaitersOfLocked(Waitable& object) {
    std::vector<Waiter*> candidates(object.waiters.begin(), object.waiters.end());
    for (Waiter* waiter : candidates) {
        if (!object.Signaled()) break;
        if (waiter->done) continue;
        int index = Satisfied(*waiter);
        if (index < 0) continue;
        Consume(*waiter, index);
        WakeLocked(*waiter, WAIT_OBJECT_0 + static_cast<DWORD>(index));
    }
}

DWORD Scheduler::Wait(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD timeoutMs) {
    if (!concurrent_) return WaitHidden(objects, waitAll, timeoutMs);
    Publish(&settled_);
    DWORD result;
    {
        Hidden hidden(true);
        result = WaitHidden(objects, waitAll, timeoutMs);
    }
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + objects.size()) {
        if (waitAll) {
            for (const auto& object : objects) Observe(object.get());
        } else {
            Observe(objects[result - WAIT_OBJECT_0].get());
        }
    }
    return result;
}

DWORD Scheduler::WaitHidden(const std::vector<std::shared_ptr<Waitable>>& objects, bool waitAll, DWORD timeoutMs) {
    Lock lock(*this);
    const std::uint64_t participant = tlScheduler == this ? tlParticipant : 0;
    if (stopping_) {
        if (tlOwned && tlScheduler == this) throw Terminated{};
        return WAIT_FAILED;
    }
    Waiter waiter;
    waiter.participant = participant;
    waiter.waitAll = waitAll;
    for (const auto& object : objects) waiter.objects.push_back(object.get());
    int index = Satisfied(waiter);
    if (index >= 0) {
        Consume(waiter, index);
        return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    }
    if (timeoutMs == 0) return WAIT_TIMEOUT;

    // The only thread with a turn or waiting for one, and nothing due before this time-out: the clock would fire it next, so
    // take it here without the two thread switches through the clock (a week of idle 5-second waits).
    if (participant && timeoutMs != INFINITE && SoleRunnerLocked(participant)) {
        const Key mine{now_ + timeoutMs, seq_};
        if ((timers_.empty() || mine < timers_.begin()->first) &&
            (scheduled_.empty() || mine < scheduled_.begin()->first)) {
            ++seq_;
            now_ = mine.first;
            return WAIT_TIMEOUT;
        }
    }

    for (Waitable* object : waiter.objects) object->waiters.push_back(&waiter);
    if (timeoutMs != INFINITE) {
        waiter.timer = timers_.emplace(Key{now_ + timeoutMs, seq_++}, &waiter);
        waiter.hasTimer = true;
    }
    allWaiters_.push_back(&waiter);
    ++blocked_;
    if (participant) {
        StopRunningLocked(participant);
        AwaitTurnLocked(lock, participant, [&] { return waiter.done; });
    } else {
        clockWake_.notify_one();
        lock.WaitOn(waiter.wake, [&] { return waiter.done; });
    }
    if (waiter.result == kTerminatedResult) {
        if (tlOwned && tlScheduler == this) throw Terminated{};
        return WAIT_FAILED;
    }
    return waiter.result;
}

void Scheduler::Sleep(DWORD ms) { Wait({}, false, ms); }

void Scheduler::SetEvent(Event& event) {
    if (concurrent_) Publish(&event);
    Hidden hidden(concurrent_);
    Lock lock(*this);
    event.signaled = true;
    WakeWaitersOfLocked(event);
}

void Scheduler::ResetEvent(Event& event) {
    Hidden hidden(concurrent_);
    std::lock_guard lock(mutex_);
    event.signaled = false;
}

std::shared_ptr<ThreadObject> Scheduler::StartThread(std::function<DWORD()> body) {
    auto object = std::make_shared<ThreadObject>();
    if (concurrent_) Publish(object.get());
    Hidden hidden(concurrent_);
    Lock lock(*this);
    object->id = nextThreadId_++;
    if (stopping_) {
        object->exited = true;
        object->exitCode = 0;
        return object;
    }
    ReapLocked();
    // Ready at once, but the caller keeps its turn until it blocks.
    const std::uint64_t participant = NewParticipantLocked();
    MakeReadyLocked(participant);
    auto done = std::make_shared<bool>(false);
    std::thread thread([this, concurrent = concurrent_, object, body = std::move(body), done, participant]() mutable {
        {
            Hidden hidden(concurrent);
            BecomeParticipant(this, participant);
            PlaceOnCore(core_);
            Lock lock(*this);
            AwaitTurnLocked(lock, participant);
        }
        if (concurrent) Observe(object.get());
        DWORD code = 0;
        try {
            code = body();
            RunExitActions();
        } catch (const Terminated&) {
            code = 1;
        }
        if (concurrent) {
            Publish(object.get());
            Publish(&settled_);
        }
        Hidden hidden(concurrent);
        Lock exitLock(*this);
        object->exitCode = code;
        object->exited = true;
        WakeWaitersOfLocked(*object);
        object.reset();  // out of sight: the count would order the thread's end before its last holder
        *done = true;
        tlParticipant = 0;
        StopRunningLocked(participant);
    });
    workers_.push_back({std::move(thread), done});
    return object;
}

void Scheduler::At(std::int64_t when, std::function<void()> action) { Schedule(when, std::move(action), false); }

void Scheduler::Post(std::function<void()> action) { Schedule(Now(), std::move(action), concurrent_); }

void Scheduler::Schedule(std::int64_t when, std::function<void()> action, bool atOnce) {
    // Held by the delivery alone: a count the scheduling thread changed too would order it after the
    // delivery's end.
    std::shared_ptr<char> cause;
    if (concurrent_ && kSanitized) {
        cause = MakeHidden<char>(0);
        Publish(cause.get());
    }
    Hidden hidden(concurrent_);
    if (cause)
        action = [cause = std::move(cause), inner = std::move(action)] {
            Observe(cause.get());
            inner();
        };
    Lock lock(*this);
    if (stopping_) return;
    if (atOnce) {
        RunDelivery(std::move(action));
        return;
    }
    scheduled_.emplace(Key{std::max(when, now_.load()), seq_++}, std::move(action));
    // A participant that runs or is ready moves the clock when the turn comes free.
    if (!BusyLocked()) clockWake_.notify_one();
}

void Scheduler::Settle(Settled settled) {
    auto done = std::make_shared<Event>(true, false, "");
    if (concurrent_) {
        {
            Hidden hidden(true);
            Lock lock(*this);
            settlers_.push_back(done);
            if (!BusyLocked()) clockWake_.notify_one();
        }
        Wait({done}, false, INFINITE);
        if (settled == Settled::Seen) Observe(&settled_);  // what ran before every thread came to wait
        return;
    }
    At(Now(), [this, done] { SetEvent(*done); });
    Wait({done}, false, INFINITE);
}

void Scheduler::Join() {
    Hidden hidden(concurrent_);
    Lock lock(*this);
    if (tlScheduler == this && tlParticipant) return;
    tlScheduler = this;
    tlParticipant = NewParticipantLocked();
    tlOwned = false;
    tlPlaced = PlaceOnCore(core_, &tlAffinityBefore);
    MakeReadyLocked(tlParticipant);
    AwaitTurnLocked(lock, tlParticipant);
}

void Scheduler::Leave() {
    Hidden hidden(concurrent_);
    Lock lock(*this);
    if (tlScheduler != this || !tlParticipant) return;
    const std::uint64_t participant = tlParticipant;
    tlParticipant = 0;
    tlScheduler = nullptr;
    if (tlPlaced) sched_setaffinity(0, sizeof tlAffinityBefore, &tlAffinityBefore);
    tlPlaced = false;
    StopRunningLocked(participant);
}

void Scheduler::SetDeadlockHandler(std::function<void()> handler) {
    Hidden hidden(concurrent_);
    std::lock_guard lock(mutex_);
    deadlockHandler_ = std::move(handler);
}

bool Scheduler::ShuttingDown() const {
    Hidden hidden(concurrent_);
    std::lock_guard lock(mutex_);
    return stopping_;
}

void Scheduler::ReapLocked() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        // A delivery that ends may start the next one itself; it is reaped later.
        if (*it->done && it->thread.get_id() != std::this_thread::get_id()) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void Scheduler::RunDelivery(std::function<void()> action) {
    // Called with the lock held; the delivery is a participant until it ends.
    if (concurrent_) {
        StartDeliveryThreadLocked(std::move(action));
        return;
    }
    const std::uint64_t participant = NewParticipantLocked();
    Pooled* runner;
    if (idle_.empty()) {
        pool_.push_back(std::make_unique<Pooled>());
        runner = pool_.back().get();
        runner->thread = std::thread([this, runner] { PoolLoop(*runner); });
    } else {
        runner = idle_.back();
        idle_.pop_back();
    }
    runner->job = std::move(action);
    runner->participant = participant;
    HandOffLocked(runner->wake);
    MakeReadyLocked(participant);
}

void Scheduler::PoolLoop(Pooled& self) {
    tlScheduler = this;
    tlOwned = true;
    PlaceOnCore(core_);
    Lock lock(*this);
    for (;;) {
        lock.WaitOn(*self.wake, [&] { return self.job || stopping_; });
        if (!self.job) return;
        std::function<void()> job = std::move(self.job);
        self.job = nullptr;
        const std::uint64_t participant = self.participant;
        tlParticipant = participant;
        BeginSimulatedThread();
        AwaitTurnLocked(lock, participant);
        lock.Unlock();
        try {
            job();
            RunExitActions();
        } catch (const Terminated&) {
        }
        job = nullptr;  // what it holds goes while the delivery still has the turn
        lock.Relock();
        tlParticipant = 0;
        // Idle before the turn passes, so the next delivery can start on this thread.
        if (!stopping_) idle_.push_back(&self);
        StopRunningLocked(participant);
        if (stopping_) return;
    }
}

// Concurrent: each delivery has a host thread of its own, so that to the sanitizer it is a thread
// of its own too, with nothing ordered before it but what scheduled it.
void Scheduler::StartDeliveryThreadLocked(std::function<void()> action) {
    ReapLocked();
    const std::uint64_t participant = NewParticipantLocked();
    MakeReadyLocked(participant);
    auto done = std::make_shared<bool>(false);
    std::thread thread([this, action = std::move(action), done, participant]() mutable {
        {
            Hidden hidden(true);
            BecomeParticipant(this, participant);
        }
        try {
            action();
            RunExitActions();
        } catch (const Terminated&) {
        }
        {
            // Out of sight: the counts of the copies it holds (the modem's core, say) would order its
            // end before a caller that lets go of its own copy later, as an early completion's does.
            Hidden hidden(true);
            action = nullptr;
        }
        Publish(&settled_);
        Hidden hidden(true);
        Lock lock(*this);
        tlParticipant = 0;
        *done = true;
        StopRunningLocked(participant);
    });
    workers_.push_back({std::move(thread), done});
}

void Scheduler::ClockLoop() {
    Hidden hidden(concurrent_);
    Lock lock(*this);
    for (;;) {
        lock.WaitOn(clockWake_, [&] {
            return stopping_ || (!BusyLocked() && (PendingLocked() || blocked_ > 0));
        });
        if (stopping_) return;
        ReapLocked();
        if (StepLocked()) continue;
        {
            auto handler = deadlockHandler_;
            std::int64_t at = now_;
            lock.Unlock();
            if (handler) {
                Shown shown(concurrent_);
                Observe(&settled_);  // every thread waits: what each did before
                handler();
            } else {
                std::fprintf(stderr, "sim: deadlock at virtual time %lld ms: every thread waits and nothing is scheduled\n",
                             static_cast<long long>(at));
                std::abort();
            }
            lock.Relock();
            lock.WaitOn(clockWake_, [&] { return stopping_ || BusyLocked() || PendingLocked(); });
        }
    }
}

void Scheduler::Shutdown() {
    {
        Hidden hidden(concurrent_);
        Lock lock(*this);
        if (!stopping_) {
            stopping_ = true;
            scheduled_.clear();
            settlers_.clear();
            std::vector<Waiter*> waiting = allWaiters_;
            for (Waiter* waiter : waiting) WakeLocked(*waiter, kTerminatedResult);
        }
        clockWake_.notify_all();
        for (auto& [participant, wake] : sleepers_) wake->notify_all();
        for (auto& pooled : pool_) pooled->wake->notify_all();
    }
    if (clock_.joinable()) clock_.join();
    std::vector<std::unique_ptr<Pooled>> pool;
    {
        Hidden hidden(concurrent_);
        std::lock_guard lock(mutex_);
        pool.swap(pool_);
        idle_.clear();
    }
    for (auto& pooled : pool) JoinUnlessSelf(pooled->thread);
    for (;;) {
        std::vector<Worker> workers;
        {
            Hidden hidden(concurrent_);
            std::lock_guard lock(mutex_);
            workers.swap(workers_);
        }
        if (workers.empty()) break;
        for (auto& worker : workers) JoinUnlessSelf(worker.thread);
    }
    // Every thread has ended, also those reaped out of the sanitizer's sight: what each did is done.
    if (concurrent_) Observe(&settled_);
}

}  // namespace sim
