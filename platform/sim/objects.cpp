#include "platform/sim/objects.h"

namespace sim {

HANDLE HandleTable::Add(std::shared_ptr<Object> object) {
    std::lock_guard lock(mutex_);
    ULONG_PTR value = next_;
    next_ += 4;
    objects_[value] = std::move(object);
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<Object> HandleTable::Get(HANDLE handle) const {
    std::lock_guard lock(mutex_);
    auto it = objects_.find(reinterpret_cast<ULONG_PTR>(handle));
    return it == objects_.end() ? nullptr : it->second;
}

bool HandleTable::Close(HANDLE handle) {
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
