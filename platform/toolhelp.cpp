#include "platform/toolhelp.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"
#include "platform/sim/programs.h"

namespace {

// The processes as they were when the snapshot was taken.
class SnapshotObject : public sim::Object {
public:
    sim::HiddenMutex mutex;
    std::vector<PROCESSENTRY32> entries;
    std::size_t next = 0;
};

PROCESSENTRY32 Entry(DWORD id, DWORD parent, const std::string& path) {
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = id;
    entry.th32ParentProcessID = parent;
    entry.cntThreads = 1;
    entry.pcPriClassBase = 8;
    const std::size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::memcpy(entry.szExeFile, name.data(), std::min<std::size_t>(name.size(), MAX_PATH - 1));
    return entry;
}

BOOL Read(HANDLE snapshot, LPPROCESSENTRY32 entry, bool first) {
    sim::Machine* machine = sim::Machine::Current();
    auto object = machine ? machine->handles().Get<SnapshotObject>(snapshot) : nullptr;
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!entry || entry->dwSize < sizeof(PROCESSENTRY32)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    std::lock_guard lock(object->mutex);
    if (first) object->next = 0;
    if (object->next >= object->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = object->entries[object->next++];
    return TRUE;
}

}  // namespace

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    auto snapshot = std::make_shared<SnapshotObject>();
    if (flags & TH32CS_SNAPPROCESS) {
        snapshot->entries.push_back(Entry(0, 0, "[System Process]"));
        snapshot->entries.push_back(Entry(4, 0, "System"));
        for (const auto& process : machine->programs().Running())
            snapshot->entries.push_back(Entry(process.id, process.parentId, process.path));
    }
    SetLastError(ERROR_SUCCESS);
    return machine->handles().Add(snapshot);
}

BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) { return Read(snapshot, entry, true); }

BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) { return Read(snapshot, entry, false); }
