// AT replies of any bytes: the reply test on its own, and a whole exchange over the command channel
// with the modem answering those bytes, as every query of the worker receives them.
#include <cstdint>
#include <string>

#include "core/CStateWork.h"
#include "platform/sim/modem.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine().modem().AddInterface();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    IsAtResponseOk(bytes);

    kvfuzz::StartMachine().modem().SetDefaultReply(sim::ModemReply::Text(bytes));
    CStateWork work;
    std::string reply;
    if (work.ExecuteCmd("AT+bodysaren?", reply)) {
        // An accepted reply has no blank and no "error" in any letter case.
        if (reply.empty() || reply.find(' ') != std::string::npos || !IsAtResponseOk(reply)) __builtin_trap();
    }
    return 0;
}
