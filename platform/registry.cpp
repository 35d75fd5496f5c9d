#include "platform/registry.h"

#include <cstring>

#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"

namespace {

using sim::Registry;

constexpr REGSAM kViewFlags = KEY_WOW64_32KEY | KEY_WOW64_64KEY;
constexpr DWORD kNotifyFilters =
    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_ATTRIBUTES | REG_NOTIFY_CHANGE_LAST_SET | REG_NOTIFY_CHANGE_SECURITY;
constexpr DWORD kNotifyThreadAgnostic = 0x10000000;

// An open key behind an HKEY.
class KeyHandle : public sim::Object {
public:
    KeyHandle(Registry::KeyRef key, REGSAM access) : key(std::move(key)), access(access) {}
    const Registry::KeyRef key;
    const REGSAM access;
};

struct Target {
    sim::Machine* machine = nullptr;
    Registry::KeyRef key;
    REGSAM access = 0;
    const void* owner = nullptr;  // the handle object; null for HKEY_LOCAL_MACHINE
};

LSTATUS Lookup(HKEY key, Target* target) {
    target->machine = sim::Machine::Current();
    if (!target->machine) return ERROR_INVALID_HANDLE;
    if (key == HKEY_LOCAL_MACHINE) {
        target->key = target->machine->registry().Root();
        target->access = KEY_ALL_ACCESS;
        return ERROR_SUCCESS;
    }
    auto handle = target->machine->handles().Get<KeyHandle>(reinterpret_cast<HANDLE>(key));
    if (!handle) return ERROR_INVALID_HANDLE;
    target->key = handle->key;
    target->access = handle->access;
    target->owner = handle.get();
    return ERROR_SUCCESS;
}

HKEY NewHandle(sim::Machine& machine, Registry::KeyRef key, REGSAM desired) {
    return reinterpret_cast<HKEY>(machine.handles().Add(std::make_shared<KeyHandle>(std::move(key), desired & ~kViewFlags)));
}

}  // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM desired, PHKEY result) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    Registry::KeyRef opened;
    LSTATUS status = target.machine->registry().Open(target.key, subKey ? subKey : "",
                                                     (desired & KEY_WOW64_32KEY) != 0, false, &opened);
    if (status != ERROR_SUCCESS) return status;
    *result = NewHandle(*target.machine, std::move(opened), desired);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD, REGSAM desired, LPSECURITY_ATTRIBUTES,
                        PHKEY result, LPDWORD disposition) {
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    auto& registry = target.machine->registry();
    const bool view32 = (desired & KEY_WOW64_32KEY) != 0;
    const char* path = subKey ? subKey : "";
    Registry::KeyRef opened;
    bool created = false;
    LSTATUS status = registry.Open(target.key, path, view32, false, &opened);
    if (status == ERROR_FILE_NOT_FOUND) {
        // Making a key below an open one needs the right to.
        if (!(target.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
        status = registry.Open(target.key, path, view32, true, &opened, &created);
    }
    if (status != ERROR_SUCCESS) return status;
    if (disposition) *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *result = NewHandle(*target.machine, std::move(opened), desired);
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD dataSize) {
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    if (!(target.access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    if (data && !dataSize) return ERROR_INVALID_PARAMETER;
    sim::RegistryValue value;
    LSTATUS status = target.machine->registry().Query(target.key, valueName ? valueName : "", &value);
    if (status != ERROR_SUCCESS) return status;
    if (type) *type = value.type;
    const DWORD needed = static_cast<DWORD>(value.data.size());
    if (data) {
        if (*dataSize < needed) {
            *dataSize = needed;
            return ERROR_MORE_DATA;
        }
        if (needed) std::memcpy(data, value.data.data(), needed);
    }
    if (dataSize) *dataSize = needed;
    return ERROR_SUCCESS;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data, DWORD dataSize) {
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    if (!(target.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (!data && dataSize) return ERROR_INVALID_PARAMETER;
    std::vector<BYTE> bytes;
    if (dataSize) bytes.assign(data, data + dataSize);
    // Text counted without its terminating zero is stored with one, as Windows stores it.
    const bool text = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (text && !bytes.empty() && bytes.back() != 0) bytes.push_back(0);
    return target.machine->registry().Set(target.key, valueName ? valueName : "", type, std::move(bytes), "registry");
}

LSTATUS RegCloseKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    // A notification armed through the handle completes when it closes.
    target.machine->registry().HandleClosed(target.key, target.owner);
    target.machine->handles().Close(reinterpret_cast<HANDLE>(key));
    return ERROR_SUCCESS;
}

LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD notifyFilter, HANDLE event, BOOL asynchronous) {
    Target target;
    if (LSTATUS status = Lookup(key, &target)) return status;
    if (!(target.access & KEY_NOTIFY)) return ERROR_ACCESS_DENIED;
    const DWORD filter = notifyFilter & ~kNotifyThreadAgnostic;
    if (filter == 0 || (filter & ~kNotifyFilters)) return ERROR_INVALID_PARAMETER;
    auto& registry = target.machine->registry();
    // Without REG_NOTIFY_THREAD_AGNOSTIC the watch ends with the calling thread.
    const std::uint64_t thread = (notifyFilter & kNotifyThreadAgnostic) ? 0 : sim::CurrentThreadSerial();
    if (asynchronous) {
        auto signal = event ? target.machine->handles().Get<sim::Event>(event) : nullptr;
        if (!signal) return ERROR_INVALID_PARAMETER;
        // Arming starts from an unsignalled event, so a stale wake-up is never handed back.
        target.machine->clock().ResetEvent(*signal);
        return registry.Notify(target.key, target.owner, thread, watchSubtree != FALSE, filter, std::move(signal));
    }
    // Synchronous: the caller waits, in virtual time, for the change.
    auto signal = sim::MakeHidden<sim::Event>(false, false, "");
    if (LSTATUS status = registry.Notify(target.key, target.owner, thread, watchSubtree != FALSE, filter, signal))
        return status;
    target.machine->clock().Wait({signal}, false, 0xFFFFFFFF);
    return ERROR_SUCCESS;
}
