// The whole service on an example notebook, started as the service control manager starts it,
// with outside events scheduled at virtual times by the test: the road for long runs and faults.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/types.h"
#include "tests/support/sim_test.h"

namespace kvtest {

inline constexpr const char* kServiceName = "Kavrion WWAN CfgService";
inline constexpr const char* kServiceLog = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
inline constexpr const char* kServiceIni = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
inline constexpr const char* kControlKeyPath = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
inline constexpr const char* kOlderService = "Kavrion WWAN Config Service";

// One AT command the modem received, with the virtual time it arrived.
struct SentCommand {
    std::int64_t timeMs = 0;
    std::string bytes;  // as the transcript escapes them: "AT+GTANTPROFILE=2\r\n"
};

class ServiceRun {
public:
    // The notebook folder under examples/ (its drives are copied, its registry and modem loaded).
    explicit ServiceRun(const std::string& notebook);
    ~ServiceRun();
    ServiceRun(const ServiceRun&) = delete;
    ServiceRun& operator=(const ServiceRun&) = delete;

    sim::Machine& machine() { return *machine_; }
    const std::filesystem::path& drives() const { return drives_; }

    // `action` runs at virtual time `ms` while the system is blocked.
    void At(std::int64_t ms, std::function<void()> action);
    // Outside writes and events, as the notebook's other components make them.
    void SetControl(const std::string& name, DWORD value);
    void Register(const std::string& providerId);
    void Stop();

    // Starts the service's process; then runs until it ends or `limitMs` of virtual time.
    void Start();
    // Power lost now; then a new machine on the same drives and registry, with the notebook's
    // modem and its services as they stood. The service is not started (Start).
    void PowerOffAndRestart();
    bool RunUntilEnded(std::int64_t limitMs);
    std::int64_t EndTimeMs() const { return endMs_; }

    std::string Log() const;
    std::string File(const std::string& windowsPath) const;
    void WriteFile(const std::string& windowsPath, const std::string& content);
    // AT commands received from `fromMs` on, in order.
    std::vector<SentCommand> Commands(std::int64_t fromMs = 0) const;
    // The transcript lines of a party that hold `fragment`.
    std::size_t CountTranscript(const std::string& party, const std::string& fragment) const;

private:
    void LoadNotebook(const std::string& registryText);
    void ForgetProcess();

    std::filesystem::path notebook_;
    TempDir temp_;
    std::filesystem::path drives_;
    std::unique_ptr<sim::Machine> machine_;
    std::shared_ptr<sim::ThreadObject> process_;
    std::int64_t endMs_ = -1;
};

std::size_t CountOf(const std::string& text, const std::string& fragment);

}  // namespace kvtest
