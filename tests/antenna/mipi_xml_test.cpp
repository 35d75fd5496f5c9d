// The MIPI tuner XML writer: its nine files, the full write and its pacing,
// the unchanged path, and damaged files that must send nothing.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "antenna/CAntMipiXmlCfg.h"
#include "tests/antenna/mipi_fixture.h"

namespace {

using mipitest::DefaultTable;
using mipitest::MipiFileName;
using mipitest::MipiXmlTable;
using Tables = std::array<MipiXmlTable, 9>;
using Texts = std::vector<std::string>;

const Texts kBasic = {"AT+GTANTTUNINGEN=1\r\n", "AT+GTANTCTRLMODE=2\r\n", "AT+GTANTTUNEMODE=0\r\n"};
const Texts kTuners = {
    "AT+GTANTTUNERCFG=0,12,3,40,6,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0\r\n",
    "AT+GTANTTUNERCFG=1,13,4,41,6,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0\r\n",
    "AT+GTANTTUNERCFG=2,14,5,42,6,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0\r\n",
    "AT+GTANTTUNERCFG=3,15,6,43,6,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0\r\n",
};
const std::string kZeroVersion = "At+SETOEMTABLEVER=4,\"0000.0000.000000.0000.0000.000\"\r\n";

// Table by table, tuner by tuner, as the default tables give them.
Texts BandCommands() {
    Texts commands;
    for (int n = 0; n < 9; ++n)
        for (int t = 0; t < 4; ++t)
            commands.push_back("AT+GTANTMIPICFG=" + std::to_string(t) + ",0," + std::to_string(n) + ",2," +
                               std::to_string(n) + ",59," + std::to_string(t) + "\r\n");
    return commands;
}

Texts Join(std::initializer_list<Texts> parts) {
    Texts all;
    for (const Texts& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Everything of a changed write before the profile.
Texts TableWrite(const std::string& version = "\"1.0\"") {
    return Join({kBasic, kTuners, BandCommands(), {kZeroVersion, "At+SETOEMTABLEVER=5," + version + "\r\n"}});
}

class MipiXmlTest : public mipitest::MipiTest {
protected:
    void SetUp() override {
        MipiTest::SetUp();
        Board("boardx");
        modem().SetDeviceMode(4, 0, 0);  // "flat": profile 3
    }
    void WriteTables(const Tables& tables, const std::string& prefix = "BOARDX_") { WriteMipiFiles(prefix, tables); }
    DWORD Run(const std::string& mcc, const std::string& board, const std::string& version) {
        CAntMipiXmlCfg writer;
        return writer.SetAntCfgXml(mcc, board, version, &changed_);
    }
    bool changed_ = false;
};

// ---- the full write --------------------------------------------------------------

TEST_F(MipiXmlTest, ChangedVersionWritesFortySixCommandsInOrder) {
    WriteTables(DefaultTables());
    std::int64_t start = Now();
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_TRUE(changed_);
    Texts expected = Join({TableWrite(), {"AT+GTANTPROFILE=3\r\n"}});
    ASSERT_EQ(expected.size(), 46u);
    EXPECT_EQ(Sent(), expected);

    std::vector<std::int64_t> times = SentTimes();
    ASSERT_EQ(times.size(), 46u);
    const std::int64_t exchange = times[1] - times[0];  // two basic parameters, no pause between
    for (int k = 1; k < 46; ++k) {
        const bool afterTuner = k >= 4 && k <= 7;
        EXPECT_EQ(times[k] - times[k - 1] - exchange, afterTuner ? 1000 : 0) << "before command " << k;
    }
    EXPECT_GE(Now() - start, 4000);
    EXPECT_LT(Now() - start, 4000 + 47 * exchange);
}

TEST_F(MipiXmlTest, VersionRecordsAreUpperCasedAndQuoted) {
    struct Case {
        const char* file;
        const char* modem;
        const char* recorded;
    };
    const Case cases[] = {{"a1.b2", "A1.B1", "\"A1.B2\""}, {"1.0", "", "\"1.0\""}};
    for (const Case& c : cases) {
        MarkHere();
        Tables tables = DefaultTables();
        tables[0].version = c.file;
        WriteTables(tables);
        changed_ = false;
        CAntMipiXmlCfg writer;
        EXPECT_EQ(writer.SetAntCfgXml("", "BOARDX", c.modem, &changed_), 0u) << c.file;
        Texts sent = Sent();
        ASSERT_EQ(sent.size(), 46u) << c.file;
        EXPECT_EQ(sent[43], kZeroVersion) << "the GPO slot gets the zero version first";
        EXPECT_EQ(sent[44], std::string("At+SETOEMTABLEVER=5,") + c.recorded + "\r\n");
        EXPECT_TRUE(changed_);
    }
}

TEST_F(MipiXmlTest, EqualVersionSendsBasicParametersAndProfileOnly) {
    Tables tables = DefaultTables();
    tables[0].version = "ab.01";
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "AB.01"), 0u);
    EXPECT_EQ(Sent(), Join({kBasic, {"AT+GTANTPROFILE=3\r\n"}}));
    EXPECT_FALSE(changed_);
}

TEST_F(MipiXmlTest, NoVersionInTheMasterFileSendsNothing) {
    Tables tables = DefaultTables();
    tables[0].version = "";
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "1.0"), 0u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(changed_);
    const std::string line =
        "Table file not used: " + RunPath() + "BOARDX_" + MipiFileName(0) + ": its XmlVer cannot be read";
    EXPECT_EQ(CountLogged(line), 1u);

