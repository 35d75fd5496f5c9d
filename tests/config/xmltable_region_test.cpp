#include <string>
#include <vector>

#include "tests/config/xmltable_support.h"

namespace {

using xmltable::kRegionTable;

std::string RegionTable(const std::string& regions) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<RegionMappingTable>\n <RegionSwitch>\n  <SelectionRule>\n" +
           regions + "  </SelectionRule>\n </RegionSwitch>\n</RegionMappingTable>\n";
}

const std::string kWithDefault = RegionTable(
    "   <Region mcc=\"310\" Regulatory=\"fcc\"/>\n"
    "   <Region mcc=\"default\" Regulatory=\"ce\"/>\n"
    "   <Region mcc=\"234\" Regulatory=\"CE\"/>\n");
const std::string kWithoutDefault = RegionTable(
    "   <Region mcc=\"310\" Regulatory=\"fcc\"/>\n"
    "   <Region mcc=\"234\" Regulatory=\"CE\"/>\n");

class RegionTest : public xmltable::XmlTableTest {};

TEST_F(RegionTest, MapsTheMccThroughTheTable) {
    struct Case {
        const char* name;
        std::string table;  // empty: no file
        std::string mcc;
        int result;
        std::string region;
        std::string closing;
    };
    const std::vector<Case> cases = {
        {"exact match after the default", kWithDefault, "234", 1, "CE", "region find, region=CE"},
        {"exact match is upper-cased", kWithDefault, "310", 1, "FCC", "region find, region=fcc"},
        {"default entry", kWithDefault, "460", 2, "CE",
         "registration mcc is null, or region not find, default region=ce"},
        {"empty mcc takes the default", kWithDefault, "", 2, "CE",
         "registration mcc is null, or region not find, default region=ce"},
        {"no default", kWithoutDefault, "460", 0, "FCC", "region not find, and not default region, so set region=FCC"},
        {"mcc attribute lower-cased", RegionTable("<Region mcc=\"DEFAULT\" Regulatory=\"ISED\"/>"), "302", 2, "ISED",
         "registration mcc is null, or region not find, default region=ISED"},
        {"a later default replaces an earlier one",
         RegionTable("<Region mcc=\"default\" Regulatory=\"CE\"/><Region mcc=\"default\" Regulatory=\"ISED\"/>"), "1",
         2, "ISED", "registration mcc is null, or region not find, default region=ISED"},
        {"following siblings walked whatever their name",
         RegionTable("<Region mcc=\"1\" Regulatory=\"CE\"/><Other mcc=\"302\" Regulatory=\"ISED\"/>"), "302", 1,
         "ISED", "region find, region=ISED"},
        {"elements before the first Region are skipped",
         RegionTable("<Other mcc=\"302\" Regulatory=\"ISED\"/><Region mcc=\"1\" Regulatory=\"CE\"/>"), "302", 0,
         "FCC", "region not find, and not default region, so set region=FCC"},
        {"element without mcc matches nothing, not even an empty mcc",
         RegionTable("<Region Regulatory=\"CE\"/><Region mcc=\"default\"/>"), "", 2, "FCC",
         "region not find, and not default region, so set region=FCC"},
        {"matched entry without Regulatory", RegionTable("<Region mcc=\"310\"/>"), "310", 1, "FCC",
         "region not find, and not default region, so set region=FCC"},
        {"entities processed", RegionTable("<Region mcc=\"310\" Regulatory=\"F&#67;C\"/>"), "310", 1, "FCC",
         "region find, region=FCC"},
        {"no file", "", "310", 0, "FCC", "region not find, and not default region, so set region=FCC"},
    };
    for (const Case& c : cases) {
        if (!c.table.empty()) WriteFile(kRegionTable, c.table);
        std::string region = "stale";
        EXPECT_EQ(reader.getRegulatoryByMcc(c.table.empty() ? std::string(kRegionTable) + ".missing" : kRegionTable,
                                            c.mcc, region),
                  c.result)
            << c.name;
        EXPECT_EQ(region, c.region) << c.name;
        auto messages = Messages();
        ASSERT_GE(messages.size(), 2u) << c.name;
        EXPECT_EQ(messages[messages.size() - 2], c.closing) << c.name;
        EXPECT_EQ(messages.back(), "getRegulatoryByMcc done.") << c.name;
    }
}

TEST_F(RegionTest, LogsEntryAndMissingLevels) {
    struct Case {
        const char* name;
        std::string content;  // empty: no file
        std::string error;
    };
    const std::vector<Case> cases = {
        {"no file", "", "RegionMappingTable load faild."},
        {"malformed", "<RegionMappingTable><RegionSwitch>", "RegionMappingTable load faild."},
        {"no root", "<?xml version=\"1.0\"?><!-- nothing -->", "RootElement xml item error."},
        {"no RegionSwitch", "<T><Other/></T>", "RegionSwitch xml item error."},
        {"no SelectionRule", "<T><RegionSwitch><Rule/></RegionSwitch></T>", "SelectionRule xml item error."},
    };
    for (const Case& c : cases) {
        const std::string path = std::string("C:\\Kavrion\\KvConfigService\\") + c.name + ".xml";
        if (!c.content.empty()) WriteFile(path, c.content);
        CLog::GetInstance()->Close();
        WriteFile(xmltable::kLogPath, "");
        std::string region;
        EXPECT_EQ(reader.getRegulatoryByMcc(path, "310", region), 0) << c.name;
        EXPECT_EQ(region, "FCC") << c.name;
        EXPECT_EQ(Log(), (std::vector<xmltable::LogLine>{
                             {4, "getRegulatoryByMcc enter."},
                             {4, path},
                             {4, "310"},
                             {1, c.error},
                             {4, "region not find, and not default region, so set region=FCC"},
                             {4, "getRegulatoryByMcc done."}}))
            << c.name;
    }
}

TEST_F(RegionTest, NoRegionElementLogsNothingMore) {
    WriteFile(kRegionTable, RegionTable("<Rule mcc=\"310\" Regulatory=\"CE\"/>"));
    std::string region;
    EXPECT_EQ(reader.getRegulatoryByMcc(kRegionTable, "310", region), 0);
    EXPECT_EQ(region, "FCC");
    EXPECT_EQ(Messages().size(), 5u);
}

}  // namespace
