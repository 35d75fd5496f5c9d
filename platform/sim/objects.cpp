#include "platform/sim/objects.h"

#include <atomic>

namespace sim {

namespace {
// Values are never given twice in one host process, so a handle a process singleton kept from a
// machine that is gone (a restart after a power loss) names nothing on the next machine.
std::atomic<ULONG_PTR> nextValue{0x1000};
}  // namespace

HANDLE HandleTable::Add(std::shared_ptr<Object> object) {
    std::lock_guard lock(mutex_);
    ULONG_PTR value = nextValue.fetch_add(4);
    objects_[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> HandleTable::Get(HANDLE handle) const {
    // The caller's copy counts apart from the table's (see HiddenCopy).
    Hidden hidden;
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == objects_.end() ? nullptr : HiddenCopy(it->second);
}

bool HandleTable::Close(HANDLE handle) {
    Hidden hidden;
    std::shared_ptr<Object> released;  // destroyed outside the lock
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<ULONG_PTR>(handle));
    if (it == objects_.end()) return false;
    released = std::move(it->second);
    objects_.erase(it);
    return true;
}

std::size_t HandleTable::Count() const {
    std::lock_guard lock(mutex_);
    return objects_.size();
}

}  // namespace sim