    // A master file that is no XML at all says the same.
    WriteRunFile("BOARDX_" + MipiFileName(0), "this is not xml");
    EXPECT_EQ(Run("", "BOARDX", "1.0"), 0u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(CountLogged(line), 2u);
}

TEST_F(MipiXmlTest, BandPairsFollowTheIndexOrderAndDropUnknownBands) {
    Tables tables = DefaultTables();
    tables[2].bands[1] = {{"B5_1", "12"}, {"b1_0", "4"}, {"B99_0", "1"}, {"B2_0", "7"}, {"B28A", "5"}};
    tables[2].bands[2] = {{"B71_1", "3"}, {"B28B_1", "8"}, {"B66_0", "1"}, {"B28A_0", "6"}, {"B2_0", "7"}};
    tables[5].bands[3] = {{"B99_1", "1"}};
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u);
    Texts sent = Sent();
    ASSERT_EQ(sent.size(), 46u);
    EXPECT_EQ(sent[7 + 4 * 2 + 1], "AT+GTANTMIPICFG=1,0,2,2,7,9,12,\r\n");
    EXPECT_EQ(sent[7 + 4 * 2 + 2], "AT+GTANTMIPICFG=2,0,2,2,7,34,6,37,8,56,1,59,3\r\n");
    EXPECT_EQ(sent[7 + 4 * 5 + 3], "AT+GTANTMIPICFG=3,0,5,\r\n") << "a tuner without known bands: its prefix alone";
}

// ---- which files -----------------------------------------------------------------

TEST_F(MipiXmlTest, EveryOneOfTheNineFilesIsRequired) {
    for (int missing = 0; missing < 9; ++missing) {
        MarkHere();
        changed_ = false;
        WriteTables(DefaultTables());
        RemoveRunFile("BOARDX_" + MipiFileName(missing));
        EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u) << missing;
        EXPECT_TRUE(Sent().empty()) << missing;
        EXPECT_FALSE(changed_);
    }
}

struct SelectCase {
    const char* name;
    const char* registryBoard;  // nullptr: no value
    const char* mcc;
    const char* boardArgument;
    const char* prefix;  // of the nine files written
    bool selected;
};

void PrintTo(const SelectCase& c, std::ostream* out) { *out << c.name; }

