// Mapping-table lookups on tables of 1,000 entries, each lookup loading its table as the
// service does; the service's log is on.
#include <benchmark/benchmark.h>

#include <fstream>

#include "bench/bench_support.h"
#include "common/CLog.h"
#include "config/CXmlTableReader.h"

namespace {

namespace fs = std::filesystem;

const char kRegionTable[] = "C:\\Kavrion\\KvConfigService\\RegionMappingTable.xml";
const char kDeviceModeTable[] = "C:\\Kavrion\\KvConfigService\\DeviceModeToScenarioIndexMappingTable.xml";
const char kLog[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
constexpr int kEntries = 1000;

fs::path Host(const fs::path& drives, const std::string& windowsPath) {
    fs::path host = drives / "C";
    std::size_t start = 3;
    while (start < windowsPath.size()) {
        std::size_t end = windowsPath.find('\\', start);
        if (end == std::string::npos) end = windowsPath.size();
        host /= windowsPath.substr(start, end - start);
        start = end + 1;
    }
    return host;
}

void OpenLog() {
    CLog* log = CLog::GetInstance();
    log->Close();
    log->SetPathAndRotate(kLog);
    log->Enable(true);
}

// 999 MCCs and a "default"; the MCC looked up is the last listed.
void BM_RegulatoryByMcc(benchmark::State& state) {
    kvbench::Notebook notebook("notebook");
    std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegionMappingTable>\n<RegionSwitch>\n<SelectionRule>\n";
    const char* regions[] = {"FCC", "CE", "ISED"};
    for (int mcc = 1; mcc < kEntries; ++mcc) {
        char line[80];
        std::snprintf(line, sizeof line, "  <Region mcc=\"%03d\" Regulatory=\"%s\"/>\n", mcc, regions[mcc % 3]);
        xml += line;
    }
    xml += "  <Region mcc=\"default\" Regulatory=\"FCC\"/>\n</SelectionRule>\n</RegionSwitch>\n</RegionMappingTable>\n";
    std::ofstream(Host(notebook.drives(), kRegionTable), std::ios::binary) << xml;
    OpenLog();

    CXmlTableReader reader;
    for (auto _ : state) {
        std::string region;
        if (reader.getRegulatoryByMcc(kRegionTable, "999", region) != 1) {
            state.SkipWithError("the MCC was not found");
            break;
        }
        benchmark::DoNotOptimize(region);
    }
    state.counters["target_us"] = 1000;
}
BENCHMARK(BM_RegulatoryByMcc)->Unit(benchmark::kMicrosecond);

// The notebook's table (SarMapType MapType_2) with 1,000 items for the configuration's FCC
// standard; the device mode looked up is the last listed.
void BM_SarIndexFromXml(benchmark::State& state) {
    kvbench::Notebook notebook("notebook");
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<DeviceModeToScenarioIndexMappingTable>\n"
        "<WwanDeviceConfigID_BlackList><WwanDeviceConfigID WwanDeviceConfigIDValue=\"0x10FF\"/>"
        "</WwanDeviceConfigID_BlackList>\n<WwanDeviceConfigIDList>\n<WwanDeviceConfigID ID=\"0x1001\">\n"
        "<SwitchTable><SarTableIndex FlagValue=\"true\"><MapType_2><Standard Value=\"FCC\">\n";
    for (int mode = 0; mode < kEntries; ++mode)
        xml += "  <Item DeviceMode=\"" + std::to_string(mode) + "\" Index=\"" + std::to_string(mode % 32) + "\"/>\n";
    xml += "</Standard></MapType_2></SarTableIndex></SwitchTable>\n</WwanDeviceConfigID>\n</WwanDeviceConfigIDList>\n"
           "</DeviceModeToScenarioIndexMappingTable>\n";
    std::ofstream(Host(notebook.drives(), kDeviceModeTable), std::ios::binary) << xml;
    OpenLog();

    CXmlTableReader reader;
    const std::string last = std::to_string(kEntries - 1);
    for (auto _ : state) {
        int index = reader.GetSarIndexFromXml(kDeviceModeTable, "0x1001", "FCC", "", last, "", "");
        if (index != (kEntries - 1) % 32) {
            state.SkipWithError("the device mode was not found");
            break;
        }
    }
    state.counters["target_us"] = 1000;
}
BENCHMARK(BM_SarIndexFromXml)->Unit(benchmark::kMicrosecond);

}  // namespace
