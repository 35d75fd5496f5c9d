#include "platform/system_info.h"

#include "platform/sim/machine.h"

void GetNativeSystemInfo(LPSYSTEM_INFO systemInfo) {
    if (!systemInfo) return;
    *systemInfo = SYSTEM_INFO{};
    sim::Machine* machine = sim::Machine::Current();
    systemInfo->wProcessorArchitecture =
        machine ? machine->NativeProcessorArchitecture() : PROCESSOR_ARCHITECTURE_UNKNOWN;
    systemInfo->dwPageSize = 4096;
    systemInfo->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(0x10000));
    systemInfo->lpMaximumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(0x7FFFFFFEFFFF));
    systemInfo->dwActiveProcessorMask = 0xF;
    systemInfo->dwNumberOfProcessors = 4;
    systemInfo->dwAllocationGranularity = 0x10000;
}
