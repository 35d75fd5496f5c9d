// The host over the simulated machine: a fresh machine on a fresh temporary
// drive folder, without the control driver (a plain Windows has none).
#include "tests/conformance/host.h"

#include <filesystem>

#include "platform/sim/driver.h"
#include "platform/sim/machine.h"
#include "platform/sim/registry_store.h"
#include "tests/support/sim_test.h"

namespace conformance {

struct CHost::CState {
    kvtest::TempDir temp;
    std::unique_ptr<sim::Machine> machine;
};

CHost::CHost() : m_state(std::make_unique<CState>()) {
    const std::filesystem::path drives = m_state->temp.path() / "drives";
    std::filesystem::create_directories(drives / "C" / "Temp" / "kvconformance");
    m_state->machine = std::make_unique<sim::Machine>(drives);
    m_state->machine->driver().SetPresent(false);
    m_state->machine->registry().CreateKey("HKLM\\SOFTWARE\\KvConformance");
    m_folder = "C:\\Temp\\kvconformance";
    m_root = HKEY_LOCAL_MACHINE;
    m_key = "SOFTWARE\\KvConformance";
    m_machineKey = "SOFTWARE\\KvConformanceMachine";
}

CHost::~CHost() { m_state->machine.reset(); }

}  // namespace conformance
