// One simulated notebook: every party the system's Windows calls reach.
//
// Build one per test or per kvsim run; the Windows calls of the layer act on
// the machine that exists at the time (one at a time). The thread that builds
// the machine takes part in its virtual time until the machine is destroyed.
#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sim/hidden.h"
#include "platform/sim/objects.h"
#include "platform/sim/scheduler.h"
#include "platform/sim/transcript.h"
#include "platform/types.h"

namespace sim {

class Registry;
class FileSystem;
class ServiceManager;
class ControlDriver;
class Programs;
class Modem;

// Kernel-object creations a test can make fail.
enum class KernelCall { CreateEvent, CreateThread };

class Machine {
public:
    // `driveRoot` is the host folder that holds the drives ("C" for C:\...). `threads`: how
    // the simulated threads run (see Scheduler); one at a time unless asked.
    explicit Machine(std::filesystem::path driveRoot, Threads threads = Threads::OneTurn);
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // The machine the Windows calls act on; null when there is none.
    static Machine* Current();

    Scheduler& clock() { return *clock_; }
    Transcript& transcript() { return transcript_; }
    HandleTable& handles() { return handles_; }
    Registry& registry() { return *registry_; }
    FileSystem& files() { return *files_; }
    ServiceManager& services() { return *services_; }
    ControlDriver& driver() { return *driver_; }
    Programs& programs() { return *programs_; }
    Modem& modem() { return *modem_; }

    // The running executable's Windows path (GetModuleFileNameA).
    std::string ExecutablePath() const;
    void SetExecutablePath(std::string path);

    // Local time at virtual time 0; GetLocalTime adds the virtual time to it.
    void SetStartTime(const SYSTEMTIME& start);
    SYSTEMTIME LocalTime() const;

    // Named events. An event another process owns stays alive without a handle.
    std::shared_ptr<Event> FindNamedEvent(const std::string& name) const;
    std::shared_ptr<Event> CreateNamedEvent(const std::string& name, bool manualReset, bool initialState, bool* existed);
    std::shared_ptr<Event> AddForeignEvent(const std::string& name, bool manualReset = false, bool initialState = false);

    // The processor GetNativeSystemInfo reports (PROCESSOR_ARCHITECTURE_*), AMD64 unless set.
    WORD NativeProcessorArchitecture() const { return nativeArchitecture_; }
    void SetNativeProcessorArchitecture(WORD architecture) { nativeArchitecture_ = architecture; }

    // The call after the next `skip` calls of that kind fails once (no memory);
    // the layer asks TakeKernelFault at each call.
    void FailKernelCall(KernelCall call, int skip = 0);
    bool TakeKernelFault(KernelCall call);

    // Ends every simulated thread (see Scheduler::Shutdown).
    void Shutdown();

    // Power lost now: every process ends at once and the drives keep only what was durable
    // (FileSystem's write-back); the registry keeps every write. The machine does not run
    // again: the restart is a new machine on the same drive folder and registry.
    void PowerOff();

private:
    Transcript transcript_;
    HandleTable handles_;
    std::unique_ptr<Scheduler> clock_;
    std::unique_ptr<Registry> registry_;
    std::unique_ptr<FileSystem> files_;
    std::unique_ptr<ServiceManager> services_;
    std::unique_ptr<ControlDriver> driver_;
    std::unique_ptr<Programs> programs_;
    std::unique_ptr<Modem> modem_;

    mutable HiddenMutex mutex_;
    std::string executablePath_ = "C:\\Kavrion\\KvCfgService\\KvCfgService.exe";
    SYSTEMTIME start_{2026, 12, 2, 8, 19, 36, 16, 0};
    std::map<std::string, std::weak_ptr<Event>> namedEvents_;
    std::map<std::string, std::shared_ptr<Event>> foreignEvents_;
    std::atomic<WORD> nativeArchitecture_{9};
    std::map<KernelCall, int> kernelFaults_;  // calls still to pass before the failing one
};

// Date arithmetic on SYSTEMTIME (proleptic Gregorian calendar).
std::int64_t SystemTimeToMs(const SYSTEMTIME& time);  // milliseconds since 1601-01-01
SYSTEMTIME MsToSystemTime(std::int64_t ms);

}  // namespace sim
