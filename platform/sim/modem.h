// The simulated machine: modem behind the Mobile Broadband API.
#pragma once

namespace sim {

class Machine;

class Modem {
public:
    explicit Modem(Machine& machine) : machine_(machine) {}

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
