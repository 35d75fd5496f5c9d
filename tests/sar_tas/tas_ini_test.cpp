// The TA-SAR INI writer: the modem queried at construction, the change test
// against its tables, the parameters sent only whole, and what a missing or
// spoilt file leaves unsent.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "sar_tas/CTasSarCfg_Q520.h"
#include "tests/sar_tas/tas_fixture.h"

namespace {

using tastest::TasTest;
using Commands = std::vector<std::string>;

const Commands kQuery = {"AT+GTTASEN=1\r\n",      "AT+GTTASPROFILE=0\r\n", "AT+GTTAS?\r\n",
                         "AT+GTTASPROFILE=1\r\n", "AT+GTTAS?\r\n",         "AT+GTTASCFG?\r\n"};
constexpr const char* kParams = "DPR_OFF_OFFSET=1\nDPR_ON_OFFSET=2\nTAS_CHECK_PERIOD=30\nTAS_ROLL_PERIOD=40\n";
constexpr const char* kFile = "BOARDX_SAR_TAS_PV.ini";

class TasIni : public TasTest {
protected:
    void Ini(const std::string& body, const char* name = kFile) {
        RunFile(name, "[Q520_TAS_DOUBLE_TABLE_PARAM]\n" + body);
    }
    // The commands after the construction's query.
    Commands AfterQuery() {
        Commands sent = Sent();
        EXPECT_GE(sent.size(), kQuery.size());
        EXPECT_TRUE(std::equal(kQuery.begin(), kQuery.end(), sent.begin()));
        return Commands(sent.begin() + static_cast<long>(std::min(sent.size(), kQuery.size())), sent.end());
    }
};

TEST_F(TasIni, SendsOnlyTheTablesTheModemDoesNotHold) {
    // Both table queries get this reply: table 0's values are in it, table 1's band 5 is not.
    Reply("AT+GTTAS?\r\n", "\r\n+GTTAS:1,23,\"0x1\",1,24,\"0x10\",2,20,\"0x4\"\r\nOK\r\n");
    Ini(std::string(kParams) +
        "T0_WCDMA_B1=23\nT0_WCDMA_B5=24\nT0_LTE_B3=20\n"
        "T1_WCDMA_B1=23\nT1_WCDMA_B5=25\nT1_LTE_B3=20\nt1_lte_b1=9\n");
    CTasSarCfg_Q520 writer("", "BOARDX");
    EXPECT_EQ(writer.SetTasSar(), 0);
    EXPECT_EQ(AfterQuery(), (Commands{"AT+GTTASEN=1\r\n", "AT+GTTASPROFILE=0\r\n", "AT+GTTASPROFILE=1\r\n",
                                      "AT+GTTAS=1,23,\"0x1\",25,\"0x10\"\r\n", "AT+GTTASCFG=1,2,30,40\r\n"}));
    EXPECT_EQ(CountLogged("SetTasSar enter"), 2u);
}

TEST_F(TasIni, TableWhoseSelectionFailedIsSentWhole) {
    Reply("AT+GTTAS?\r\n", "\r\n+GTTAS:1,23,\"0x1\"\r\nOK\r\n");
    Refuse("AT+GTTASPROFILE=1\r\n");
    Ini("T0_WCDMA_B1=23\nT1_WCDMA_B1=23\n");
    CTasSarCfg_Q520 writer("", "BOARDX");
    Commands sent = Sent();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+GTTAS?\r\n"), 1);
    modem().ClearReplies();
    Mark();
    EXPECT_EQ(writer.SetTasSar(), 0);
    EXPECT_EQ(Sent(), (Commands{"AT+GTTASEN=1\r\n", "AT+GTTASPROFILE=0\r\n", "AT+GTTASPROFILE=1\r\n",
                        "AT+GTTAS=1,23,\"0x1\"\r\n"}));
}

// Without all four parameter keys no "AT+GTTASCFG=" goes out: before the fix
// the modem got empty fields between the commas.
TEST_F(TasIni, ParametersGoOnlyWhenAllFourAreGiven) {
    const char* kPartial[] = {
        "DPR_OFF_OFFSET=1\nDPR_ON_OFFSET=2\nTAS_CHECK_PERIOD=30\n",
        "DPR_ON_OFFSET=2\nTAS_CHECK_PERIOD=30\nTAS_ROLL_PERIOD=40\n",
        "DPR_OFF_OFFSET=1\nDPR_ON_OFFSET=\nTAS_CHECK_PERIOD=30\nTAS_ROLL_PERIOD=40\n",
        "",
    };
    for (const char* params : kPartial) {
        SCOPED_TRACE(params);
        Mark();
        Ini(std::string(params) + "T0_LTE_B66=7\n");
        CTasSarCfg_Q520 writer("", "BOARDX");
        EXPECT_EQ(writer.SetTasSar(), 0);
        EXPECT_EQ(AfterQuery(), (Commands{"AT+GTTASEN=1\r\n", "AT+GTTASPROFILE=0\r\n",
                                          "AT+GTTAS=2,7,\"0x20000000000000000\"\r\n", "AT+GTTASPROFILE=1\r\n"}));
    }
}

TEST_F(TasIni, FileWithoutTheSectionHasNothingToSend) {
    RunFile(kFile, "[OTHER]\nT0_LTE_B1=5\n");
    CTasSarCfg_Q520 writer("", "BOARDX");
    EXPECT_EQ(writer.SetTasSar(), 5);
    EXPECT_EQ(AfterQuery(), Commands{});
    EXPECT_TRUE(Logged("###No Tas Value###."));
}

TEST_F(TasIni, ModemHoldingEverythingLeavesOnlyTheParameters) {
    Reply("AT+GTTAS?\r\n", "\r\n+GTTAS:2,5,\"0x1\"\r\nOK\r\n");
    Ini(std::string(kParams) + "T0_LTE_B1=5\nT1_LTE_B1=5\n");
    CTasSarCfg_Q520 writer("", "BOARDX");
    EXPECT_EQ(writer.SetTasSar(), 0);
    EXPECT_EQ(AfterQuery(), (Commands{"AT+GTTASEN=1\r\n", "AT+GTTASPROFILE=0\r\n", "AT+GTTASPROFILE=1\r\n",
                                      "AT+GTTASCFG=1,2,30,40\r\n"}));
}

// The file is named by exactly one rule, with no fall-back.
TEST_F(TasIni, FileNameFollowsMccAndBoardProduct) {
    struct Case {
        const char* mcc;
        const char* board;
        const char* file;  // the one file present
        bool found;
    };
    const Case cases[] = {
        {"", "BOARDX", "BOARDX_SAR_TAS_PV.ini", true},
        {"", "BOARDX", "BOARDX_310_SAR_TAS_PV.ini", false},
        {"310", "BOARDX", "BOARDX_310_SAR_TAS_PV.ini", true},
        {"310", "BOARDX", "BOARDX_SAR_TAS_PV.ini", false},
        {"", "", "SAR_TAS_PV.ini", true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        // A fresh folder name per case keeps earlier files out of the way.
        std::string board = *c.board ? c.board + std::to_string(n) : "";
        std::string file = c.file;
        if (*c.board) file.replace(0, 6, board);
        ++n;
        Mark();
        Ini("T0_LTE_B1=5\n", file.c_str());
        CTasSarCfg_Q520 writer(c.mcc, board);
        EXPECT_EQ(writer.SetTasSar(), 0);
        Commands sent = AfterQuery();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "AT+GTTAS=2,5,\"0x1\"\r\n"), c.found ? 1 : 0);
    }
}

