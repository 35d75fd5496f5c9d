// Where the process singletons live: each is made on first use and lasts as long as its process.
//
// The simulated machine runs one process after another inside one host process (each test, each
// kvsim run): CProcessSingletons::EndAll ends the ones made so far, so the next process makes fresh ones
// and none sees handles, streams or paths of a machine that is gone.
#pragma once

#include <atomic>

class CProcessSingletons {
public:
    // The instance of T: `Make` (a lambda without captures) makes it on first use; `End`, when
    // given, releases what the instance holds outside the machine once its process is over.
    template <class T, class Make>
    static T* Get(Make) {
        return Get<T>(Make{}, [](T*) {});
    }
    template <class T, class Make, class End>
    static T* Get(Make, End) {
        CSlot& slot = SlotOf<T>();
        if (void* instance = slot.instance.load(std::memory_order_acquire)) return static_cast<T*>(instance);
        return static_cast<T*>(Fill(
            slot, []() -> void* { return Make{}(); }, [](void* instance) { End{}(static_cast<T*>(instance)); }));
    }

    // Ends every instance made so far. Call only while no thread of the system runs. Each is given
    // to its end step and kept, never freed: its destructor would release objects of a machine
    // that is gone.
    static void EndAll();

private:
    struct CSlot {
        std::atomic<void*> instance{nullptr};
        void (*end)(void*) = nullptr;
        CSlot* next = nullptr;
        bool listed = false;
    };
    template <class T>
    static CSlot& SlotOf() {
        static CSlot slot;
        return slot;
    }
    static void* Fill(CSlot& slot, void* (*make)(), void (*end)(void*));
    static CSlot*& FirstSlot();
};
