#include "common/ProcessSingleton.h"

#include <mutex>
#include <vector>

namespace {

// Recursive: making one singleton may use another (a constructor that logs).
std::recursive_mutex& SlotsLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex();
    return *lock;
}

}  // namespace

CProcessSingletons::CSlot*& CProcessSingletons::FirstSlot() {
    static CSlot* first = nullptr;
    return first;
}

void* CProcessSingletons::Fill(CSlot& slot, void* (*make)(), void (*end)(void*)) {
    std::lock_guard<std::recursive_mutex> hold(SlotsLock());
    if (void* instance = slot.instance.load(std::memory_order_acquire)) return instance;
    if (!slot.listed) {
        slot.next = FirstSlot();
        FirstSlot() = &slot;
        slot.listed = true;
    }
    void* instance = make();
    slot.end = end;
    slot.instance.store(instance, std::memory_order_release);
    return instance;
}

void CProcessSingletons::EndAll() {
    // Held for good, so the ended instances stay reachable and are never taken for leaks.
    static std::vector<void*>* ended = new std::vector<void*>();
    std::lock_guard<std::recursive_mutex> hold(SlotsLock());
    for (CSlot* slot = FirstSlot(); slot; slot = slot->next) {
        void* instance = slot->instance.exchange(nullptr, std::memory_order_acq_rel);
        if (!instance) continue;
        if (slot->end) slot->end(instance);
        ended->push_back(instance);
    }
}
