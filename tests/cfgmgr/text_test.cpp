// What the manager makes of texts: the modem's version reply, the table check items, the list
// test and the bar split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cfgmgr/CSarCfgManager.h"
#include "cfgmgr/SarTableVersions.h"

namespace {

struct VersionCase {
    const char* name;
    std::string reply;  // as it reaches the manager: without blanks
    std::vector<std::string> expected;  // DPR, TAS_FCC, TAS_ISED, ANT_GPO, ANT_MIPI
};

TEST(SarTableVersions, EachLabelGivesTheTextUpToTheSeparatorBeforeTheNext) {
    const std::string full =
        "\r\n+GETOEMTABLEVER:DPRver:0001.0002.A,TAS_FCCver:0003,TAS_ISEDver:0004,ANT_GPOver:0005,ANT_MIPIver:0006\r\n"
        "\r\nOK\r\n";
    const VersionCase cases[] = {
        {"whole reply", full, {"0001.0002.a", "0003", "0004", "0005", "0006"}},
        {"upper case is lowered", "DPRver:ABC,TAS_FCCver:DEF,TAS_ISEDver:G,ANT_GPOver:H,ANT_MIPIver:IJK\r\nOK",
         {"abc", "def", "g", "h", "ijk"}},
        {"last version without a line end runs to the end", "DPRver:1,TAS_FCCver:2,TAS_ISEDver:3,ANT_GPOver:4,ANT_MIPIver:5",
         {"1", "2", "3", "4", "5"}},
        // The labels with their blanks never occur in a reply without blanks.
        {"labels with blanks are not what arrives", "DPR ver: 1, TAS_FCC ver: 2\r\n", {"", "", "", "", ""}},
        {"a missing label empties its field and the one before",
         "DPRver:1,TAS_FCCver:2,ANT_GPOver:4,ANT_MIPIver:5\r\n", {"1", "", "", "4", "5"}},
        {"a label directly after a version leaves no separator", "DPRver:1TAS_FCCver:2,TAS_ISEDver:3,ANT_GPOver:4,ANT_MIPIver:5\r\n",
         {"", "2", "3", "4", "5"}},
        {"an empty version before its separator", "DPRver:,TAS_FCCver:2,TAS_ISEDver:3,ANT_GPOver:4,ANT_MIPIver:\r\n",
         {"", "2", "3", "4", ""}},
        {"the next label before its own", "TAS_FCCver:2,DPRver:1,TAS_ISEDver:3,ANT_GPOver:4,ANT_MIPIver:5\r\n",
         {"", "2,dprver:1", "3", "4", "5"}},
        {"the next label on a later line", "DPRver:1,TAS_FCCver:2,TAS_ISEDver:3,ANT_GPOver:4\r\nANT_MIPIver:5\r\nOK\r\n",
         {"1", "2", "3", "", "5"}},
        {"a label at the very end", "DPRver:", {"", "", "", "", ""}},
        {"nothing", "", {"", "", "", "", ""}},
        {"OK only", "\r\nOK\r\n", {"", "", "", "", ""}},
    };
    for (const VersionCase& c : cases) {
        SarTableVersions versions;
        versions.DprVer = "stale";
        versions.AntMipiVer = "stale";
        versions.Parse(c.reply);
        std::vector<std::string> got = {versions.DprVer, versions.TasFccVer, versions.TasIsedVer, versions.AntGpoVer,
                                        versions.AntMipiVer};
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

TEST(TableCheckItems, GroupCharacterWithEachPairOfFields) {
    struct Case {
        std::string value;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"1,20,A,30,B", {"1,20,A", "1,30,B"}},
        {"12,20,A", {"2,20,A"}},                // the character just before the first comma
        {"1,20,A,30", {"1,20,A"}},              // a last unpaired field is ignored
        {"1,20,A,", {"1,20,A"}},
        {"1,20", {}},                           // fewer than two fields after the first comma
        {"120", {}},                            // no comma
        {"", {}},
        {",20,A,30,B", {}},                     // no group character
        {",", {}},
        {"1,,", {"1,,"}},
    };
    for (const Case& c : cases) EXPECT_EQ(CSarCfgManager::TableCheckItems(c.value), c.items) << c.value;
}

TEST(ListTest, UpperCasedSubstringButNeverAnEmptyText) {
    EXPECT_TRUE(CSarCfgManager::IsListed("XAB12Y", "ab12"));
    EXPECT_TRUE(CSarCfgManager::IsListed("ABC123,DEF456", "C123"));  // the value is not split
    EXPECT_FALSE(CSarCfgManager::IsListed("ABC123", "ABD"));
    EXPECT_FALSE(CSarCfgManager::IsListed("ABC123", ""));
    EXPECT_FALSE(CSarCfgManager::IsListed("", ""));
    EXPECT_TRUE(CSarCfgManager::IsPairListed("ab12_310,CD34_208", "AB12", "310"));
    EXPECT_FALSE(CSarCfgManager::IsPairListed("AB12_310", "AB12", "208"));
    EXPECT_FALSE(CSarCfgManager::IsPairListed("AB12_310", "", "310"));   // "_310" alone is no pair
    EXPECT_FALSE(CSarCfgManager::IsPairListed("AB12_310", "AB12", ""));  // nor is "AB12_"
}

TEST(SplitByBar, EveryBarSplits) {
    CSarCfgManager manager;
    struct Case {
        std::string text;
        std::vector<std::string> items;
    };
    const Case cases[] = {
        {"a|b", {"a", "b"}}, {"a|", {"a", ""}}, {"|", {"", ""}}, {"", {}}, {"abc", {"abc"}}, {"a||b", {"a", "", "b"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> items = {"old"};
        manager.SplitByBar(c.text, items);
        EXPECT_EQ(items, c.items) << c.text;
    }
}

}  // namespace
