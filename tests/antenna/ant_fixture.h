// A modem machine with the product's run folder, for the antenna writers.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "config/CConfigPath.h"
#include "platform/sim/modem.h"
#include "tests/modem/modem_fixture.h"

namespace kvtest {

class AntennaTest : public ModemTest {
protected:
    // The run folder, ending in a path separator.
    std::string RunPath() { return CConfigPath::GetInstance()->GetRunPath(); }
    void WriteRunFile(const std::string& name, const std::string& content) { WriteFile(RunPath() + name, content); }
    void RemoveRunFile(const std::string& name) { std::filesystem::remove(HostPath(drives(), RunPath() + name)); }

    // Cases of one test share the machine: each looks at the commands after
    // its mark.
    std::size_t Mark() { return modem().Commands().size(); }

    // The AT commands as the writers formed them (the channel's own "\r\n" taken off).
    std::vector<std::string> AtCommands(std::size_t mark = 0) {
        std::vector<std::string> commands;
        const auto all = modem().Commands();
        for (std::size_t i = mark; i < all.size(); ++i) {
            const auto& command = all[i];
            if (command.serviceId != sim::kAtServiceId) continue;
            std::string bytes = command.bytes;
            if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) bytes.resize(bytes.size() - 2);
            commands.push_back(bytes);
        }
        return commands;
    }
    // The same with every repeat of a command right after itself dropped.
    std::vector<std::string> DistinctAtCommands(std::size_t mark = 0) {
        std::vector<std::string> commands;
        for (auto& command : AtCommands(mark)) {
            if (commands.empty() || commands.back() != command) commands.push_back(command);
        }
        return commands;
    }
};

}  // namespace kvtest
