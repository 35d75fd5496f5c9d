// The MIPI tuner INI writer: its file, the modem's current tables, base-2
// values, and which band tables go out.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "antenna/CAntMipiIniCfg.h"
#include "tests/antenna/mipi_fixture.h"

namespace {

using mipitest::Pairs;
using Texts = std::vector<std::string>;

struct MipiIni {
    Pairs basic = {{"ANT_ENABLE", "1"}, {"ANT_CTRLMODE", "2"}, {"ANT_TUNEMODE", "0"}};
    Pairs tuners = {{"TUNER_USID_TU0", "12"},    {"PM_TRIGGER_TU0", "3"},     {"START_UP_TIME_TU0", "40"},
                    {"TUNER_USID_TU1", "13"},    {"PM_TRIGGER_TU1", "4"},     {"START_UP_TIME_TU1", "41"},
                    {"TUNER_USID_TU2", "14"},    {"PM_TRIGGER_TU2", "5"},     {"START_UP_TIME_TU2", "42"},
                    {"TUNER_USID_TU3", "15"},    {"PM_TRIGGER_TU3", "6"},     {"START_UP_TIME_TU3", "43"}};
    // [tuner][table]: band key to base-2 value. Tuner k, table t: B17 = k + 1, B28A = t + 1.
    std::array<std::array<Pairs, 2>, 4> tables = [] {
        std::array<std::array<Pairs, 2>, 4> t;
        const char* bits[] = {"1", "10", "11", "100", "101"};
        for (int k = 0; k < 4; ++k)
            for (int table = 0; table < 2; ++table) t[k][table] = {{"B17", bits[k]}, {"B28A", bits[table]}};
        return t;
    }();

