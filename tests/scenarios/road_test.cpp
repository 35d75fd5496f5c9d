// The main road end to end: both example notebooks run through kvsim.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/scenarios/kvsim_command.h"
#include "tools/kvsim/run.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

kvsim::RunReport RunExample(const char* notebook) { return kvtest::RunNotebookAlone(fs::path(KV_SOURCE_DIR) / "examples" / notebook); }

// What the service did to the modem, the control driver, the older service and the files, with the
// modem's replies left out.
Lines Road(const kvsim::RunReport& report) {
    Lines road;
    for (const std::string& line : report.transcript) {
        std::size_t colon = line.find("] ");
        if (colon == std::string::npos) continue;
        std::string time = line.substr(1, colon - 1);
        time.erase(0, time.find_first_not_of(' '));
        std::string rest = line.substr(colon + 2);
        if (rest.rfind("modem: SetCommand ", 0) == 0) {
            std::size_t open = rest.find(" \"");
            std::size_t close = rest.find("\" -> ");
            road.push_back(time + " AT " + rest.substr(open + 2, close - open - 2));
        } else if (rest.rfind("driver: ", 0) == 0 || rest.rfind("file: ", 0) == 0 ||
                   rest.find("Kavrion WWAN Config Service") != std::string::npos ||
                   rest.rfind("scenario: ", 0) == 0) {
            road.push_back(time + " " + rest);
        }
    }
    return road;
}

std::size_t Count(const std::string& text, const std::string& fragment) {
    std::size_t count = 0;
    for (std::size_t at = text.find(fragment); at != std::string::npos; at = text.find(fragment, at + 1)) ++count;
    return count;
}

bool InOrder(const std::string& text, const Lines& fragments) {
    std::size_t at = 0;
    for (const std::string& fragment : fragments) {
        std::size_t found = text.find(fragment, at);
        if (found == std::string::npos) return false;
        at = found + fragment.size();
    }
    return true;
}

TEST(RoadScenario, NotebookSwitchesIndexesForPosturesAndRegion) {
    kvsim::RunReport report = RunExample("notebook");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    EXPECT_EQ(report.endTimeMs, 10000);

    // FCC at start with device mode 1; lid closed (2) at 2 s; CE from 5 s; tablet (7) at 7 s.
    const Lines expected = {
        "0.000 file: created C:\\Kavrion\\KvConfigService\\KvConfigService.log",
        "0.100 AT AT+bodysaren?\\r\\n",
        "0.200 AT AT+BODYSARMODE?\\r\\n",
        "0.300 AT at+bodysaron=1,1\\r\\n",
        "0.400 AT AT+GTANTTUNINGEN?\\r\\n",
        "0.500 AT AT+GTANTCTRLMODE?\\r\\n",
        "0.600 AT AT+GTANTPROFILE=1\\r\\n",
        "2.000 scenario: set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl\\DeviceMode = dword:2",
        "2.100 AT AT+bodysaren?\\r\\n",
        "2.200 AT AT+BODYSARMODE?\\r\\n",
        "2.300 AT at+bodysaron=1,2\\r\\n",
        "2.400 AT AT+GTANTTUNINGEN?\\r\\n",
        "2.500 AT AT+GTANTCTRLMODE?\\r\\n",
        "2.600 AT AT+GTANTPROFILE=2\\r\\n",
        "5.000 scenario: register 20801",
        "5.100 AT AT+bodysaren?\\r\\n",
        "5.200 AT AT+BODYSARMODE?\\r\\n",
        "5.300 AT at+bodysaron=1,10\\r\\n",
        "5.400 AT AT+GTANTTUNINGEN?\\r\\n",
        "5.500 AT AT+GTANTCTRLMODE?\\r\\n",
        "5.600 AT AT+GTANTPROFILE=2\\r\\n",
        "7.000 scenario: set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl\\DeviceMode = dword:7",
        "7.100 AT AT+bodysaren?\\r\\n",
        "7.200 AT AT+BODYSARMODE?\\r\\n",
        "7.300 AT at+bodysaron=1,14\\r\\n",
        "7.400 AT AT+GTANTTUNINGEN?\\r\\n",
        "7.500 AT AT+GTANTCTRLMODE?\\r\\n",
        "7.600 AT AT+GTANTPROFILE=6\\r\\n",
        "10.000 scenario: control stop",
    };
    EXPECT_EQ(Road(report), expected);

    const std::string& log = report.log;
    EXPECT_TRUE(InOrder(log, {
                                 "Enter Sim event", "mcc:310\n", "region find, region=FCC", "Config enter.\n",
                                 "FlashSarByImage\n", "BodySar SW mode!Start to config SarIndex!\n",
                                 "getWwanDeviceConfigID OK. WwanDeviceConfigID = 0x1001\n", "Sensor1:0\n",
                                 "DeviceMode:1\n", "Bodysar Index set success!\n",
                                 "AntTunerTable SW mode,start to config SarIndex\n", "AntTunerIndex:1\n",
                                 "AntTunner index set success!\n", "Config done.\n", "OpenService failed (1060)\n",
                                 "19:36:18:000: \n\n------------------------[CStateWork::Work] Enter register event",
                                 "19:36:21:000: CMbnRegEvent::OnRegisterStateChange GetProviderID mccmnc: 20801\n",
                                 "SetSimChangeEvent mccmnc:: 20801\n", "Enter Sim event", "mcc:208\n",
                                 "region find, region=CE", "FlashSarByImage\n", "19:36:23:000: \n\n----",
                                 "Enter register event", "AntTunerIndex:6\n", "Config done.\n",
                                 "[Infomation][CStateWork::Work] Triger Service Stop Event.\n",
                             }))
        << log;
    EXPECT_EQ(Count(log, "Config done.\n"), 4u);
    EXPECT_EQ(Count(log, "OpenService failed (1060)\n"), 4u);
    EXPECT_EQ(Count(log, "[ERROR] "), Count(log, "GetIndexByAnt enter\n") + Count(log, "GetIndexByAnt end\n"));
}

