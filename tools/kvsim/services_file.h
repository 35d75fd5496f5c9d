// The services file: other services installed on the notebook, one a line.
//
//   # name                          executable                                              answer to a stop
//   "Kavrion WWAN Config Service"   "C:\Kavrion\KvConfigService\KvWwanConfigService.exe"   stops-after 3
//
// The answer to a stop request is one of
//   stops-after <n>   running; accepts the stop, shows STOP_PENDING to n status queries, then STOPPED
//   stopped           installed, not running: the stop request fails
//   refuses-stop      running, takes no stop request
//   hangs-stopping    accepts the stop and stays STOP_PENDING
//
// The control driver "\??\KVControl" is present and accepting unless a line says otherwise:
//   driver absent               opening it fails with error 2 (no such device)
//   driver refuses [<error>]    it opens, and every control fails with <error> (default 31)
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/sim/services.h"
#include "tools/kvsim/input_error.h"

namespace kvsim {

struct InstalledService {
    int line = 0;
    std::string name;
    std::string binaryPath;
    sim::ServiceBehaviour behaviour = sim::ServiceBehaviour::Stopped;
    int pendingPolls = 0;
};

struct DriverSetting {
    int line = 0;  // 0: no driver line
    bool present = true;
    DWORD rejectError = 0;  // 0: accepts every control
};

std::optional<std::vector<InstalledService>> ParseServices(const std::string& text, const std::string& fileName,
                                                           InputError& error, DriverSetting* driver = nullptr);

}  // namespace kvsim
