// One table-writing run of the multi-mode notebook (examples/tables-multimode), as "kvsim flash"
// runs it: the cost of each AT command it sends.
#include <benchmark/benchmark.h>

#include "bench/bench_support.h"
#include "core/CStateWork.h"
#include "platform/com.h"

namespace {

void BM_MultiModeTableWriting(benchmark::State& state) {
    double cpuUs = 0;
    std::int64_t commands = 0;
    for (auto _ : state) {
        kvbench::Notebook notebook("tables-multimode");
        sim::Machine& machine = notebook.machine();
        machine.AddForeignEvent("ResetMoudle");
        CStateWork* work = CStateWork::GetInstance();
        work->InitPath();
        work->InitLog();
        HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        work->GetSimInfo();
        machine.transcript().Clear();

        const double before = kvbench::ProcessCpuUs();
        work->FlashSarByATSend();
        machine.clock().Settle();
        const double used = kvbench::ProcessCpuUs() - before;
        if (SUCCEEDED(com)) CoUninitialize();

        std::int64_t sent = 0;
        for (const sim::TranscriptEntry& entry : machine.transcript().Entries())
            if (entry.party == "modem" && entry.text.rfind("SetCommand ", 0) == 0) ++sent;
        if (sent == 0) {
            state.SkipWithError("the run sent no AT command");
            break;
        }
        state.SetIterationTime(used / 1e6);
        cpuUs += used;
        commands += sent;
    }
    if (commands == 0) return;
    state.counters["commands_per_run"] = static_cast<double>(commands) / static_cast<double>(state.iterations());
    state.counters["cpu_us_per_command"] = cpuUs / static_cast<double>(commands);
    state.counters["target_us"] = 100;
}
BENCHMARK(BM_MultiModeTableWriting)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