TEST(RoadScenario, NotebookRegionHandsRegionsToTheDriverAndRemovesTheOlderService) {
    kvsim::RunReport report = RunExample("notebook-region");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    EXPECT_EQ(report.endTimeMs, 12000);

    const Lines expected = {
        "0.000 file: created C:\\Kavrion\\KvConfigService\\KvConfigService.log",
        "0.000 driver: ioctl 0x06000004 in=02 00 00 00",
        "0.000 service: control Kavrion WWAN Config Service: STOP",
        "1.000 service: query Kavrion WWAN Config Service: STOP_PENDING",
        "2.000 service: query Kavrion WWAN Config Service: STOP_PENDING",
        "3.000 scenario: set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl\\SARIndex = dword:5",
        "3.000 service: query Kavrion WWAN Config Service: STOP_PENDING",
        "4.000 service: query Kavrion WWAN Config Service: STOPPED",
        "4.000 service: service deleted Kavrion WWAN Config Service",
        "4.000 file: deleted C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe",
        // The SARIndex write of 3 s waited for the removal.
        "4.100 AT AT+bodysaren?\\r\\n",
        "4.200 AT AT+BODYSARMODE?\\r\\n",
        "4.300 AT at+bodysaron=1,5\\r\\n",
        "8.000 scenario: register 310260",
        "8.000 driver: ioctl 0x06000004 in=01 00 00 00",
        "10.000 scenario: register 302720",
        "10.000 driver: ioctl 0x06000004 in=03 00 00 00",
        "12.000 scenario: control stop",
    };
    EXPECT_EQ(Road(report), expected);

    const std::string& log = report.log;
    EXPECT_TRUE(InOrder(log, {
                                 "mcc:208\n",
                                 "[Infomation][CStateWork::SetRegionByIOControl] Set region OK. region=2\n",
                                 "[Infomation][CStateWork::ServiceCheckAndDelete] Enter ServiceCheckThead.\n",
                                 "19:36:20:000: Service dwCurrentState == SERVICE_STOPPED\n",
                                 "Service removed successfully\n",
                                 "[Infomation][CStateWork::ServiceCheckAndDelete] ServiceCheckThead done.\n",
                                 "Enter register event", "SarIndex:5\n", "Bodysar Index set success!\n",
                                 "AntTurner=Disable,stop config AntTurnerMapTable!\n", "OpenService failed (1060)\n",
                                 "mcc:310\n", "Set region OK. region=1\n", "OpenService failed (1060)\n", "mcc:302\n",
                                 "Set region OK. region=3\n", "OpenService failed (1060)\n",
                                 "Triger Service Stop Event.\n",
                             }))
        << log;
    // Type 2 runs no index switch on a registration change.
    EXPECT_EQ(Count(log, "Config enter.\n"), 1u);
}

