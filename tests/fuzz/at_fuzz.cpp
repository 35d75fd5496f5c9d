// AT replies of any bytes: the reply test on its own, a whole exchange over the command channel
// with the modem answering those bytes, as every query of the worker receives them, the executor's
// queries with their reply checks, and the device-mode service answering the same bytes.
#include <cstdint>
#include <string>

#include "core/CStateWork.h"
#include "modem/CAtExecute.h"
#include "platform/sim/modem.h"
#include "tests/fuzz/fuzz_machine.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine().modem().AddInterface();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    IsAtResponseOk(bytes);

    kvfuzz::StartMachine().modem().SetDefaultReply(sim::ModemReply::Text(bytes));
    CStateWork work;
    std::string reply;
    if (work.ExecuteCmd("AT+bodysaren?", reply)) {
        // An accepted reply has no blank and no "error" in any letter case.
        if (reply.empty() || reply.find(' ') != std::string::npos || !IsAtResponseOk(reply)) __builtin_trap();
    }

    CAtExecute at;
    std::string first;
    std::string second;
    at.QueryBodySarOn(first);
    at.QueryBodySar(first);
    at.QueryTasCfg(first);
    at.QueryTas(first);
    at.QueryFdCar(first);
    at.QueryLockCar(first, second);
    at.QueryTasEnable(first);
    for (char marker : {',', ':', '"'})
        for (int n : {0, 1, 2, 9}) at.FindNthChar(bytes, marker, n);
    kvfuzz::StartMachine().modem().SetDeviceModeReply(sim::ModemReply::Text(bytes));
    at.GetDeviceMode(first);
    return 0;
}
