// Device-service event notifications of any payload, delivered to the AT channel's sink: on the
// device-mode service (three numbers, when there are 12 bytes or more) and on a service it does not
// know. The first byte picks the event id.
#include <cstdint>
#include <string>

#include "modem/CMbimDeviceService.h"
#include "platform/sim/modem.h"
#include "tests/fuzz/fuzz_machine.h"

namespace {

CMbimDeviceService* Channel() {
    static CMbimDeviceService* channel = new CMbimDeviceService;
    return channel;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine().modem().AddInterface();
    Channel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    sim::Machine& machine = kvfuzz::StartMachine();
    const std::string payload(reinterpret_cast<const char*>(data), size);
    const unsigned long eventId = size ? data[0] : 0;
    machine.modem().RaiseEventNotification(sim::kDeviceModeServiceId, eventId, payload);
    machine.modem().RaiseEventNotification("{00000000-1111-2222-3333-444444444444}", eventId, payload);
    machine.clock().Settle();
    return 0;
}
