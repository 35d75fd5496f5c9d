#include "tests/support/service_run.h"

#include <algorithm>
#include <optional>

#include "common/ProcessSingleton.h"
#include "common/CLog.h"
#include "core/CMbnMonitor.h"
#include "core/CStateWork.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "modem/CMbnInterfaceEventMgr.h"
#include "platform/service.h"
#include "platform/sync.h"
#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/services.h"
#include "service/ServiceHost.h"
#include "tools/kvsim/notebook.h"
#include "tools/kvsim/run.h"
#include "tools/kvsim/services_file.h"

namespace fs = std::filesystem;

namespace kvtest {

namespace {

const char kExecutable[] = "C:\\Kavrion\\KvCfgService\\KvCfgService.exe";

}  // namespace

std::size_t CountOf(const std::string& text, const std::string& fragment) {
    std::size_t count = 0;
    for (std::size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1)) ++count;
    return count;
}

ServiceRun::ServiceRun(const std::string& notebook) : notebook_(fs::path(KV_SOURCE_DIR) / "examples" / notebook) {
    drives_ = temp_.path() / "drives";
    fs::copy(notebook_ / "drives", drives_, fs::copy_options::recursive);
    // The service's process starts with fresh singletons.
    CProcessSingletons::EndAll();
    LoadNotebook("");
}

void ServiceRun::LoadNotebook(const std::string& registryText) {
    std::optional<std::vector<kvsim::InstalledService>> services;
    kvsim::InputError error;
    if (fs::exists(notebook_ / "services.txt"))
        services = kvsim::ParseServices(ReadAll(notebook_ / "services.txt"), "services.txt", error);
    std::vector<std::string> removed;  // services gone before a restart stay gone
    if (machine_ && services)
        for (const kvsim::InstalledService& service : *services)
            if (!machine_->services().Exists(service.name)) removed.push_back(service.name);
    machine_.reset();
    machine_ = std::make_unique<sim::Machine>(drives_, kvtest::TestThreads());
    machine_->SetExecutablePath(kExecutable);
    if (!registryText.empty()) {
        EXPECT_EQ(machine_->registry().LoadRegText(registryText, "registry before the restart"), "");
    } else if (fs::exists(notebook_ / "registry.reg")) {
        std::string problem = machine_->registry().LoadRegFile(notebook_ / "registry.reg");
        EXPECT_EQ(problem, "");
    }
    if (fs::exists(notebook_ / "modem.txt")) {
        std::string problem = machine_->modem().LoadModemFile(notebook_ / "modem.txt");
        EXPECT_EQ(problem, "");
    }
    if (fs::exists(notebook_ / "services.txt")) {
        EXPECT_TRUE(services) << error.Text();
        if (services)
            for (const kvsim::InstalledService& service : *services)
                if (std::find(removed.begin(), removed.end(), service.name) == removed.end())
                    machine_->services().Install(service.name, service.binaryPath, service.behaviour,
                                                 service.pendingPolls);
    }
}

void ServiceRun::PowerOffAndRestart() {
    machine_->PowerOff();
    ForgetProcess();
    const std::string registry = machine_->registry().ExportRegText();
    const SYSTEMTIME off = machine_->LocalTime();
    process_.reset();
    LoadNotebook(registry);
    machine_->SetStartTime(off);
}

ServiceRun::~ServiceRun() {
    if (machine_) {
        machine_->Shutdown();
        ForgetProcess();
    }
    machine_.reset();
    CProcessSingletons::EndAll();
}

void ServiceRun::ForgetProcess() {
    // The next process starts with singletons that hold nothing: what the ended one held of this
    // machine is let go while the machine still exists (its threads have ended, its waits fail
    // at once).
    CMbnMonitor::GetInstance()->DetachStateMbnRegEvent();
    CMbnDeviceServiceMgr::GetInstance()->Release();
    CMbnInterfaceEventMgr::GetInstance()->Release();
    CStateWork::GetInstance()->FreeMBIM();
    CLog::GetInstance()->Close();
    CProcessSingletons::EndAll();
}

void ServiceRun::At(std::int64_t ms, std::function<void()> action) { machine_->clock().At(ms, std::move(action)); }

void ServiceRun::SetControl(const std::string& name, DWORD value) {
    std::string problem = machine_->registry().SetDword(kControlKeyPath, name, value, "scenario");
    if (!problem.empty()) machine_->transcript().Add("scenario", "set " + name + " failed: " + problem);
}

void ServiceRun::Register(const std::string& providerId) {
    machine_->transcript().Add("scenario", "register " + providerId);
    if (machine_->modem().InterfaceCount() == 0) return;
    machine_->modem().SetProviderId(0, providerId);
    machine_->modem().RaiseRegistrationEvent(sim::RegistrationEvent::RegisterStateChange, 0);
}

void ServiceRun::Stop() {
    machine_->transcript().Add("scenario", "control stop");
    DWORD error = machine_->services().SendControl(kServiceName, SERVICE_CONTROL_STOP);
    if (error != 0) machine_->transcript().Add("scenario", "control stop refused: error " + std::to_string(error));
}

void ServiceRun::Start() {
    process_ = machine_->services().StartOwnService(kServiceName, [] { return ServiceProgramMain(); });
}

bool ServiceRun::RunUntilEnded(std::int64_t limitMs) {
    const bool ended = kvsim::WaitForProcess(*machine_, process_, limitMs);
    endMs_ = machine_->clock().Now();
    return ended;
}

std::string ServiceRun::File(const std::string& windowsPath) const {
    auto host = machine_->files().Resolve(windowsPath);
    return host ? ReadAll(*host) : "";
}

std::string ServiceRun::Log() const {
    auto host = machine_->files().Resolve(kServiceLog);
    return host ? kvsim::ReadWrittenText(*host) : "";
}

void ServiceRun::WriteFile(const std::string& windowsPath, const std::string& content) {
    WriteHostFile(drives_, windowsPath, content);
}

std::vector<SentCommand> ServiceRun::Commands(std::int64_t fromMs) const {
    std::vector<SentCommand> commands;
    const std::string marker = std::string("SetCommand ") + sim::kAtServiceId + " 1 \"";
    for (const sim::TranscriptEntry& entry : machine_->transcript().Entries()) {
        if (entry.time < fromMs || entry.party != "modem" || entry.text.rfind(marker, 0) != 0) continue;
        std::size_t end = entry.text.find("\" -> ", marker.size());
        commands.push_back({entry.time, entry.text.substr(marker.size(), end - marker.size())});
    }
    return commands;
}

std::size_t ServiceRun::CountTranscript(const std::string& party, const std::string& fragment) const {
    return machine_->transcript().Count(party, fragment);
}

}  // namespace kvtest
