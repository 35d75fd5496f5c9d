#include "platform/library.h"

#include <array>
#include <utility>

#include "platform/sim/machine.h"
#include "platform/sim/programs.h"

namespace {

// An export is a plain function pointer, so each call slot of the machine's
// libraries has a function of its own that forwards to it.
template <int Slot>
INT_PTR ExportTrampoline() {
    sim::Machine* machine = sim::Machine::Current();
    return machine ? machine->programs().CallExport(Slot) : 0;
}

template <std::size_t... Slots>
constexpr std::array<FARPROC, sizeof...(Slots)> MakeTrampolines(std::index_sequence<Slots...>) {
    return {&ExportTrampoline<static_cast<int>(Slots)>...};
}

constexpr auto kTrampolines = MakeTrampolines(std::make_index_sequence<sim::Programs::kExportSlots>());

}  // namespace

HMODULE LoadLibraryA(LPCSTR fileName) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !fileName) {
        SetLastError(machine ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    HMODULE module = machine->programs().LoadLibrary(fileName, &error);
    SetLastError(error);
    return module;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !procName) {
        SetLastError(machine ? ERROR_INVALID_PARAMETER : ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    DWORD error = ERROR_SUCCESS;
    int slot = machine->programs().ExportSlot(module, procName, &error);
    SetLastError(error);
    return slot < 0 ? nullptr : kTrampolines[static_cast<std::size_t>(slot)];
}

BOOL FreeLibrary(HMODULE module) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!machine->programs().FreeLibrary(module)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
