// The mapping tables of the example notebook give a region for its MCC and indexes
// for every device mode.
#include <fstream>
#include <sstream>
#include <string>

#include "platform/sim/registry_store.h"
#include "tests/config/xmltable_support.h"

namespace {

std::string SourceFile(const std::string& relative) {
    std::ifstream in(std::string(KV_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

class ExampleTablesTest : public xmltable::XmlTableTest {
protected:
    void SetUp() override {
        XmlTableTest::SetUp();
        const std::string region = SourceFile("examples/notebook/drives/C/Kavrion/KvConfigService/RegionMappingTable.xml");
        const std::string device = SourceFile("examples/notebook/drives/C/Kavrion/KvConfigService/DeviceModeToScenarioIndexMappingTable.xml");
        ASSERT_FALSE(region.empty());
        ASSERT_FALSE(device.empty());
        WriteFile(xmltable::kRegionTable, region);
        WriteFile(xmltable::kDeviceTable, device);
        machine().registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "SystemSKU", "KV-520R-NV-SKU1");
    }
};

TEST_F(ExampleTablesTest, RegionForTheMcc) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"310", "FCC"}, {"302", "ISED"}, {"234", "CE"}, {"460", "FCC"}, {"", "FCC"}};
    for (const auto& [mcc, expected] : cases) {
        std::string region;
        reader.getRegulatoryByMcc(xmltable::kRegionTable, mcc, region);
        EXPECT_EQ(region, expected) << mcc;
    }
}

TEST_F(ExampleTablesTest, IndexesForEveryDeviceMode) {
    std::string id;
    ASSERT_TRUE(reader.getWwanDeviceConfigID(xmltable::kDeviceTable, id));
    EXPECT_EQ(id, "0x1001");
    SetSarMapType("MapType_2");
    for (int mode = 0; mode <= 8; ++mode) {
        const std::string text = std::to_string(mode);
        EXPECT_GE(reader.GetSarIndexFromXml(xmltable::kDeviceTable, id, "FCC", "", text, "", ""), 0) << mode;
        EXPECT_GE(reader.GetSarIndexFromXml(xmltable::kDeviceTable, id, "CE", "", text, "", ""), 0) << mode;
        std::string index;
        EXPECT_TRUE(reader.GetIndexByAnt(xmltable::kDeviceTable, text, index)) << mode;
    }
    EXPECT_EQ(reader.GetSarIndexFromXml(xmltable::kDeviceTable, id, "CE", "", "4", "", ""), 11);
    SetSarMapType("MapType_3");
    EXPECT_EQ(reader.GetSarIndexFromXml(xmltable::kDeviceTable, id, "FCC", "", "7", "", "1"), 17);
    EXPECT_EQ(reader.IsSarTableIndexEnable(xmltable::kDeviceTable), 1);
}

}  // namespace
