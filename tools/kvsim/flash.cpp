#include "tools/kvsim/flash.h"

#include <sstream>

#include "cfgmgr/CSarCfgManager.h"
#include "common/CLog.h"
#include "common/ProcessSingleton.h"
#include "config/CConfigPath.h"
#include "core/CStateWork.h"
#include "modem/CAtText.h"
#include "platform/com.h"
#include "platform/profile.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/modem.h"
#include "tools/kvsim/notebook.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace kvsim {

const char kFlashHelp[] =
    "usage: kvsim flash [--transcript] [--keep DIR] <notebook folder>\n"
    "\n"
    "Runs the table-writing operation (CStateWork::FlashSarByATSend) once on the simulated\n"
    "notebook and prints:\n"
    "  == AT commands ==   every AT command written to the modem, with its reply and virtual time\n"
    "  == changed flags == which XML table writers changed the modem\n"
    "  == reset request == whether the \"ResetMoudle\" event was set (a modem reset was asked for)\n"
    "  == log ... ==       the service's log file\n"
    "\n"
    "The folder is the one `kvsim run` reads: drives/, registry.reg and modem.txt (scenario.txt is\n"
    "not needed). The settings INI's [Setting] \"ProjectType\" (1, 2 or 3) chooses the run; the run\n"
    "folder is C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\<520R NORVALE|520R NV|520>\\ with its\n"
    "SrvConfig.ini, kvconfig.ini and table files. The board product is the registry value\n"
    "HKLM\\SYSTEM\\HardwareConfig\\Current \"BaseBoardProduct\"; the MCC is the modem's provider's.\n"
    "The process that resets the modem is there and waits on \"ResetMoudle\".\n"
    "The table files (their sections, keys and values) and the modem replies the writers compare\n"
    "against are described in examples/README.md.\n"
    "A copy of drives/ is used and removed: the notebook folder is never changed.\n"
    "  --transcript   print the transcript (registry values written, command lines run, every\n"
    "                 AT command and event) in place of the log\n"
    "  --keep DIR     run on drives made in DIR (new or empty) and leave them there\n"
    "\n"
    "Exit codes: 0 the operation ran and wrote what the notebook holds; 1 it could not write a\n"
    "table, or wrote less than the notebook holds, and a warning says why: the settings INI or the\n"
    "run folder's SrvConfig.ini cannot be read or holds no keys, \"ProjectType\" is not 1, 2 or 3,\n"
    "no list names the product, a query or the body-SAR switch failed, a table file was not used\n"
    "or a value refused, or a type 2 run fell to the INI writers for want of kvconfig.ini; 2 bad\n"
    "input (the message names the file and line).\n"
    "A reply line of modem.txt that no command matched is a warning too, with exit 1.\n";

namespace {

const char kAtCommandPrefix[] = "SetCommand {ffffffff-abca-4b11-a4e2-f2fc87f94488} 1 ";
const char kChangedFlags[] = "Changed flags:";
const char kIniRunEnd[] = "---------GetCfgInfoQ520RNV end---------";
// The line each opening of the log starts with: what a notebook's own log held before this run
// comes before the last one.
const char kLogStart[] = "---------------log start------------------";

FlashReport Failure(int exitCode, std::string error) {
    FlashReport report;
    report.exitCode = exitCode;
    report.error = std::move(error);
    return report;
}

std::string Stamp(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "[%8lld.%03lld]", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

// "" when the machine reads the file and finds keys in its section, else what is wrong with it.
std::string ProfileProblem(sim::Machine& machine, const std::string& path, const char* section) {
    if (std::string problem = UnreadableFile(machine, path); !problem.empty()) return problem;
    // Room for a key: a section that overflows still reports the size less two.
    std::string keys(64, '\0');
    if (GetPrivateProfileSectionA(section, keys.data(), static_cast<DWORD>(keys.size()), path.c_str()) == 0)
        return path + " holds no [" + section + "] keys";
    return "";
}

std::string RunFolder(int projectType) {
    const std::string executable = kExecutablePath;
    return executable.substr(0, executable.rfind('\\') + 1) + RunSubFolder(projectType);
}

// The files the run reads before its gate: what is wrong there keeps the run from writing any
// table, and is the one warning.
std::string FileWarning(sim::Machine& machine, int& projectType) {
    if (std::string problem = UnreadableFile(machine, kSettingsPath); !problem.empty())
        return "the settings " + problem + ", so [Setting] \"ProjectType\" is 0: no table is written";
    projectType = static_cast<int>(GetPrivateProfileIntA("Setting", "ProjectType", 0, kSettingsPath));
    if (RunSubFolder(projectType).empty())
        return "the settings' [Setting] \"ProjectType\" is " + std::to_string(projectType) +
               ", not 1, 2 or 3: no table is written";
    if (std::string problem = ProfileProblem(machine, RunFolder(projectType) + "SrvConfig.ini", "GENERAL");
        !problem.empty())
        return "the run folder's " + problem + ", so the gate's lists are empty: no table is written";
    return "";
}

// A line the system logs when a run writes less than it was meant to, and the warning it
// becomes: `lead`, what follows the line's own text, then `tail`.
struct LogWarning {
    const char* line;
    const char* lead;
    const char* tail;
};

const LogWarning kLogWarnings[] = {
    {CSarCfgManager::kNotConfigured, "", ": no table is written"},
    {"GetWWANDeviceConfigID failed",
     "the WWAN device configuration ID (HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService "
     "\"WwanDeviceConfigurationID\") cannot be read (\"GetWWANDeviceConfigID failed\")",
     ": no table is written"},
    {"Set_BodySAR enable failed", "\"AT+BODYSAREN=1\" failed (\"Set_BodySAR enable failed\")", ": no table is written"},
    {"Set_SoftMode SAR failed", "\"AT+BODYSARMODE=1\" failed (\"Set_SoftMode SAR failed\")", ": no table is written"},
    {"QueryBodySarVersion fail.", "the version query \"AT+GETOEMTABLEVER?\" failed (\"QueryBodySarVersion fail.\")",
     ": no XML writer ran"},
    {CAtText::kFileNotUsed, "table file not used: ", ""},
    {CAtText::kValueRefused, "table value refused: ", ""},
};

// The warnings of the system's log lines, in the log's order.
std::vector<std::string> LogWarnings(const std::string& log) {
    std::vector<std::string> warnings;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t stamp = line.find(": ");
        if (stamp == std::string::npos) continue;
        const std::string message = line.substr(stamp + 2);
        for (const LogWarning& known : kLogWarnings) {
            const std::size_t length = std::char_traits<char>::length(known.line);
            if (message.compare(0, length, known.line) == 0)
                warnings.push_back(known.lead + message.substr(length) + known.tail);
        }
    }
    return warnings;
}

// Everything the run left that says it wrote less than it was meant to.
std::vector<std::string> Warnings(sim::Machine& machine, const std::string& log) {
    int projectType = 0;
    if (std::string problem = FileWarning(machine, projectType); !problem.empty()) return {problem};
    std::vector<std::string> warnings;
    // Type 2 takes the XML tables only when kvconfig.ini says so; the INI run's end line shows it did not.
    if (projectType == 2 && log.find(": " + std::string(kIniRunEnd) + "\n") != std::string::npos) {
        if (std::string problem = ProfileProblem(machine, RunFolder(projectType) + "kvconfig.ini", "BASE_CONFIG");
            !problem.empty())
            warnings.push_back("the run folder's " + problem +
                               ", so [BASE_CONFIG] \"MULTIMODE_FUNCTION\" is 0: the INI writers ran, not the XML "
                               "writers");
    }
    for (std::string& warning : LogWarnings(log)) warnings.push_back(std::move(warning));
    return warnings;
}

}  // namespace