    std::string Text() const {
        std::string text = "[ANT_BASIC_PARAM]\n";
        for (const auto& [key, value] : basic) text += key + "=" + value + "\n";
        text += "[ANT_MIPI_PARAM]\n";
        for (const auto& [key, value] : tuners) text += key + "=" + value + "\n";
        for (int k = 0; k < 4; ++k) {
            for (int t = 0; t < 2; ++t) {
                text += "[ANT_MIPI_TABLE" + std::to_string(t) + "_TUNER" + std::to_string(k) + "_PARAM]\n";
                for (const auto& [key, value] : tables[k][t]) text += key + "=" + value + "\n";
            }
        }
        return text;
    }
};

const Texts kQueries = {"AT+GTANTMIPICFG=0\r\n", "AT+GTANTMIPICFG=1\r\n", "AT+GTANTMIPICFG=2\r\n",
                        "AT+GTANTMIPICFG=3\r\n"};
const Texts kSetup = {
    "AT+GTANTTUNINGEN = 1\r\n",
    "AT+GTANTCTRLMODE = 2\r\n",
    "AT+GTANTTUNEMODE = 0\r\n",
    "AT+GTANTTUNERCFG=0,12,3,4,28,40,,,,,,,4,,63,63,63\r\n",
    "AT+GTANTTUNERCFG=1,13,4,4,28,41,,,,,,,4,,63,63,63\r\n",
    "AT+GTANTTUNERCFG=2,14,5,4,28,42,,,,,,,4,,63,63,63\r\n",
    "AT+GTANTTUNERCFG=3,15,6,4,28,43,,,,,,,4,,63,63,63\r\n",
};
// Every band table of the default INI, the modem holding nothing.
const Texts kAllTables = {
    "AT+GTANTMIPICFG = 0,0,0,8,1,33,1\r\n", "AT+GTANTMIPICFG = 0,0,1,8,1,33,2\r\n",
    "AT+GTANTMIPICFG = 1,0,0,8,2,33,1\r\n", "AT+GTANTMIPICFG = 1,0,1,8,2,33,2\r\n",
    "AT+GTANTMIPICFG = 2,0,0,8,3,33,1\r\n", "AT+GTANTMIPICFG = 2,0,1,8,3,33,2\r\n",
    "AT+GTANTMIPICFG = 3,0,0,8,4,33,1\r\n", "AT+GTANTMIPICFG = 3,0,1,8,4,33,2\r\n",
};

Texts Join(std::initializer_list<Texts> parts) {
    Texts all;
    for (const Texts& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// The modem's answer to "AT+GTANTMIPICFG=<k>", written with the blanks a modem
// puts in; they are gone before the writer sees it.
std::string Current(int k, const std::string& table0, const std::string& table1) {
    std::string head = "+GTANTMIPICFG: " + std::to_string(k) + ",0,";
    return "\r\n" + head + "0," + table0 + "\r\n" + head + "1," + table1 + "\r\n\r\nOK\r\n";
}

class MipiIniTest : public mipitest::MipiTest {
protected:
    // The modem holds empty tables unless a test says otherwise.
    void SetUp() override {
        MipiTest::SetUp();
        for (int k = 0; k < 4; ++k) CurrentTables(k, "", "");
    }
    void WriteIni(const std::string& name, const MipiIni& ini = {}) { WriteRunFile(name, ini.Text()); }
    void CurrentTables(int k, const std::string& table0, const std::string& table1) {
        Reply("AT+GTANTMIPICFG=" + std::to_string(k) + "\r\n", Current(k, table0, table1));
    }
};

// ---- which file ------------------------------------------------------------------

struct FileCase {
    const char* name;
    const char* mcc;
    const char* board;
    const char* file;   // written in the run folder; empty: none
    bool read;          // the writer read it and sent everything
};

void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

class MipiIniFile : public MipiIniTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(MipiIniFile, OneNameFromTheArguments) {
    const FileCase& c = GetParam();
    if (*c.file) WriteIni(c.file);
    CAntMipiIniCfg writer(c.mcc, c.board);
    DWORD result = writer.SetAntCfg();
    if (c.read) {
        EXPECT_EQ(result, 0u);
        EXPECT_EQ(Sent(), Join({kQueries, kSetup, kAllTables}));
    } else {
        EXPECT_EQ(Sent(), kQueries) << "the queries go out at construction all the same";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MipiIniFile,
    ::testing::Values(
        FileCase{"BoardAndMcc", "310", "BOARDX", "BOARDX_310_AntmipiConfigTable_PV.ini", true},
        FileCase{"MccButOnlyTheBoardFile", "310", "BOARDX", "BOARDX_AntmipiConfigTable_PV.ini", false},
        FileCase{"MccButOnlyThePlainFile", "310", "BOARDX", "AntmipiConfigTable_PV.ini", false},
        FileCase{"BoardOnly", "", "BOARDX", "BOARDX_AntmipiConfigTable_PV.ini", true},
        FileCase{"BoardButOnlyThePlainFile", "", "BOARDX", "AntmipiConfigTable_PV.ini", false},
        FileCase{"NeitherTakesThePlainFile", "", "", "AntmipiConfigTable_PV.ini", true}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST_F(MipiIniTest, NeitherMccNorBoardAndNoFileSendsNothingAndGivesFive) {
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 5u);
    EXPECT_EQ(Sent(), kQueries);
}

TEST_F(MipiIniTest, BoardProductFromTheRegistryUpperCased) {
    Board(" boardx ");
    WriteIni("BOARDX_AntmipiConfigTable_PV.ini");
    WriteIni("AntmipiConfigTable_PV.ini", [] {
        MipiIni other;
        other.basic[0].second = "9";
        return other;
    }());
    CAntMipiIniCfg writer;
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup, kAllTables}));
}

TEST_F(MipiIniTest, WithoutABoardProductTheRegistryVariantTakesThePlainFile) {
    WriteIni("AntmipiConfigTable_PV.ini");
    CAntMipiIniCfg writer;
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup, kAllTables}));
}

TEST_F(MipiIniTest, BoardProductFileMissingSendsNothing) {
    Board("BOARDX");
    WriteIni("AntmipiConfigTable_PV.ini");
    CAntMipiIniCfg writer;
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), kQueries);
}

// ---- values and commands ---------------------------------------------------------

