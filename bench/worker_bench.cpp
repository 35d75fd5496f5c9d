// The worker loop on the default notebook: an idle wake-up, and the index switch after a
// posture change.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "core/CStateWork.h"
#include "platform/sim/registry_store.h"
#include "platform/sync.h"

namespace {

const char kControlKey[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
const DWORD kWakeUpMs = 5000;

// The worker of the service, started as the service starts it and past its start-up work.
class RunningWorker {
public:
    RunningWorker() : notebook_("notebook") {
        work_.InitPath();
        work_.InitLog();
        work_.InitWork();
        work_.StartThread();
        Sleep(1000);
    }
    ~RunningWorker() { work_.StopThread(); }
    sim::Machine& machine() { return notebook_.machine(); }

private:
    kvbench::Notebook notebook_;
    CStateWork work_;
};

// Each iteration lets a batch of the loop's waits time out and records the CPU time it took.
void MeasureIdleWakeUps(benchmark::State& state) {
    const int batch = 200;
    double cpuUs = 0;
    std::int64_t wakeUps = 0;
    for (auto _ : state) {
        const double before = kvbench::ProcessCpuUs();
        Sleep(batch * kWakeUpMs);
        const double used = kvbench::ProcessCpuUs() - before;
        state.SetIterationTime(used / 1e6);
        cpuUs += used;
        wakeUps += batch;
    }
    state.counters["cpu_us_per_wakeup"] = cpuUs / static_cast<double>(wakeUps);
}

// One iteration: a batch of time-outs of the loop's wait, nothing else happening.
void BM_IdleWakeUp(benchmark::State& state) {
    RunningWorker worker;
    MeasureIdleWakeUps(state);
    state.counters["target_us"] = 20;
}
BENCHMARK(BM_IdleWakeUp)->UseManualTime()->Unit(benchmark::kMillisecond);

// The simulation's share of a wake-up: the same wait on three events, in a loop that does
// nothing else.
void BM_IdleWakeUpSimulationOnly(benchmark::State& state) {
    kvbench::Notebook notebook("notebook");
    HANDLE events[3];
    for (HANDLE& event : events) event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](LPVOID parameter) -> DWORD {
            HANDLE* waited = static_cast<HANDLE*>(parameter);
            while (WaitForMultipleObjects(3, waited, FALSE, kWakeUpMs) != WAIT_OBJECT_0 + 2) {
            }
            return 0;
        },
        events, 0, nullptr);
    MeasureIdleWakeUps(state);
    SetEvent(events[2]);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    for (HANDLE event : events) CloseHandle(event);
}
BENCHMARK(BM_IdleWakeUpSimulationOnly)->UseManualTime()->Unit(benchmark::kMillisecond);

// One iteration: "DeviceMode" written to the control key, then the whole switch (the SAR
// step and the antenna step, each two queries and one command on fresh channels).
void BM_IndexSwitch(benchmark::State& state) {
    RunningWorker worker;
    sim::Machine& machine = worker.machine();
    double cpuUs = 0;
    std::int64_t virtualMs = 0;
    std::int64_t switches = 0;
    DWORD mode = 7;
    for (auto _ : state) {
        machine.transcript().Clear();
        mode = mode == 7 ? 2 : 7;
        const std::int64_t written = machine.clock().Now();
        const double before = kvbench::ProcessCpuUs();
        machine.registry().SetDword(kControlKey, "DeviceMode", mode, "bench");
        Sleep(1000);  // the switch's six 100 ms pauses, and idle time after it
        const double used = kvbench::ProcessCpuUs() - before;
        state.SetIterationTime(used / 1e6);

        int commands = 0;
        std::int64_t last = written;
        for (const sim::TranscriptEntry& entry : machine.transcript().Entries()) {
            if (entry.party != "modem" || entry.text.find("Command ") == std::string::npos) continue;
            ++commands;
            last = entry.time;
        }
        if (commands != 6) {
            state.SkipWithError(("the switch sent " + std::to_string(commands) + " commands, not 6").c_str());
            break;
        }
        cpuUs += used;
        virtualMs += last - written;
        ++switches;
    }
    if (switches == 0) return;
    state.counters["cpu_us_per_switch"] = cpuUs / static_cast<double>(switches);
    state.counters["virtual_ms_to_last_command"] = static_cast<double>(virtualMs) / static_cast<double>(switches);
    state.counters["mandated_sleeps_ms"] = 600;
    state.counters["target_cpu_us"] = 2000;
}
BENCHMARK(BM_IndexSwitch)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
