// kvsim's own notebook files over arbitrary text: the scenario file and the services file. What
// either accepts is sound: events in range, in the file's order, each with a line of the text.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_machine.h"
#include "tools/kvsim/scenario.h"
#include "tools/kvsim/services_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    const std::string text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text) lines += c == '\n';

    kvsim::InputError error;
    if (auto scenario = kvsim::ParseScenario(text, "scenario.txt", error)) {
        int previous = 0;
        for (const kvsim::ScenarioEvent& event : scenario->events) {
            if (event.timeMs < 0 || event.timeMs > kvsim::kLatestEventMs) __builtin_trap();
            if (event.line <= previous || event.line > lines) __builtin_trap();
            previous = event.line;
            if (event.Describe().empty()) __builtin_trap();
        }
    } else if (error.line < 1 || error.line > lines || error.message.empty()) {
        __builtin_trap();
    }

    kvsim::DriverSetting driver;
    if (auto services = kvsim::ParseServices(text, "services.txt", error, &driver)) {
        for (const kvsim::InstalledService& service : *services)
            if (service.name.empty() || service.line < 1 || service.line > lines) __builtin_trap();
        if (!driver.present && driver.rejectError != 0) __builtin_trap();
    } else if (error.line < 1 || error.line > lines || error.message.empty()) {
        __builtin_trap();
    }
    return 0;
}
