// The body-SAR INI writers: the query at construction, the one table file
// their arguments select, the change test against the modem's tables, and
// the command sequence with its first failure.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sar_dpr/CDprSarCfg_Q510.h"
#include "sar_dpr/CDprSarCfg_Q520.h"
#include "tests/sar_dpr/dpr_fixture.h"

namespace {

using Commands = std::vector<std::string>;

const char* const kIni = "SAR_DPR_PV.ini";

// The modem's answer to "AT+BODYSAR?": one line per band, blanks included
// (they reach the writer removed).
std::string TableReply(const std::vector<std::string>& lines) {
    std::string reply = "\r\n";
    for (const auto& line : lines) reply += "+BODYSAR: " + line + "\r\n";
    return reply + "\r\nOK\r\n";
}

std::string Section(const std::string& name, const std::string& lines) { return "[" + name + "]\n" + lines; }
std::string Q520(const std::string& lines) { return Section("Q520_DPR_DOUBLE_TABLE_PARAM", lines); }

// What the writer sends at construction, the query of both tables.
const Commands kQuery = {"AT+BODYSAREN=1", "AT+BODYSARPROFILE=0", "AT+BODYSAR?", "AT+BODYSARPROFILE=1",
                         "AT+BODYSAR?"};

class DprIniTest : public kvtest::DprTest {};

TEST_F(DprIniTest, ConstructionQueriesBothTablesThenReadsTheFile) {
    WriteRunFile(kIni, Q520("T0_WCDMA_B1=21\nT1_LTE_B66=7\n"));
    Answer("AT+BODYSAR?", TableReply({"1,21,\"0x1\""}));
    CDprSarCfg_Q520 writer("", "");
    EXPECT_EQ(AtCommands(), kQuery);
    EXPECT_FALSE(writer.QueryFailed());
    EXPECT_FALSE(writer.IniFailed());
    EXPECT_EQ(writer.Writer().CurTable(0), "\r\n+BODYSAR:1,21,\"0x1\"\r\n\r\nOK\r\n");
    EXPECT_EQ(writer.Writer().Section().size(), 2u);
    EXPECT_TRUE(Logged("QueryBodySarValue end."));
    EXPECT_TRUE(Logged("ReadDprSarFromINI end"));
}

TEST_F(DprIniTest, FileSelectionTakesOneNameWithoutFallBack) {
    struct Case {
        const char* mcc;
        const char* board;
        std::vector<const char*> files;  // the first one holds T0_LTE_B1=11, any other 99
        bool found;
    };
    // Cases share one run folder: each names its own files, and the files of
    // earlier cases stay to show that none is taken in place of another.
    const Case cases[] = {
        {"", "", {"SAR_DPR_PV.ini", "BOARDX_SAR_DPR_PV.ini"}, true},
        {"310", "", {"_310_SAR_DPR_PV.ini"}, true},
        {"311", "BOARDX", {"BOARDX_311_SAR_DPR_PV.ini"}, true},
        {"312", "BOARDX", {}, false},
        {"", "BOARDY", {"BOARDY_SAR_DPR_PV.ini", "BOARDY_313_SAR_DPR_PV.ini"}, true},
        {"", "BOARDZ", {"BOARDZ_314_SAR_DPR_PV.ini"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mcc) + "/" + c.board);
        bool first = true;
        for (const char* file : c.files) {
            WriteRunFile(file, Q520(first ? "T0_LTE_B1=11\n" : "T0_LTE_B1=99\n"));
            first = false;
        }
        std::size_t before = AtCommands().size();
        std::size_t missing = CountLogged("strCfgFilePath is not exist");
        CDprSarCfg_Q520 writer(c.mcc, c.board);
        EXPECT_EQ(writer.IniFailed(), !c.found);
        EXPECT_EQ(writer.SetBodySar(), 0);
        Commands after = AtCommandsFrom(before + kQuery.size());
        if (c.found) {
            EXPECT_EQ(writer.Writer().Section().at("T0_LTE_B1"), "11");
            if (*c.mcc || *c.board) {
                EXPECT_TRUE(Logged("strCfgFilePath:" + RunPath() + c.files[0]));
            }
            EXPECT_EQ(std::count(after.begin(), after.end(), "AT+BODYSAR=2,11,\"0x1\""), 1);
        } else {
            EXPECT_EQ(CountLogged("strCfgFilePath is not exist"), missing + 1);
            EXPECT_TRUE(after.empty());
        }
    }
}

TEST_F(DprIniTest, ConstructorWithoutArgumentsTakesTheRegistryBoardProduct) {
    machine().registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "BaseBoardProduct", " boardq ");
    WriteRunFile("SAR_DPR_PV.ini", Q520("T0_LTE_B1=99\n"));
    CDprSarCfg_Q520 missing;
    EXPECT_TRUE(missing.IniFailed());
    WriteRunFile("BOARDQ_SAR_DPR_PV.ini", Q520("T0_LTE_B1=11\n"));
    CDprSarCfg_Q520 writer;
    EXPECT_FALSE(writer.IniFailed());
    EXPECT_EQ(writer.Writer().Section().at("T0_LTE_B1"), "11");
    CDprSarCfg_Q510 older;
    EXPECT_TRUE(older.IniRead());
}

