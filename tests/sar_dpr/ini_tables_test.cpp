// The two tables of an INI SAR file: keys by table, the change test against
// each table's own reply, and which values are checked before sending.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "sar_dpr/CSarIniTables.h"

namespace {

using Map = std::map<std::string, std::string>;

TEST(SarIniTables, EachTableIsTestedAgainstItsOwnReply) {
    CSarIniTables tables(SarBandSet::Full);
    EXPECT_EQ(tables.KeyCount(), 76u);
    const Map section = {{"T0_WCDMA_B1", "21"}, {"T0_LTE_B66", "7"},  {"T1_WCDMA_B1", "21"},
                         {"T1_LTE_B71", "9"},   {"t1_lte_b3", "5"},   {"T1_LTE_B3 ", "5"}};
    tables.BuildBandCmd(section, "+BODYSAR:1,21,\"0x1\"+BODYSAR:2,7,\"0x20000000000000000\"OK", "OK");
    EXPECT_EQ(tables.WcdmaArgument(0), "");
    EXPECT_EQ(tables.LteArgument(0), "");
    EXPECT_EQ(tables.WcdmaArgument(1), "1,21,\"0x1\"");
    EXPECT_EQ(tables.LteArgument(1), "2,9,\"0x400000000000000000\"");
    EXPECT_FALSE(tables.AllEmpty());
    tables.BuildBandCmd(section, "+BODYSAR:1,21,\"0x1\"+BODYSAR:2,7,\"0x20000000000000000\"",
                        "1,21,\"0x1\"2,9,\"0x400000000000000000\"");
    EXPECT_TRUE(tables.AllEmpty());
    tables.BuildBandCmd({}, "", "");
    EXPECT_TRUE(tables.AllEmpty());
}

TEST(SarIniTables, ReducedSetLeavesOutItsBands) {
    CSarIniTables tables(SarBandSet::Reduced);
    EXPECT_EQ(tables.KeyCount(), 68u);
    tables.BuildBandCmd({{"T0_LTE_B71", "1"}, {"T0_LTE_B48", "1"}, {"T1_LTE_B46", "3"}}, "", "");
    EXPECT_EQ(tables.LteArgument(0), "");
    EXPECT_EQ(tables.LteArgument(1), "2,3,\"0x200000000000\"");
}

TEST(SarIniTables, OnlyBandValuesAreChecked) {
    CSarIniTables tables(SarBandSet::Full);
    EXPECT_TRUE(tables.AreValuesSafe("f.ini", "S", {{"T0_LTE_B1", "23"}, {"OTHER", "a\"b"}, {"t0_lte_b1", "\t"}}));
    EXPECT_FALSE(tables.AreValuesSafe("f.ini", "S", {{"T1_WCDMA_B8", "2\"3"}}));
    EXPECT_FALSE(tables.AreValuesSafe("f.ini", "S", {{"T0_LTE_B3", "1\x1b"}}));
}

}  // namespace