// The variant without arguments takes the registry's board product, upper-cased.
TEST_F(TasIni, RegistryBoardProductNamesTheFile) {
    Ini(std::string(kParams) + "T1_LTE_B71=4\n");
    CTasSarCfg_Q520 writer;
    EXPECT_EQ(writer.SetTasSar(), 0);
    EXPECT_EQ(AfterQuery(), (Commands{"AT+GTTASEN=1\r\n", "AT+GTTASPROFILE=0\r\n", "AT+GTTASPROFILE=1\r\n",
                                      "AT+GTTAS=2,4,\"0x400000000000000000\"\r\n", "AT+GTTASCFG=1,2,30,40\r\n"}));
    EXPECT_FALSE(Logged("m_strTasConfigCmd:"));
}

TEST_F(TasIni, FailuresEndTheWriter) {
    // The query at construction fails: the writer stays inert.
    {
        Ini(std::string(kParams) + "T0_LTE_B1=5\n");
        Refuse("AT+GTTASCFG?\r\n");
        CTasSarCfg_Q520 writer("", "BOARDX");
        EXPECT_TRUE(Logged("QueryTasSarValue - AT_GTTASCFG_QR_CMD fail"));
        std::size_t before = Sent().size();
        EXPECT_EQ(writer.SetTasSar(), 0);
        EXPECT_EQ(Sent().size(), before);
    }
    // A band command fails: its line, its result, nothing after it.
    {
        modem().ClearReplies();
        Mark();
        Ini(std::string(kParams) + "T0_LTE_B1=5\nT1_WCDMA_B1=6\n");
        Refuse("AT+GTTAS=2,5,\"0x1\"\r\n");
        CTasSarCfg_Q520 writer("", "BOARDX");
        EXPECT_NE(writer.SetTasSar(), 0);
        Commands sent = AfterQuery();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.back(), "AT+GTTAS=2,5,\"0x1\"\r\n");
        EXPECT_TRUE(Logged("TasTable04GBandCmd set fail!"));
    }
    // No file at all.
    {
        modem().ClearReplies();
        Mark();
        CTasSarCfg_Q520 writer("999", "BOARDX");
        EXPECT_EQ(writer.SetTasSar(), 0);
        EXPECT_EQ(AfterQuery(), Commands{});
    }
}

// A value that would break its command spoils the file: nothing is sent.
TEST_F(TasIni, UnsendableValueSendsNothing) {
    const char* kSpoilt[] = {
        "T0_LTE_B1=5\"\n",
        "T1_WCDMA_B2=\x01\n",
        "DPR_OFF_OFFSET=1\nDPR_ON_OFFSET=2\"\nTAS_CHECK_PERIOD=30\nTAS_ROLL_PERIOD=40\n",
    };
    for (const char* body : kSpoilt) {
        Mark();
        Ini(std::string(body) + "T0_LTE_B3=7\n");
        CTasSarCfg_Q520 writer("", "BOARDX");
        EXPECT_EQ(writer.SetTasSar(), 0);
        EXPECT_EQ(AfterQuery(), Commands{});
    }
}

}  // namespace
