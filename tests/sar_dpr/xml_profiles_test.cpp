// The per-profile band tables of the XML writers: no change test, bare
// prefixes for an empty technology, and the check of what may be sent.
#include <gtest/gtest.h>

#include <string>

#include "sar_dpr/CSarXmlProfiles.h"

namespace {

TEST(SarXmlProfiles, ArgumentsPerProfileWithoutChangeTest) {
    CSarXmlProfiles profiles(9);
    ASSERT_EQ(profiles.Count(), 9);
    profiles.Values(0) = {{"WCDMA_B8", "23"}, {"WCDMA_B1", "21"}, {"LTE_B71", "5"}, {"LTE_B66", "6"}};
    profiles.Values(4) = {{"LTE_B3", "20"}, {"LTE_B1", "23"}, {"lte_b5", "1"}, {"Other", "x"}};
    profiles.BuildBandCmd();
    EXPECT_EQ(profiles.WcdmaArgument(0), R"(1,21,"0x1",23,"0x80")");
    EXPECT_EQ(profiles.LteArgument(0), R"(2,6,"0x20000000000000000",5,"0x400000000000000000")");
    EXPECT_EQ(profiles.WcdmaArgument(4), "1,");
    EXPECT_EQ(profiles.LteArgument(4), R"(2,23,"0x1",20,"0x4")");
    for (int p : {1, 2, 3, 5, 6, 7, 8}) {
        EXPECT_EQ(profiles.WcdmaArgument(p), "1,");
        EXPECT_EQ(profiles.LteArgument(p), "2,");
    }
}

TEST(SarXmlProfiles, OnlyValuesThatWouldBeSentAreChecked) {
    struct Case {
        const char* name;
        std::string value;
        bool safe;
    };
    const Case cases[] = {
        {"LTE_B1", "23", true},
        {"LTE_B1", "", true},
        {"LTE_B1", "23\r\nAT+RESET", false},
        {"WCDMA_B5", "2\"3", false},
        {"LTE_B3", "\t", false},
        {"Unknown", "23\r\n", true},
        {"lte_b1", "23\n", true},
    };
    for (const auto& c : cases) {
        CSarXmlProfiles profiles(2);
        profiles.Values(1) = {{c.name, c.value}};
        EXPECT_EQ(profiles.AreValuesSafe("f.xml", "Table_Data"), c.safe) << c.name;
    }
}

}  // namespace
