// The simulated machine: the drive folder, Windows paths mapped into a host folder, case-insensitively.
#pragma once

#include <filesystem>

namespace sim {

class Machine;

class FileSystem {
public:
    FileSystem(Machine& machine, std::filesystem::path root) : machine_(machine), root_(std::move(root)) {}
    const std::filesystem::path& Root() const { return root_; }

private:
    [[maybe_unused]] Machine& machine_;
    std::filesystem::path root_;
};

}  // namespace sim
