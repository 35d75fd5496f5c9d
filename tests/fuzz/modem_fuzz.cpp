// The modem file of a notebook over arbitrary text, read into a modem of its own for each input;
// an error names the file and a line of the text.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/sim/modem.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';

    sim::Modem modem(kvfuzz::StartMachine());
    const std::string problem = modem.LoadModemText(text, "modem.txt");
    if (!problem.empty()) {
        if (problem.rfind("modem.txt:", 0) != 0) __builtin_trap();
        const std::size_t line = std::stoul(problem.substr(10));
        if (line < 1 || line > lines) __builtin_trap();
        return 0;
    }
    for (std::size_t i = 0; i < modem.InterfaceCount(); ++i)
        if (modem.Interface(i).id.empty()) __builtin_trap();
    return 0;
}
