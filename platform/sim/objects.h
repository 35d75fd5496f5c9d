// Kernel objects behind HANDLEs, and the table that names them.
#pragma once

#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <typeinfo>

#include "platform/sim/hidden.h"
#include "platform/types.h"

namespace sim {

struct Waiter;

class Object {
public:
    virtual ~Object() = default;
};

// An object a thread can wait for. Its state is guarded by the scheduler's mutex.
class Waitable : public Object {
public:
    virtual bool Signaled() const = 0;
    // Called when a wait is satisfied by this object (an auto-reset event resets).
    virtual void Acquire() {}
    std::list<Waiter*> waiters;
};

class Event : public Waitable {
public:
    Event(bool manualReset, bool initialState, std::string name)
        : manualReset(manualReset), signaled(initialState), name(std::move(name)) {}
    bool Signaled() const override { return signaled; }
    void Acquire() override {
        if (!manualReset) signaled = false;
    }
    const bool manualReset;
    bool signaled;
    const std::string name;
};

class ThreadObject : public Waitable {
public:
    bool Signaled() const override { return exited; }
    bool exited = false;
    DWORD exitCode = 259;  // STILL_ACTIVE
    DWORD id = 0;
};

// HANDLE values for the objects of one machine.
class HandleTable {
public:
    HANDLE Add(std::shared_ptr<Object> object);
    std::shared_ptr<Object> Get(HANDLE handle) const;
    template <class T>
    std::shared_ptr<T> Get(HANDLE handle) const {
        std::shared_ptr<Object> object = Get(handle);
        if (!object) return nullptr;
        // A handle mostly names an object of the very type asked for: that needs no search of its bases.
        T* typed = typeid(*object) == typeid(T) ? static_cast<T*>(object.get()) : dynamic_cast<T*>(object.get());
        return typed ? std::shared_ptr<T>(std::move(object), typed) : nullptr;
    }
    bool Close(HANDLE handle);
    std::size_t Count() const;

private:
    mutable HiddenMutex mutex_;
    std::map<ULONG_PTR, std::shared_ptr<Object>> objects_;
};

}  // namespace sim
