#include "platform/sync.h"

#include <atomic>

#include "platform/sim/call_support.h"
#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"

namespace {
// Per simulated thread: a pooled host thread starts each one afresh.
struct ThreadState {
    std::uint64_t serial = 0;
    DWORD lastError = 0;
    DWORD threadId = 0;
};
thread_local ThreadState tlState;
std::atomic<DWORD> nextThreadId{1000};

DWORD ThreadIdOf(const sim::ThreadObject& thread) {
    sim::Hidden hidden;  // set by the scheduler out of sight
    return thread.id;
}

ThreadState& CurrentState() {
    const std::uint64_t serial = sim::CurrentThreadSerial();
    if (tlState.serial != serial) tlState = ThreadState{serial, 0, 0};
    return tlState;
}
}  // namespace

DWORD GetLastError() { return CurrentState().lastError; }
void SetLastError(DWORD error) { CurrentState().lastError = error; }

DWORD GetCurrentThreadId() {
    ThreadState& state = CurrentState();
    if (state.threadId == 0) {
        sim::Hidden hidden;  // a thread's first id orders it after no other thread
        state.threadId = nextThreadId.fetch_add(4);
    }
    return state.threadId;
}

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR name) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return nullptr;
    if (machine->TakeKernelFault(sim::KernelCall::CreateEvent)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::shared_ptr<sim::Event> event;
    bool existed = false;
    if (name && *name)
        event = machine->CreateNamedEvent(name, manualReset != FALSE, initialState != FALSE, &existed);
    else
        event = sim::MakeHidden<sim::Event>(manualReset != FALSE, initialState != FALSE, "");
    HANDLE handle = machine->handles().Add(event);
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

HANDLE OpenEventA(DWORD, BOOL, LPCSTR name) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return nullptr;
    auto event = name ? machine->FindNamedEvent(name) : nullptr;
    if (!event) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return machine->handles().Add(event);
}

BOOL SetEvent(HANDLE handle) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return FALSE;
    auto event = machine->handles().Get<sim::Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Unnamed events are the system's own business; named ones cross processes.
    if (!event->name.empty()) machine->transcript().Add("event", "SetEvent " + event->name);
    machine->clock().SetEvent(*event);
    return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return FALSE;
    auto event = machine->handles().Get<sim::Event>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    machine->clock().ResetEvent(*event);
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return WAIT_FAILED;
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<sim::Waitable>> objects;
    for (DWORD i = 0; i < count; ++i) {
        auto object = machine->handles().Get<sim::Waitable>(handles[i]);
        if (!object) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        objects.push_back(std::move(object));
    }
    return machine->clock().Wait(objects, waitAll != FALSE, milliseconds);
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                    LPDWORD id) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return nullptr;
    if (!start) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (machine->TakeKernelFault(sim::KernelCall::CreateThread)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto thread = machine->clock().StartThread([start, parameter] { return start(parameter); });
    if (id) *id = ThreadIdOf(*thread);
    return machine->handles().Add(thread);
}

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return FALSE;
    auto thread = machine->handles().Get<sim::ThreadObject>(handle);
    if (!thread || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const bool shuttingDown = machine->clock().ShuttingDown();
    DWORD code;
    {
        sim::Hidden hidden;  // the scheduler's state of the thread
        code = shuttingDown || thread->exited ? thread->exitCode : 259;
    }
    *exitCode = code;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return FALSE;
    if (!machine->handles().Close(handle)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (sim::Machine* machine = sim::Machine::Current()) machine->clock().Sleep(milliseconds);
}

// The notebook booted a minute before the machine's virtual time 0.
constexpr ULONGLONG kUptimeAtStart = 60000;

DWORD GetTickCount() { return static_cast<DWORD>(GetTickCount64()); }

ULONGLONG GetTickCount64() {
    sim::Machine* machine = sim::Machine::Current();
    return kUptimeAtStart + (machine ? static_cast<ULONGLONG>(machine->clock().Now()) : 0);
}

void GetLocalTime(LPSYSTEMTIME time) {
    if (!time) return;
    sim::Machine* machine = sim::Machine::Current();
    *time = machine ? machine->LocalTime() : sim::MsToSystemTime(0);
}

void GetSystemTime(LPSYSTEMTIME time) { GetLocalTime(time); }

LONG InterlockedIncrement(LONG volatile* value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_add(1) + 1;
}

LONG InterlockedDecrement(LONG volatile* value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(value)).fetch_sub(1) - 1;
}

LONG InterlockedExchange(LONG volatile* target, LONG value) {
    return std::atomic_ref<LONG>(*const_cast<LONG*>(target)).exchange(value);
}

LONG InterlockedCompareExchange(LONG volatile* destination, LONG exchange, LONG comparand) {
    std::atomic_ref<LONG>(*const_cast<LONG*>(destination)).compare_exchange_strong(comparand, exchange);
    return comparand;
}
