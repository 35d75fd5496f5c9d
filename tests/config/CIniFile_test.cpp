#include "config/CIniFile.h"

#include <map>
#include <string>

#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
using Map = std::map<std::string, std::string>;

class IniFileTest : public SimTest {
protected:
    const std::string path = "C:\\Product\\SAR_DPR_PV.ini";
    CIniFile ini;
    void SetUp() override {
        SimTest::SetUp();
        ini.SetFileName(path);
    }
};

TEST_F(IniFileTest, GetValueReadsTheValueAndItsLength) {
    WriteFile(path, "[Table]\nKey=abc\n");
    std::string value = "stale";
    EXPECT_EQ(ini.GetValue("Table", "Key", value), 3);
    EXPECT_EQ(value, "abc");
}

TEST_F(IniFileTest, GetValueOfAnythingMissingIsEmpty) {
    WriteFile(path, "[Table]\nKey=abc\n");
    struct Case {
        const char* section;
        const char* key;
    } cases[] = {{"Table", "Other"}, {"Other", "Key"}};
    for (const auto& c : cases) {
        std::string value = "stale";
        EXPECT_EQ(ini.GetValue(c.section, c.key, value), 0) << c.section << "/" << c.key;
        EXPECT_EQ(value, "");
    }
    CIniFile missing("C:\\Product\\none.ini");
    std::string value = "stale";
    EXPECT_EQ(missing.GetValue("Table", "Key", value), 0);
    EXPECT_EQ(value, "");
}

TEST_F(IniFileTest, GetValueCutsALongValueTo259Characters) {
    std::string longValue(300, 'x');
    WriteFile(path, "[Table]\nKey=" + longValue + "\n");
    std::string value;
    EXPECT_EQ(ini.GetValue("Table", "Key", value), 259);
    EXPECT_EQ(value, std::string(259, 'x'));
}

TEST_F(IniFileTest, SectionBecomesAMapOrderedByKey) {
    WriteFile(path, "[Table0]\nT0_LTE_B7=0x40\nT0_LTE_B1=0x1\n");
    Map entries{{"old", "entry"}};
    ASSERT_TRUE(ini.GetKeyAndValueFromSection("Table0", entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.begin()->first, "T0_LTE_B1");
    EXPECT_EQ(entries.begin()->second, "0x1");
    EXPECT_EQ(entries.rbegin()->first, "T0_LTE_B7");
}

TEST_F(IniFileTest, SectionEntriesFollowTheSplitRules) {
    WriteFile(path,
              "[Table0]\n"
              "dup=first\n"
              "dup=second\n"
              "a=b=c\n"
              "k=\n"
              "after=read\n"
              "=novalue\n"
              "noequals\n"
              "last=1\n");
    Map entries;
    ASSERT_TRUE(ini.GetKeyAndValueFromSection("Table0", entries));
    EXPECT_EQ(entries, (Map{{"dup", "first"}, {"a=b", "c"}, {"after", "read"}, {"last", "1"}}));
}

TEST_F(IniFileTest, SectionKeysAndValuesAreCutToTheirLimits) {
    WriteFile(path, "[Table0]\n" + std::string(60, 'k') + "=" + std::string(60, 'v') + "\n");
    Map entries;
    ASSERT_TRUE(ini.GetKeyAndValueFromSection("Table0", entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.begin()->first, std::string(49, 'k'));
    EXPECT_EQ(entries.begin()->second, std::string(48, 'v'));
}

TEST_F(IniFileTest, EmptyOrMissingSectionIsFalseWithAnEmptyMap) {
    WriteFile(path, "[Table0]\n[Table1]\nk=v\n");
    for (const char* section : {"Table0", "Table9"}) {
        Map entries{{"old", "entry"}};
        EXPECT_FALSE(ini.GetKeyAndValueFromSection(section, entries)) << section;
        EXPECT_TRUE(entries.empty());
    }
}

TEST_F(IniFileTest, SectionWithoutAnyPairIsStillTrue) {
    WriteFile(path, "[Table0]\nnoequals\nk=\n");
    Map entries;
    EXPECT_TRUE(ini.GetKeyAndValueFromSection("Table0", entries));
    EXPECT_TRUE(entries.empty());
}

}  // namespace
