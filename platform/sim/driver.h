// The simulated machine: the control driver, reached as "\??\KVControl".
#pragma once

#include <memory>
#include <string>

#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

class Machine;

class ControlDriver {
public:
    explicit ControlDriver(Machine& machine) : machine_(machine) {}

    // What CreateFileA opens for a device name ("\??\KVControl"); null with
    // `*error` set when there is no such device.
    std::shared_ptr<Object> OpenDevice(const std::string& name, DWORD* error);

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
