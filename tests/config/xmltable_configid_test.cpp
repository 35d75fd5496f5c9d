#include <string>
#include <vector>

#include "platform/sim/registry_store.h"
#include "tests/config/xmltable_support.h"

namespace {

using xmltable::kDeviceTable;

const char kSkuKey[] = "HKLM\\SYSTEM\\HardwareConfig\\Current";

std::string Paths(const std::vector<std::string>& registryPaths) {
    std::string text;
    for (const auto& path : registryPaths) text += "   <CustProductNamePath RegistryPath=\"" + path + "\"/>\n";
    return text;
}

std::string Skus(const std::vector<std::pair<std::string, std::string>>& skus) {
    std::string text;
    for (const auto& [product, id] : skus)
        text += "   <UniqueSkuID ProductID=\"" + product + "\" WwanDeviceConfigID=\"" + id + "\"/>\n";
    return text;
}

std::string DeviceTable(const std::string& mode, const std::string& number, const std::string& paths,
                        const std::string& skus) {
    return "<?xml version=\"1.0\"?>\n<DeviceModeToScenarioIndexMappingTable>\n <WwanDeviceConfigureIDTable>\n"
           "  <CustProductNamePathToUniqueSkuID CombineMode=\"" +
           mode + "\" CustProductNamePathNumber=\"" + number + "\">\n" + paths +
           "  </CustProductNamePathToUniqueSkuID>\n  <UniqueSkuIDToWwanDeviceConfigureIDMappingTable>\n" + skus +
           "  </UniqueSkuIDToWwanDeviceConfigureIDMappingTable>\n </WwanDeviceConfigureIDTable>\n"
           "</DeviceModeToScenarioIndexMappingTable>\n";
}

// Values V1, V2, V3 under the SKU key; "Gone" is never written.
const std::string kV1 = "SYSTEM\\HardwareConfig\\Current,V1";
const std::string kV2 = "SYSTEM\\HardwareConfig\\Current,V2";
const std::string kV3 = "SYSTEM\\HardwareConfig\\Current,V3";
const std::string kGone = "SYSTEM\\HardwareConfig\\Current,Gone";

class ConfigIdTest : public xmltable::XmlTableTest {
protected:
    void SetValues(const std::string& v1, const std::string& v2, const std::string& v3) {
        machine().registry().SetString(kSkuKey, "V1", v1);
        machine().registry().SetString(kSkuKey, "V2", v2);
        machine().registry().SetString(kSkuKey, "V3", v3);
    }
};

struct Case {
    const char* name;
    std::string mode;
    std::string number;
    std::vector<std::string> paths;
    std::vector<std::pair<std::string, std::string>> skus;
    bool found;
    std::string id;
};

TEST_F(ConfigIdTest, FindsTheConfigurationIdByMode) {
    SetValues("X", "Y", "Z");
    const std::vector<Case> cases = {
        // Single: each value alone, in document order; the first matching UniqueSkuID.
        {"single first path", "Single", "", {kV1, kV2}, {{"y", "ID-Y"}, {"x", "ID-X"}}, true, "ID-X"},
        {"single later path", "single", "", {kV1, kV2}, {{"Y", "ID-Y"}}, true, "ID-Y"},
        {"single first of duplicates", "SINGLE", "", {kV1}, {{"X", "first"}, {"X", "second"}}, true, "first"},
        {"single unreadable and malformed paths skipped", "Single", "",
         {kGone, "SYSTEM\\HardwareConfig\\Current", ",V1", kV3}, {{"X", "ID-X"}, {"Z", "ID-Z"}}, true, "ID-Z"},
        {"single sku without ProductID matches nothing", "Single", "", {kV1},
         {{"", ""}}, false, ""},
        {"single no match", "Single", "", {kV1, kV2}, {{"X_Y", "ID"}}, false, ""},
        // Combine: the readable values joined with "_".
        {"combine skips unreadable", "Combine", "", {kV1, kGone, kV3}, {{"X", "1"}, {"x_z", "ID-XZ"}}, true, "ID-XZ"},
        {"combine all", "combine", "", {kV1, kV2, kV3}, {{"X_Y_Z", "ID-XYZ"}}, true, "ID-XYZ"},
        {"combine no match", "Combine", "", {kV1, kV3}, {{"X", "1"}, {"Z", "2"}}, false, ""},
        // Search, n = 2 over X, Y, Z: X_Y, X_Z, Y_Z, X, Y and Z.
        {"search pair", "Search", "2", {kV1, kV2, kV3}, {{"x_z", "ID-XZ"}}, true, "ID-XZ"},
        {"search later pair", "Search", "2", {kV1, kV2, kV3}, {{"Y_Z", "ID-YZ"}}, true, "ID-YZ"},
        {"search first single", "Search", "2", {kV1, kV2, kV3}, {{"X", "ID-X"}}, true, "ID-X"},
        {"search last value alone", "Search", "2", {kV1, kV2, kV3}, {{"Z", "ID-Z"}}, true, "ID-Z"},
        {"search pair out of order", "Search", "2", {kV1, kV2, kV3}, {{"Y_X", "1"}, {"Z_X", "2"}}, false, ""},
        {"search no triple for n=2", "Search", "2", {kV1, kV2, kV3}, {{"X_Y_Z", "1"}}, false, ""},
        {"search lowest ProductID wins", "Search", "2", {kV1, kV2, kV3}, {{"Y", "ID-Y"}, {"X_Z", "ID-XZ"}}, true,
         "ID-XZ"},
        {"search later duplicate replaces", "Search", "2", {kV1, kV2, kV3}, {{"X", "first"}, {"X", "second"}}, true,
         "second"},
        // Search, n = 3 and n = 1.
        {"search triple", "Search", "3", {kV1, kV2, kV3}, {{"X_Y_Z", "ID-XYZ"}}, true, "ID-XYZ"},
        {"search n=3 pairs too", "Search", "3", {kV1, kV2, kV3}, {{"X_Z", "ID-XZ"}}, true, "ID-XZ"},
        {"search n=1 singles only", "Search", "1", {kV1, kV2, kV3}, {{"X_Y", "1"}}, false, ""},
        {"search n=1 last single", "Search", "1", {kV1, kV2, kV3}, {{"z", "ID-Z"}}, true, "ID-Z"},
        {"search unreadable skipped", "Search", "2", {kGone, kV1, kV3}, {{"X_Z", "ID-XZ"}}, true, "ID-XZ"},
        // Any other mode.
        {"unknown mode", "Join", "2", {kV1}, {{"X", "1"}}, false, ""},
        {"no mode", "", "", {kV1}, {{"X", "1"}}, false, ""},
    };
    for (const Case& c : cases) {
        WriteFile(kDeviceTable, DeviceTable(c.mode, c.number, Paths(c.paths), Skus(c.skus)));
        std::string id = "unchanged";
        EXPECT_EQ(reader.getWwanDeviceConfigID(kDeviceTable, id), c.found) << c.name;
        EXPECT_EQ(id, c.found ? c.id : "unchanged") << c.name;
        auto messages = Messages();
        if (c.found) {
            EXPECT_EQ(LineFromEnd().text, "getWwanDeviceConfigID OK. WwanDeviceConfigID = " + c.id) << c.name;
        } else {
            ASSERT_GE(messages.size(), 2u);
            EXPECT_EQ(messages[messages.size() - 2], "getWwanDeviceConfigID not find.") << c.name;
            EXPECT_EQ(messages.back(), "getWwanDeviceConfigID done.") << c.name;
        }
    }
}

TEST_F(ConfigIdTest, SearchWithTooFewValuesOrBadNumberIsInvalid) {
    SetValues("X", "Y", "Z");
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {"3", {kV1, kGone, kV2}}, {"0", {kV1}}, {"4", {kV1, kV2, kV3}}, {"", {kV1}}, {"two", {kV1, kV2}}};
    for (const auto& [number, paths] : cases) {
        WriteFile(kDeviceTable, DeviceTable("Search", number, Paths(paths), Skus({{"X", "1"}})));
        std::string id;
        EXPECT_FALSE(reader.getWwanDeviceConfigID(kDeviceTable, id)) << number;
        EXPECT_EQ(LineFromEnd().text, "CustProductNamePathNumber is invalid.") << number;
        EXPECT_EQ(TypeOf("CustProductNamePathNumber is invalid."), 4);
    }
}

