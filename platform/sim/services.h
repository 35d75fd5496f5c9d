// The simulated machine: service control manager: service database, dispatcher, status reports.
#pragma once

namespace sim {

class Machine;

class ServiceManager {
public:
    explicit ServiceManager(Machine& machine) : machine_(machine) {}

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
