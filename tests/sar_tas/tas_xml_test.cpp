// The regional TA-SAR writers: which file applies, the unchanged and changed
// paths command by command, the registry values, and files that must send
// nothing because something in them cannot be read or sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sar_tas/CTasSarCfg_CE.h"
#include "sar_tas/CTasSarCfg_FCC.h"
#include "sar_tas/CTasSarCfg_ISED.h"
#include "sar_tas/CTasSarXml.h"
#include "tests/sar_tas/tas_fixture.h"

namespace {

using tastest::kRun;
using tastest::TasTest;
using Items = std::vector<std::pair<std::string, std::string>>;

constexpr const char* kSkipLine = "No table for the device mode, BODYSARON not sent.";
constexpr const char* kZero = "\"0000.0000.000000.0000.0000.000\"";

// A TA-SAR table file; by default nine full profiles, four parameters and the
// posture "Lowest Power" on table 3.
struct TasFile {
    std::string version = "v1.0";
    bool xmlVer = true;
    bool modeCfg = true;
    Items enable = {{"Full Power", "5"}, {"Lowest Power", "3"}};
    bool param = true;
    std::vector<std::string> params = {"1", "2", "30", "40"};
    std::vector<Items> tables;

    TasFile() {
        for (int p = 0; p < 9; ++p) tables.push_back(Profile(p));
    }
    static Items Profile(int p) {
        return {{"WCDMA_B1", std::to_string(20 + p)}, {"LTE_B3", "15"}, {"LTE_B66", std::to_string(10 + p)}};
    }
    std::string Text() const {
        std::string xml = "<?xml version=\"1.0\"?>\n<TasTable>\n";
        if (xmlVer) xml += "  <XmlVer>" + version + "</XmlVer>\n";
        if (modeCfg) {
            xml += "  <ModeCfg>\n";
            for (const auto& [mode, table] : enable)
                xml += "    <Enable Mode=\"" + mode + "\" Table=\"" + table + "\"/>\n";
            xml += "  </ModeCfg>\n";
        }
        if (param) {
            xml += "  <Param>\n";
            for (std::size_t i = 0; i < params.size(); ++i)
                xml += "    <Item name=\"P" + std::to_string(i) + "\" value=\"" + params[i] + "\"/>\n";
            xml += "  </Param>\n";
        }
        xml += "  <Tas_Data>\n";
        for (const Items& table : tables) {
            xml += "    <Table>\n";
            for (const auto& [name, value] : table)
                xml += "      <Item name=\"" + name + "\" value=\"" + value + "\"/>\n";
            xml += "    </Table>\n";
        }
        return xml + "  </Tas_Data>\n</TasTable>\n";
    }
};

// Everything that sets one region's writer apart, and a call that makes it apply.
struct Region {
    const char* name;
    const char* file;  // the file the call selects
    std::function<int(const std::string& version, bool* changed)> run;
    const char* algorithm;
    int zeroSlot;
    int fileSlot;
    const char* tag;
    int offset;
};

const Region kRegions[] = {
    {"FCC", "BOARDX_310_SAR_TAS_FCC_PV.xml",
     [](const std::string& v, bool* c) { return CTasSarCfg_FCC().SetTasSarXml("310", "", "BOARDX", v, c); },
     "AT+GTTASALGO=1\r\n", 3, 2, "TAS_FCC", 0},
    {"CE", "BOARDX_208_SAR_TAS_CE_PV.xml",
     [](const std::string& v, bool* c) { return CTasSarCfg_CE().SetTasSarXml("208", "", "BOARDX", v, c); },
     "AT+GTTASALGO=1\r\n", 3, 2, "TAS_CE", 10},
    {"ISED", "BOARDX_302_SAR_TAS_ISED_PV.xml",
     [](const std::string& v, bool* c) { return CTasSarCfg_ISED().SetTasSarXml("302", "BOARDX", v, c); },
     "AT+GTTASALGO=2\r\n", 2, 3, "TAS_ISED", 20},
};

// Every exchange with the modem from `from` on: AT commands as in Sent()
// and each question for the posture as "posture?".
std::vector<std::string> Exchanges(const std::vector<sim::ModemCommand>& commands, std::size_t from) {
    std::vector<std::string> seen;
    for (std::size_t i = from; i < commands.size(); ++i) {
        const sim::ModemCommand& c = commands[i];
        if (c.serviceId == sim::kDeviceModeServiceId) {
            seen.push_back("posture?");
        } else if (c.serviceId == sim::kAtServiceId) {
            std::string bytes = c.bytes;
            if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0) bytes.resize(bytes.size() - 2);
            seen.push_back(bytes);
        }
    }
    return seen;
}