TEST_F(MipiIniTest, BandValuesAreBase2SentInDecimalInIndexOrder) {
    MipiIni ini;
    ini.tables[2][0] = {{"B28A", "11"}, {"B17", "101"}};
    ini.tables[2][1] = {{"B1", "0101"}, {"B5", "111"}, {"B17_0", "1"}, {"B99", "1"}, {"B2", "-10"}, {"B3", "11x"},
                        {"B4", "+1"}};
    ini.tables[3][0] = {{"B28A", "1111111111111111111111111111111"}};  // 2^31 - 1
    ini.tables[3][1] = {{"B28A", "-10000000000000000000000000000000"}};  // -2^31
    WriteIni("AntmipiConfigTable_PV.ini", ini);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    Texts sent = Sent();
    ASSERT_EQ(sent.size(), 4u + 7u + 8u);
    Texts tables(sent.begin() + 11, sent.end());
    EXPECT_EQ(tables[4], "AT+GTANTMIPICFG = 2,0,0,8,5,33,3\r\n") << "no comma after the pair of index 33";
    EXPECT_EQ(tables[5], "AT+GTANTMIPICFG = 2,0,1,17,7,23,1,24,3,25,-2,27,5,\r\n")
        << "keys with a table suffix or outside the band table are ignored";
    EXPECT_EQ(tables[6], "AT+GTANTMIPICFG = 3,0,0,33,2147483647\r\n");
    EXPECT_EQ(tables[7], "AT+GTANTMIPICFG = 3,0,1,33,-2147483648\r\n");
}

TEST_F(MipiIniTest, TunerCommandTexts) {
    MipiIni ini;
    ini.tuners = {{"TUNER_USID_TU1", "12"}, {"PM_TRIGGER_TU1", "3"}, {"START_UP_TIME_TU1", "40"}};
    WriteIni("AntmipiConfigTable_PV.ini", ini);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    Texts sent = Sent();
    ASSERT_GE(sent.size(), 11u);
    EXPECT_EQ(Texts(sent.begin() + 7, sent.begin() + 11),
              (Texts{"AT+GTANTTUNERCFG=0,,,4,28,,,,,,,,4,,63,63,63\r\n",
                     "AT+GTANTTUNERCFG=1,12,3,4,28,40,,,,,,,4,,63,63,63\r\n",
                     "AT+GTANTTUNERCFG=2,,,4,28,,,,,,,,4,,63,63,63\r\n",
                     "AT+GTANTTUNERCFG=3,,,4,28,,,,,,,,4,,63,63,63\r\n"}));
}

TEST_F(MipiIniTest, PausesInVirtualTime) {
    WriteIni("AntmipiConfigTable_PV.ini");
    std::int64_t start = Now();
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    std::vector<std::int64_t> times = SentTimes();
    ASSERT_EQ(times.size(), 4u + 7u + 8u);
    const std::int64_t exchange = times[5] - times[4];  // two basic parameters, no pause between
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(times[k] - times[k - 1] - exchange, 500) << "after query " << k - 1;
    for (int k = 8; k <= 11; ++k) EXPECT_EQ(times[k] - times[k - 1] - exchange, 1000) << "after tuner " << k - 8;
    for (int k = 12; k < 19; ++k) EXPECT_EQ(times[k] - times[k - 1], exchange) << "no pause among the tables";
    EXPECT_EQ(Now() - start, 4 * 500 + 4 * 1000 + 19 * exchange);
}

TEST_F(MipiIniTest, EmptyBasicParameterStopsWithFive) {
    MipiIni ini;
    ini.basic = {{"ANT_ENABLE", "1"}, {"ANT_TUNEMODE", "0"}};
    WriteIni("AntmipiConfigTable_PV.ini", ini);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 5u);
    EXPECT_EQ(Sent(), Join({kQueries, {"AT+GTANTTUNINGEN = 1\r\n"}}));
}

TEST_F(MipiIniTest, FailingCommandEndsTheRunWithItsResult) {
    WriteIni("AntmipiConfigTable_PV.ini");
    Fail("AT+GTANTMIPICFG = 1,0,0,8,2,33,1\r\n");
    CAntMipiIniCfg writer("", "");
    EXPECT_NE(writer.SetAntCfg(), 0u);
    Texts sent = Sent();
    ASSERT_EQ(sent.size(), 4u + 7u + 2u + 5u);
    EXPECT_EQ(sent.back(), "AT+GTANTMIPICFG = 1,0,0,8,2,33,1\r\n") << "five attempts, nothing after them";
}

// ---- what the modem already holds ------------------------------------------------

