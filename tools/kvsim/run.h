// `kvsim run <notebook folder>`: the system's service on a simulated notebook.
//
// A notebook folder holds:
//   drives/        the notebook's drives, one folder per drive letter (drives/C/... is C:\...);
//                  the service's executable is C:\Kavrion\KvCfgService\KvCfgService.exe, so its
//                  installation is C:\Kavrion\ (settings INI C:\Kavrion\KvConfigService\kvwwanConfig.ini)
//   registry.reg   the registry, as the registry editor exports it (optional)
//   modem.txt      the simulated modem (optional)
//   scenario.txt   the outside events and their virtual times (see scenario.h)
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kvsim/input_error.h"

namespace kvsim {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the run itself went wrong (the service did not end)
constexpr int kExitBadInput = 2;  // a missing folder, a malformed file

extern const char kServiceName[];
extern const char kExecutablePath[];
extern const char kLogPath[];
// How long after the scenario's last event the service may take to end.
constexpr std::int64_t kGraceMs = 60000;

struct RunReport {
    int exitCode = kExitOk;
    std::string error;                    // why the run failed, when it did
    std::vector<std::string> transcript;  // "[  12.345] party: text"
    std::string log;                      // the system's log file as it was left
    std::int64_t endTimeMs = 0;           // virtual time when the service's process ended
};

// Builds the machine from the folder, runs the service, plays the scenario.
RunReport RunNotebook(const std::filesystem::path& folder);

// The command line: "run <folder>", "flash <folder>", "--help", "run --help", "flash --help".
// Returns the exit code.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvsim
