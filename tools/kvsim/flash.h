// `kvsim flash <notebook folder>`: the table-writing operation once on a simulated notebook.
//
// The folder is the one `kvsim run` reads (drives/, registry.reg, modem.txt); scenario.txt and
// services.txt are not needed. The service's paths and log are set as at its start, the modem's
// provider ID is read as the worker reads it, the process that resets the modem waits on its
// "ResetMoudle" event, and CStateWork::FlashSarByATSend runs once.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace kvsim {

struct FlashReport {
    int exitCode = 0;
    std::string error;
    std::vector<std::string> warnings;  // why the run could write no table although one was meant; a reply nothing used
    // Every AT command the modem received with its reply: "[   0.100] "AT+X\r\n\r\n" -> "\r\nOK\r\n"".
    std::vector<std::string> commands;
    // The runs' "Changed flags:" log lines, without the log's stamp.
    std::vector<std::string> changedFlags;
    bool resetRequested = false;  // "ResetMoudle" was set
    std::vector<std::string> transcript;
    std::string log;
    std::int64_t endTimeMs = 0;
};

FlashReport FlashNotebook(const std::filesystem::path& folder);

// Prints the report's four parts.
void PrintFlashReport(const FlashReport& report, std::ostream& out);

extern const char kFlashHelp[];

}  // namespace kvsim