class MipiXmlSelect : public MipiXmlTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(MipiXmlSelect, NamesFromBoardProductAndMcc) {
    const SelectCase& c = GetParam();
    if (c.registryBoard) {
        Board(c.registryBoard);
    } else {
        machine().registry().DeleteValue(mipitest::kBoardKey, "BaseBoardProduct");
    }
    WriteTables(DefaultTables(), c.prefix);
    EXPECT_EQ(Run(c.mcc, c.boardArgument, "0.9"), 0u);
    EXPECT_EQ(Sent().size(), c.selected ? 46u : 0u);
    EXPECT_EQ(changed_, c.selected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MipiXmlSelect,
    ::testing::Values(
        SelectCase{"RegistryBoardWithoutMcc", "boardx", "", "OTHER", "BOARDX_", true},
        SelectCase{"ArgumentBoardNotUsedWithoutMcc", "boardx", "", "OTHER", "OTHER_", false},
        SelectCase{"ArgumentBoardWithMcc", "boardx", "310", "OTHER", "OTHER_310_", true},
        SelectCase{"MccFilesOnly", "boardx", "310", "BOARDX", "BOARDX_", false},
        SelectCase{"PlainFilesNeverUsed", "boardx", "", "BOARDX", "", false},
        SelectCase{"EmptyRegistryBoard", "", "310", "BOARDX", "BOARDX_310_", false},
        SelectCase{"NoRegistryBoard", nullptr, "", "BOARDX", "BOARDX_", false}),
    [](const ::testing::TestParamInfo<SelectCase>& info) { return std::string(info.param.name); });

// ---- damaged files send nothing --------------------------------------------------

struct DamageCase {
    const char* name;
    std::function<void(Tables&, std::array<std::string, 9>&)> damage;  // on the tables, or the texts written
};

void PrintTo(const DamageCase& c, std::ostream* out) { *out << c.name; }

class MipiXmlDamaged : public MipiXmlTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(MipiXmlDamaged, ChangedPathSendsNothing) {
    Tables tables = DefaultTables();
    std::array<std::string, 9> texts;
    GetParam().damage(tables, texts);
    for (int n = 0; n < 9; ++n) {
        std::string text = texts[n].empty() ? mipitest::MipiXml(tables[n]) : texts[n];
        WriteRunFile("BOARDX_" + MipiFileName(n), text);
    }
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(changed_);
    // One line says which file was not used, or which value was refused.
    std::size_t lines = 0;
    std::istringstream log(Log());
    for (std::string text; std::getline(log, text);)
        lines += text.find(": Table file not used: C:\\") != std::string::npos ||
                 text.find(": Table value refused: C:\\") != std::string::npos;
    EXPECT_EQ(lines, 1u);
}

void Replace(std::string& text, const std::string& from, const std::string& to) {
    std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MipiXmlDamaged,
    ::testing::Values(
        DamageCase{"NotXml", [](Tables&, std::array<std::string, 9>& texts) { texts[5] = "<AntmipiConfigTable>"; }},
        DamageCase{"NoModeCfg",
                   [](Tables& t, std::array<std::string, 9>& texts) {
                       texts[4] = mipitest::MipiXml(t[4]);
                       Replace(texts[4], "<ModeCfg>", "<ModeCfgX>");
                       Replace(texts[4], "</ModeCfg>", "</ModeCfgX>");
                   }},
        DamageCase{"TunerWithoutBands", [](Tables& t, std::array<std::string, 9>&) { t[3].bands[2].clear(); }},
        DamageCase{"ThreeTunersOfBands", [](Tables& t, std::array<std::string, 9>&) { t[7].bands.pop_back(); }},
        DamageCase{"NoBandData", [](Tables& t, std::array<std::string, 9>&) { t[1].bands.clear(); }},
        DamageCase{"BandWithoutValue",
                   [](Tables& t, std::array<std::string, 9>& texts) {
                       texts[8] = mipitest::MipiXml(t[8]);
                       Replace(texts[8], "GD=\"8\"", "XX=\"8\"");
                   }},
        DamageCase{"LineBreakInBandValue",
                   [](Tables& t, std::array<std::string, 9>&) { t[2].bands[0][0].second = "1\r\nAT+RESET"; }},
        DamageCase{"QuoteInBandValueOfUnknownBand",
                   [](Tables& t, std::array<std::string, 9>&) { t[6].bands[1].push_back({"B99_0", "1\""}); }},
        DamageCase{"ThreeTunerElements", [](Tables& t, std::array<std::string, 9>&) { t[0].tuners.pop_back(); }},
        DamageCase{"NoTunerElements", [](Tables& t, std::array<std::string, 9>&) { t[0].tuners.clear(); }},
        DamageCase{"QuoteInTuner", [](Tables& t, std::array<std::string, 9>&) { t[0].tuners[1].usid = "1\"3"; }},
        DamageCase{"NoParam", [](Tables& t, std::array<std::string, 9>&) { t[0].params.clear(); }},
        DamageCase{"ControlInParam", [](Tables& t, std::array<std::string, 9>&) { t[0].params[2] = "0\x1b"; }},
        DamageCase{"QuoteInVersion", [](Tables& t, std::array<std::string, 9>&) { t[0].version = "1.\"0"; }},
        DamageCase{"BandCommandTooLong",
                   [](Tables& t, std::array<std::string, 9>&) { t[4].bands[0][0].second = std::string(4080, '7'); }}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return std::string(info.param.name); });

TEST_F(MipiXmlTest, EmptyTuneModeSendsTwoCommandsThenFive) {
    Tables tables = DefaultTables();
    tables[0].params = {"1", "2"};
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 5u);
    EXPECT_EQ(Sent(), Texts(kBasic.begin(), kBasic.begin() + 2));
    EXPECT_FALSE(changed_);
}

