#include "tools/kvsim/flash.h"

#include "common/CLog.h"
#include "common/ProcessSingleton.h"
#include "config/CConfigPath.h"
#include "core/CStateWork.h"
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
    "usage: kvsim flash <notebook folder>\n"
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
    "\n"
    "Exit codes: 0 the operation ran; 1 it could not write a table (the settings INI or the run\n"
    "folder's SrvConfig.ini cannot be read, or \"ProjectType\" is not 1, 2 or 3: a warning says\n"
    "which); 2 bad input (the message names the file and line).\n"
    "A reply line of modem.txt that no command matched is a warning too, with exit 1.\n";

namespace {

const char kAtCommandPrefix[] = "SetCommand {ffffffff-abca-4b11-a4e2-f2fc87f94488} 1 ";
const char kChangedFlags[] = "Changed flags:";

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

// What keeps the run from writing any table although the notebook is there to be flashed: the
// files the run reads before its gate.
std::vector<std::string> Warnings(sim::Machine& machine) {
    if (std::string problem = UnreadableFile(machine, kSettingsPath); !problem.empty())
        return {"the settings " + problem + ", so [Setting] \"ProjectType\" is 0: no table is written"};
    const int projectType = static_cast<int>(GetPrivateProfileIntA("Setting", "ProjectType", 0, kSettingsPath));
    if (RunSubFolder(projectType).empty())
        return {"the settings' [Setting] \"ProjectType\" is " + std::to_string(projectType) +
                ", not 1, 2 or 3: no table is written"};
    std::string executable = kExecutablePath;
    const std::string config = executable.substr(0, executable.rfind('\\') + 1) + RunSubFolder(projectType) +
                               "SrvConfig.ini";
    if (std::string problem = UnreadableFile(machine, config); !problem.empty())
        return {"the run folder's " + problem + ", so the gate's lists are empty: no table is written"};
    return {};
}

}  // namespace

FlashReport FlashNotebook(const fs::path& folder) {
    Notebook notebook;
    InputError error;
    if (!ReadNotebook(folder, notebook, error)) return Failure(kExitBadInput, error.Text());

    ScratchFolder temp;
    fs::path machineDrives = temp.path() / "drives";
    std::string copyProblem = CopyDrives(notebook, machineDrives);
    if (!copyProblem.empty()) return Failure(kExitFailed, copyProblem);

    FlashReport report;
    {
        // Each run is a process of its own: it starts with fresh singletons.
        CProcessSingletons::EndAll();
        sim::Machine machine(machineDrives);
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
        report.warnings = Warnings(machine);
        WarnOfUnmatchedReplies(machine, notebook, report.warnings);
        if (!report.warnings.empty()) report.exitCode = kExitFailed;
        machine.Shutdown();
    }
    return report;
}

void PrintFlashReport(const FlashReport& report, std::ostream& out) {
    out << "== AT commands ==\n";
    for (const std::string& line : report.commands) out << line << "\n";
    out << "== changed flags ==\n";
    if (report.changedFlags.empty()) out << "(no XML writer ran)\n";
    for (const std::string& flags : report.changedFlags) out << flags << "\n";
    out << "== reset request ==\n";
    out << "\"ResetMoudle\" " << (report.resetRequested ? "set" : "not set") << "\n";
    out << "== log " << kLogPath << " ==\n" << report.log;
    if (!report.log.empty() && report.log.back() != '\n') out << "\n";
}

}  // namespace kvsim
