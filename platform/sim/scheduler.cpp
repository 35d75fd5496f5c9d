#include "platform/sim/scheduler.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

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
    tlThreadSerial = nextThreadSerial.fetch_add(1);
    tlExitActions.clear();
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

Scheduler::Scheduler() : core_(CurrentCore()) {
    clock_ = std::thread([this] {
        PlaceOnCore(core_);
        ClockLoop();
    });
}

Scheduler::~Scheduler() { Shutdown(); }

std::int64_t Scheduler::Now() const {
    std::lock_guard lock(mutex_);
    return now_;
}

DWORD Scheduler::NextThreadId() {
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
    ready_.push_back(participant);
    if (turn_ == 0) PassTurnLocked();
}

// Called by the participant that has the turn when it blocks or ends, or when
// none has it: the first ready participant runs next. With nobody ready the
// caller moves the clock itself, as the clock thread would, which saves a host
// thread switch per step; what it cannot do (report a deadlock, serve threads
// outside the machine) stays with the clock thread.
void Scheduler::PassTurnLocked() {
    if (ready_.empty()) {
        turn_ = 0;
        while (!stopping_ && !BusyLocked() && StepLocked()) {
        }
        if (!BusyLocked()) clockWake_.notify_one();
        return;
    }
    turn_ = ready_.front();
    ready_.pop_front();
    auto sleeper = sleepers_.find(turn_);
    if (sleeper != sleepers_.end()) HandOffLocked(sleeper->second);
}

void Scheduler::HandOffLocked(std::shared_ptr<Wake> wake) {
    if (handoff_) handoff_->notify_one();  // never lose a hand-over that is still to be rung
    handoff_ = std::move(wake);
}

// At shutdown the turn no longer holds anyone back, so every thread can unwind.
void Scheduler::AwaitTurnLocked(Lock& lock, std::uint64_t participant, const std::function<bool()>& also) {
    auto mine = [&] { return (!also || also()) && (turn_ == participant || stopping_); };
    if (mine()) return;
    const std::shared_ptr<Wake>& wake = TurnWake();
    sleepers_[participant] = wake;
    lock.WaitOn(*wake, mine);
    sleepers_.erase(participant);
}

// Fires the earliest pending time-out or scheduled delivery; false when there is none.
bool Scheduler::StepLocked() {
    if (timers_.empty() && scheduled_.empty()) return false;
    const bool takeAction =
        !scheduled_.empty() && (timers_.empty() || scheduled_.begin()->first < timers_.begin()->first);
    if (takeAction) {
        auto it = scheduled_.begin();
        now_ = std::max(now_, it->first.first);
        auto action = std::move(it->second);
        scheduled_.erase(it);
        RunDelivery(std::move(action));
    } else {
        auto it = timers_.begin();
        now_ = std::max(now_, it->first.first);
        WakeLocked(*it->second, WAIT_TIMEOUT);
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
    if (participant && timeoutMs != INFINITE && turn_ == participant && ready_.empty()) {
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
        if (turn_ == participant) PassTurnLocked();
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
    Lock lock(*this);
    event.signaled = true;
    WakeWaitersOfLocked(event);
}

void Scheduler::ResetEvent(Event& event) {
    std::lock_guard lock(mutex_);
    event.signaled = false;
}

std::shared_ptr<ThreadObject> Scheduler::StartThread(std::function<DWORD()> body) {
    auto object = std::make_shared<ThreadObject>();
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
    std::thread thread([this, object, body = std::move(body), done, participant] {
        tlScheduler = this;
        tlParticipant = participant;
        tlOwned = true;
        BeginSimulatedThread();
        PlaceOnCore(core_);
        {
            Lock lock(*this);
            AwaitTurnLocked(lock, participant);
        }
        DWORD code = 0;
        try {
            code = body();
            RunExitActions();
        } catch (const Terminated&) {
            code = 1;
        }
        Lock exitLock(*this);
        object->exitCode = code;
        object->exited = true;
        WakeWaitersOfLocked(*object);
        *done = true;
        tlParticipant = 0;
        if (turn_ == participant) PassTurnLocked();
    });
    workers_.push_back({std::move(thread), done});
    return object;
}

void Scheduler::At(std::int64_t when, std::function<void()> action) {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    scheduled_.emplace(Key{std::max(when, now_), seq_++}, std::move(action));
    // A participant that runs or is ready moves the clock when the turn comes free.
    if (!BusyLocked()) clockWake_.notify_one();
}

void Scheduler::Settle() {
    auto done = std::make_shared<Event>(true, false, "");
    At(Now(), [this, done] { SetEvent(*done); });
    Wait({done}, false, INFINITE);
}

void Scheduler::Join() {
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
    Lock lock(*this);
    if (tlScheduler != this || !tlParticipant) return;
    const std::uint64_t participant = tlParticipant;
    tlParticipant = 0;
    tlScheduler = nullptr;
    if (tlPlaced) sched_setaffinity(0, sizeof tlAffinityBefore, &tlAffinityBefore);
    tlPlaced = false;
    if (turn_ == participant) PassTurnLocked();
}

void Scheduler::SetDeadlockHandler(std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    deadlockHandler_ = std::move(handler);
}

bool Scheduler::ShuttingDown() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void Scheduler::ReapLocked() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (*it->done) {
            it->thread.join();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void Scheduler::RunDelivery(std::function<void()> action) {
    // Called with the lock held; the delivery is a participant until it ends.
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
        if (turn_ == participant) PassTurnLocked();
        if (stopping_) return;
    }
}

void Scheduler::ClockLoop() {
    Lock lock(*this);
    for (;;) {
        lock.WaitOn(clockWake_, [&] {
            return stopping_ || (!BusyLocked() && (!timers_.empty() || !scheduled_.empty() || blocked_ > 0));
        });
        if (stopping_) return;
        ReapLocked();
        if (StepLocked()) continue;
        {
            auto handler = deadlockHandler_;
            std::int64_t at = now_;
            lock.Unlock();
            if (handler) {
                handler();
            } else {
                std::fprintf(stderr, "sim: deadlock at virtual time %lld ms: every thread waits and nothing is scheduled\n",
                             static_cast<long long>(at));
                std::abort();
            }
            lock.Relock();
            lock.WaitOn(clockWake_, [&] { return stopping_ || BusyLocked() || !timers_.empty() || !scheduled_.empty(); });
        }
    }
}

void Scheduler::Shutdown() {
    {
        Lock lock(*this);
        if (!stopping_) {
            stopping_ = true;
            scheduled_.clear();
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
        std::lock_guard lock(mutex_);
        pool.swap(pool_);
        idle_.clear();
    }
    for (auto& pooled : pool) JoinUnlessSelf(pooled->thread);
    for (;;) {
        std::vector<Worker> workers;
        {
            std::lock_guard lock(mutex_);
            workers.swap(workers_);
        }
        if (workers.empty()) break;
        for (auto& worker : workers) JoinUnlessSelf(worker.thread);
    }
}

}  // namespace sim
