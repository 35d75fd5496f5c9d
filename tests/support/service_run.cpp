#include "tests/support/service_run.h"

#include <fstream>
#include <sstream>

#include "platform/service.h"
#include "platform/sync.h"
#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/services.h"
#include "service/ServiceHost.h"
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

ServiceRun::ServiceRun(const std::string& notebook) {
    fs::path folder = fs::path(KV_SOURCE_DIR) / "examples" / notebook;
    drives_ = temp_.path() / "drives";
    fs::copy(folder / "drives", drives_, fs::copy_options::recursive);
    machine_ = std::make_unique<sim::Machine>(drives_, kvtest::TestThreads());
    machine_->SetExecutablePath(kExecutable);
    if (fs::exists(folder / "registry.reg")) {
        std::string problem = machine_->registry().LoadRegFile(folder / "registry.reg");
        EXPECT_EQ(problem, "");
    }
    if (fs::exists(folder / "modem.txt")) {
        std::string problem = machine_->modem().LoadModemFile(folder / "modem.txt");
        EXPECT_EQ(problem, "");
    }
    if (fs::exists(folder / "services.txt")) {
        std::ifstream in(folder / "services.txt", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        kvsim::InputError error;
        auto services = kvsim::ParseServices(text.str(), "services.txt", error);
        EXPECT_TRUE(services) << error.Text();
        if (services)
            for (const kvsim::InstalledService& service : *services)
                machine_->services().Install(service.name, service.binaryPath, service.behaviour, service.pendingPolls);
    }
}

ServiceRun::~ServiceRun() {
    if (machine_) machine_->Shutdown();
    machine_.reset();
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
    std::int64_t left = limitMs - machine_->clock().Now();
    DWORD result = machine_->clock().Wait({process_}, false, static_cast<DWORD>(left > 0 ? left : 0));
    endMs_ = machine_->clock().Now();
    return result == WAIT_OBJECT_0;
}

std::string ServiceRun::File(const std::string& windowsPath) const {
    auto host = machine_->files().Resolve(windowsPath);
    if (!host) return "";
    std::ifstream in(*host, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

std::string ServiceRun::Log() const { return File(kServiceLog); }

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
