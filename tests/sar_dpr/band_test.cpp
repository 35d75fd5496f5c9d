// The band model: masks, key sets, grouping order, argument and check texts,
// the INI writers' change test.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "sar_dpr/CSarBand.h"

namespace {

using Map = std::map<std::string, std::string>;

struct MaskCase {
    int band;
    const char* mask;
};

// Every band of the full set with the mask the modem expects.
const MaskCase kMasks[] = {
    {1, "0x1"},          {2, "0x2"},           {3, "0x4"},           {4, "0x8"},
    {5, "0x10"},         {7, "0x40"},          {8, "0x80"},          {11, "0x400"},
    {12, "0x800"},       {13, "0x1000"},       {14, "0x2000"},       {17, "0x10000"},
    {18, "0x20000"},     {19, "0x40000"},      {20, "0x80000"},      {21, "0x100000"},
    {25, "0x1000000"},   {26, "0x2000000"},    {28, "0x8000000"},    {29, "0x10000000"},
    {30, "0x20000000"},  {32, "0x80000000"},   {34, "0x200000000"},  {38, "0x2000000000"},
    {39, "0x4000000000"}, {40, "0x8000000000"}, {41, "0x10000000000"}, {42, "0x20000000000"},
    {43, "0x40000000000"}, {46, "0x200000000000"}, {48, "0x800000000000"},
    {66, "0x20000000000000000"}, {71, "0x400000000000000000"},
};

TEST(SarBand, MaskOfEveryBandIsItsBitAsText) {
    for (const auto& c : kMasks) {
        EXPECT_EQ(CSarBand::Mask(c.band), c.mask) << "band " << c.band;
    }
}

TEST(SarBand, SetsHoldTheirBands) {
    EXPECT_EQ(CSarBand::WcdmaBands(), (std::vector<int>{1, 2, 4, 5, 8}));
    std::vector<int> full = CSarBand::LteBands(SarBandSet::Full);
    std::vector<int> reduced = CSarBand::LteBands(SarBandSet::Reduced);
    EXPECT_EQ(full.size(), 33u);
    EXPECT_EQ(reduced.size(), 29u);
    for (int gone : {34, 43, 48, 71}) {
        EXPECT_NE(std::find(full.begin(), full.end(), gone), full.end());
        EXPECT_EQ(std::find(reduced.begin(), reduced.end(), gone), reduced.end());
    }
}

TEST(SarBand, IniKeysOfBothTables) {
    struct Case {
        SarBandSet set;
        std::size_t keys;
    };
    for (const Case& c : {Case{SarBandSet::Full, 76}, Case{SarBandSet::Reduced, 68}}) {
        std::vector<std::string> w0, l0, w1, l1;
        Map keyMask;
        CSarBand::AddBandKeys(c.set, "T0_", w0, l0, keyMask);
        CSarBand::AddBandKeys(c.set, "T1_", w1, l1, keyMask);
        EXPECT_EQ(keyMask.size(), c.keys);
        EXPECT_EQ(w0.front(), "T0_WCDMA_B1");
        EXPECT_EQ(w1.size(), 5u);
        EXPECT_EQ(l0.size() + l1.size() + 10, c.keys);
    }
    std::vector<std::string> w, l;
    Map keyMask;
    CSarBand::AddBandKeys(SarBandSet::Full, "", w, l, keyMask);
    EXPECT_EQ(keyMask.size(), 38u);
    EXPECT_EQ(keyMask.at("LTE_B66"), "0x20000000000000000");
    EXPECT_EQ(keyMask.at("LTE_B71"), "0x400000000000000000");
    EXPECT_EQ(keyMask.at("WCDMA_B5"), "0x10");
}

// Band order of a full argument, read back from the argument itself.
std::vector<int> BandOrder(int technology, const std::vector<int>& bands) {
    std::vector<std::string> w, l;
    Map keyMask;
    CSarBand::AddBandKeys(SarBandSet::Full, "", w, l, keyMask);
    Map values;
    for (int band : bands) {
        std::string name = technology == CSarBand::kWcdma ? CSarBand::WcdmaName(band) : CSarBand::LteName(band);
        values[name] = std::to_string(band);
    }
    Map group;
    CSarBand::Group(values, technology == CSarBand::kWcdma ? w : l, keyMask, group);
    std::vector<int> order;
    for (const auto& [mask, value] : group) {
        order.push_back(std::stoi(value));
    }
    return order;
}

TEST(SarBand, GroupsFollowByteWiseMaskOrder) {
    EXPECT_EQ(BandOrder(CSarBand::kWcdma, CSarBand::WcdmaBands()), (std::vector<int>{1, 5, 2, 4, 8}));
    EXPECT_EQ(BandOrder(CSarBand::kLte, CSarBand::LteBands(SarBandSet::Full)),
              (std::vector<int>{1,  5,  13, 17, 21, 25, 29, 41, 2,  14, 18, 26, 30, 34, 38, 42, 46,
                                66, 3,  7,  11, 19, 39, 43, 71, 4,  8,  12, 20, 28, 32, 40, 48}));
    EXPECT_EQ(BandOrder(CSarBand::kLte, CSarBand::LteBands(SarBandSet::Reduced)),
              (std::vector<int>{1, 5, 13, 17, 21, 25, 29, 41, 2,  14, 18, 26, 30, 38, 42,
                                46, 66, 3, 7,  11, 19, 39, 4, 8, 12, 20, 28, 32, 40}));
}

TEST(SarBand, GroupingTakesOnlyListedKeysExactly) {
    std::vector<std::string> w0, l0, w1, l1;
    Map keyMask;
    CSarBand::AddBandKeys(SarBandSet::Full, "T0_", w0, l0, keyMask);
    CSarBand::AddBandKeys(SarBandSet::Full, "T1_", w1, l1, keyMask);
    Map section = {{"t0_lte_b1", "9"},   {"T0_LTE_B1", "23"}, {"T1_LTE_B3", "20"},
                   {"T0_WCDMA_B5", ""}, {"DPR_OFF_OFFSET", "1"}, {"T0_LTE_B6", "1"}};
    Map lte0, wcdma0, lte1;
    CSarBand::Group(section, l0, keyMask, lte0);
    CSarBand::Group(section, w0, keyMask, wcdma0);
    CSarBand::Group(section, l1, keyMask, lte1);
    EXPECT_EQ(lte0, (Map{{"0x1", "23"}}));
    EXPECT_EQ(wcdma0, (Map{{"0x10", ""}}));
    EXPECT_EQ(lte1, (Map{{"0x4", "20"}}));
}

TEST(SarBand, ArgumentAndCheckTexts) {
    struct Case {
        int technology;
        Map group;
        const char* argument;
    };
    const Case cases[] = {
        {CSarBand::kLte, {{"0x1", "23"}, {"0x4", "20"}}, R"(2,23,"0x1",20,"0x4")"},
        {CSarBand::kWcdma, {{"0x80", "23"}, {"0x1", "21"}, {"0x10", "22"}}, R"(1,21,"0x1",22,"0x10",23,"0x80")"},
        {CSarBand::kLte, {}, "2,"},
        {CSarBand::kWcdma, {}, "1,"},
        {CSarBand::kLte, {{"0x1", "23"}, {"0x4", ""}}, R"(2,23,"0x1",,"0x4")"},
        {CSarBand::kLte, {{"0x20000000000000000", "7"}}, R"(2,7,"0x20000000000000000")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CSarBand::Argument(c.technology, c.group), c.argument);
    }
    EXPECT_EQ(CSarBand::CheckText(CSarBand::kWcdma, "23", "0x10"), R"(1,23,"0x10")");
    EXPECT_EQ(CSarBand::PairText("23", "0x10"), R"(23,"0x10")");
}

TEST(SarBand, ChangeTest) {
    const std::string reply = "+BODYSAR:1,23,\"0x1\"\r\n+BODYSAR:1,24,\"0x10\"\r\n+BODYSAR:2,30,\"0x4\"\r\nOK";
    struct Case {
        const char* what;
        int technology;
        Map group;
        std::string current;
        const char* argument;
    };
    const Case cases[] = {
        {"all found", CSarBand::kWcdma, {{"0x1", "23"}, {"0x10", "24"}}, reply, ""},
        {"one differs: all pairs", CSarBand::kWcdma, {{"0x1", "23"}, {"0x10", "25"}}, reply,
         R"(1,23,"0x1",25,"0x10")"},
        {"one missing", CSarBand::kWcdma, {{"0x1", "23"}, {"0x80", "1"}}, reply, R"(1,23,"0x1",1,"0x80")"},
        {"other technology does not count", CSarBand::kLte, {{"0x1", "23"}}, reply, R"(2,23,"0x1")"},
        {"found in LTE", CSarBand::kLte, {{"0x4", "30"}}, reply, ""},
        {"no current table", CSarBand::kLte, {{"0x4", "30"}}, "", R"(2,30,"0x4")"},
        {"empty group", CSarBand::kLte, {}, reply, ""},
        {"letter case counts", CSarBand::kLte, {{"0x4", "30"}}, "+BODYSAR:2,30,\"0X4\"", R"(2,30,"0x4")"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CSarBand::ChangedArgument(c.technology, c.group, c.current), c.argument) << c.what;
    }
}

TEST(SarBand, ParseQuotedPairListReadsAnArgumentBack) {
    Map pairs = {{"stale", "1"}};
    CSarBand::ParseQuotedPairList(R"(2,23,"0x1",20,"0x4",,"0x8")", pairs);
    EXPECT_EQ(pairs, (Map{{"0x1", "23"}, {"0x4", "20"}}));
    CSarBand::ParseQuotedPairList("no comma", pairs);
    EXPECT_TRUE(pairs.empty());
    CSarBand::ParseQuotedPairList(R"(1,5,"0x1)", pairs);
    EXPECT_TRUE(pairs.empty());
}

}  // namespace