TEST_F(ConfigIdTest, LogsTheValuesReadPerMode) {
    SetValues("P", "", "Q");
    WriteFile(kDeviceTable, DeviceTable("Single", "", Paths({kV1, kGone, kV3}), Skus({{"q", "Q-ID"}})));
    std::string id;
    ASSERT_TRUE(reader.getWwanDeviceConfigID(kDeviceTable, id));
    auto messages = Messages();
    std::vector<std::string> expected = {"getWwanDeviceConfigID enter.", kDeviceTable,
                                         "Read the Registry Key Value = P", "Read the Registry Key Value = Q",
                                         "Q-ID", "getWwanDeviceConfigID OK. WwanDeviceConfigID = Q-ID"};
    std::vector<std::string> own;
    for (const auto& m : messages)
        if (m != "GetRegKeyValue enter." && m != "GetRegKeyValue done." && m != "RegQueryValueEx error")
            own.push_back(m);
    EXPECT_EQ(own, expected);

    // Combine: one line with the joined text, the ID logged once; an empty value read
    // first adds no separator.
    WriteFile(kDeviceTable, DeviceTable("Combine", "", Paths({kV2, kV1, kGone, kV3}), Skus({{"P_Q", "PQ"}})));
    ASSERT_TRUE(reader.getWwanDeviceConfigID(kDeviceTable, id));
    EXPECT_EQ(id, "PQ");
    messages = Messages();
    EXPECT_EQ(messages[messages.size() - 2], "Read the Registry Key Value = P_Q");
    EXPECT_EQ(messages[messages.size() - 3], "GetRegKeyValue done.");
}

