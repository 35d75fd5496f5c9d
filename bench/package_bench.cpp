// Unpacking a large configuration package, against Debian's unzip on the same file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "bench/bench_support.h"
#include "config/UnZipPackage.h"
#include "tests/support/zip_bytes.h"

namespace {

namespace fs = std::filesystem;

const char kPackage[] = "C:\\Kavrion\\Firmware\\KavrConfigFiles.flz";
const char kFolder[] = "C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\";
constexpr int kMembers = 2000;
constexpr std::size_t kPackageBytes = 64u << 20;

// Table-like text: lines of numbers, which deflate about as configuration files do.
std::string MemberText(std::mt19937& random, std::size_t size) {
    std::string text;
    text.reserve(size + 64);
    char line[96];
    while (text.size() < size) {
        int length = std::snprintf(line, sizeof line, "<Item Band=\"%u\" Index=\"%u\" Power=\"%u,%u,%u\"/>\r\n",
                                   static_cast<unsigned>(random() % 256), static_cast<unsigned>(random() % 64),
                                   static_cast<unsigned>(random() % 4096), static_cast<unsigned>(random() % 4096),
                                   static_cast<unsigned>(random() % 4096));
        text.append(line, static_cast<std::size_t>(length));
    }
    text.resize(size);
    return text;
}

// CPU time of unpacking one package through the system and through unzip, each run from an empty folder.
struct Timings {
    double systemUs = 0;
    double unzipUs = 0;
    bool Usable() const { return systemUs > 0 && unzipUs > 0; }
};

// Writes the package into a fresh notebook's drives and times both unpackers on it.
Timings UnpackAgainstUnzip(benchmark::State& state, const std::vector<ziptest::RawItem>& items) {
    kvbench::Notebook notebook("notebook");
    const fs::path drives = notebook.drives();
    const fs::path hostPackage = drives / "C" / "Kavrion" / "Firmware" / "KavrConfigFiles.flz";
    const fs::path hostFolder = drives / "C" / "Kavrion" / "KvConfigService" / "KavrConfigFiles";
    fs::create_directories(hostPackage.parent_path());
    std::ofstream(hostPackage, std::ios::binary) << ziptest::BuildZip(items);

    Timings timings;
    for (auto _ : state) {
        fs::remove_all(hostFolder);
        const double before = kvbench::ProcessCpuUs();
        const bool unpacked = UnZipPackage(kFolder, kPackage);
        const double used = kvbench::ProcessCpuUs() - before;
        if (!unpacked) {
            state.SkipWithError("the package did not unpack");
            return {};
        }
        state.SetIterationTime(used / 1e6);
        timings.systemUs += used;

        fs::remove_all(hostFolder);
        kvbench::ChildUsage unzip =
            kvbench::RunChild("unzip", {"-o", "-q", hostPackage.string(), "-d", hostFolder.string()});
        if (unzip.exitCode != 0) {
            state.SkipWithError("unzip failed");
            return {};
        }
        timings.unzipUs += unzip.cpuUs;
    }
    return timings;
}

void BM_UnpackPackage(benchmark::State& state) {
    std::mt19937 random(13);
    std::vector<ziptest::RawItem> items;
    for (int i = 0; i < kMembers; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Product%02d/SarTable%04d.xml", i / 100, i);
        items.push_back(ziptest::RawItem(name, MemberText(random, kPackageBytes / kMembers)).Deflated());
    }
    const Timings timings = UnpackAgainstUnzip(state, items);
    if (!timings.Usable()) return;
    const double megabytes = static_cast<double>(kPackageBytes) / (1 << 20);
    const double runs = static_cast<double>(state.iterations());
    state.counters["system_MiB_per_cpu_s"] = megabytes * runs / (timings.systemUs / 1e6);
    state.counters["unzip_MiB_per_cpu_s"] = megabytes * runs / (timings.unzipUs / 1e6);
    state.counters["ratio_to_unzip"] = timings.unzipUs / timings.systemUs;
    state.counters["target_ratio"] = 0.9;
}
BENCHMARK(BM_UnpackPackage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Many small members in one folder: the cost per member must stay flat as the package grows.
void BM_UnpackManyMembers(benchmark::State& state) {
    const int members = static_cast<int>(state.range(0));
    std::mt19937 random(17);
    std::vector<ziptest::RawItem> items;
    for (int i = 0; i < members; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "Items/Item%05d.xml", i);  // one folder: the hard case for look-ups
        items.push_back(ziptest::RawItem(name, MemberText(random, 200)).Deflated());
    }
    const Timings timings = UnpackAgainstUnzip(state, items);
    if (!timings.Usable()) return;
    const double runs = static_cast<double>(state.iterations());
    state.counters["system_us_per_member"] = timings.systemUs / runs / members;
    state.counters["unzip_us_per_member"] = timings.unzipUs / runs / members;
    state.counters["time_to_unzip"] = timings.systemUs / timings.unzipUs;
    state.counters["target_time_to_unzip"] = 3.0;
}
BENCHMARK(BM_UnpackManyMembers)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
