// The .reg reader of the simulated machine over arbitrary text, and the export of what it loaded
// read back in.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sim/registry_store.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    // A registry of its own for each input: nothing carries over from one input to the next.
    sim::Registry registry(kvfuzz::StartMachine());
    std::string_view text(reinterpret_cast<const char*>(data), size);
    registry.LoadRegText(text, "fuzz.reg");
    std::string exported = registry.ExportRegText();
    sim::Registry again(kvfuzz::StartMachine());
    std::string problem = again.LoadRegText(exported, "exported.reg");
    // What the registry exports, it reads back.
    if (!problem.empty()) __builtin_trap();
    return 0;
}