TEST_F(ConfigIdTest, MissingLevelsFail) {
    struct Level {
        std::string content;  // empty: no file
        std::string error;
    };
    const std::vector<Level> levels = {
        {"", "WwanDeviceIdImageMappingTable.xml load faild. "},
        {"<!-- no element -->", "RootElement xml item error."},
        {"<T><WwanDeviceConfigIDList/></T>", "WwanDeviceConfigureidTable xml item error."},
        {"<T><WwanDeviceConfigureIDTable><CustProductNamePathToUniqueSkuID CombineMode=\"Single\"/>"
         "</WwanDeviceConfigureIDTable></T>",
         "UniqueSkuIDToWwanDeviceConfigureIDMappingTable error."},
        {"<T><WwanDeviceConfigureIDTable><UniqueSkuIDToWwanDeviceConfigureIDMappingTable/>"
         "</WwanDeviceConfigureIDTable></T>",
         "CustProductNamePathToUniqueSkuID error."},
    };
    int n = 0;
    for (const Level& level : levels) {
        const std::string path = "C:\\Kavrion\\KvConfigService\\t" + std::to_string(n++) + ".xml";
        if (!level.content.empty()) WriteFile(path, level.content);
        std::string id = "unchanged";
        EXPECT_FALSE(reader.getWwanDeviceConfigID(path, id)) << level.error;
        EXPECT_EQ(id, "unchanged");
        EXPECT_EQ(LineFromEnd(), (xmltable::LogLine{1, level.error}));
    }
}

TEST_F(ConfigIdTest, ReadsSoftwarePathsInThe32BitView) {
    machine().registry().SetString("HKLM\\SOFTWARE\\WOW6432Node\\OEM\\Sku", "Name", "SKU9");
    machine().registry().SetString("HKLM\\SOFTWARE\\OEM\\Sku", "Name", "NATIVE");
    WriteFile(kDeviceTable, DeviceTable("Single", "", Paths({"SOFTWARE\\OEM\\Sku,Name"}),
                                        Skus({{"NATIVE", "wrong"}, {"sku9", "ID9"}})));
    std::string id;
    EXPECT_TRUE(reader.getWwanDeviceConfigID(kDeviceTable, id));
    EXPECT_EQ(id, "ID9");
}

}  // namespace
