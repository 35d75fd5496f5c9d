#include "tools/kvsim/run.h"

#include <algorithm>
#include <optional>

#include "common/ProcessSingleton.h"
#include "platform/registry.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
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

namespace {

const char kMainHelp[] =
    "usage: kvsim run <notebook folder>\n"
    "       kvsim flash <notebook folder>\n"
    "       kvsim run --help | kvsim flash --help\n"
    "\n"
    "run:   runs the Kavrion WWAN CfgService on a simulated notebook and prints what it did:\n"
    "       the transcript (every status report, registry write, command and event, with its\n"
    "       virtual time) and the service's log file.\n"
    "flash: runs the table-writing operation once on a simulated notebook and prints every AT\n"
    "       command written with its reply, the writers' changed flags, whether \"ResetMoudle\"\n"
    "       was set, and the log.\n";

const char kRunHelp[] =
    "usage: kvsim run <notebook folder>\n"
    "\n"
    "The notebook folder holds:\n"
    "  drives/        the notebook's drives, one folder per drive letter (drives/C/ is C:\\).\n"
    "                 The service is C:\\Kavrion\\KvCfgService\\KvCfgService.exe, its installation\n"
    "                 C:\\Kavrion\\ (settings INI: C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini).\n"
    "  registry.reg   the registry, as the registry editor exports it (optional).\n"
    "  modem.txt      the simulated modem (optional; none: the notebook has no modem):\n"
    "                   interface               a modem interface; the lines below describe it\n"
    "                     provider \"46001\"      the registered network (MCC and MNC)\n"
    "                     iccid \"...\"  home \"...\"  ready <state>\n"
    "                   reply \"AT+X?\\r\\n\" \"\\r\\n+X: 1\\r\\nOK\\r\\n\"   an AT reply\n"
    "                   default <reply>  match \"<pattern>\" <reply>  devicemode <m> <s> <a>\n"
    "                 (the full syntax is in examples/README.md)\n"
    "  scenario.txt   outside events at virtual times, one a line:\n"
    "                   <time> set <HKLM\\key> <value name> dword <number> | sz <text>\n"
    "                   <time> control stop | pause | continue | interrogate | shutdown | <number>\n"
    "                   <time> register <provider id>   the modem registers on another network\n"
    "                 a time is 2s, 2.5s or 1500ms; '#' starts a comment; a token with\n"
    "                 blanks goes between double quotes.\n"
    "  services.txt   other installed services, one a line (optional):\n"
    "                   \"<name>\" \"<executable>\" stops-after <n> | stopped | refuses-stop | hangs-stopping\n"
    "\n"
    "kvsim installs the service, starts it as the service control manager does, plays the\n"
    "scenario and waits for the service's process to end (at most 60 s of virtual time after\n"
    "the last event). A copy of drives/ is used: the notebook folder is never changed.\n"
    "\n"
    "Exit codes: 0 the service ran and ended; 1 it did not end; 2 bad input (the message\n"
    "names the file and line).\n";

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

RunReport RunNotebook(const fs::path& folder) {
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
    if (fs::exists(servicesFile, ignored)) {
        std::optional<std::string> servicesText = ReadText(servicesFile);
        if (!servicesText) return Failure(kExitBadInput, InputError{servicesFile.string(), 0, "unreadable"}.Text());
        std::optional<std::vector<InstalledService>> parsed = ParseServices(*servicesText, servicesFile.string(), error);
        if (!parsed) return Failure(kExitBadInput, error.Text());
        services = std::move(*parsed);
    }

    // The run changes files (the log, unpacked packages): it works on a copy of the drives.
    ScratchFolder temp;
    fs::path machineDrives = temp.path() / "drives";
    std::string copyProblem = CopyDrives(notebook, machineDrives);
    if (!copyProblem.empty()) return Failure(kExitFailed, copyProblem);

    RunReport report;
    {
        // Each run is a process of its own: it starts with fresh singletons.
        CProcessSingletons::EndAll();
        sim::Machine machine(machineDrives);
        machine.SetExecutablePath(kExecutablePath);
        std::string problem = LoadMachine(machine, notebook);
        if (!problem.empty()) return Failure(kExitBadInput, problem);

        for (const InstalledService& service : services)
            machine.services().Install(service.name, service.binaryPath, service.behaviour, service.pendingPolls);

        std::int64_t lastEvent = 0;
        for (const ScenarioEvent& event : scenario->events) {
            lastEvent = std::max(lastEvent, event.timeMs);
            machine.clock().At(event.timeMs, [&machine, event] { Play(machine, event); });
        }

        auto process = machine.services().StartOwnService(kServiceName, [] { return ServiceProgramMain(); });
        std::int64_t limit = lastEvent + kGraceMs;
        DWORD result = machine.clock().Wait({process}, false, static_cast<DWORD>(limit - machine.clock().Now()));
        report.endTimeMs = machine.clock().Now();
        if (result != WAIT_OBJECT_0) {
            report.exitCode = kExitFailed;
            report.error = "the service's process did not end within " + std::to_string(kGraceMs / 1000) +
                           " s of virtual time after the scenario's last event";
        }
        report.transcript = machine.transcript().Lines();
        if (auto host = machine.files().Resolve(kLogPath)) report.log = ReadText(*host).value_or("");
        machine.Shutdown();
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
    const char* help = args[0] == "run" ? kRunHelp : kFlashHelp;
    if (args.size() == 2 && (args[1] == "--help" || args[1] == "-h")) {
        out << help;
        return kExitOk;
    }
    if (args.size() != 2) {
        err << "kvsim: " << args[0] << " takes one notebook folder\n\n" << help;
        return kExitBadInput;
    }

    if (args[0] == "flash") {
        FlashReport report = FlashNotebook(args[1]);
        if (!report.error.empty()) {
            err << "kvsim: " << report.error << "\n";
            return report.exitCode;
        }
        PrintFlashReport(report, out);
        return report.exitCode;
    }

    RunReport report = RunNotebook(args[1]);
    if (report.exitCode == kExitBadInput) {
        err << "kvsim: " << report.error << "\n";
        return report.exitCode;
    }
    out << "== transcript ==\n";
    for (const std::string& line : report.transcript) out << line << "\n";
    out << "== log " << kLogPath << " ==\n" << report.log;
    if (!report.log.empty() && report.log.back() != '\n') out << "\n";
    if (!report.error.empty()) err << "kvsim: " << report.error << "\n";
    return report.exitCode;
}

}  // namespace kvsim