TEST_F(MipiXmlTest, FailingSecondTunerEndsAfterOnePause) {
    WriteTables(DefaultTables());
    Fail(kTuners[1]);
    EXPECT_NE(Run("", "BOARDX", "0.9"), 0u);
    Texts sent = Sent();
    EXPECT_EQ(sent, Join({kBasic, {kTuners[0]}, Texts(5, kTuners[1])}));
    std::vector<std::int64_t> times = SentTimes();
    ASSERT_EQ(times.size(), 9u);
    EXPECT_EQ(times[4] - times[3] - (times[1] - times[0]), 1000) << "one pause, after tuner 0";
    EXPECT_FALSE(changed_);
}

// ---- the profile -----------------------------------------------------------------

TEST_F(MipiXmlTest, PostureWithoutEnableEntrySendsNoProfileOnEitherPath) {
    Tables tables = DefaultTables();
    tables[0].enable = {{"tablet", "6"}};
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_EQ(Sent(), TableWrite());
    EXPECT_TRUE(changed_);
    EXPECT_EQ(CountLogged("No antenna profile for posture flat: AT+GTANTPROFILE not sent"), 1u);

    MarkHere();
    changed_ = false;
    EXPECT_EQ(Run("", "BOARDX", "1.0"), 0u);
    EXPECT_EQ(Sent(), kBasic);
    EXPECT_FALSE(changed_);
    EXPECT_EQ(CountLogged("No antenna profile for posture flat: AT+GTANTPROFILE not sent"), 2u);
}

TEST_F(MipiXmlTest, ProfileLookupFailingAfterTheTablesStillReportsTheChange) {
    Tables tables = DefaultTables();
    tables[0].enable.clear();  // "ModeCfg" without any "Enable": the lookup fails
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_EQ(Sent(), TableWrite());
    EXPECT_TRUE(changed_);
}

TEST_F(MipiXmlTest, ProfileCommandFailingAfterTheTablesStillReportsTheChange) {
    WriteTables(DefaultTables());
    Fail("AT+GTANTPROFILE=3\r\n");
    EXPECT_NE(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_EQ(Sent(), Join({TableWrite(), Texts(5, "AT+GTANTPROFILE=3\r\n")}));
    EXPECT_TRUE(changed_);
}

TEST_F(MipiXmlTest, FailedVersionRecordLeavesTheChangeUnreported) {
    WriteTables(DefaultTables());
    Fail("At+SETOEMTABLEVER=5,\"1.0\"\r\n");
    EXPECT_NE(Run("", "BOARDX", "0.9"), 0u);
    EXPECT_FALSE(changed_);
    Texts sent = Sent();
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "At+SETOEMTABLEVER=5,\"1.0\"\r\n") << "no profile after it";
}

TEST_F(MipiXmlTest, UnchangedPathWithoutEnableListSendsNothing) {
    Tables tables = DefaultTables();
    tables[0].enable.clear();
    WriteTables(tables);
    EXPECT_EQ(Run("", "BOARDX", "1.0"), 0u);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(CountLogged("Table file not used: " + RunPath() + "BOARDX_" + MipiFileName(0) +
                          ": its version is the modem's and it holds no ModeCfg Enable entries to select a table by"),
              1u);
}

}  // namespace
