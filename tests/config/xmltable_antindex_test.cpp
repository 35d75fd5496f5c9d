#include <string>
#include <vector>

#include "tests/config/xmltable_support.h"

namespace {

using xmltable::kDeviceTable;
using xmltable::LogLine;

std::string AntTable(const std::string& firstEntry, const std::string& secondEntry = "") {
    return "<?xml version=\"1.0\"?>\n<Root>\n <WwanDeviceConfigIDList>\n" + firstEntry + secondEntry +
           " </WwanDeviceConfigIDList>\n</Root>\n";
}

std::string Entry(const std::string& id, const std::string& items, const std::string& after = "") {
    return "  <WwanDeviceConfigID ID=\"" + id + "\"><SwitchTable><AntTurnerTableIndex>" + items +
           "</AntTurnerTableIndex>" + after + "</SwitchTable></WwanDeviceConfigID>\n";
}

const std::string kItems = "<Item DeviceMode=\"0\" Index=\"0\"/><Item DeviceMode=\"4\" Index=\"3\"/>"
                           "<Other DeviceMode=\"7\" Index=\"6\"/><Item Index=\"9\"/><Item DeviceMode=\"4\" Index=\"8\"/>";

class AntIndexTest : public xmltable::XmlTableTest {};

TEST_F(AntIndexTest, FirstItemOfTheFirstEntryForTheDeviceMode) {
    struct Case {
        const char* name;
        std::string deviceMode;
        bool found;
        std::string index;
    };
    const std::vector<Case> cases = {
        {"first item", "0", true, "0"},
        {"first of two matches", "4", true, "3"},
        {"siblings of any name", "7", true, "6"},
        {"item without DeviceMode matches nothing", "", false, ""},
        {"no match", "5", false, ""},
        {"exact text", "04", false, ""},
    };
    // The second entry is the device's own, yet the first is read.
    WriteFile(kDeviceTable, AntTable(Entry("other", kItems), Entry("default", "<Item DeviceMode=\"5\" Index=\"1\"/>")));
    for (const Case& c : cases) {
        std::string index = "unchanged";
        EXPECT_EQ(reader.GetIndexByAnt(kDeviceTable, c.deviceMode, index), c.found) << c.name;
        EXPECT_EQ(index, c.found ? c.index : "unchanged") << c.name;
        if (c.found) {
            EXPECT_EQ(LineFromEnd(1), (LogLine{4, "AntTurnerTableIndex:" + c.index})) << c.name;
            EXPECT_EQ(LineFromEnd(), (LogLine{1, "GetIndexByAnt end"})) << c.name;
        } else {
            EXPECT_EQ(LineFromEnd(), (LogLine{1, "ItemNode xml item not found."})) << c.name;
        }
    }
    EXPECT_EQ(FirstLine(), (LogLine{1, "GetIndexByAnt enter"}));
}

// Missing levels, for the antenna index reader and for the flag reader that walks the same way.
TEST_F(AntIndexTest, MissingLevelsFail) {
    struct Level {
        std::string content;  // empty: no file
        std::string error;
    };
    const std::vector<Level> levels = {
        {"", "Xml is not found,GetXmlVersion failed!"},
        {"<Root><Open></Root>", "Xml is not found,GetXmlVersion failed!"},
        {"<?xml version=\"1.0\"?>\n<!-- - -->", "rootElement is not found,GetXmlVersion failed!"},
        {"<Root><WwanDeviceConfigureIDTable/></Root>", "WwanDeviceConfigIDList is not found,GetXmlVersion failed!"},
        {AntTable("<Other/>"), "WwanDeviceConfigID is not found,GetXmlVersion failed!"},
        {AntTable("<WwanDeviceConfigID ID=\"a\"/>"), "SwitchTable is not found,GetXmlVersion failed!"},
        {AntTable("<WwanDeviceConfigID><SwitchTable><SarTableIndex/></SwitchTable></WwanDeviceConfigID>"),
         "AntTurnerTableIndex is not found,GetXmlVersion failed!"},
    };
    int n = 0;
    for (const Level& level : levels) {
        const std::string path = "C:\\Kavrion\\KvConfigService\\t" + std::to_string(n++) + ".xml";
        if (!level.content.empty()) WriteFile(path, level.content);
        std::string index = "unchanged";
        EXPECT_FALSE(reader.GetIndexByAnt(path, "1", index)) << level.error;
        EXPECT_EQ(index, "unchanged");
        EXPECT_EQ(LineFromEnd(), (LogLine{1, level.error}));
        EXPECT_EQ(reader.IsSarTableIndexEnable(path), 0) << level.error;
        EXPECT_EQ(LineFromEnd(), (LogLine{1, level.error}));
    }
    WriteFile(kDeviceTable, AntTable(Entry("a", "<Other DeviceMode=\"1\" Index=\"1\"/>")));
    std::string index;
    EXPECT_FALSE(reader.GetIndexByAnt(kDeviceTable, "1", index));
    EXPECT_EQ(LineFromEnd(), (LogLine{1, "Item is not found,GetXmlVersion failed!"}));
}

TEST_F(AntIndexTest, SarTableIndexFlag) {
    struct Case {
        const char* name;
        std::string after;
        int result;
        LogLine last;
    };
    const std::vector<Case> cases = {
        {"false", "<SarTableIndex FlagValue=\"false\"/>", 0,
         {4, "SarTableIndex FlagValue is false,stop config SarTableIndex!"}},
        {"true", "<SarTableIndex FlagValue=\"true\"/>", 1, {1, "IsSarTableIndexEnable end"}},
        {"exact text", "<SarTableIndex FlagValue=\"False\"/>", 1, {1, "IsSarTableIndexEnable end"}},
        {"no flag", "<SarTableIndex/>", 1, {1, "IsSarTableIndexEnable end"}},
        {"first SarTableIndex after the antenna table", "<Other/><SarTableIndex FlagValue=\"false\"/>", 0,
         {4, "SarTableIndex FlagValue is false,stop config SarTableIndex!"}},
        {"no SarTableIndex", "", 1, {1, "IsSarTableIndexEnable end"}},
    };
    for (const Case& c : cases) {
        WriteFile(kDeviceTable, AntTable(Entry("a", kItems, c.after)));
        EXPECT_EQ(reader.IsSarTableIndexEnable(kDeviceTable), c.result) << c.name;
        EXPECT_EQ(LineFromEnd(), c.last) << c.name;
    }
    EXPECT_EQ(TypeOf("IsSarTableIndexEnable enter"), 1);
}

TEST_F(AntIndexTest, XmlVersion) {
    struct Case {
        const char* name;
        std::string content;  // empty: no file
        bool read;
        std::string version;
        LogLine last;
    };
    const std::vector<Case> cases = {
        {"version", "<SarTable><XmlVer>0001.0002.000003.0004.0005.006</XmlVer></SarTable>", true,
         "0001.0002.000003.0004.0005.006", {4, "Xml version:0001.0002.000003.0004.0005.006"}},
        {"blanks kept, entities processed", "<T><Other/><XmlVer> v&amp;1 </XmlVer></T>", true, " v&1 ",
         {4, "Xml version: v&1 "}},
        {"empty element", "<T><XmlVer/></T>", true, "", {4, "Xml version:"}},
        {"only a direct child", "<T><A><XmlVer>1</XmlVer></A></T>", false, "unchanged",
         {1, "XmlVer is not found,GetXmlVersion failed!"}},
        {"no root", "<?xml version=\"1.0\"?>\n<!-- x -->", false, "unchanged",
         {1, "rootElement is not found,GetXmlVersion failed!"}},
        {"no file", "", false, "unchanged", {1, "Xml is not found,GetXmlVersion failed!"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string path = "C:\\Kavrion\\KavrConfigFiles\\v" + std::to_string(n++) + ".xml";
        if (!c.content.empty()) WriteFile(path, c.content);
        std::string version = "unchanged";
        EXPECT_EQ(reader.GetXmlVersion(path, version), c.read) << c.name;
        EXPECT_EQ(version, c.version) << c.name;
        EXPECT_EQ(LineFromEnd(), c.last) << c.name;
    }
}

TEST(XmlTableText, SmallHelpers) {
    EXPECT_EQ(CXmlTableReader::ToLowerCopy("AbC_1-Z\xC4"), "abc_1-z\xC4");
    EXPECT_TRUE(CXmlTableReader::StrEqualNoCase("SKU_a", "sku_A"));
    EXPECT_FALSE(CXmlTableReader::StrEqualNoCase("SKU_a", "SKU_a "));
    EXPECT_TRUE(CXmlTableReader::StrEqualNoCase("", ""));
    EXPECT_EQ(CXmlTableReader::AlwaysTrue(""), 1);
}

}  // namespace