TEST_F(MipiIniTest, EachTunerAndTableDecidedOnItsOwnByParsedPairs) {
    WriteIni("AntmipiConfigTable_PV.ini");
    CurrentTables(0, "8,1,33,11", "1,4,8,1,33,2");      // 33 holds 11, not 1; the second holds all
    CurrentTables(1, "8,2,33,1,", "8,2,33,1");          // table 1 lacks 33,2
    CurrentTables(2, "", "8,3,33,20");                  // nothing held; 33 holds 20, not 2
    CurrentTables(3, "33,1,8,4", "8,04,33,2,9,9");      // order and leading zeros do not matter
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup,
                            {"AT+GTANTMIPICFG = 0,0,0,8,1,33,1\r\n", "AT+GTANTMIPICFG = 1,0,1,8,2,33,2\r\n",
                             "AT+GTANTMIPICFG = 2,0,0,8,3,33,1\r\n", "AT+GTANTMIPICFG = 2,0,1,8,3,33,2\r\n"}}));
}

TEST_F(MipiIniTest, AValueThatIsOnlyAPrefixOfTheModemsDiffers) {
    MipiIni ini;
    ini.tables[0][0] = {{"B28A", "11"}};
    WriteIni("AntmipiConfigTable_PV.ini", ini);
    CurrentTables(0, "33,31", "8,1,33,2");
    for (int k = 1; k < 4; ++k) {
        std::string v = std::to_string(k + 1);
        CurrentTables(k, "8," + v + ",33,1", "8," + v + ",33,2");
    }
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup, {"AT+GTANTMIPICFG = 0,0,0,33,3\r\n"}}));
}

TEST_F(MipiIniTest, FirstTunerMatchingLeavesLaterTunersFree) {
    WriteIni("AntmipiConfigTable_PV.ini");
    CurrentTables(0, "8,1,33,1", "8,1,33,2");
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup, Texts(kAllTables.begin() + 2, kAllTables.end())}));
}

TEST_F(MipiIniTest, FiveOnlyWhenNoTableNeedsSending) {
    WriteIni("AntmipiConfigTable_PV.ini");
    for (int k = 0; k < 4; ++k) {
        std::string v = std::to_string(k + 1);
        CurrentTables(k, "8," + v + ",33,1", "8," + v + ",33,2,");
    }
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 5u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup}));
}

TEST_F(MipiIniTest, TablesWithoutValuesAreNeverSent) {
    MipiIni ini;
    for (auto& tuner : ini.tables) tuner = {Pairs{}, Pairs{{"B99", "1"}}};
    WriteIni("AntmipiConfigTable_PV.ini", ini);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 5u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup}));
}

struct ReplyCase {
    const char* name;
    std::string reply;
};

void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.name; }

class MipiIniMalformedReply : public MipiIniTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(MipiIniMalformedReply, GivesFourAndSendsNothing) {
    WriteIni("AntmipiConfigTable_PV.ini");
    Reply("AT+GTANTMIPICFG=1\r\n", GetParam().reply);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 4u);
    EXPECT_EQ(Sent(), Texts(kQueries.begin(), kQueries.begin() + 2)) << "no later tuner is asked";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MipiIniMalformedReply,
    ::testing::Values(ReplyCase{"NoLabel", "\r\n1,0,0,8,1\r\n1,0,1,8,1\r\n\r\nOK\r\n"},
                      ReplyCase{"OneLine", "\r\n+GTANTMIPICFG: 1,0,0,8,1\r\n\r\nOK\r\n"},
                      ReplyCase{"OtherTuner", Current(2, "8,1", "8,1")},
                      ReplyCase{"TablesSwapped", "\r\n+GTANTMIPICFG: 1,0,1,8,1\r\n+GTANTMIPICFG: 1,0,0,8,1\r\n"},
                      ReplyCase{"CutShort", "\r\n+GTANTMIPICFG: 1,0,0,8,1\r\n+GTANTMIPICFG: 1,0"},
                      ReplyCase{"NoLineEnd", "\r\n+GTANTMIPICFG: 1,0,0,8,1\r\n+GTANTMIPICFG: 1,0,1,8,1"},
                      ReplyCase{"HalfAPair", Current(1, "8,1,33", "")},
                      ReplyCase{"NotANumber", Current(1, "8,x", "")},
                      ReplyCase{"TooLarge", Current(1, "8,99999999999", "")},
                      ReplyCase{"IndexTwice", Current(1, "8,1,8,2", "")},
                      ReplyCase{"TwoFinalCommas", Current(1, "8,1,,", "")},
                      ReplyCase{"NoCommaAfterTable", "\r\n+GTANTMIPICFG: 1,0,08,1\r\n+GTANTMIPICFG: 1,0,1\r\n"}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

TEST_F(MipiIniTest, EmptyTablesInTheReplyAreRead) {
    WriteIni("AntmipiConfigTable_PV.ini");
    for (int k = 0; k < 4; ++k)
        Reply("AT+GTANTMIPICFG=" + std::to_string(k) + "\r\n",
              "\r\n+GTANTMIPICFG: " + std::to_string(k) + ",0,0\r\n+GTANTMIPICFG: " + std::to_string(k) +
                  ",0,1,\r\n\r\nOK\r\n");
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), Join({kQueries, kSetup, kAllTables}));
}

