#include "tools/kvsim/run.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <optional>

#include "common/ProcessSingleton.h"
#include "common/TextHelpers.h"
#include "platform/registry.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/driver.h"
#include "platform/sim/services.h"
#include "platform/sync.h"
#include "service/ServiceHost.h"
#include "tools/kvsim/flash.h"
#include "tools/kvsim/notebook.h"
#include "tools/kvsim/scenario.h"
#include "tools/kvsim/services_file.h"

namespace fs = std::filesystem;

namespace kvsim {

const char kServiceName[] = "Kavrion WWAN CfgService";
const char kExecutablePath[] = "C:\\Kavrion\\KvCfgService\\KvCfgService.exe";
const char kLogPath[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
const char kSettingsPath[] = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
const char kDisabledLine[] = "Disable Runing Service!";

namespace {

const char kMainHelp[] =
    "usage: kvsim run [--transcript] [--keep DIR] <notebook folder>\n"
    "       kvsim flash [--transcript] [--keep DIR] <notebook folder>\n"
    "       kvsim run --help | kvsim flash --help\n"
    "\n"
    "run:   runs the Kavrion WWAN CfgService on a simulated notebook and prints what it did:\n"
    "       the transcript (every status report, registry write, command, file and event, with\n"
    "       its virtual time), the service's log file and a closing line.\n"
    "flash: runs the table-writing operation once on a simulated notebook and prints every AT\n"
    "       command written with its reply, the writers' changed flags, whether \"ResetMoudle\"\n"
    "       was set, and the log.\n"
    "Every file of a notebook folder is described in examples/README.md.\n";

const char kRunHelp[] =
    "usage: kvsim run [--transcript] [--keep DIR] <notebook folder>\n"
    "\n"
    "The notebook folder holds (each file is described in full in examples/README.md):\n"
    "  drives/        the notebook's drives, one folder per drive letter (drives/C/ is C:\\).\n"
    "                 The service is C:\\Kavrion\\KvCfgService\\KvCfgService.exe; its settings INI is\n"
    "                 C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini, beside RegionMappingTable.xml and\n"
    "                 DeviceModeToScenarioIndexMappingTable.xml; the package\n"
    "                 C:\\Kavrion\\Firmware\\KavrConfigFiles.flz is unpacked into\n"
    "                 C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\.\n"
    "  registry.reg   the registry, as the registry editor exports it (optional).\n"
    "  modem.txt      the simulated modem (optional; none: the notebook has no modem):\n"
    "                   interface               a modem interface; the lines below describe it\n"
    "                     provider \"46001\"      the registered network (default 310410; \"\": none)\n"
    "                     iccid \"...\"  home \"...\" [\"<name>\"]  ready <state>  id \"{...}\"\n"
    "                   reply \"AT+X?\\r\\n\" \"\\r\\n+X: 1\\r\\nOK\\r\\n\"   an AT reply\n"
    "                   default <reply>  match \"<pattern>\" <reply>  devicemode <m> <s> <a>\n"
    "  scenario.txt   outside events at virtual times, one a line:\n"
    "                   <time> set <HKLM\\key> <value name> dword <number> | sz <text>\n"
    "                   <time> control stop | pause | continue | interrogate | shutdown | <number>\n"
    "                   <time> register <provider id>   the modem registers on another network\n"
    "                                                   (5 or 6 digits, MCC and MNC, or \"\" for none)\n"
    "                 a time is 2s, 2.5s or 1500ms, at most 4294967s; '#' starts a comment; a\n"
    "                 token with blanks goes between double quotes.\n"
    "  services.txt   other installed services, one a line (optional):\n"
    "                   \"<name>\" \"<executable>\" stops-after <n> | stopped | refuses-stop | hangs-stopping\n"
    "                 (the executable a full Windows path, as \"C:\\Kavrion\\x.exe\")\n"
    "                 and the control driver: driver absent | driver refuses [<error>]\n"
    "\n"
    "kvsim installs the service, starts it as the service control manager does, plays the\n"
    "scenario and waits for the service's process to end (at most 60 s of virtual time after\n"
    "the last event). It prints the transcript, the log and a closing line such as\n"
    "  4 of 4 events played; service STOPPED at 10.000 s\n"
    "A copy of drives/ is used and removed: the notebook folder is never changed.\n"
    "  --transcript   print the transcript and the closing line, not the log\n"
    "  --keep DIR     run on drives made in DIR (new or empty) and leave them there\n"
    "\n"
    "Exit codes: 0 the service ran and ended after every event; 1 it did not end, ended before\n"
    "every event was played, or disabled itself, or a reply line of modem.txt matched no command\n"
    "(a warning says which); 2 bad input (the message names the file and line).\n";

RunReport Failure(int exitCode, std::string error) {
    RunReport report;
    report.exitCode = exitCode;
    report.error = std::move(error);
    return report;
}

void Play(sim::Machine& machine, const ScenarioEvent& event) {
    if (event.kind == ScenarioEvent::Kind::SetValue) {
        std::string path = "HKLM\\" + event.keyPath;
        std::string problem =
            event.valueType == REG_DWORD
                ? machine.registry().SetDword(path, event.valueName, event.dwordValue, "scenario")
                : machine.registry().SetString(path, event.valueName, event.textValue, "scenario");
        if (!problem.empty()) machine.transcript().Add("scenario", event.Describe() + " failed: " + problem);
        return;
    }
    machine.transcript().Add("scenario", event.Describe());
    if (event.kind == ScenarioEvent::Kind::Register) {
        if (machine.modem().InterfaceCount() == 0) {
            machine.transcript().Add("scenario", event.Describe() + " ignored: the modem has no interface");
            return;
        }
        machine.modem().SetProviderId(0, event.providerId);
        machine.modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange, 0);
        return;
    }
    DWORD error = machine.services().SendControl(kServiceName, event.control);
    if (error != 0) machine.transcript().Add("scenario", event.Describe() + " refused: error " + std::to_string(error));
}

}  // namespace

bool WaitForProcess(sim::Machine& machine, const std::shared_ptr<sim::ThreadObject>& process, std::int64_t limitMs) {
    const std::int64_t kStep = 0x7FFFFFFF;
    for (;;) {
        std::int64_t left = limitMs - machine.clock().Now();
        DWORD step = static_cast<DWORD>(std::clamp<std::int64_t>(left, 0, kStep));
        if (machine.clock().Wait({process}, false, step) == WAIT_OBJECT_0) return true;
        if (left <= kStep) return false;
    }
}

namespace {

// A folder --keep may fill: new, or empty.
std::string KeepFolderProblem(const fs::path& keep) {
    std::error_code error;
    if (!fs::exists(keep, error)) return "";
    if (!fs::is_directory(keep, error)) return InputError{keep.string(), 0, "--keep needs a new or empty folder, this is a file"}.Text();
    if (!fs::is_empty(keep, error)) return InputError{keep.string(), 0, "--keep needs a new or empty folder, this one holds files"}.Text();
    return "";
}

}  // namespace

std::string RunDrives::Make(const Notebook& notebook, const RunOptions& options, int& exitCode) {
    if (options.keep.empty()) {
        scratch_.emplace();
        path_ = scratch_->path() / "drives";
    } else {
        if (std::string problem = KeepFolderProblem(options.keep); !problem.empty()) {
            exitCode = kExitBadInput;
            return problem;
        }
        path_ = options.keep;
    }
    std::string problem = CopyDrives(notebook, path_);
    if (!problem.empty()) exitCode = kExitFailed;
    return problem;
}

void PrintTranscript(const std::vector<std::string>& transcript, std::ostream& out) {
    out << "== transcript ==\n";
    for (const std::string& line : transcript) out << line << "\n";
}

void PrintLog(const std::string& log, std::ostream& out) {
    out << "== log " << kLogPath << " ==\n" << log;
    if (!log.empty() && log.back() != '\n') out << "\n";
}

std::string UnreadableFile(sim::Machine& machine, const std::string& windowsPath) {
    return machine.files().ReadWhole(windowsPath) ? "" : windowsPath + " cannot be read";
}

std::string FormatSeconds(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
    return text;
}

std::string ClosingLine(const RunReport& report) {
    return std::to_string(report.eventsPlayed) + " of " + std::to_string(report.eventsTotal) +
           " events played; service " + report.serviceState + " at " + FormatSeconds(report.endTimeMs) + " s";
}

RunReport RunNotebook(const fs::path& folder, const RunOptions& options) {
    Notebook notebook;
    InputError error;
    if (!ReadNotebook(folder, notebook, error)) return Failure(kExitBadInput, error.Text());

    fs::path scenarioFile = folder / "scenario.txt";
    std::optional<std::string> scenarioText = ReadText(scenarioFile);
    if (!scenarioText)
        return Failure(kExitBadInput, InputError{scenarioFile.string(), 0, "missing or unreadable"}.Text());
    std::optional<Scenario> scenario = ParseScenario(*scenarioText, scenarioFile.string(), error);
    if (!scenario) return Failure(kExitBadInput, error.Text());

    std::error_code ignored;
    fs::path servicesFile = folder / "services.txt";
    std::vector<InstalledService> services;
    DriverSetting driver;
    if (fs::exists(servicesFile, ignored)) {
        std::optional<std::string> servicesText = ReadText(servicesFile);
        if (!servicesText) return Failure(kExitBadInput, InputError{servicesFile.string(), 0, "unreadable"}.Text());
        std::optional<std::vector<InstalledService>> parsed =
            ParseServices(*servicesText, servicesFile.string(), error, &driver);
        if (!parsed) return Failure(kExitBadInput, error.Text());
        services = std::move(*parsed);
        for (const InstalledService& service : services)
            if (StrEqualNoCase(service.name, kServiceName))
                return Failure(kExitBadInput,
                               InputError{servicesFile.string(), service.line,
                                          std::string("\"") + kServiceName +
                                              "\" is the service under test: kvsim installs it itself"}
                                   .Text());
    }

    // The run changes files (the log, unpacked packages): it works on a copy of the drives.
    RunDrives drives;
    int exitCode = kExitOk;
    if (std::string problem = drives.Make(notebook, options, exitCode); !problem.empty())
        return Failure(exitCode, problem);
    const fs::path& machineDrives = drives.path();

    RunReport report;
    report.eventsTotal = scenario->events.size();
    {
        // Each run is a process of its own: it starts with fresh singletons.
        CProcessSingletons::EndAll();
        sim::Machine machine(machineDrives);
        machine.SetExecutablePath(kExecutablePath);
        std::string problem = LoadMachine(machine, notebook);
        if (!problem.empty()) return Failure(kExitBadInput, problem);
        machine.driver().SetPresent(driver.present);
        machine.driver().SetRejectError(driver.rejectError);

        for (const InstalledService& service : services)
            machine.services().Install(service.name, service.binaryPath, service.behaviour, service.pendingPolls);

        std::int64_t lastEvent = 0;
        auto played = std::make_shared<std::atomic<std::size_t>>(0);
        for (const ScenarioEvent& event : scenario->events) {
            lastEvent = std::max(lastEvent, event.timeMs);
            machine.clock().At(event.timeMs, [&machine, event, played] {
                Play(machine, event);
                ++*played;
            });
        }

        auto process = machine.services().StartOwnService(kServiceName, [] { return ServiceProgramMain(); });
        bool ended = WaitForProcess(machine, process, lastEvent + kGraceMs);
        report.endTimeMs = machine.clock().Now();
        std::optional<sim::ServiceInfo> info = machine.services().Find(kServiceName);
        report.serviceState = info ? sim::ServiceManager::StateName(info->status.dwCurrentState) : "absent";
        report.transcript = machine.transcript().Lines();
        if (auto host = machine.files().Resolve(kLogPath)) report.log = ReadWrittenText(*host);
        const std::string settingsProblem = UnreadableFile(machine, kSettingsPath);
        machine.Shutdown();
        // The service's process ends with the run: what it held open is closed.
        CProcessSingletons::EndAll();
        report.eventsPlayed = *played;

        if (!ended) {
            report.warnings.push_back("the service's process did not end within " + std::to_string(kGraceMs / 1000) +
                                      " s of virtual time after the scenario's last event");
        } else {
            if (report.log.find(kDisabledLine) != std::string::npos)
                report.warnings.push_back(
                    std::string("the service disabled itself (\"") + kDisabledLine + "\"): " +
                    (settingsProblem.empty()
                         ? "the settings' [Setting] \"CustomizationSolutionType\" is neither 2 nor 3"
                         : "the settings " + settingsProblem + ", so [Setting] \"CustomizationSolutionType\" is 1"));
            if (report.eventsPlayed < report.eventsTotal) {
                const ScenarioEvent* first = nullptr;
                for (const ScenarioEvent& event : scenario->events)
                    if (event.timeMs > report.endTimeMs && (!first || event.timeMs < first->timeMs)) first = &event;
                report.warnings.push_back("the service ended at " + FormatSeconds(report.endTimeMs) + " s, before " +
                                          std::to_string(report.eventsTotal - report.eventsPlayed) +
                                          " of the scenario's events were played" +
                                          (first ? " (the first not played: " + scenarioFile.string() + ":" +
                                                       std::to_string(first->line) + ")"
                                                 : std::string()));
            }
        }
        WarnOfUnmatchedReplies(machine, notebook, report.warnings);
        if (!report.warnings.empty()) report.exitCode = kExitFailed;
    }
    return report;
}

int Main(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kMainHelp;
        return kExitBadInput;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        out << kMainHelp << "\n" << kRunHelp << "\n" << kFlashHelp;
        return kExitOk;
    }
    if (args[0] != "run" && args[0] != "flash") {
        err << "kvsim: unknown command '" << args[0] << "'\n\n" << kMainHelp;
        return kExitBadInput;
    }
    const bool run = args[0] == "run";
    const char* help = run ? kRunHelp : kFlashHelp;
    RunOptions options;
    std::vector<std::string> folders;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out << help;
            return kExitOk;
        }
        if (arg == "--transcript") {
            options.transcriptOnly = true;
        } else if (arg == "--keep") {
            if (i + 1 == args.size() || args[i + 1].empty()) {
                err << "kvsim: --keep needs a folder to leave the run's drives in\n\n" << help;
                return kExitBadInput;
            }
            options.keep = args[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            err << "kvsim: unknown option '" << arg << "' for " << args[0] << "\n\n" << help;
            return kExitBadInput;
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 1) {
        err << "kvsim: " << args[0] << " takes one notebook folder\n\n" << help;
        return kExitBadInput;
    }

    auto kept = [&] {
        if (!options.keep.empty()) err << "kvsim: the run's drives are left in " << options.keep.string() << "\n";
    };
    if (!run) {
        FlashReport report = FlashNotebook(folders[0], options);
        if (!report.error.empty()) {
            err << "kvsim: " << report.error << "\n";
            return report.exitCode;
        }
        PrintFlashReport(report, options, out);
        for (const std::string& warning : report.warnings) err << "kvsim: warning: " << warning << "\n";
        kept();
        return report.exitCode;
    }

    RunReport report = RunNotebook(folders[0], options);
    if (report.exitCode == kExitBadInput || report.transcript.empty()) {
        err << "kvsim: " << report.error << "\n";
        return report.exitCode;
    }
    PrintTranscript(report.transcript, out);
    if (!options.transcriptOnly) PrintLog(report.log, out);
    out << ClosingLine(report) << "\n";
    if (!report.error.empty()) err << "kvsim: " << report.error << "\n";
    for (const std::string& warning : report.warnings) err << "kvsim: warning: " << warning << "\n";
    kept();
    return report.exitCode;
}

}  // namespace kvsim
