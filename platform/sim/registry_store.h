// The simulated machine: registry: keys, typed values, views, change notifications, .reg files.
#pragma once

namespace sim {

class Machine;

class Registry {
public:
    explicit Registry(Machine& machine) : machine_(machine) {}

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
