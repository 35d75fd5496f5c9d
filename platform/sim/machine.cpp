#include "platform/sim/machine.h"

#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/sim/driver.h"
#include "platform/sim/file_system.h"
#include "platform/sim/modem.h"
#include "platform/sim/programs.h"
#include "platform/sim/registry_store.h"
#include "platform/sim/services.h"

namespace sim {

namespace {
std::atomic<Machine*> current{nullptr};

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;  // days since 1970-01-01
}

const std::int64_t kDays1601To1970 = -DaysFromCivil(1601, 1, 1);

// The process heap keeps the memory it has for the next allocations, as a Windows heap keeps
// its committed segments. The host's default hands the top of the heap back at every free
// past 128 KiB: a table lookup, which parses its XML file and frees the document, then paid
// for shrinking the heap and faulting the pages in again at every call (three quarters of
// its time).
void KeepFreedHeap() {
    constexpr int kKeptBytes = 64 << 20;
    mallopt(M_TRIM_THRESHOLD, kKeptBytes);
}
}  // namespace

std::int64_t SystemTimeToMs(const SYSTEMTIME& t) {
    std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDays1601To1970;
    return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
}

SYSTEMTIME MsToSystemTime(std::int64_t ms) {
    std::int64_t days = ms / 86400000 - kDays1601To1970;
    std::int64_t rest = ms % 86400000;
    // civil_from_days
    std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp + (mp < 10 ? 3 : -9);
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(y + (m <= 2));
    t.wMonth = static_cast<WORD>(m);
    t.wDay = static_cast<WORD>(d);
    t.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday
    t.wHour = static_cast<WORD>(rest / 3600000);
    t.wMinute = static_cast<WORD>(rest / 60000 % 60);
    t.wSecond = static_cast<WORD>(rest / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(rest % 1000);
    return t;
}

Machine::Machine(std::filesystem::path driveRoot, Threads threads) {
    Machine* expected = nullptr;
    if (!current.compare_exchange_strong(expected, this)) {
        std::fprintf(stderr, "sim: only one machine may exist at a time\n");
        std::abort();
    }
    KeepFreedHeap();
    clock_ = std::make_unique<Scheduler>(threads);
    transcript_.SetClock([](const void* self) { return static_cast<const Scheduler*>(self)->Now(); }, clock_.get());
    registry_ = std::make_unique<Registry>(*this);
    files_ = std::make_unique<FileSystem>(*this, std::move(driveRoot));
    services_ = std::make_unique<ServiceManager>(*this);
    driver_ = std::make_unique<ControlDriver>(*this);
    programs_ = std::make_unique<Programs>(*this);
    modem_ = std::make_unique<Modem>(*this);
    clock_->Join();
}

Machine::~Machine() {
    // Shut down while still holding the turn: leaving first would hand the clock a machine whose
    // other threads may all wait for ever, which it reports as a deadlock.
    Shutdown();
    clock_->Leave();
    // Parties go before the clock and the handles; no thread runs any more.
    modem_.reset();
    programs_.reset();
    driver_.reset();
    services_.reset();
    files_.reset();
    registry_.reset();
    transcript_.SetClock(nullptr, nullptr);
    clock_.reset();
    current.store(nullptr);
}

Machine* Machine::Current() { return current.load(); }

void Machine::Shutdown() { clock_->Shutdown(); }

void Machine::PowerOff() {
    // Nothing the ending threads still do on their way out reaches the drives.
    files_->PowerOff();
    transcript_.Add("machine", "power off");
    clock_->Shutdown();
    files_->DropWriteBack();
}

void Machine::FailKernelCall(KernelCall call, int skip) {
    std::lock_guard lock(mutex_);
    kernelFaults_[call] = skip < 0 ? 0 : skip;
}

bool Machine::TakeKernelFault(KernelCall call) {
    std::lock_guard lock(mutex_);
    auto it = kernelFaults_.find(call);
    if (it == kernelFaults_.end()) return false;
    if (it->second > 0) {
        --it->second;
        return false;
    }
    kernelFaults_.erase(it);
    return true;
}

std::string Machine::ExecutablePath() const {
    std::lock_guard lock(mutex_);
    return executablePath_;
}

void Machine::SetExecutablePath(std::string path) {
    std::lock_guard lock(mutex_);
    executablePath_ = std::move(path);
}

void Machine::SetStartTime(const SYSTEMTIME& start) {
    std::lock_guard lock(mutex_);
    start_ = start;
}

SYSTEMTIME Machine::LocalTime() const {
    std::int64_t base;
    {
        std::lock_guard lock(mutex_);
        base = SystemTimeToMs(start_);
    }
    return MsToSystemTime(base + clock_->Now());
}

std::shared_ptr<Event> Machine::FindNamedEvent(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto it = namedEvents_.find(name);
    return it == namedEvents_.end() ? nullptr : it->second.lock();
}

std::shared_ptr<Event> Machine::CreateNamedEvent(const std::string& name, bool manualReset, bool initialState,
                                                 bool* existed) {
    std::lock_guard lock(mutex_);
    if (auto found = namedEvents_[name].lock()) {
        if (existed) *existed = true;
        return found;
    }
    auto event = std::make_shared<Event>(manualReset, initialState, name);
    namedEvents_[name] = event;
    if (existed) *existed = false;
    return event;
}

std::shared_ptr<Event> Machine::AddForeignEvent(const std::string& name, bool manualReset, bool initialState) {
    auto event = CreateNamedEvent(name, manualReset, initialState, nullptr);
    std::lock_guard lock(mutex_);
    foreignEvents_[name] = event;
    return event;
}

}  // namespace sim