// A modem registered on no network at start: the empty MCC takes the region table's default
// until a registration names a network.
TEST(RoadScenario, NotebookRegionWithoutANetworkAtStartHandsTheDefaultRegion) {
    kvtest::TempDir temp;
    const fs::path notebook = temp.path() / "nb";
    fs::copy(fs::path(KV_SOURCE_DIR) / "examples/notebook-region", notebook, fs::copy_options::recursive);
    std::string modem = kvtest::ReadAll(notebook / "modem.txt");
    const std::string provider = "provider \"20801\"";
    ASSERT_NE(modem.find(provider), std::string::npos);
    modem.replace(modem.find(provider), provider.size(), "provider \"\"");
    std::ofstream(notebook / "modem.txt", std::ios::binary) << modem;

    kvsim::RunReport report = kvtest::RunNotebookAlone(notebook);
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    Lines driver;
    for (const std::string& line : Road(report))
        if (line.find(" driver: ") != std::string::npos) driver.push_back(line);
    EXPECT_EQ(driver, (Lines{"0.000 driver: ioctl 0x06000004 in=01 00 00 00", "8.000 driver: ioctl 0x06000004 in=01 00 00 00",
                             "10.000 driver: ioctl 0x06000004 in=03 00 00 00"}));
    EXPECT_TRUE(InOrder(report.log, {"[CStateWork::GetSimInfo] GetProviderID mccmnc: \n", "SetSimChangeEvent mccmnc:: \n",
                                     "mcc:\n", "registration mcc is null, or region not find, default region=FCC\n",
                                     "Set region OK. region=1\n", "SetSimChangeEvent mccmnc:: 310260\n", "mcc:310\n",
                                     "region find, region=FCC", "Set region OK. region=1\n", "mcc:302\n",
                                     "Set region OK. region=3\n"}))
        << report.log;
}

TEST(RoadScenario, TaSarNotebookSelectsTheTriggerIndexBySensorPostureAndRegion) {
    kvsim::RunReport report = RunExample("notebook-tasar");
    ASSERT_EQ(report.exitCode, kvsim::kExitOk) << report.error;
    Lines commands;
    for (const std::string& line : Road(report))
        if (line.find(" AT ") != std::string::npos) commands.push_back(line);
    // FCC with sensor 0, then sensor 1 at 2 s, device mode 3 at 4 s; ISED from 6 s.
    Lines expected;
    for (const auto& [second, index] : {std::pair{"0", "1"}, {"2", "2"}, {"4", "3"}, {"6", "7"}})
        for (const auto& [tenth, command] :
             {std::pair{"1", std::string("AT+gttasen?")}, {"2", std::string("AT+gttasmode?")},
              {"3", std::string("AT+GTTASTRIGIDX=") + index}})
            expected.push_back(std::string(second) + "." + tenth + "00 AT " + command + "\\r\\n");
    EXPECT_EQ(commands, expected);
    EXPECT_EQ(Count(report.log, "TASar Index set success!\n"), 4u);
    EXPECT_TRUE(InOrder(report.log, {"mcc:310\n", "dwSensor1:0\n", "SarIndex:1\n", "dwSensor1:1\n", "SarIndex:2\n",
                                     "DeviceMode:3\n", "SarIndex:3\n", "mcc:302\n", "region find, region=ISED",
                                     "SarIndex:7\n"}))
        << report.log;
}

}  // namespace
