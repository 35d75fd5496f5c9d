// The antenna band keys in both numberings and the table arguments built from them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "antenna/CAntBand.h"

namespace {

TEST(AntBand, BothNumberingsHoldSixtyKeys) {
    struct Case {
        const char* key;
        const char* ini;
        const char* ascending;
    };
    // The nine bands that move, and some that stand alike in both.
    const Case cases[] = {
        {"B1_0", "0", "0"},     {"B1_1", "1", "1"},     {"B28A_0", "34", "34"}, {"B28B_1", "37", "37"},
        {"B30_1", "39", "39"},  {"B34_0", "52", "40"},  {"B34_1", "53", "41"},  {"B38_0", "40", "42"},
        {"B39_1", "43", "45"},  {"B40_0", "44", "46"},  {"B41_1", "47", "49"},  {"B42_0", "48", "50"},
        {"B43_1", "55", "53"},  {"B48_0", "56", "54"},  {"B66_0", "50", "56"},  {"B66_1", "51", "57"},
        {"B71_0", "58", "58"},  {"B71_1", "59", "59"},
    };
    std::map<std::string, std::string> ini;
    std::map<std::string, std::string> ascending;
    CAntBand::FillBandIndex(AntBandOrder::Ini, ini);
    CAntBand::FillBandIndex(AntBandOrder::Ascending, ascending);
    for (const auto& c : cases) {
        EXPECT_EQ(ini.at(c.key), c.ini) << c.key;
        EXPECT_EQ(ascending.at(c.key), c.ascending) << c.key;
    }
    for (const auto* table : {&ini, &ascending}) {
        ASSERT_EQ(table->size(), 60u);
        std::vector<bool> seen(60, false);
        for (const auto& [key, index] : *table) {
            seen.at(std::stoul(index)) = true;
        }
        EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 60);
    }
    EXPECT_EQ(ini.count("b1_0"), 0u);
    EXPECT_EQ(ini.count("B28_0"), 0u);

    std::map<std::string, std::string> reduced;
    CAntBand::FillBandIndex(AntBandOrder::Ini, reduced, CAntBand::kBoardProductBands);
    EXPECT_EQ(reduced.size(), 52u);
    EXPECT_EQ(reduced.at("B66_1"), "51");
    EXPECT_EQ(reduced.count("B34_0"), 0u);
    EXPECT_EQ(reduced.count("B71_1"), 0u);
}

TEST(AntBand, PairArgumentFollowsIndexOrderWithoutCommaAfterTheLastIndex) {
    std::map<std::string, std::string> bandIndex;
    CAntBand::FillBandIndex(AntBandOrder::Ini, bandIndex);
    std::vector<std::string> indexes;
    CAntBand::FillIndexList(indexes);
    ASSERT_EQ(indexes.size(), 60u);
    EXPECT_EQ(indexes.front(), "0");
    EXPECT_EQ(indexes.back(), "59");

    struct Case {
        std::map<std::string, std::string> values;
        const char* argument;
    };
    const Case cases[] = {
        {{{"B1_0", "5"}, {"B2_1", "7"}}, "0,0,5,3,7,"},
        {{{"B2_1", "7"}, {"B1_0", "5"}, {"B71_1", "9"}}, "0,0,5,3,7,59,9"},
        {{{"B71_1", "9"}}, "0,59,9"},
        {{{"b1_0", "5"}, {"B1_0 ", "6"}, {"B99_0", "1"}}, "0,"},
        {{}, "0,"},
    };
    for (const auto& c : cases) {
        std::map<std::string, std::string> indexValue;
        CAntBand::MapToIndex(bandIndex, c.values, indexValue);
        EXPECT_EQ(CAntBand::PairArgument("0,", indexes, indexValue), c.argument);
    }

    // The last index of a shorter list takes no comma either.
    std::vector<std::string> shorter;
    CAntBand::FillIndexList(shorter, 52);
    EXPECT_EQ(CAntBand::PairArgument("1,", shorter, {{"50", "3"}, {"51", "4"}}), "1,50,3,51,4");
    EXPECT_EQ(CAntBand::PairArgument("1,0,2,", indexes, {{"2", "7"}, {"9", "12"}}), "1,0,2,2,7,9,12,");
}

}  // namespace
