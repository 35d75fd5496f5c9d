// The antenna GPO INI writer: file choice, the table arguments, the tables the
// modem already holds, and where a failure or an empty value stops it.
#include "antenna/CAntGpoIniCfg.h"

#include <map>
#include <string>
#include <vector>

#include "platform/sim/registry_store.h"
#include "tests/antenna/ant_fixture.h"

namespace {

using Commands = std::vector<std::string>;

const char* const kQuery = "AT+GTANTGPOCFG?\r\n";
const char* const kBasic = "[ANT_BASIC_PARAM]\nANT_ENABLE=1\nANT_CTRLMODE=2\nANT_TUNEMODE=3\n";
const Commands kBasicCommands = {"AT+GTANTTUNINGEN=1\r\n", "AT+GTANTCTRLMODE=2\r\n", "AT+GTANTTUNEMODE=3\r\n"};

std::string Ini(const std::string& table0, const std::string& table1, const std::string& basic = kBasic) {
    return basic + "[ANT_GPO_TABLE0_PARAM]\n" + table0 + "[ANT_GPO_TABLE1_PARAM]\n" + table1;
}

Commands Plus(Commands first, const Commands& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

class AntGpoIniTest : public kvtest::AntennaTest {
protected:
    int Run(const std::string& mcc, const std::string& board) {
        CAntGpoIniCfg writer(mcc, board);
        return writer.SetAntCfg();
    }
    // The modem's answer to the table query, as it sends it (with blanks).
    void ModemHolds(const std::string& lines) {
        modem().ClearReplies();
        modem().AddReplyPattern("AT+GTANTGPOCFG?*", sim::ModemReply::Text("\r\n" + lines + "\r\nOK\r\n"));
    }
};

TEST_F(AntGpoIniTest, OneFileNameFromMccAndBoardProduct) {
    const std::string table = "B1_0=5\n";
    struct Case {
        const char* file;  // the one file present
        const char* mcc;
        const char* board;
        int result;
        bool sent;
    };
    const Case cases[] = {
        {"AntConfigTable_PV.ini", "", "", 0, true},
        {"ABC_AntConfigTable_PV.ini", "", "ABC", 0, true},
        {"ABC_310_AntConfigTable_PV.ini", "310", "ABC", 0, true},
        {"AntConfigTable_PV.ini", "", "ABC", 0, false},
        {"ABC_AntConfigTable_PV.ini", "310", "ABC", 0, false},
        {"AntConfigTable_PV.ini", "310", "ABC", 0, false},
        // Without MCC and board product the plain name is taken unchecked:
        // a missing file reads as empty values.
        {"ABC_AntConfigTable_PV.ini", "", "", 5, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + std::string(" mcc=") + c.mcc + " board=" + c.board);
        const std::size_t mark = Mark();
        WriteRunFile(c.file, Ini(table, ""));
        EXPECT_EQ(Run(c.mcc, c.board), c.result);
        const Commands sent = c.sent ? Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=0,0,5,\r\n"})
                                     : Commands{kQuery};
        EXPECT_EQ(DistinctAtCommands(mark), sent);
        RemoveRunFile(c.file);
    }
}

TEST_F(AntGpoIniTest, ArgumentsFollowTheIniNumbering) {
    struct Case {
        const char* table0;
        const char* table1;
        Commands tables;
    };
    const Case cases[] = {
        // A comma after every pair but one for the last index; lower-case
        // keys and other names are no band keys.
        {"B1_0=5\nB2_1=7\nb3_0=4\nB3=1\nFOO=2\n", "", {"AT+GTANTGPOCFG=0,0,5,3,7,\r\n"}},
        {"B71_1=9\nB2_1=7\nB1_0=5\n", "B66_0=8\nB34_1=6\n",
         {"AT+GTANTGPOCFG=0,0,5,3,7,59,9\r\n", "AT+GTANTGPOCFG=1,50,8,53,6,\r\n"}},
        {"", "B38_0=1\n", {"AT+GTANTGPOCFG=1,40,1,\r\n"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table0);
        const std::size_t mark = Mark();
        WriteRunFile("AntConfigTable_PV.ini", Ini(c.table0, c.table1));
        EXPECT_EQ(Run("", ""), 0);
        EXPECT_EQ(DistinctAtCommands(mark), Plus(Plus({kQuery}, kBasicCommands), c.tables));
    }
    EXPECT_EQ(CountLogged("SetAntCfg end"), std::size(cases));
}

TEST_F(AntGpoIniTest, TablesTheModemHoldsAreNotSentAgain) {
    const std::string ini = Ini("B1_0=5\nB2_1=7\n", "B1_0=1\nB71_1=9\n");
    WriteRunFile("AntConfigTable_PV.ini", ini);
    ModemHolds("+GTANTGPOCFG: 0,0,5,3,7,\r\n+GTANTGPOCFG: 1,0,1,59,8");
    EXPECT_EQ(Run("", ""), 0);
    EXPECT_EQ(DistinctAtCommands(), Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=1,0,1,59,9\r\n"}));

    const std::size_t mark = Mark();
    ModemHolds("+GTANTGPOCFG: 0,0,5,3,7,\r\n+GTANTGPOCFG: 1,0,1,59,9");
    EXPECT_EQ(Run("", ""), 5);
    EXPECT_EQ(DistinctAtCommands(mark), Plus({kQuery}, kBasicCommands));
    EXPECT_TRUE(Logged("###No Ant Band Value###"));

    // Only table 1 held.
    const std::size_t second = Mark();
    ModemHolds("+GTANTGPOCFG: 1,0,1,59,9");
    EXPECT_EQ(Run("", ""), 0);
    EXPECT_EQ(DistinctAtCommands(second), Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=0,0,5,3,7,\r\n"}));
}

TEST_F(AntGpoIniTest, EmptyBasicParameterStopsTheRun) {
    WriteRunFile("AntConfigTable_PV.ini",
                 Ini("B1_0=5\n", "", "[ANT_BASIC_PARAM]\nANT_ENABLE=1\nANT_CTRLMODE=\nANT_TUNEMODE=3\n"));
    EXPECT_EQ(Run("", ""), 5);
    EXPECT_EQ(DistinctAtCommands(), (Commands{kQuery, "AT+GTANTTUNINGEN=1\r\n"}));
    EXPECT_FALSE(Logged("SetAntCfg end"));
}

TEST_F(AntGpoIniTest, FailingTable0CommandStopsBeforeTable1) {
    WriteRunFile("AntConfigTable_PV.ini", Ini("B1_0=5\n", "B1_0=6\n"));
    modem().AddReplyPattern("AT+GTANTGPOCFG=0,*", sim::ModemReply::Error());
    EXPECT_NE(Run("", ""), 0);
    EXPECT_EQ(DistinctAtCommands(), Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=0,0,5,\r\n"}));
    EXPECT_TRUE(Logged("m_strANT_GPO_TABLE0BandCmd set fail!"));
    EXPECT_TRUE(Logged("SetAntCfg end"));
}

TEST_F(AntGpoIniTest, NothingIsSentWhenTheQueryFails) {
    WriteRunFile("AntConfigTable_PV.ini", Ini("B1_0=5\n", ""));
    modem().AddReplyPattern("AT+GTANTGPOCFG?*", sim::ModemReply::Error());
    EXPECT_EQ(Run("", ""), 0);
    for (const auto& command : AtCommands()) EXPECT_EQ(command, kQuery);
}

// A value that would break its command makes the file unreadable.
TEST_F(AntGpoIniTest, ValuesThatCannotTravelInACommandMakeTheFileUnreadable) {
    struct Case {
        std::string ini;
        std::string refused;  // key and value as the refusal line names them
    };
    const Case cases[] = {
        {Ini("B1_0=5\"1\n", ""), "[ANT_GPO_TABLE0_PARAM] B1_0 \"5\\\"1\""},
        {Ini("", "B2_1=7\x01\n"), "[ANT_GPO_TABLE1_PARAM] B2_1 \"7\\x01\""},
        {Ini("B1_0=5\n", "", "[ANT_BASIC_PARAM]\nANT_ENABLE=1\tx\nANT_CTRLMODE=2\nANT_TUNEMODE=3\n"),
         "[ANT_BASIC_PARAM] ANT_ENABLE \"1\\tx\""},
        {Ini("B1_0=5\n", "", "[ANT_BASIC_PARAM]\nANT_ENABLE=1\nANT_CTRLMODE=\"2\nANT_TUNEMODE=3\n"),
         "[ANT_BASIC_PARAM] ANT_CTRLMODE \"\\\"2\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ini);
        const std::size_t mark = Mark();
        WriteRunFile("AntConfigTable_PV.ini", c.ini);
        EXPECT_EQ(Run("", ""), 0);
        EXPECT_EQ(DistinctAtCommands(mark), Commands{kQuery});
        EXPECT_EQ(CountLogged("Table value refused: " + RunPath() + "AntConfigTable_PV.ini: " + c.refused +
                              " cannot travel inside an AT command"),
                  1u);
    }
    // A key the writer ignores may hold anything.
    const std::size_t mark = Mark();
    WriteRunFile("AntConfigTable_PV.ini", Ini("B1_0=5\nNOTE=a\"b\n", ""));
    EXPECT_EQ(Run("", ""), 0);
    EXPECT_EQ(DistinctAtCommands(mark), Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=0,0,5,\r\n"}));
}

// Without arguments: the board product of the registry, upper-cased, and the
// bands up to B66 only.
TEST_F(AntGpoIniTest, BoardProductVariantKnowsTheBandsUpToB66) {
    ASSERT_EQ(machine().registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "BaseBoardProduct", "abc"), "");
    WriteRunFile("ABC_AntConfigTable_PV.ini", Ini("B1_0=5\nB66_1=4\nB71_1=9\n", "B34_0=1\n"));
    CAntGpoIniCfg writer;
    EXPECT_EQ(writer.SetAntCfg(), 0);
    EXPECT_EQ(DistinctAtCommands(), Plus(Plus({kQuery}, kBasicCommands), {"AT+GTANTGPOCFG=0,0,5,51,4\r\n"}));
}

TEST_F(AntGpoIniTest, QuotedPairListMapsEachValueToItsFirstIndex) {
    CAntGpoIniCfg writer("", "");
    std::map<std::string, std::string> pairs;
    writer.ParseQuotedPairList("0,1,\"a\",2,\"b\",3,\"a\",,\"c\",4,\"", pairs);
    EXPECT_EQ(pairs, (std::map<std::string, std::string>{{"a", "1"}, {"b", "2"}}));
    writer.ParseQuotedPairList("no comma", pairs);
    EXPECT_TRUE(pairs.empty());
}

}  // namespace
