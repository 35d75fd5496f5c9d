#include <string>
#include <vector>

#include "tests/config/xmltable_support.h"

namespace {

using xmltable::kDeviceTable;
using xmltable::LogLine;

const std::string kMaps =
    "    <MapType_1><Standard Value=\"FCC\" Index=\"1\"/><Standard Value=\"BR\" Index=\"x\"/>"
    "<Standard Value=\"CE\" Index=\"2\"/></MapType_1>\n"
    "    <MapType_2>\n"
    "     <Standard Value=\"FCC\"><Item DeviceMode=\"1\" Index=\"11\"/><Item DeviceMode=\"2\" Index=\"12\"/></Standard>\n"
    "     <Standard Value=\"ce\"><Item DeviceMode=\"1\" Index=\"13\"/><Other DeviceMode=\"5\" Index=\"15\"/></Standard>\n"
    "     <Standard Value=\"CE\"><Item DeviceMode=\"3\" Index=\"14\"/></Standard>\n"
    "     <Standard Value=\"ISED\"/>\n"
    "     <Standard Value=\"MX\"><Item DeviceMode=\"1\" Index=\"abc\"/><Item DeviceMode=\"2\" Index=\"-3\"/>"
    "<Item DeviceMode=\"3\" Index=\"\"/><Item DeviceMode=\"4\"/><Item DeviceMode=\"5\" Index=\"99999999999\"/>"
    "</Standard>\n"
    "    </MapType_2>\n"
    "    <MapType_3><Standard Value=\"FCC\"><Item DeviceMode=\"1\" Sensor1=\"1\" Index=\"20\"/>"
    "<Item DeviceMode=\"1\" Sensor1=\"0\" Index=\"21\"/></Standard></MapType_3>\n"
    "    <MapType_4x><Standard Value=\"FCC\"><Item Sensor1=\"1\" DeviceMode=\"2\" Sensor2=\"0\" Index=\"41\"/>"
    "</Standard></MapType_4x>\n"
    "    <MapType_5><Standard Value=\"FCC\"><Item Sensor1=\"1\" Sensor2=\"2\" DeviceMode=\"4\" Index=\"50\"/>"
    "<Item Sensor1=\"1\" Sensor2=\"2\" Sensor3=\"3\" DeviceMode=\"4\" Index=\"51\"/></Standard></MapType_5>\n"
    "    <MapType_1x><Standard Value=\"FCC\" Index=\"9\"/></MapType_1x>\n"
    "    <MapType_6><Standard Value=\"FCC\" Index=\"6\"/></MapType_6>\n";

std::string Entry(const std::string& id, const std::string& sarTable) {
    return "  <WwanDeviceConfigID ID=\"" + id + "\">\n   <SwitchTable>\n" +
           "    <AntTurnerTableIndex><Item DeviceMode=\"1\" Index=\"4\"/></AntTurnerTableIndex>\n" + sarTable +
           "   </SwitchTable>\n  </WwanDeviceConfigID>\n";
}

std::string Table(const std::string& blackList, const std::string& entries) {
    return "<?xml version=\"1.0\"?>\n<DeviceModeToScenarioIndexMappingTable>\n <WwanDeviceConfigID_BlackList>\n" +
           blackList + " </WwanDeviceConfigID_BlackList>\n <WwanDeviceConfigIDList>\n" + entries +
           " </WwanDeviceConfigIDList>\n</DeviceModeToScenarioIndexMappingTable>\n";
}

const std::string kBlackList = "  <WwanDeviceConfigID WwanDeviceConfigIDValue=\"BAD1\"/>\n"
                               "  <Other WwanDeviceConfigIDValue=\"BAD2\"/>\n"
                               "  <WwanDeviceConfigID/>\n";
const std::string kFullTable =
    Table(kBlackList, Entry("A1", "    <SarTableIndex FlagValue=\"true\">\n" + kMaps + "    </SarTableIndex>\n") +
                          "  <WwanDeviceConfigID/>\n" +
                          Entry("default", "    <SarTableIndex><MapType_1><Standard Value=\"FCC\" Index=\"7\"/>"
                                           "</MapType_1></SarTableIndex>\n"));

class SarIndexTest : public xmltable::XmlTableTest {};

TEST_F(SarIndexTest, MapsRegionDeviceModeAndSensors) {
    struct Case {
        const char* name;
        std::string mapType;
        std::string id;
        std::string region;
        std::string sensor1, sensor2, sensor3, deviceMode;
        int index;
        std::string lastError;  // the type-1 line that ends a failed lookup, if any
    };
    const std::vector<Case> cases = {
        {"map 1 match", "MapType_1", "A1", "CE", "", "", "", "", 2, ""},
        {"map 1 first match", "MapType_1", "A1", "FCC", "", "", "", "", 1, ""},
        {"map 1 no match takes the last", "MapType_1", "A1", "ISED", "", "", "", "", 2, ""},
        {"map 1x is no map type", "MapType_1x", "A1", "FCC", "", "", "", "", -1, ""},
        {"map 6 is no map type", "MapType_6", "A1", "FCC", "", "", "", "", -1, ""},
        {"map 2", "MapType_2", "A1", "FCC", "", "", "", "2", 12, ""},
        {"map 2 value upper-cased", "MapType_2", "A1", "CE", "", "", "", "1", 13, ""},
        {"map 2 items of any name", "MapType_2", "A1", "CE", "", "", "", "5", 15, ""},
        {"map 2 only the first matching standard", "MapType_2", "A1", "CE", "", "", "", "3", -1,
         "ItemElement xml item not found."},
        {"map 2 no item", "MapType_2", "A1", "ISED", "", "", "", "1", -1, "ItemElement xml item error."},
        {"map 2 no standard", "MapType_2", "A1", "JP", "", "", "", "1", -1, "StandardElement xml item error."},
        {"map 2 empty device mode", "MapType_2", "A1", "FCC", "1", "1", "1", "", -1, "DeviceMode is null!"},
        {"map 1 index not a number", "MapType_1", "A1", "BR", "", "", "", "", -1, "SarIndex is invalid:x"},
        {"map 2 index not a number", "MapType_2", "A1", "MX", "", "", "", "1", -1, "SarIndex is invalid:abc"},
        {"map 2 negative index", "MapType_2", "A1", "MX", "", "", "", "2", -1, "SarIndex is invalid:-3"},
        {"map 2 empty index", "MapType_2", "A1", "MX", "", "", "", "3", -1, "SarIndex is invalid:"},
        {"map 2 item without an index", "MapType_2", "A1", "MX", "", "", "", "4", -1, "SarIndex is invalid:"},
        {"map 2 index too large", "MapType_2", "A1", "MX", "", "", "", "5", -1, "SarIndex is invalid:99999999999"},
        {"map 3", "MapType_3", "A1", "FCC", "0", "", "", "1", 21, ""},
        {"map 3 empty sensor1", "MapType_3", "A1", "FCC", "", "", "", "1", -1, "Sensor1 is null!"},
        {"map 3 device mode checked first", "MapType_3", "A1", "FCC", "", "", "", "", -1, "DeviceMode is null!"},
        {"map 4x", "MapType_4x", "A1", "FCC", "1", "0", "", "2", 41, ""},
        {"map 4x no match", "MapType_4x", "A1", "FCC", "1", "1", "", "2", -1, "ItemElement xml item not found."},
        {"map 4x sensor1 checked first", "MapType_4x", "A1", "FCC", "", "", "", "", -1, "Sensor1 is null!"},
        {"map 4x device mode before sensor2", "MapType_4x", "A1", "FCC", "1", "", "", "", -1, "DeviceMode is null!"},
        {"map 4x empty sensor2", "MapType_4x", "A1", "FCC", "1", "", "", "2", -1, "Sensor2 is null!"},
        {"map 5 item without Sensor3 matches nothing", "MapType_5", "A1", "FCC", "1", "2", "3", "4", 51, ""},
        {"map 5 device mode before sensor2", "MapType_5", "A1", "FCC", "1", "", "", "", -1, "DeviceMode is null!"},
        {"map 5 sensor2 before sensor3", "MapType_5", "A1", "FCC", "1", "", "", "4", -1, "Sensor2 is null!"},
        {"map 5 empty sensor3", "MapType_5", "A1", "FCC", "1", "2", "", "4", -1, "Sensor3 is null!"},
        {"default entry", "MapType_1", "Z9", "FCC", "", "", "", "", 7, ""},
        {"default entry without the map", "MapType_2", "Z9", "FCC", "", "", "", "1", -1,
         "MapTypeElement xml item error."},
        {"no SarMapType", "", "A1", "FCC", "", "", "", "1", -1, "MapTypeElement xml item error."},
        {"SarMapType names no element", "MapType_3b", "A1", "FCC", "", "", "", "1", -1,
         "MapTypeElement xml item error."},
        {"SarMapType cut at 19 characters", "MapType_2_and_more_chars", "A1", "FCC", "", "", "", "1", -1,
         "MapTypeElement xml item error."},
        {"black list", "MapType_1", "BAD1", "FCC", "", "", "", "", -1,
         "WwanDeviceConfigID is in WwanDeviceConfigID_BlackList!Stop config!"},
        {"black list siblings of any name", "MapType_1", "BAD2", "FCC", "", "", "", "", -1,
         "WwanDeviceConfigID is in WwanDeviceConfigID_BlackList!Stop config!"},
        {"empty region", "MapType_1", "A1", "", "", "", "", "", -1, "regmcc is null"},
    };
    WriteFile(kDeviceTable, kFullTable);
    for (const Case& c : cases) {
        SetSarMapType(c.mapType);
        CLog::GetInstance()->Close();
        WriteFile(xmltable::kLogPath, "");
        EXPECT_EQ(reader.GetSarIndexFromXml(kDeviceTable, c.id, c.region, c.sensor3, c.deviceMode, c.sensor2,
                                            c.sensor1),
                  c.index)
            << c.name;
        const auto log = Log();
        ASSERT_FALSE(log.empty());
        if (c.index >= 0) {
            EXPECT_EQ(log.back(), (LogLine{4, "GetSarIndexFromXml done"})) << c.name;
        } else if (!c.lastError.empty()) {
            EXPECT_EQ(log.back(), (LogLine{1, c.lastError})) << c.name;
        }
        bool anyError = false;
        for (const LogLine& line : log) anyError = anyError || line.type == 1;
        EXPECT_EQ(anyError, !c.lastError.empty()) << c.name;
    }
}

TEST_F(SarIndexTest, LogsTheWholeWalk) {
    WriteFile(kDeviceTable, kFullTable);
    SetSarMapType("MapType_2");
    EXPECT_EQ(reader.GetSarIndexFromXml(kDeviceTable, "Z9", "FCC", "", "2", "", ""), -1);
    EXPECT_EQ(Log(), (std::vector<LogLine>{
                         {4, "GetSarIndexFromXml enter"},
                         {4, kDeviceTable},
                         {4, "WwanDeviceConfigID is not in WwanDeviceConfigID_BlackList,continue..."},
                         {4, "Find SarMapType from kvwwanConfig.ini,SarMapType = MapType_2"},
                         {4, "Find WwanDeviceConfigID begin ----------------------------"},
                         {4, "A1"},
                         {4, ""},
                         {4, "default"},
                         {4, "Defalut_WwanDeviceConfigID find in WwanDeviceConfigIDList."},
                         {4, "Find WwanDeviceConfigID end ----------------------------"},
                         {4, "Use default WwanDeviceConfigID in WwanDeviceConfigIDList."},
                         {1, "MapTypeElement xml item error."},
                     }));

    CLog::GetInstance()->Close();
    WriteFile(xmltable::kLogPath, "");
    EXPECT_EQ(reader.GetSarIndexFromXml(kDeviceTable, "A1", "FCC", "", "2", "", ""), 12);
    EXPECT_EQ(Log(), (std::vector<LogLine>{
                         {4, "GetSarIndexFromXml enter"},
                         {4, kDeviceTable},
                         {4, "WwanDeviceConfigID is not in WwanDeviceConfigID_BlackList,continue..."},
                         {4, "Find SarMapType from kvwwanConfig.ini,SarMapType = MapType_2"},
                         {4, "Find WwanDeviceConfigID begin ----------------------------"},
                         {4, "A1"},
                         {4, "WwanDeviceConfigID find in WwanDeviceConfigIDList."},
                         {4, "Find WwanDeviceConfigID end ----------------------------"},
                         {4, "SarIndex:12"},
                         {4, "GetSarIndexFromXml done"},
                     }));
}

TEST_F(SarIndexTest, BlackListStopsBeforeSarMapTypeIsRead) {
    WriteFile(kDeviceTable, kFullTable);
    SetSarMapType("MapType_1");
    EXPECT_EQ(reader.GetSarIndexFromXml(kDeviceTable, "BAD1", "FCC", "", "", "", ""), -1);
    EXPECT_EQ(Log(), (std::vector<LogLine>{{4, "GetSarIndexFromXml enter"},
                                           {4, kDeviceTable},
                                           {1, "WwanDeviceConfigID is in WwanDeviceConfigID_BlackList!Stop config!"}}));
}

TEST_F(SarIndexTest, MissingLevelsFail) {
    const std::string sar = "    <SarTableIndex><MapType_1><Standard Value=\"FCC\" Index=\"1\"/></MapType_1></SarTableIndex>\n";
    struct Level {
        std::string content;  // empty: no file
        std::string error;
    };
    const std::vector<Level> levels = {
        {"", "LoadFile Failed"},
        {"<Root>", "LoadFile Failed"},
        {"<!-- only a comment -->", "RootElement xml item error."},
        {"<T><WwanDeviceConfigIDList/></T>", "WwanDeviceConfigID_BlackList xml item error."},
        {"<T><WwanDeviceConfigID_BlackList><Other/></WwanDeviceConfigID_BlackList></T>",
         "WwanDeviceConfigIDElement xml item error."},
        {"<T><WwanDeviceConfigID_BlackList><WwanDeviceConfigID/></WwanDeviceConfigID_BlackList></T>",
         "WwanDeviceConfigIDListElement xml item error."},
        {Table("<WwanDeviceConfigID/>", "<Other ID=\"A1\"/>"), "WwanDeviceConfigIDElement xml item error."},
        {Table("<WwanDeviceConfigID/>", Entry("B2", sar)),
         "WwanDeviceConfigID and Default_WwanDeviceConfigID not exist in WwanDeviceConfigIDList."},
        {Table("<WwanDeviceConfigID/>", "<WwanDeviceConfigID ID=\"A1\"/>"), "SwitchTableElement xml item error."},
        {Table("<WwanDeviceConfigID/>", Entry("A1", "")), "SarTableIndexElement xml item error."},
        {Table("<WwanDeviceConfigID/>", Entry("A1", "<SarTableIndex/>")), "MapTypeElement xml item error."},
        {Table("<WwanDeviceConfigID/>", Entry("A1", "<SarTableIndex><MapType_1><Item/></MapType_1></SarTableIndex>")),
         "StandardElement xml item error."},
    };
    SetSarMapType("MapType_1");
    int n = 0;
    for (const Level& level : levels) {
        const std::string path = "C:\\Kavrion\\KvConfigService\\t" + std::to_string(n++) + ".xml";
        if (!level.content.empty()) WriteFile(path, level.content);
        EXPECT_EQ(reader.GetSarIndexFromXml(path, "A1", "FCC", "", "", "", ""), -1) << level.error;
        EXPECT_EQ(LineFromEnd(), (LogLine{1, level.error})) << n;
    }
}

}  // namespace
