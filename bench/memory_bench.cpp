// Peak resident memory of a whole simulated notebook run.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/bench_support.h"

namespace {

void BM_KvsimRunPeakResident(benchmark::State& state) {
    long peakKiB = 0;
    for (auto _ : state) {
        kvbench::ChildUsage run =
            kvbench::RunChild(KV_KVSIM_PATH, {"run", std::string(KV_SOURCE_DIR) + "/examples/notebook"});
        if (run.exitCode != 0) {
            state.SkipWithError("kvsim run failed");
            break;
        }
        state.SetIterationTime(run.cpuUs / 1e6);
        peakKiB = std::max(peakKiB, run.peakResidentKiB);
    }
    state.counters["peak_resident_MiB"] = static_cast<double>(peakKiB) / 1024;
    state.counters["target_MiB"] = 16;
}
BENCHMARK(BM_KvsimRunPeakResident)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