class TasXml : public TasTest, public ::testing::WithParamInterface<Region> {
protected:
    const Region& R() const { return GetParam(); }
    void Write(const TasFile& file) { RunFile(R().file, file.Text()); }
    int Run(const std::string& modemVersion, bool* changed = nullptr) {
        bool local = false;
        return R().run(modemVersion, changed ? changed : &local);
    }
    // The changed path of the default file, without the posture's table.
    std::vector<std::string> TableCommands(const std::string& params = "1,2,30,40") const {
        std::vector<std::string> c = {"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", R().algorithm};
        for (int p = 0; p < 9; ++p) {
            c.push_back("AT+GTTASPROFILE=" + std::to_string(p) + "\r\n");
            c.push_back("AT+GTTAS=1," + std::to_string(20 + p) + ",\"0x1\"\r\n");
            c.push_back("AT+GTTAS=2," + std::to_string(10 + p) + ",\"0x20000000000000000\",15,\"0x4\"\r\n");
        }
        c.push_back("AT+GTTASCFG=" + params + "\r\n");
        c.push_back("At+SETOEMTABLEVER=" + std::to_string(R().zeroSlot) + "," + kZero + "\r\n");
        c.push_back("At+SETOEMTABLEVER=" + std::to_string(R().fileSlot) + ",\"V1.0\"\r\n");
        return c;
    }
    void ExpectRegistry(const std::string& mode, const std::string& index) {
        EXPECT_EQ(Registry("RegulatoryID"), R().tag);
        EXPECT_EQ(Registry("DeviceMode"), mode);
        EXPECT_EQ(Registry("SARIndex"), index);
    }
    void ExpectNoRegistry() { EXPECT_EQ(Registry("RegulatoryID"), "<none>"); }
};

INSTANTIATE_TEST_SUITE_P(Regions, TasXml, ::testing::ValuesIn(kRegions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(TasXml, VersionsEqualButForLetterCaseOnlySelectTheTable) {
    Write(TasFile());
    bool changed = false;
    EXPECT_EQ(Run("V1.0", &changed), 0);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", R().algorithm,
                                                "AT+BODYSARON=3\r\n"}));
    EXPECT_FALSE(changed);
    ExpectRegistry("3", std::to_string(3 + R().offset));
}