FlashReport FlashNotebook(const fs::path& folder, const RunOptions& options) {
    Notebook notebook;
    InputError error;
    if (!ReadNotebook(folder, notebook, error)) return Failure(kExitBadInput, error.Text());

    RunDrives drives;
    int exitCode = kExitOk;
    if (std::string problem = drives.Make(notebook, options, exitCode); !problem.empty())
        return Failure(exitCode, problem);

    FlashReport report;
    {
        // Each run is a process of its own: it starts with fresh singletons.
        CProcessSingletons::EndAll();
        sim::Machine machine(drives.path());
        machine.SetExecutablePath(kExecutablePath);
        std::string problem = LoadMachine(machine, notebook);
        if (!problem.empty()) return Failure(kExitBadInput, problem);
        machine.AddForeignEvent("ResetMoudle");

        // As the service starts: paths, log, and the provider the worker reads first.
        CStateWork* work = CStateWork::GetInstance();
        work->InitPath();
        work->InitLog();
        HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        work->GetSimInfo();
        work->FlashSarByATSend();
        if (SUCCEEDED(com)) CoUninitialize();
        machine.clock().Settle();
        CLog::GetInstance()->Close();
        report.endTimeMs = machine.clock().Now();

        for (const sim::TranscriptEntry& entry : machine.transcript().Entries()) {
            if (entry.party == "modem" && entry.text.rfind(kAtCommandPrefix, 0) == 0)
                report.commands.push_back(Stamp(entry.time) + " " + entry.text.substr(sizeof kAtCommandPrefix - 1));
            if (entry.party == "event" && entry.text == "SetEvent ResetMoudle") report.resetRequested = true;
        }
        report.transcript = machine.transcript().Lines();
        if (auto host = machine.files().Resolve(kLogPath)) report.log = ReadWrittenText(*host);
        for (std::size_t at = report.log.find(kChangedFlags); at != std::string::npos;
             at = report.log.find(kChangedFlags, at + 1)) {
            std::size_t end = report.log.find('\n', at);
            report.changedFlags.push_back(report.log.substr(at + sizeof kChangedFlags, end - at - sizeof kChangedFlags));
        }
        const std::size_t thisRun = report.log.rfind(kLogStart);
        report.warnings = Warnings(machine, thisRun == std::string::npos ? report.log : report.log.substr(thisRun));
        WarnOfUnmatchedReplies(machine, notebook, report.warnings);
        if (!report.warnings.empty()) report.exitCode = kExitFailed;
        machine.Shutdown();
    }
    return report;
}

void PrintFlashReport(const FlashReport& report, const RunOptions& options, std::ostream& out) {
    out << "== AT commands ==\n";
    for (const std::string& line : report.commands) out << line << "\n";
    out << "== changed flags ==\n";
    if (report.changedFlags.empty()) out << "(no XML writer ran)\n";
    for (const std::string& flags : report.changedFlags) out << flags << "\n";
    out << "== reset request ==\n";
    out << "\"ResetMoudle\" " << (report.resetRequested ? "set" : "not set") << "\n";
    if (options.transcriptOnly) {
        PrintTranscript(report.transcript, out);
    } else {
        PrintLog(report.log, out);
    }
}

}  // namespace kvsim
