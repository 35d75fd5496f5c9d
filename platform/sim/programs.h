// The simulated machine's processes and libraries: WinExec, CreateProcessA, the Tool Help snapshot.
#pragma once

namespace sim {

class Machine;

class Programs {
public:
    explicit Programs(Machine& machine) : machine_(machine) {}

private:
    [[maybe_unused]] Machine& machine_;
};

}  // namespace sim
