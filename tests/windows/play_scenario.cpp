// Plays a notebook's scenario.txt on Windows (under Wine), as kvsim plays it on the simulated
// machine: it starts the service, then plays each event in the file's order, read by kvsim's own
// scenario reader. Registry values are written through the registry API, a registration goes to
// the stand-in Mobile Broadband service's control file, a control to the service manager.
//
//   KvPlay.exe <scenario.txt> <control file> <service log> [<scale>]
//
// Real time stands in for the virtual clock: an event is played at its time times <scale> (default
// 0.2), and never before the service is idle, so that each event finds the service where the
// simulation leaves it: the service has handled every wake-up it began and its log has been still
// for a while (1.5 s, longer than a poll of the older sibling's state). Prints each event played
// as "[<seconds>] scenario: <event>"; exit 0 when every event was played and the service has
// stopped (when the scenario stops it), 1 otherwise (also for an event other than a stop that finds
// the service stopped, and for a stop the service refuses), 2 for a scenario that does not read.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "tools/kvsim/scenario.h"

namespace {

const char kServiceName[] = "Kavrion WWAN CfgService";
constexpr auto kQuiet = std::chrono::milliseconds(1500);
constexpr auto kIdleLimit = std::chrono::seconds(90);
using Clock = std::chrono::steady_clock;

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::size_t Count(const std::string& text, const char* what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

// Calls `with` with the service's handle; false when the service manager does not give it.
template <class F>
bool WithService(DWORD access, F with) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) return false;
    SC_HANDLE service = OpenServiceA(manager, kServiceName, access);
    bool ok = service && with(service);
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return ok;
}

DWORD ServiceState() {
    DWORD state = 0;
    WithService(SERVICE_QUERY_STATUS, [&](SC_HANDLE service) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(service, &status)) return false;
        state = status.dwCurrentState;
        return true;
    });
    return state;
}

class CPlayer {
public:
    CPlayer(std::string controlFile, std::string logFile, double scale)
        : m_controlFile(std::move(controlFile)), m_logFile(std::move(logFile)), m_scale(scale) {}

    bool Start() {
        m_start = Clock::now();
        m_lastPlayed = m_start;
        return WithService(SERVICE_START, [](SC_HANDLE service) { return StartServiceA(service, 0, nullptr) != 0; });
    }

    // Until the event's time has come and the service is idle; false after the limit.
    bool WaitFor(const kvsim::ScenarioEvent& event) {
        const auto due = m_start + std::chrono::milliseconds(static_cast<long long>(event.timeMs * m_scale));
        const auto limit = Clock::now() + kIdleLimit;
        std::string seen = ReadAll(m_logFile);
        auto stillSince = Clock::now();
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            const auto now = Clock::now();
            std::string log = ReadAll(m_logFile);
            if (log != seen) {
                seen = std::move(log);
                stillSince = now;
            }
            const bool stopped = ServiceState() == SERVICE_STOPPED;
            const bool started = Count(seen, "--------Start service-------------------") > 0;
            const std::size_t began = Count(seen, "Enter register event") + Count(seen, "Enter Sim event");
            const bool idle = stopped || (started && began == Count(seen, "Enter ServiceCheckThead.") &&
                                          now - stillSince >= kQuiet && now - m_lastPlayed >= kQuiet);
            if (idle && now >= due) return true;
            if (now > limit) return false;
        }
    }

    bool Play(const kvsim::ScenarioEvent& event) {
        m_lastPlayed = Clock::now();
        const double seconds = std::chrono::duration<double>(m_lastPlayed - m_start).count();
        std::printf("[%10.3f] scenario: %s\n", seconds, event.Describe().c_str());
        std::fflush(stdout);
        switch (event.kind) {
            case kvsim::ScenarioEvent::Kind::SetValue: return SetValue(event);
            case kvsim::ScenarioEvent::Kind::Register: return Append(m_controlFile, "register " + event.providerId + "\n");
            case kvsim::ScenarioEvent::Kind::Control: {
                DWORD refused = ERROR_SUCCESS;
                const bool reached = WithService(
                    SERVICE_STOP | SERVICE_PAUSE_CONTINUE | SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL,
                    [&](SC_HANDLE service) {
                        SERVICE_STATUS status{};
                        if (!ControlService(service, event.control, &status)) refused = GetLastError();
                        return true;
                    });
                if (!reached || refused == ERROR_SUCCESS) return reached;
                std::printf("             refused: error %lu\n", refused);
                SetLastError(refused);
                // The service may refuse another control; a stop it refuses leaves it running.
                return !IsStop(event);
            }
        }
        return false;
    }

    static bool IsStop(const kvsim::ScenarioEvent& event) {
        return event.kind == kvsim::ScenarioEvent::Kind::Control && event.control == SERVICE_CONTROL_STOP;
    }

    bool WaitStopped(int seconds) {
        for (int i = 0; i < seconds * 10; ++i) {
            if (ServiceState() == SERVICE_STOPPED) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

private:
    static bool SetValue(const kvsim::ScenarioEvent& event) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, event.keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return false;
        LONG result = event.valueType == REG_DWORD
                          ? RegSetValueExA(key, event.valueName.c_str(), 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(&event.dwordValue), sizeof(DWORD))
                          : RegSetValueExA(key, event.valueName.c_str(), 0, REG_SZ,
                                           reinterpret_cast<const BYTE*>(event.textValue.c_str()),
                                           static_cast<DWORD>(event.textValue.size() + 1));
        RegCloseKey(key);
        return result == ERROR_SUCCESS;
    }

    static bool Append(const std::string& path, const std::string& line) {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << line;
        return static_cast<bool>(out);
    }

    const std::string m_controlFile;
    const std::string m_logFile;
    const double m_scale;
    Clock::time_point m_start;
    Clock::time_point m_lastPlayed;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr, "usage: KvPlay.exe <scenario.txt> <control file> <service log> [<scale>]\n");
        return 2;
    }
    kvsim::InputError error;
    std::optional<kvsim::Scenario> scenario = kvsim::ParseScenario(ReadAll(argv[1]), argv[1], error);
    if (!scenario) {
        std::fprintf(stderr, "KvPlay: %s\n", error.Text().c_str());
        return 2;
    }
    CPlayer player(argv[2], argv[3], argc == 5 ? std::atof(argv[4]) : 0.2);
    if (!player.Start()) {
        std::fprintf(stderr, "KvPlay: the service does not start (error %lu)\n", GetLastError());
        return 1;
    }
    bool stops = false;
    for (const kvsim::ScenarioEvent& event : scenario->events) {
        if (!player.WaitFor(event)) {
            std::fprintf(stderr, "KvPlay: the service is still busy %lld s after the event before %s:%d\n",
                         static_cast<long long>(kIdleLimit.count()), argv[1], event.line);
            return 1;
        }
        // Played to a service that is gone, the event would test nothing.
        if (!CPlayer::IsStop(event) && ServiceState() == SERVICE_STOPPED) {
            std::fprintf(stderr, "KvPlay: the service stopped before %s:%d, which is no stop\n", argv[1], event.line);
            return 1;
        }
        if (!player.Play(event)) {
            std::fprintf(stderr, "KvPlay: %s:%d could not be played (error %lu)\n", argv[1], event.line, GetLastError());
            return 1;
        }
        stops = stops || CPlayer::IsStop(event);
    }
    if (stops && !player.WaitStopped(60)) {
        std::fprintf(stderr, "KvPlay: the service has not stopped 60 s after the scenario's stop\n");
        return 1;
    }
    return 0;
}