TEST_F(DprIniTest, NoPlainFileReadsAsEmptySectionAndNothingToSend) {
    CDprSarCfg_Q520 writer("", "");
    EXPECT_FALSE(writer.IniFailed());
    EXPECT_EQ(writer.SetBodySar(), 5);
    EXPECT_TRUE(Logged("###No DPR Value###."));
    EXPECT_EQ(AtCommands(), kQuery);
}

TEST_F(DprIniTest, FailedQueryEnablesFirstThenEndsWithZero) {
    // The query runs before the file is checked: a missing file still sees it.
    Refuse("AT+BODYSAREN=1");
    CDprSarCfg_Q520 missing("310", "BOARDX");
    EXPECT_TRUE(missing.QueryFailed());
    EXPECT_FALSE(Logged("QueryBodySarValue end."));
    EXPECT_EQ(missing.SetBodySar(), 0);

    WriteRunFile(kIni, Q520("T0_LTE_B1=11\n"));
    CDprSarCfg_Q520 writer("", "");
    EXPECT_TRUE(writer.QueryFailed());
    EXPECT_FALSE(writer.IniFailed());
    EXPECT_EQ(writer.SetBodySar(), 0);
    for (const auto& command : AtCommands()) EXPECT_EQ(command, "AT+BODYSAREN=1");
}

TEST_F(DprIniTest, FailedTableZeroReadEndsTheQuery) {
    Refuse("AT+BODYSAR?");
    WriteRunFile(kIni, Q520("T0_LTE_B1=11\n"));
    CDprSarCfg_Q520 writer("", "");
    EXPECT_TRUE(writer.QueryFailed());
    EXPECT_TRUE(Logged("QueryBodySarValue-AT_BODYSAR_QR_CMD-table0 fail."));
    std::size_t sent = AtCommands().size();
    EXPECT_EQ(writer.SetBodySar(), 0);
    EXPECT_EQ(AtCommands().size(), sent);
}

TEST_F(DprIniTest, OnlyTheTablesTheModemLacksAreSent) {
    const std::string table0 = "T0_WCDMA_B1=21\nT0_WCDMA_B5=22\nT0_LTE_B1=30\nT0_LTE_B66=31\n";
    const std::vector<std::string> held0 = {"1,21,\"0x1\"", "1,22,\"0x10\"", "2,30,\"0x1\"",
                                            "2,31,\"0x20000000000000000\""};
    struct Case {
        const char* what;
        std::string section;
        std::vector<std::string> held;
        Commands sent;
    };
    const Case cases[] = {
        {"only table 1 differs", table0 + "T1_WCDMA_B8=5\nT1_LTE_B3=6\n", held0,
         {"AT+BODYSAREN=1", "AT+BODYSARPROFILE=0", "AT+BODYSARPROFILE=1", "AT+BODYSAR=1,5,\"0x80\"",
          "AT+BODYSAR=2,6,\"0x4\""}},
        {"one LTE value of table 1 changed resends the whole group",
         table0 + "T1_LTE_B1=30\nT1_LTE_B3=8\nT1_LTE_B71=9\n",
         {held0[0], held0[1], held0[2], held0[3], "2,7,\"0x4\"", "2,9,\"0x400000000000000000\""},
         {"AT+BODYSAREN=1", "AT+BODYSARPROFILE=0", "AT+BODYSARPROFILE=1",
          "AT+BODYSAR=2,30,\"0x1\",8,\"0x4\",9,\"0x400000000000000000\""}},
        {"lower-case keys are not band keys", table0 + "t1_lte_b3=8\n", held0, {}},
        {"everything held", table0, held0, {}},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string board = "C" + std::to_string(n++);
        WriteRunFile(board + "_" + kIni, Q520(c.section));
        Answer("AT+BODYSAR?", TableReply(c.held));
        std::size_t before = AtCommands().size();
        std::size_t ends = CountLogged("SetBodySar end");
        CDprSarCfg_Q520 writer("", board);
        int result = writer.SetBodySar();
        EXPECT_EQ(result, c.sent.empty() ? 5 : 0);
        EXPECT_EQ(AtCommandsFrom(before + kQuery.size()), c.sent);
        EXPECT_EQ(CountLogged("SetBodySar end") - ends, c.sent.empty() ? 0u : 1u);
    }
}

