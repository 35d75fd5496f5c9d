// What the benchmarks share: CPU time of this process, a child program's CPU time and peak
// memory, and a simulated notebook loaded from an example folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "tools/kvsim/notebook.h"

namespace kvbench {

// CPU time of the whole process (every thread: the system's, the simulation's), in microseconds.
double ProcessCpuUs();

struct ChildUsage {
    int exitCode = -1;
    double cpuUs = 0;        // user + system
    long peakResidentKiB = 0;
};

// Runs `program` with `args`, its output thrown away, and waits for it.
ChildUsage RunChild(const std::string& program, const std::vector<std::string>& args);

// An example notebook (examples/<name>) on a simulated machine, loaded as kvsim loads it: its
// drives copied into a scratch folder, its registry and modem.
class Notebook {
public:
    explicit Notebook(const std::string& name);
    ~Notebook();
    sim::Machine& machine() { return *machine_; }
    const std::filesystem::path& drives() const { return drives_; }

private:
    kvsim::ScratchFolder scratch_;
    std::filesystem::path drives_;
    std::unique_ptr<sim::Machine> machine_;
};

}  // namespace kvbench
