// What ThreadSanitizer is shown of the simulated machine: as of a kernel, nothing.
//
// Every lock, counter and reference count of the machine would otherwise order the system's
// threads that pass through it (a log line, a wait, a BSTR freed, what a delivery held as it
// ends), and hide the races the system has on Windows. So the machine touches its own data only
// out of sight, and says instead where two threads are ordered (Publish before, Observe after).
// These are all the orderings it declares. Where Windows gives them:
//   - an event set, and the wait it ends;
//   - a thread's start and its first line; its end, and the wait on it that it ends;
//   - a call that schedules a delivery (a completion, a party's callback), and that delivery;
//   - a sink's Advise, and the calls made to the sink;
//   - the calls to a sink that have ended, and an Unadvise that finds none in progress, or else
//     the end of the last of them, which lets go of the sink. Unadvise waits for no call in
//     progress, and such a call is no longer declared ordered before Unadvise returns.
// Where a test or kvsim looks at the machine from outside, never a view the system's threads get:
//   - Settle: what every thread did before all came to wait, and the caller's next line; an early
//     completion settles without it, since Windows orders nothing between its callback and the
//     lines that follow the call that caused it;
//   - the deadlock handler: what every thread did before all came to wait;
//   - Shutdown: what every thread did, and its return.
// The system's own locks (its mutexes, the Interlocked functions) are the host's, and the
// sanitizer sees them as they are. Built without the sanitizer, all of it is nothing.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#define KV_SIM_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KV_SIM_TSAN 1
#endif
#endif

#if defined(KV_SIM_TSAN)
#include <sanitizer/tsan_interface.h>
extern "C" {
void __tsan_ignore_thread_begin();
void __tsan_ignore_thread_end();
void AnnotateIgnoreSyncBegin(const char* file, int line);
void AnnotateIgnoreSyncEnd(const char* file, int line);
}
#endif

namespace sim {

#if defined(KV_SIM_TSAN)
inline constexpr bool kSanitized = true;
inline thread_local int tlHiddenDepth = 0;  // hidden stretches the thread is in

inline void StopSeeing() {
    if (tlHiddenDepth++ > 0) return;
    __tsan_ignore_thread_begin();
    AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
}
inline void SeeAgain() {
    if (--tlHiddenDepth > 0) return;
    AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
    __tsan_ignore_thread_end();
}
// An ordering Windows gives, also from inside a hidden stretch.
inline void Publish(const void* object) {
    if (tlHiddenDepth > 0) AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
    __tsan_release(const_cast<void*>(object));
    if (tlHiddenDepth > 0) AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
}
inline void Observe(const void* object) {
    if (tlHiddenDepth > 0) AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
    __tsan_acquire(const_cast<void*>(object));
    if (tlHiddenDepth > 0) AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
}
#else
inline constexpr bool kSanitized = false;
inline void StopSeeing() {}
inline void SeeAgain() {}
inline void Publish(const void*) {}
inline void Observe(const void*) {}
#endif

// The machine's own work for one scope.
class Hidden {
public:
    explicit Hidden(bool hide = true) : hide_(hide) {
        if (hide_) StopSeeing();
    }
    ~Hidden() {
        if (hide_) SeeAgain();
    }
    Hidden(const Hidden&) = delete;
    Hidden& operator=(const Hidden&) = delete;

private:
    bool hide_;
};

// The system's code (a sink, a thread's body), called from inside a hidden stretch: seen whole.
class Shown {
public:
    explicit Shown(bool shown = true) {
#if defined(KV_SIM_TSAN)
        if (shown && tlHiddenDepth > 0) {
            depth_ = tlHiddenDepth;
            tlHiddenDepth = 1;
            SeeAgain();
        }
#else
        (void)shown;
#endif
    }
    ~Shown() {
#if defined(KV_SIM_TSAN)
        if (depth_ > 0) {
            StopSeeing();
            tlHiddenDepth = depth_;
        }
#endif
    }
    Shown(const Shown&) = delete;
    Shown& operator=(const Shown&) = delete;

private:
    [[maybe_unused]] int depth_ = 0;
};

// A lock of the machine: held, it hides itself and what it guards.
class HiddenMutex {
public:
    void lock() {
        StopSeeing();
        mutex_.lock();
    }
    bool try_lock() {
        StopSeeing();
        if (mutex_.try_lock()) return true;
        SeeAgain();
        return false;
    }
    void unlock() {
        mutex_.unlock();
        SeeAgain();
    }

private:
    std::mutex mutex_;
};

// An object of the machine that several threads hold (an event, a process), made out of sight: the
// reference counts of its copies are then never taken for a race with its making.
template <class T, class... Args>
std::shared_ptr<T> MakeHidden(Args&&... args) {
    Hidden hidden;
    return std::make_shared<T>(std::forward<Args>(args)...);
}

// A copy of one of the machine's objects for a holder outside the machine (a caller, a delivery):
// it counts apart from the machine's own copies and lets go of them out of sight, since a count
// that every holder changed would order them all.
template <class T>
std::shared_ptr<T> HiddenCopy(std::shared_ptr<T> object) {
    if constexpr (!kSanitized) {
        return object;
    } else {
        if (!object) return nullptr;
        T* raw = object.get();
        return std::shared_ptr<T>(raw, [held = std::move(object)](T*) mutable {
            Hidden hidden;
            held.reset();
        });
    }
}

// A count the machine keeps (live objects, the next id): changing it orders no threads.
template <class T>
T HiddenIncrement(std::atomic<T>& count) {
    Hidden hidden;
    return ++count;
}
template <class T>
T HiddenDecrement(std::atomic<T>& count) {
    Hidden hidden;
    return --count;
}

}  // namespace sim