TEST_F(DprIniTest, TableWhoseProfileFailedAtConstructionIsSentInFull) {
    Refuse("AT+BODYSARPROFILE=0");
    WriteRunFile(kIni, Q520("T0_WCDMA_B1=21\nT1_LTE_B1=30\n"));
    Answer("AT+BODYSAR?", TableReply({"1,21,\"0x1\"", "2,30,\"0x1\""}));
    CDprSarCfg_Q520 writer("", "");
    EXPECT_FALSE(writer.QueryFailed());
    EXPECT_TRUE(writer.Writer().CurTable(0).empty());
    std::size_t sent = AtCommands().size();
    Answer("AT+BODYSARPROFILE=0", "\r\nOK\r\n");
    EXPECT_EQ(writer.SetBodySar(), 0);
    EXPECT_EQ(AtCommandsFrom(sent), (Commands{"AT+BODYSAREN=1", "AT+BODYSARPROFILE=0", "AT+BODYSAR=1,21,\"0x1\"",
                                              "AT+BODYSARPROFILE=1"}));
}

TEST_F(DprIniTest, FailureAtStepDReturnsItsResultAndLeavesTableOne) {
    WriteRunFile(kIni, Q520("T0_WCDMA_B1=21\nT0_LTE_B1=30\nT1_LTE_B1=31\n"));
    Refuse("AT+BODYSAR=2,30,\"0x1\"");
    int failure = FailureResult();
    CDprSarCfg_Q520 writer("", "");
    EXPECT_EQ(writer.SetBodySar(), failure);
    EXPECT_NE(failure, 0);
    Commands after = AtCommandsFrom(kQuery.size());
    EXPECT_EQ(after.back(), "AT+BODYSAR=2,30,\"0x1\"");
    EXPECT_EQ(std::count(after.begin(), after.end(), "AT+BODYSARPROFILE=1"), 0);
    EXPECT_EQ(std::count(after.begin(), after.end(), "AT+BODYSAR=1,21,\"0x1\""), 1);
    EXPECT_TRUE(Logged("DprTable04GBandCmd set fail!"));
    EXPECT_FALSE(Logged("SetBodySar end"));
}

// Each refusal names the file, the key and the value as the log can hold it.
TEST_F(DprIniTest, ValueThatCannotBeSentMakesTheFileUnreadable) {
    struct Case {
        const char* value;
        const char* logged;
    };
    const Case cases[] = {{"2\"3", "2\\\"3"}, {"2\t3", "2\\t3"}, {"2\x1b", "2\\x1b"}};
    int n = 0;
    for (const Case& c : cases) {
        std::string board = "V" + std::to_string(n++);
        WriteRunFile(board + "_" + kIni, Q520(std::string("T0_LTE_B1=30\nT1_WCDMA_B1=") + c.value + "\n"));
        std::size_t before = AtCommands().size();
        CDprSarCfg_Q520 writer("", board);
        EXPECT_EQ(writer.SetBodySar(), 0) << c.value;
        EXPECT_EQ(AtCommandsFrom(before), kQuery) << c.value;
        EXPECT_EQ(CountLogged("Table value refused: " + RunPath() + board + "_" + kIni +
                              ": [Q520_DPR_DOUBLE_TABLE_PARAM] T1_WCDMA_B1 \"" + c.logged +
                              "\" cannot travel inside an AT command"),
                  1u)
            << c.value;
    }
}

TEST_F(DprIniTest, OlderFamilyUsesItsSectionAndReducedSetSilently) {
    WriteRunFile(kIni, Q520("T0_LTE_B1=1\n") +
                           Section("Q510_DPR_DOUBLE_TABLE_PARAM", "T0_LTE_B3=5\nT0_LTE_B71=6\nT1_WCDMA_B2=7\n"));
    CDprSarCfg_Q510 writer("", "");
    EXPECT_TRUE(writer.QueryDone());
    EXPECT_TRUE(writer.IniRead());
    EXPECT_EQ(writer.Writer().BandKeyCount(), 68u);
    EXPECT_EQ(writer.SetBodySar(), 0);
    EXPECT_EQ(AtCommandsFrom(kQuery.size()),
              (Commands{"AT+BODYSAREN=1", "AT+BODYSARPROFILE=0", "AT+BODYSAR=2,5,\"0x4\"", "AT+BODYSARPROFILE=1",
                        "AT+BODYSAR=1,7,\"0x2\""}));
    for (const char* line : {"SetBodySar enter", "QueryBodySarValue enter.", "ReadDprSarFromINI enter"})
        EXPECT_FALSE(Logged(line)) << line;

    EXPECT_EQ(writer.SetBodySarEnable(0), 0);
    EXPECT_EQ(writer.SetBodySarEnable(2), 0);
    Commands all = AtCommands();
    EXPECT_EQ(Commands(all.end() - 2, all.end()), (Commands{"AT+BODYSAREN=0", "AT+BODYSAREN=1"}));
}

TEST_F(DprIniTest, OlderFamilyStopsWhenAReadingDidNotSucceed) {
    CDprSarCfg_Q510 missing("310", "BOARDX");
    EXPECT_TRUE(missing.QueryDone());
    EXPECT_FALSE(missing.IniRead());
    EXPECT_EQ(missing.SetBodySar(), 0);

    CDprSarCfg_Q510 empty("", "");
    EXPECT_EQ(empty.SetBodySar(), 5);
    EXPECT_FALSE(Logged("###No DPR Value###."));
}

}  // namespace