// A file that would switch body SAR off and never switch TA SAR on is not
// used at all: nothing is sent, no registry value written, and the log names
// the file and why.
TEST_P(TasXml, DamagedFileSendsNothingAndSaysWhy) {
    struct Case {
        const char* name;
        std::string text;
        const char* modemVersion;
        const char* why;
    };
    TasFile noXmlVer, noEnable, noModeCfg;
    noXmlVer.xmlVer = false;
    noEnable.enable.clear();
    noModeCfg.modeCfg = false;
    const char* kNoXmlVer = "its XmlVer cannot be read";
    const char* kNoEnable = "its version is the modem's and it holds no ModeCfg Enable entries to select a table by";
    const Case cases[] = {
        {"not xml", "this is not xml", "v1.0", kNoXmlVer},
        {"not xml, any modem version", "this is not xml", "v0.9", kNoXmlVer},
        {"an empty file", "", "v1.0", kNoXmlVer},
        {"XmlVer missing", noXmlVer.Text(), "v0.9", kNoXmlVer},
        {"XmlVer missing, no modem version", noXmlVer.Text(), "", kNoXmlVer},
        {"no Enable entries, version unchanged", noEnable.Text(), "v1.0", kNoEnable},
        {"no ModeCfg, version unchanged", noModeCfg.Text(), "V1.0", kNoEnable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunFile(R().file, c.text);
        const std::string line = std::string("Table file not used: ") + kRun + R().file + ": " + c.why;
        const std::size_t logged = CountLogged(line);
        const std::size_t from = modem().Commands().size();
        bool changed = false;
        EXPECT_EQ(Run(c.modemVersion, &changed), 0);
        EXPECT_TRUE(Exchanges(modem().Commands(), from).size() <= 1u);  // at most the question for the posture
        EXPECT_TRUE(Sent().empty());
        EXPECT_FALSE(changed);
        ExpectNoRegistry();
        EXPECT_EQ(CountLogged(line) - logged, 1u);
    }
}

TEST_P(TasXml, ChangedVersionWritesTablesParametersAndVersionInSlotOrder) {
    Write(TasFile());
    bool changed = false;
    EXPECT_EQ(Run("v0.9", &changed), 0);
    std::vector<std::string> expected = TableCommands();
    expected.push_back("AT+BODYSARON=3\r\n");
    EXPECT_EQ(Sent(), expected);
    EXPECT_TRUE(changed);
    ExpectRegistry("3", std::to_string(3 + R().offset));
}

TEST_P(TasXml, ProfileWithOnlyLteItemsSendsTheBareWcdmaPrefix) {
    TasFile file;
    file.tables[4] = {{"LTE_B1", "23"}};
    Write(file);
    EXPECT_EQ(Run("v0.9"), 0);
    std::vector<std::string> sent = Sent();
    auto at = std::find(sent.begin(), sent.end(), "AT+GTTASPROFILE=4\r\n");
    ASSERT_NE(at, sent.end());
    ASSERT_GE(sent.end() - at, 3);
    EXPECT_EQ(at[1], "AT+GTTAS=1,\r\n");
    EXPECT_EQ(at[2], "AT+GTTAS=2,23,\"0x1\"\r\n");
}

TEST_P(TasXml, FailureAtProfileFiveLeavesVersionAndFlagAlone) {
    Write(TasFile());
    Refuse("AT+GTTASPROFILE=5\r\n");
    bool changed = false;
    EXPECT_NE(Run("v0.9", &changed), 0);
    std::vector<std::string> expected = TableCommands();
    expected.resize(3 + 5 * 3);
    expected.insert(expected.end(), 5, "AT+GTTASPROFILE=5\r\n");  // every attempt of the retries
    EXPECT_EQ(Sent(), expected);
    EXPECT_FALSE(changed);
    ExpectNoRegistry();
}

// The modem disappears halfway through the tables (it answers profile 4, then
// is gone): the write ends with the failure, records no version and leaves the
// flag alone; once the modem is back the next write starts over and turns TA
// SAR on again.
TEST_P(TasXml, ModemGoneHalfwayThroughTheTablesIsWrittenWholeNextTime) {
    Write(TasFile());
    const sim::ModemInterface settings = modem().Interface(0);
    sim::ModemReply gone = sim::ModemReply::Text("\r\nOK\r\n");
    gone.gone = true;
    modem().SetReply("AT+GTTASPROFILE=4\r\n\r\n", gone);
    bool changed = false;
    EXPECT_NE(Run("v0.9", &changed), 0);
    std::vector<std::string> upToProfile4 = TableCommands();
    upToProfile4.resize(3 + 4 * 3 + 1);  // the three first commands, profiles 0 to 3, profile 4's own
    EXPECT_EQ(Sent(), upToProfile4);  // nothing reached the modem after it
    EXPECT_FALSE(changed);
    ExpectNoRegistry();
    EXPECT_TRUE(Logged("MBIM not exist"));

    Reply("AT+GTTASPROFILE=4\r\n", "\r\nOK\r\n");
    modem().ReturnInterface(settings);
    machine().clock().Settle();
    Mark();
    EXPECT_EQ(Run("v0.9", &changed), 0);
    std::vector<std::string> whole = TableCommands();
    whole.push_back("AT+BODYSARON=3\r\n");
    EXPECT_EQ(Sent(), whole);
    EXPECT_TRUE(changed);
    ExpectRegistry("3", std::to_string(3 + R().offset));
}

TEST_P(TasXml, FailingFirstCommandEndsTheUnchangedPath) {
    Write(TasFile());
    Refuse("AT+BODYSAREN=0\r\n");
    EXPECT_NE(Run("v1.0"), 0);
    // The question for the posture, then every attempt of the retries.
    std::vector<std::string> expected(5, "AT+BODYSAREN=0\r\n");
    expected.insert(expected.begin(), "posture?");
    EXPECT_EQ(Exchanges(modem().Commands(), 0), expected);
    ExpectNoRegistry();
}

// The table text of the posture, as registry values.
TEST_P(TasXml, TableTextGivesDeviceModeAndSarIndex) {
    struct Case {
        const char* table;
        std::string mode;
        std::string index;
    };
    const std::string n8 = std::to_string(8 + R().offset);
    const std::string n1 = std::to_string(1 + R().offset);
    const Case cases[] = {
        {"8", "8", n8},   {"9", "", ""},    {"-1", "", ""},  {"abc", "0", "0"}, {"0", "0", "0"},
        {" +1x", "1", n1}, {"99999999999999999999", "", ""}, {"-99999999999999999999", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        TasFile file;
        file.enable = {{"Lowest Power", c.table}};
        Write(file);
        ASSERT_EQ(Run("v1.0"), 0);
        EXPECT_EQ(Sent().back(), std::string("AT+BODYSARON=") + c.table + "\r\n");
        ExpectRegistry(c.mode, c.index);
    }
}

TEST_P(TasXml, PostureNamedByNoEntrySendsNoEmptyTableCommand) {
    TasFile file;
    file.enable = {{"tablet", "7"}};
    Write(file);
    bool changed = false;
    EXPECT_EQ(Run("v0.9", &changed), 0);
    EXPECT_EQ(Sent(), TableCommands());
    EXPECT_TRUE(changed);
    ExpectRegistry("0", "0");
    EXPECT_EQ(CountLogged(kSkipLine), 1u);

    machine().registry().DeleteKey(tastest::kServiceKey);
    Mark();
    EXPECT_EQ(Run("v1.0"), 0);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", R().algorithm}));
    ExpectRegistry("0", "0");

    modem().SetDeviceMode(7, 0, 0);
    EXPECT_EQ(Run("v1.0"), 0);
    EXPECT_EQ(Sent().back(), "AT+BODYSARON=7\r\n");
    ExpectRegistry("7", std::to_string(7 + R().offset));
}

// A posture table text that cannot travel inside a command is skipped like a
// missing one: logged, the rest of the path goes on with table number 0.
TEST_P(TasXml, PostureTableThatCannotBeSentIsSkippedLikeAMissingOne) {
    const std::string texts[] = {"3&quot;", "3&#13;AT+RESET", "3&#9;", std::string(4090, '3')};
    for (const std::string& text : texts) {
        SCOPED_TRACE(text.substr(0, 16));
        TasFile file;
        file.enable[1].second = text;
        Write(file);
        std::size_t skips = CountLogged(kSkipLine);
        machine().registry().DeleteKey(tastest::kServiceKey);
        Mark();
        bool changed = false;
        EXPECT_EQ(Run("v0.9", &changed), 0);
        EXPECT_EQ(Sent(), TableCommands());
        EXPECT_TRUE(changed);
        ExpectRegistry("0", "0");

        machine().registry().DeleteKey(tastest::kServiceKey);
        Mark();
        changed = false;
        EXPECT_EQ(Run("v1.0", &changed), 0);
        EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", R().algorithm}));
        EXPECT_FALSE(changed);
        ExpectRegistry("0", "0");
        EXPECT_EQ(CountLogged(kSkipLine), skips + 2);
    }
}

TEST_P(TasXml, ChangedFileWithoutEnableEntriesStillReportsTheChange) {
    TasFile file;
    file.enable.clear();
    Write(file);
    bool changed = false;
    EXPECT_EQ(Run("v0.9", &changed), 0);
    EXPECT_EQ(Sent(), TableCommands());
    EXPECT_TRUE(changed);
    ExpectNoRegistry();
}

// The posture is asked before the first command on the unchanged path (the
// writer must know it has a table to select before it switches body SAR
// off), and only once the version is recorded on the changed one.
TEST_P(TasXml, PostureIsAskedWhereThePathSelectsTheTable) {
    struct Case {
        const char* name;
        bool enable;
        const char* modemVersion;
        std::vector<std::string> expected;
    };
    std::vector<std::string> changedPath = TableCommands();
    changedPath.push_back("posture?");
    std::vector<std::string> changedNoEnable = changedPath;
    changedPath.push_back("AT+BODYSARON=3\r\n");
    const Case cases[] = {
        {"unchanged", true, "v1.0",
         {"posture?", "AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", R().algorithm, "AT+BODYSARON=3\r\n"}},
        {"unchanged without Enable entries", false, "v1.0", {"posture?"}},
        {"changed", true, "v0.9", changedPath},
        {"changed without Enable entries", false, "v0.9", changedNoEnable},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TasFile file;
        if (!c.enable) file.enable.clear();
        Write(file);
        const std::size_t from = modem().Commands().size();
        EXPECT_EQ(Run(c.modemVersion), 0);
        EXPECT_EQ(Exchanges(modem().Commands(), from), c.expected);
    }
}

// Files whose changed path must send nothing at all: before the fix the
// writer had switched body SAR off by then. The one line logged names the
// file and what is wrong with it.
TEST_P(TasXml, UnreadableOrUnsendableFileSendsNothing) {
    struct Case {
        const char* name;
        std::function<void(TasFile&)> spoil;
        std::string line;  // after "<file>: "
    };
    const std::string refused = "Table value refused: ";
    const std::string unused = "Table file not used: ";
    const Case cases[] = {
        {"profile 5 without items", [](TasFile& f) { f.tables[5].clear(); }, unused + "its Tas_Data table 5 cannot be read"},
        {"eight profiles", [](TasFile& f) { f.tables.pop_back(); }, unused + "its Tas_Data table 8 cannot be read"},
        {"first profile empty", [](TasFile& f) { f.tables[0].clear(); }, unused + "its Tas_Data table 0 cannot be read"},
        {"no Param", [](TasFile& f) { f.param = false; }, unused + "its Param 1 is missing or empty"},
        {"empty Param", [](TasFile& f) { f.params.clear(); }, unused + "its Param 1 is missing or empty"},
        {"three parameters", [](TasFile& f) { f.params.pop_back(); }, unused + "its Param 4 is missing or empty"},
        {"empty parameter", [](TasFile& f) { f.params[2] = ""; }, unused + "its Param 3 is missing or empty"},
        {"line break in a band value", [](TasFile& f) { f.tables[2][0].second = "23&#13;&#10;AT+RESET"; },
         refused + "Tas_Data table 2 WCDMA_B1 \"23\\r\\nAT+RESET\" cannot travel inside an AT command"},
        {"quote in a band value", [](TasFile& f) { f.tables[8][1].second = "1&quot;5"; },
         refused + "Tas_Data table 8 LTE_B3 \"1\\\"5\" cannot travel inside an AT command"},
        {"control character in a parameter", [](TasFile& f) { f.params[0] = "1&#9;"; },
         refused + "Param 1 \"1\\t\" cannot travel inside an AT command"},
        {"line break in the version", [](TasFile& f) { f.version = "v2&#10;AT+RESET"; },
         refused + "XmlVer \"V2\\nAT+RESET\" cannot travel inside an AT command"},
        {"value too long for a command", [](TasFile& f) { f.tables[1][1].second = std::string(4100, '7'); },
         unused + "its command \"AT+GTTAS=2,11,\\\"0x20000000000000000\\\"," + std::string(24, '7') +
             "...\" (4144 bytes) is longer than 4095 characters"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t before = Sent().size();
        TasFile file;
        c.spoil(file);
        Write(file);
        // The file's name goes after the line's opening words.
        std::string line = c.line;
        line.insert(line.find(": ") + 2, kRun + std::string(R().file) + ": ");
        const std::size_t logged = CountLogged(line);
        bool changed = false;
        EXPECT_EQ(Run("v0.9", &changed), 0);
        EXPECT_EQ(Sent().size(), before);
        EXPECT_FALSE(changed);
        ExpectNoRegistry();
        EXPECT_EQ(CountLogged(line) - logged, 1u) << line;
    }
}

// A band name outside the full set is not sent, so whatever it holds does no harm.
TEST_P(TasXml, UnknownBandNamesAreIgnoredWhateverTheyHold) {
    TasFile file;
    file.tables[3].push_back({"lte_b1", "1&#10;2"});
    Write(file);
    EXPECT_EQ(Run("v0.9"), 0);
    EXPECT_EQ(Sent().size(), TableCommands().size() + 1);
}

TEST(TasTableNumber, ReadsWithinRangeOnly) {
    struct Case {
        const char* text;
        std::optional<long long> number;
    };
    const Case cases[] = {
        {"", 0},         {"8", 8},   {" 12", 12}, {"-1", -1},           {"+3z", 3},
        {"abc", 0},      {"-", 0},   {"0x5", 0},  {"2147483648", std::nullopt},
        {"-9223372036854775809", std::nullopt},   {"000000000000000000000007", 7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CTasSarXml::ParseTableNumber(c.text), c.number) << c.text;
    }
}

// Which writer applies, and which file it takes, for each MCC situation.
TEST_F(TasTest, EachRegionSelectsItsOneFile) {
    const char* kFiles[] = {
        "ARGB_310_SAR_TAS_FCC_PV.xml", "BOARDX_310_SAR_TAS_FCC_PV.xml", "BOARDX_SAR_TAS_FCC_PV.xml",
        "ARGB_208_SAR_TAS_CE_PV.xml",  "ARGB_302_SAR_TAS_CE_PV.xml",    "BOARDX_SAR_TAS_CE_PV.xml",
        "ARGB_302_SAR_TAS_ISED_PV.xml", "BOARDX_302_SAR_TAS_ISED_PV.xml", "BOARDX_SAR_TAS_ISED_PV.xml",
    };
    for (const char* name : kFiles) RunFile(name, TasFile().Text());

    struct Case {
        const char* name;
        const char* mcc;
        const char* net;
        const char* ceList;
        const char* isedList;
        const char* board;  // registry
        const char* fcc;    // file selected, "" for none
        const char* ce;
        const char* ised;
    };
    const Case cases[] = {
        {"board only", "", "", "262,208", "302", "boardx", "", "BOARDX_SAR_TAS_CE_PV.xml", ""},
        {"board only, empty CE list", "", "", "", "", "boardx", "", "BOARDX_SAR_TAS_CE_PV.xml", ""},
        {"MCC in no list", "310", "", "262,208", "302", "boardx", "ARGB_310_SAR_TAS_FCC_PV.xml", "", ""},
        {"MCC in the CE list", "208", "", "262,208", "302", "boardx", "", "ARGB_208_SAR_TAS_CE_PV.xml", ""},
        {"MCC in the ISED list", "302", "", "262,208", "302", "boardx", "", "", "BOARDX_302_SAR_TAS_ISED_PV.xml"},
        {"MCC in both lists", "302", "", "262,302", "302", "boardx", "", "ARGB_302_SAR_TAS_CE_PV.xml",
         "BOARDX_302_SAR_TAS_ISED_PV.xml"},
        {"network MCC in no list", "", "310", "262,208", "302", "boardx", "BOARDX_SAR_TAS_FCC_PV.xml", "", ""},
        {"network MCC in the ISED list", "", "302", "262,208", "302", "boardx", "", "", ""},
        {"network MCC in the CE list", "", "262", "262,208", "302", "boardx", "", "BOARDX_SAR_TAS_CE_PV.xml", ""},
        {"network MCC part of a CE entry", "", "26", "262,208", "302", "boardx", "", "BOARDX_SAR_TAS_CE_PV.xml",
         ""},
        {"no registry board product", "310", "", "262,208", "302", "", "", "", ""},
        {"no file for the MCC", "311", "", "262,208", "302", "boardx", "", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MccLists(c.ceList, c.isedList);
        Board(c.board);
        CTasSarXml fcc(CTasSarCfg_FCC::kRegion), ce(CTasSarCfg_CE::kRegion), ised(CTasSarCfg_ISED::kRegion);
        bool fccApplies = fcc.SelectXmlFile(c.mcc, c.net, "ARGB");
        bool ceApplies = ce.SelectXmlFile(c.mcc, c.net, "ARGB");
        bool isedApplies = ised.SelectXmlFile(c.mcc, "", "ARGB");
        EXPECT_EQ(fcc.XmlPath(), *c.fcc ? kRun + std::string(c.fcc) : "");
        EXPECT_EQ(ce.XmlPath(), *c.ce ? kRun + std::string(c.ce) : "");
        EXPECT_EQ(ised.XmlPath(), *c.ised ? kRun + std::string(c.ised) : "");
        EXPECT_EQ(fccApplies, *c.fcc != 0);
        EXPECT_EQ(ceApplies, *c.ce != 0);
        EXPECT_EQ(isedApplies, *c.ised != 0);
        EXPECT_FALSE(fccApplies && ceApplies);
    }
    EXPECT_TRUE(Sent().empty());
}

// A notebook chosen by board product alone: only the CE writer acts.
TEST_F(TasTest, BoardOnlyNotebookRunsOnlyTheCeWriter) {
    for (const char* name : {"BOARDX_SAR_TAS_FCC_PV.xml", "BOARDX_SAR_TAS_CE_PV.xml", "BOARDX_SAR_TAS_ISED_PV.xml"})
        RunFile(name, TasFile().Text());
    bool changed = false;
    EXPECT_EQ(CTasSarCfg_FCC().SetTasSarXml("", "", "BOARDX", "v1.0", &changed), 0);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(CTasSarCfg_CE().SetTasSarXml("", "", "BOARDX", "v1.0", &changed), 0);
    EXPECT_EQ(Sent().size(), 4u);
    EXPECT_EQ(CTasSarCfg_ISED().SetTasSarXml("", "BOARDX", "v1.0", &changed), 0);
    EXPECT_EQ(Sent().size(), 4u);
    EXPECT_EQ(Registry("RegulatoryID"), "TAS_CE");
}

// CE and ISED both apply: ISED zeroes the slot CE has just recorded in.
TEST_F(TasTest, CeThenIsedShareTheSlotPair) {
    MccLists("262,302", "302");
    RunFile("BOARDX_302_SAR_TAS_CE_PV.xml", TasFile().Text());
    TasFile ised;
    ised.version = "i2";
    RunFile("BOARDX_302_SAR_TAS_ISED_PV.xml", ised.Text());
    bool changed = false;
    EXPECT_EQ(CTasSarCfg_CE().SetTasSarXml("302", "", "BOARDX", "v0.9", &changed), 0);
    EXPECT_EQ(CTasSarCfg_ISED().SetTasSarXml("302", "BOARDX", "i1", &changed), 0);
    std::vector<std::string> versions;
    for (const std::string& c : Sent())
        if (c.rfind("At+SETOEMTABLEVER=", 0) == 0) versions.push_back(c);
    EXPECT_EQ(versions, (std::vector<std::string>{
                            std::string("At+SETOEMTABLEVER=3,") + kZero + "\r\n", "At+SETOEMTABLEVER=2,\"V1.0\"\r\n",
                            std::string("At+SETOEMTABLEVER=2,") + kZero + "\r\n", "At+SETOEMTABLEVER=3,\"I2\"\r\n"}));
    EXPECT_EQ(Registry("RegulatoryID"), "TAS_ISED");
    EXPECT_EQ(Registry("SARIndex"), "23");
}

}  // namespace
