// `kvsim flash <notebook folder>`: the table-writing operation once on a simulated notebook.
//
// The folder is the one `kvsim run` reads (drives/, registry.reg, modem.txt); scenario.txt and
// services.txt are not needed. The service's paths and log are set as at its start, the modem's
// provider ID is read as the worker reads it, the process that resets the modem waits on its
// "ResetMoudle" event, and CStateWork::FlashSarByATSend runs once.
//
// What the run left tells whether it wrote less than it was meant to: the files it read before
// its gate, the lines the system logged (a gate that said no and why, a failed query, a table
// file not used, a value refused) and, for a run that fell to the INI writers, its kvconfig.ini.
// Each such finding is a warning, and the exit code 1.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kvsim/run.h"

namespace kvsim {

struct FlashReport {
    int exitCode = 0;
    std::string error;
    std::vector<std::string> warnings;  // why the run wrote less than it was meant to; a reply nothing used
    // Every AT command the modem received with its reply: "[   0.100] "AT+X\r\n\r\n" -> "\r\nOK\r\n"".
    std::vector<std::string> commands;
    // The runs' "Changed flags:" log lines, without the log's stamp.
    std::vector<std::string> changedFlags;
    bool resetRequested = false;  // "ResetMoudle" was set
    std::vector<std::string> transcript;
    std::string log;
    std::int64_t endTimeMs = 0;
};

FlashReport FlashNotebook(const std::filesystem::path& folder, const RunOptions& options = {});

// Prints the report's four parts; with --transcript the transcript in place of the log.
void PrintFlashReport(const FlashReport& report, const RunOptions& options, std::ostream& out);

extern const char kFlashHelp[];

}  // namespace kvsim
