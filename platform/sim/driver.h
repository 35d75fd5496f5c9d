// The simulated machine: control driver "\??\KVControl".
#pragma once

namespace sim {

class Machine;

class ControlDriver {
public:
    explicit ControlDriver(Machine& machine) : machine_(machine) {}

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