TEST_F(MipiIniTest, FailedQueryEndsTheQueriesAndSendsNothing) {
    WriteIni("AntmipiConfigTable_PV.ini");
    Fail("AT+GTANTMIPICFG=1\r\n");
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    Texts sent = Sent();
    EXPECT_EQ(sent, Join({{kQueries[0]}, Texts(5, kQueries[1])}));
}

// ---- values that cannot travel in a command --------------------------------------

struct UnreadableCase {
    const char* name;
    const char* section;
    const char* key;
    std::string value;
    const char* logged;  // the value in the refusal line, and why
};

void PrintTo(const UnreadableCase& c, std::ostream* out) { *out << c.name; }

class MipiIniUnreadable : public MipiIniTest, public ::testing::WithParamInterface<UnreadableCase> {};

TEST_P(MipiIniUnreadable, FileCountsAsUnreadable) {
    const UnreadableCase& c = GetParam();
    std::string text = MipiIni().Text();
    std::string section = std::string("[") + c.section + "]\n";
    std::size_t at = text.find(section);
    ASSERT_NE(at, std::string::npos);
    text.insert(at + section.size(), std::string(c.key) + "=" + c.value + "\n");
    WriteRunFile("AntmipiConfigTable_PV.ini", text);
    CAntMipiIniCfg writer("", "");
    EXPECT_EQ(writer.SetAntCfg(), 0u);
    EXPECT_EQ(Sent(), kQueries);
    // One line names the file, the key and the value.
    EXPECT_EQ(CountLogged("Table value refused: " + RunPath() + "AntmipiConfigTable_PV.ini: [" + c.section + "] " +
                          c.key + " " + c.logged),
              1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MipiIniUnreadable,
    ::testing::Values(UnreadableCase{"QuoteInBasic", "ANT_BASIC_PARAM", "ANT_ENABLE", "1\"2",
                                     "\"1\\\"2\" cannot travel inside an AT command"},
                      UnreadableCase{"ControlInTuner", "ANT_MIPI_PARAM", "TUNER_USID_TU2", "1\x01" "2",
                                     "\"1\\x012\" cannot travel inside an AT command"},
                      UnreadableCase{"QuoteInTable", "ANT_MIPI_TABLE1_TUNER3_PARAM", "B99", "1\"0",
                                     "\"1\\\"0\" cannot travel inside an AT command"},
                      UnreadableCase{"NoBinaryDigit", "ANT_MIPI_TABLE0_TUNER1_PARAM", "B1", "2",
                                     "\"2\" is not a base-2 number"},
                      UnreadableCase{"SignOnly", "ANT_MIPI_TABLE0_TUNER1_PARAM", "B1", "-", "\"-\" is not a base-2 number"},
                      UnreadableCase{"Above32Bits", "ANT_MIPI_TABLE0_TUNER0_PARAM", "B1",
                                     "10000000000000000000000000000000",
                                     "\"10000000000000000000000000000000\" is not a base-2 number"}),
    [](const ::testing::TestParamInfo<UnreadableCase>& info) { return std::string(info.param.name); });

}  // namespace
