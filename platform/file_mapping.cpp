#include "platform/file_mapping.h"

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"

namespace {

using Storage = std::vector<BYTE>;

class MappingObject : public sim::Object {
public:
    explicit MappingObject(std::shared_ptr<Storage> storage) : storage(std::move(storage)) {}
    const std::shared_ptr<Storage> storage;
};

// Views belong to the process, as on Windows, and keep their mapping's memory
// alive after its handle is closed.
struct ViewTable {
    sim::HiddenMutex mutex;
    std::map<const void*, std::shared_ptr<Storage>> views;
};

ViewTable& Views() {
    static ViewTable* table = new ViewTable();
    return *table;
}

}  // namespace

HANDLE CreateFileMappingA(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD maximumSizeHigh,
                          DWORD maximumSizeLow, LPCSTR) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::uint64_t size = (static_cast<std::uint64_t>(maximumSizeHigh) << 32) | maximumSizeLow;
    if (file != INVALID_HANDLE_VALUE || size == 0 || (protect != PAGE_READWRITE && protect != PAGE_READONLY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<Storage> storage;
    try {
        storage = std::make_shared<Storage>(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return machine->handles().Add(std::make_shared<MappingObject>(std::move(storage)));
}

LPVOID MapViewOfFile(HANDLE fileMappingObject, DWORD, DWORD fileOffsetHigh, DWORD fileOffsetLow,
                     SIZE_T numberOfBytesToMap) {
    sim::Machine* machine = sim::Machine::Current();
    auto mapping = machine ? machine->handles().Get<MappingObject>(fileMappingObject) : nullptr;
    if (!mapping) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    std::uint64_t offset = (static_cast<std::uint64_t>(fileOffsetHigh) << 32) | fileOffsetLow;
    std::uint64_t size = mapping->storage->size();
    if (offset > size || numberOfBytesToMap > size - offset) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    BYTE* address = mapping->storage->data() + offset;
    ViewTable& table = Views();
    std::lock_guard lock(table.mutex);
    table.views[address] = mapping->storage;
    SetLastError(ERROR_SUCCESS);
    return address;
}

BOOL UnmapViewOfFile(LPCVOID baseAddress) {
    std::shared_ptr<Storage> released;  // freed outside the lock
    ViewTable& table = Views();
    std::lock_guard lock(table.mutex);
    auto it = table.views.find(baseAddress);
    if (it == table.views.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    released = std::move(it->second);
    table.views.erase(it);
    return TRUE;
}
