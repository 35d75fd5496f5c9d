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
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/kvsim/input_error.h"
#include "tools/kvsim/notebook.h"

namespace sim {
class Machine;
class ThreadObject;
}  // namespace sim

namespace kvsim {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the service did not end, ended early or disabled itself
constexpr int kExitBadInput = 2;  // a missing folder, a malformed file

extern const char kServiceName[];
extern const char kExecutablePath[];
extern const char kLogPath[];
extern const char kSettingsPath[];  // the settings INI
extern const char kDisabledLine[];  // the log line of a service that does not work on this notebook
// How long after the scenario's last event the service may take to end.
constexpr std::int64_t kGraceMs = 60000;

// The options `run` and `flash` share.
struct RunOptions {
    bool transcriptOnly = false;  // --transcript: print the transcript, no log
    std::filesystem::path keep;   // --keep DIR: the run's drives are made and left there
};

// The host folder a run's machine keeps its drives in, filled with a copy of the notebook's: a
// scratch folder removed with the object, or the --keep folder (new or empty), left there.
class RunDrives {
public:
    // "" once the copy is in place; else why not, with the exit code it gives.
    std::string Make(const Notebook& notebook, const RunOptions& options, int& exitCode);
    const std::filesystem::path& path() const { return path_; }

private:
    std::optional<ScratchFolder> scratch_;
    std::filesystem::path path_;
};

// "== transcript ==" and its lines; "== log <path> ==" and the log.
void PrintTranscript(const std::vector<std::string>& transcript, std::ostream& out);
void PrintLog(const std::string& log, std::ostream& out);

struct RunReport {
    int exitCode = kExitOk;
    std::string error;                    // why the run failed, when it did
    std::vector<std::string> warnings;    // a run that ended but not as a scenario expects, a reply nothing used
    std::vector<std::string> transcript;  // "[  12.345] party: text"
    std::string log;                      // the system's log file as it was left
    std::int64_t endTimeMs = 0;           // virtual time when the service's process ended
    std::size_t eventsPlayed = 0;
    std::size_t eventsTotal = 0;
    std::string serviceState;             // the last state the service reported, as "STOPPED"
};

// Builds the machine from the folder, runs the service, plays the scenario.
RunReport RunNotebook(const std::filesystem::path& folder, const RunOptions& options = {});

// Waits for the process until `limitMs` of virtual time, in steps a 32-bit time-out can hold;
// false when it has not ended by then.
bool WaitForProcess(sim::Machine& machine, const std::shared_ptr<sim::ThreadObject>& process, std::int64_t limitMs);

// "" when the machine can read the file the Windows path names, else "<path> cannot be read".
std::string UnreadableFile(sim::Machine& machine, const std::string& windowsPath);

// "4 of 4 events played; service STOPPED at 10.000 s"
std::string ClosingLine(const RunReport& report);
// 10000 -> "10.000"
std::string FormatSeconds(std::int64_t ms);

// The command line: "run <folder>", "flash <folder>", "--help", "run --help", "flash --help".
// Returns the exit code.
int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kvsim
