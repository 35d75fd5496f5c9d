// The body-SAR XML writers: the one table file their arguments select, the
// version test, the exact command sequences of the unchanged and changed
// paths, the first failure, and files that cannot be read.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sar_dpr/CDprSarCfg_5201_MultiMode.h"
#include "sar_dpr/CDprSarCfg_5201_NonMultiMode.h"
#include "tests/sar_dpr/dpr_fixture.h"

namespace {

using Commands = std::vector<std::string>;
using Items = std::vector<std::pair<std::string, std::string>>;

const char* const kXml = "SAR_DPR_PV.xml";
const int kBook = 8;  // the device mode whose posture is "book"

struct DprXml {
    std::string version = "abc.2";
    bool xmlVer = true;
    Items enables = {{"book", "3"}, {"tablet", "5"}};
    bool modeCfg = true;
    bool tableData = true;
    std::vector<Items> tables;

    std::string Text() const {
        std::string xml = "<?xml version=\"1.0\"?>\n<Root>";
        if (xmlVer) xml += "<XmlVer>" + version + "</XmlVer>";
        if (modeCfg) {
            xml += "<ModeCfg>";
            for (const auto& [mode, table] : enables) xml += "<Enable Mode=\"" + mode + "\" Table=\"" + table + "\"/>";
            xml += "</ModeCfg>";
        }
        if (tableData) {
            xml += "<Table_Data>";
            for (std::size_t t = 0; t < tables.size(); ++t) {
                std::string name = "Table" + std::to_string(t);
                xml += "<" + name + ">";
                for (const auto& [band, value] : tables[t]) xml += "<Item name=\"" + band + "\" value=\"" + value + "\"/>";
                xml += "</" + name + ">";
            }
            xml += "</Table_Data>";
        }
        return xml + "</Root>\n";
    }
};

// Profile p: WCDMA band 5 = 1p, LTE bands 3 = 2p and 1 = 3p; profile 4 has
// only its LTE values.
std::vector<Items> Profiles(int count) {
    std::vector<Items> tables;
    for (int p = 0; p < count; ++p) {
        std::string n = std::to_string(p);
        Items items = {{"LTE_B3", "2" + n}, {"LTE_B1", "3" + n}};
        if (p != 4) items.insert(items.begin(), {"WCDMA_B5", "1" + n});
        tables.push_back(items);
    }
    return tables;
}

Commands ProfileCommands(int count) {
    Commands commands;
    for (int p = 0; p < count; ++p) {
        std::string n = std::to_string(p);
        commands.push_back("AT+BODYSARPROFILE=" + n);
        commands.push_back(p == 4 ? "AT+BODYSAR=1," : "AT+BODYSAR=1,1" + n + ",\"0x10\"");
        commands.push_back("AT+BODYSAR=2,3" + n + ",\"0x1\",2" + n + ",\"0x4\"");
    }
    return commands;
}

Commands Join(std::initializer_list<Commands> parts) {
    Commands all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

class DprXmlTest : public kvtest::DprTest {
protected:
    void SetUp() override {
        DprTest::SetUp();
        modem().SetDeviceMode(kBook, 0, 0);
    }
    void WriteXml(const std::string& name, const DprXml& xml) { WriteRunFile(name, xml.Text()); }
    void WriteConfig(const std::string& ceMcc) { WriteRunFile("SrvConfig.ini", "[GENERAL]\nCEMCC=" + ceMcc + "\n"); }
    DprXml Nine() {
        DprXml xml;
        xml.tables = Profiles(9);
        return xml;
    }
    const Commands kRegistry = {"BodySAR", "FF", "FF"};
    const Commands kNoRegistry = {"<none>", "<none>", "<none>"};
};

TEST_F(DprXmlTest, NineProfileFileSelection) {
    struct Case {
        const char* mcc;
        const char* netMcc;
        const char* board;
        const char* ceMcc;
        const char* selected;  // null: none
    };
    const Case cases[] = {
        {"", "262", "BOARDX", "262,208", nullptr},
        {"", "26", "BOARDX", "262,208", nullptr},
        {"", "310", "BOARDX", "262,208", "BOARDX_SAR_DPR_PV.xml"},
        {"310", "", "BOARDX", "310", "BOARDX_310_SAR_DPR_PV.xml"},
        {"262", "262", "BOARDX", "262,208", "BOARDX_262_SAR_DPR_PV.xml"},
        {"", "", "BOARDX", "", nullptr},
        {"", "310", "", "", nullptr},
        {"208", "", "BOARDX", "", nullptr},  // no BOARDX_208 file, and no fall-back
        {"", "310", "BOARDY", "", nullptr},
    };
    for (const char* name : {"BOARDX_SAR_DPR_PV.xml", "BOARDX_310_SAR_DPR_PV.xml", "BOARDX_262_SAR_DPR_PV.xml",
                             "SAR_DPR_PV.xml", "_310_SAR_DPR_PV.xml"})
        WriteXml(name, Nine());
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mcc) + "/" + c.netMcc + "/" + c.board + "/" + c.ceMcc);
        WriteConfig(c.ceMcc);
        CDprSarCfg_5201_MultiMode writer;
        EXPECT_EQ(writer.SelectXmlFile(c.mcc, c.netMcc, c.board), c.selected != nullptr);
        EXPECT_EQ(writer.XmlPath(), c.selected ? RunPath() + c.selected : "");
        if (!c.selected) {
            bool changed = false;
            EXPECT_EQ(writer.SetBodySarXml(c.mcc, c.netMcc, c.board, "0", &changed), 0);
            EXPECT_FALSE(changed);
        }
    }
    EXPECT_TRUE(AtCommands().empty());
    EXPECT_EQ(ServiceValues(), kNoRegistry);
}

TEST_F(DprXmlTest, NineProfileUnchangedVersionSelectsThePostureTable) {
    WriteXml("BOARDX_310_SAR_DPR_PV.xml", Nine());
    for (const char* modemVersion : {"ABC.2", "abc.2"}) {
        bool changed = false;
        CDprSarCfg_5201_MultiMode writer;
        EXPECT_EQ(writer.SetBodySarXml("310", "", "BOARDX", modemVersion, &changed), 0);
        EXPECT_FALSE(changed);
    }
    const Commands once = {"AT+GTTASEN=0", "AT+BODYSAREN=1", "AT+BODYSARON=3"};
    EXPECT_EQ(AtCommands(), Join({once, once}));
    EXPECT_EQ(LastAtBytes(), "AT+BODYSARON=3\r\n\r\n");
    EXPECT_EQ(ServiceValues(), kRegistry);
    const std::string key = "set HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv\\";
    auto writes = RegistryWrites();
    ASSERT_EQ(writes.size(), 6u);
    EXPECT_NE(writes[0].find(key + "RegulatoryID = \"BodySAR\""), std::string::npos) << writes[0];
    EXPECT_NE(writes[1].find(key + "DeviceMode = \"FF\""), std::string::npos) << writes[1];
    EXPECT_NE(writes[2].find(key + "SARIndex = \"FF\""), std::string::npos) << writes[2];
}

TEST_F(DprXmlTest, NineProfileChangedVersionWritesEveryProfile) {
    DprXml xml = Nine();
    xml.version = "abc.3";
    WriteXml("BOARDX_310_SAR_DPR_PV.xml", xml);
    bool changed = false;
    CDprSarCfg_5201_MultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("310", "", "BOARDX", "abc.2", &changed), 0);
    EXPECT_TRUE(changed);
    Commands expected = Join({{"AT+GTTASEN=0", "AT+BODYSAREN=1"},
                              ProfileCommands(9),
                              {"At+SETOEMTABLEVER=1,\"ABC.3\"", "AT+BODYSARON=3"}});
    EXPECT_EQ(expected.size(), 31u);
    EXPECT_EQ(AtCommands(), expected);
    EXPECT_EQ(writer.Writer().XmlVer(), "\"ABC.3\"");
    EXPECT_EQ(ServiceValues(), kRegistry);
}

TEST_F(DprXmlTest, NineProfileFirstFailureEndsTheWrite) {
    struct Case {
        const char* refused;
        std::size_t sentBefore;  // commands sent before the refused one
        bool changed;            // tables and version were written
    };
    const Case cases[] = {
        {"AT+GTTASEN=0", 0, false},
        {"AT+BODYSAREN=1", 1, false},
        {"AT+BODYSARPROFILE=5", 2 + 15, false},
        {"AT+BODYSAR=2,38,\"0x1\",28,\"0x4\"", 2 + 26, false},
        {"At+SETOEMTABLEVER=1,\"ABC.2\"", 2 + 27, false},
        {"AT+BODYSARON=3", 2 + 27 + 1, true},
    };
    const Commands all = Join({{"AT+GTTASEN=0", "AT+BODYSAREN=1"}, ProfileCommands(9),
                               {"At+SETOEMTABLEVER=1,\"ABC.2\"", "AT+BODYSARON=3"}});
    WriteXml("BOARDX_310_SAR_DPR_PV.xml", Nine());
    const int failure = FailureResult();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        Refuse(c.refused);
        std::size_t before = AtCommands().size();
        bool changed = false;
        CDprSarCfg_5201_MultiMode writer;
        EXPECT_EQ(writer.SetBodySarXml("310", "", "BOARDX", "0001", &changed), failure);
        EXPECT_EQ(changed, c.changed);
        Commands sent = AtCommandsFrom(before);
        ASSERT_GT(sent.size(), c.sentBefore);
        EXPECT_EQ(Commands(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(c.sentBefore)),
                  Commands(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(c.sentBefore)));
        for (std::size_t i = c.sentBefore; i < sent.size(); ++i) EXPECT_EQ(sent[i], c.refused);
        EXPECT_EQ(ServiceValues(), kNoRegistry);
        Answer(c.refused, "\r\nOK\r\n");
    }
}

TEST_F(DprXmlTest, UnreadableFileSendsNothing) {
    struct Case {
        const char* what;
        DprXml xml;
        bool twoProfilesReadable;  // the fault lies beyond the two profiles
    };
    std::vector<Case> cases;
    DprXml noData = Nine();
    noData.tableData = false;
    cases.push_back({"no Table_Data", noData, false});
    DprXml eight = Nine();
    eight.tables.pop_back();
    cases.push_back({"a profile table missing", eight, true});
    DprXml one = Nine();
    one.tables.resize(1);
    cases.push_back({"one profile table only", one, false});
    DprXml lineBreak = Nine();
    lineBreak.tables[7].push_back({"LTE_B7", "1&#13;&#10;AT+RESET"});
    cases.push_back({"a value with a line break", lineBreak, true});
    DprXml control = Nine();
    control.tables[1].push_back({"WCDMA_B1", "2&#9;"});
    cases.push_back({"a value with a tab", control, false});
    DprXml version = Nine();
    version.version = "1&#10;AT+RESET";
    cases.push_back({"a version with a line break", version, false});
    DprXml quote = Nine();
    quote.version = "1&quot;";
    cases.push_back({"a version with a quote", quote, false});

    int board = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string product = "B" + std::to_string(board++);
        WriteXml(product + "_310_SAR_DPR_PV.xml", c.xml);
        bool changed = false;
        CDprSarCfg_5201_MultiMode nine;
        EXPECT_EQ(nine.SetBodySarXml("310", "", product, "0001", &changed), 0);
        EXPECT_FALSE(changed);
        EXPECT_TRUE(AtCommands().empty());
        if (c.twoProfilesReadable) continue;
        CDprSarCfg_5201_NonMultiMode two;
        EXPECT_EQ(two.SetBodySarXml("310", product, "0001", &changed), 0);
        EXPECT_FALSE(changed);
        EXPECT_TRUE(AtCommands().empty());
    }
    EXPECT_EQ(ServiceValues(), kNoRegistry);
    // A value in a table the writer never reads does not count.
    DprXml tenth = Nine();
    tenth.tables.push_back({{"LTE_B1", "1&#10;2"}});
    WriteXml("BT_310_SAR_DPR_PV.xml", tenth);
    bool changed = false;
    CDprSarCfg_5201_MultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("310", "", "BT", "0001", &changed), 0);
    EXPECT_TRUE(changed);
}

// A file whose version cannot be read, or one that could only switch TA SAR
// off (version unchanged, no "Enable" entries), is not used: the nine-profile
// writer sends nothing at all and writes no registry value. The two-profile
// writer never switches TA SAR off; for a damaged file it goes on to activate
// table "1" as ever. Either way the log names the file and why.
TEST_F(DprXmlTest, DamagedFileIsNotUsedAndSaysWhy) {
    struct Case {
        const char* what;
        std::string text;
        const char* modemVersion;
        const char* why;
        Commands two;  // what the two-profile writer sends; the nine-profile one sends nothing
    };
    DprXml noXmlVer = Nine(), noEnable = Nine(), noModeCfg = Nine();
    noXmlVer.xmlVer = false;
    noEnable.enables.clear();
    noModeCfg.modeCfg = false;
    const char* kNoXmlVer = "its XmlVer cannot be read";
    const char* kNoEnable = "its version is the modem's and it holds no ModeCfg Enable entries to select a table by";
    const Commands table1 = {"AT+BODYSAREN=1", "AT+BODYSARON=1"};
    const Case cases[] = {
        {"not xml", "this is not xml", "0001", kNoXmlVer, table1},
        {"not xml, no modem version", "this is not xml", "", kNoXmlVer, table1},
        {"XmlVer missing", noXmlVer.Text(), "0001", kNoXmlVer, table1},
        {"no Enable entries, version unchanged", noEnable.Text(), "ABC.2", kNoEnable, table1},
        {"no ModeCfg, version unchanged", noModeCfg.Text(), "abc.2", kNoEnable, table1},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string board = "D" + std::to_string(n++);
        const std::string file = board + "_310_SAR_DPR_PV.xml";
        WriteRunFile(file, c.text);
        const std::string line = "Table file not used: " + RunPath() + file + ": " + c.why;
        std::size_t before = AtCommands().size();
        bool changed = false;
        CDprSarCfg_5201_MultiMode nine;
        EXPECT_EQ(nine.SetBodySarXml("310", "", board, c.modemVersion, &changed), 0);
        EXPECT_EQ(AtCommandsFrom(before), Commands{});
        EXPECT_FALSE(changed);
        EXPECT_EQ(ServiceValues(), kNoRegistry);
        EXPECT_EQ(CountLogged(line), 1u) << line;

        before = AtCommands().size();
        CDprSarCfg_5201_NonMultiMode two;
        EXPECT_EQ(two.SetBodySarXml("310", board, c.modemVersion, &changed), 0);
        EXPECT_EQ(AtCommandsFrom(before), c.two);
        EXPECT_FALSE(changed);
        // The two-profile writer reads no "Enable" entries: only an unreadable version is its concern.
        const bool twoUnused = std::string(c.why) == kNoXmlVer;
        EXPECT_EQ(CountLogged(line), twoUnused ? 2u : 1u) << line;
    }
    EXPECT_EQ(ServiceValues(), kNoRegistry);
}

TEST_F(DprXmlTest, PostureWithoutTableIsNotSelected) {
    struct Case {
        const char* what;
        const char* modemVersion;
        Items enables;
        Commands tail;  // after the profiles on the changed path, after "AT+GTTASEN=0" otherwise
        bool registry;
        bool changed;
    };
    const Case cases[] = {
        {"no entry names the posture, unchanged", "ABC.2", {{"tablet", "5"}}, {"AT+BODYSAREN=1"}, true, false},
        {"no entry names the posture, changed", "0001", {{"tablet", "5"}}, {"At+SETOEMTABLEVER=1,\"ABC.2\""}, true,
         true},
        {"empty table text, changed", "0001", {{"book", ""}}, {"At+SETOEMTABLEVER=1,\"ABC.2\""}, true, true},
        {"table text with a line break, unchanged", "ABC.2", {{"book", "3&#10;AT+RESET"}}, {"AT+BODYSAREN=1"}, true,
         false},
        {"table text with a quote, changed", "0001", {{"book", "3&quot;"}}, {"At+SETOEMTABLEVER=1,\"ABC.2\""}, true,
         true},
        {"table text too long for a command, unchanged", "ABC.2", {{"book", std::string(4090, '3')}},
         {"AT+BODYSAREN=1"}, true, false},
        {"no Enable entries, unchanged", "ABC.2", {}, {}, false, false},
        {"no Enable entries, changed", "0001", {}, {"At+SETOEMTABLEVER=1,\"ABC.2\""}, false, true},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string board = "P" + std::to_string(n++);
        DprXml xml = Nine();
        xml.enables = c.enables;
        WriteXml(board + "_310_SAR_DPR_PV.xml", xml);
        std::size_t before = AtCommands().size();
        std::size_t writes = RegistryWrites().size();
        std::size_t skips = CountLogged("No table for the device mode, BODYSARON not sent.");
        bool changed = false;
        CDprSarCfg_5201_MultiMode writer;
        EXPECT_EQ(writer.SetBodySarXml("310", "", board, c.modemVersion, &changed), 0);
        EXPECT_EQ(changed, c.changed);
        bool unchanged = std::string(c.modemVersion) == "ABC.2";
        // Without a table to select, the unchanged path would only switch TA SAR off: it sends nothing.
        Commands expected = unchanged ? (c.enables.empty() ? Commands{} : Join({{"AT+GTTASEN=0"}, c.tail}))
                                      : Join({{"AT+GTTASEN=0", "AT+BODYSAREN=1"}, ProfileCommands(9), c.tail});
        EXPECT_EQ(AtCommandsFrom(before), expected);
        EXPECT_EQ(RegistryWrites().size() - writes, c.registry ? 3u : 0u);
        EXPECT_EQ(CountLogged("No table for the device mode, BODYSARON not sent.") - skips,
                  c.enables.empty() ? 0u : 1u);
    }
    EXPECT_EQ(ServiceValues(), kRegistry);
}

TEST_F(DprXmlTest, TwoProfileFileSelection) {
    struct Case {
        const char* mcc;
        const char* board;
        const char* selected;
    };
    const Case cases[] = {
        {"310", "KEYX", "KEYX_310_SAR_DPR_PV.xml"},
        {"", "KEYX", "KEYX_SAR_DPR_PV.xml"},
        {"208", "KEYX", nullptr},
        {"310", "", "_310_SAR_DPR_PV.xml"},
        {"", "", nullptr},
    };
    DprXml xml;
    xml.tables = Profiles(2);
    for (const char* name : {"KEYX_310_SAR_DPR_PV.xml", "KEYX_SAR_DPR_PV.xml", "_310_SAR_DPR_PV.xml", kXml})
        WriteXml(name, xml);
    WriteConfig("310");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mcc) + "/" + c.board);
        CDprSarCfg_5201_NonMultiMode writer;
        EXPECT_EQ(writer.SelectXmlFile(c.mcc, c.board), c.selected != nullptr);
        EXPECT_EQ(writer.XmlPath(), c.selected ? RunPath() + c.selected : "");
    }
    EXPECT_EQ(CountLogged("[CDprSarCfg_5201_NonMultiMode]Can not get the MCC and strBoardProductInfo."), 1u);
    bool changed = false;
    CDprSarCfg_5201_NonMultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("", "", "0001", &changed), 0);
    EXPECT_EQ(CountLogged("[CDprSarCfg_5201_NonMultiMode]Can not get the MCC and strBoardProductInfo."), 2u);
    EXPECT_TRUE(Logged("DprXml not exist"));
    EXPECT_TRUE(AtCommands().empty());
}

TEST_F(DprXmlTest, TwoProfilePaths) {
    WriteXml("KEYX_310_SAR_DPR_PV.xml", Nine());
    bool changed = false;
    CDprSarCfg_5201_NonMultiMode unchanged;
    EXPECT_EQ(unchanged.SetBodySarXml("310", "KEYX", "ABC.2", &changed), 0);
    EXPECT_FALSE(changed);
    EXPECT_TRUE(Logged("Dpr data old version is same with new version,Dpr data no need update."));
    EXPECT_EQ(AtCommands(), (Commands{"AT+BODYSAREN=1", "AT+BODYSARON=1"}));

    CDprSarCfg_5201_NonMultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("310", "KEYX", "0001", &changed), 0);
    EXPECT_TRUE(changed);
    Commands expected =
        Join({{"AT+BODYSAREN=1"}, ProfileCommands(2), {"At+SETOEMTABLEVER=1,\"ABC.2\"", "AT+BODYSARON=1"}});
    EXPECT_EQ(expected.size(), 9u);
    EXPECT_EQ(AtCommandsFrom(2), expected);
    EXPECT_TRUE(Logged("SetBodySarXml end"));
    EXPECT_EQ(ServiceValues(), kNoRegistry);
}

TEST_F(DprXmlTest, TwoProfileFailureLogsItsLine) {
    struct Case {
        const char* refused;
        std::string line;  // "%d" stands for the result
    };
    const Case cases[] = {
        {"AT+BODYSAR=2,31,\"0x1\",21,\"0x4\"", "DprTable14GBandCmd set fail!"},
        {"AT+BODYSAR=1,10,\"0x10\"", "DprTable03GBandCmd set fail!"},
        {"AT+BODYSARPROFILE=1", "Table1-BODYSARPROFILE-retValue=%d"},
    };
    DprXml xml;
    xml.tables = Profiles(2);
    WriteXml("KEYX_310_SAR_DPR_PV.xml", xml);
    const int failure = FailureResult();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refused);
        Refuse(c.refused);
        bool changed = false;
        CDprSarCfg_5201_NonMultiMode writer;
        EXPECT_EQ(writer.SetBodySarXml("310", "KEYX", "0001", &changed), failure);
        EXPECT_FALSE(changed);
        std::string line = c.line;
        if (auto at = line.find("%d"); at != std::string::npos) line.replace(at, 2, std::to_string(failure));
        EXPECT_TRUE(Logged(line)) << line;
        EXPECT_EQ(AtCommands().back(), c.refused);
        Answer(c.refused, "\r\nOK\r\n");
    }
    EXPECT_FALSE(Logged("SetBodySarXml end"));
    Commands sent = AtCommands();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "At+SETOEMTABLEVER=1,\"ABC.2\""), 0);
}

// The tables and their version are in the modem once the version is
// recorded: a refused activation after it still asks for the reset.
TEST_F(DprXmlTest, TwoProfileActivationFailureAfterTheVersionKeepsTheChange) {
    DprXml xml;
    xml.tables = Profiles(2);
    WriteXml("KEYX_310_SAR_DPR_PV.xml", xml);
    const int failure = FailureResult();
    Refuse("AT+BODYSARON=1");
    bool changed = false;
    CDprSarCfg_5201_NonMultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("310", "KEYX", "0001", &changed), failure);
    EXPECT_TRUE(changed);
    Commands sent = AtCommands();
    auto version = std::find(sent.begin(), sent.end(), "At+SETOEMTABLEVER=1,\"ABC.2\"");
    ASSERT_NE(version, sent.end());
    ASSERT_NE(version + 1, sent.end());
    for (auto it = version + 1; it != sent.end(); ++it) EXPECT_EQ(*it, "AT+BODYSARON=1");  // with its retries
    EXPECT_FALSE(Logged("SetBodySarXml end"));
}

TEST_F(DprXmlTest, TwoProfileUnchangedEnableFailure) {
    DprXml xml;
    xml.tables = Profiles(2);
    WriteXml("KEYX_SAR_DPR_PV.xml", xml);
    int failure = FailureResult();
    Refuse("AT+BODYSAREN=1");
    bool changed = false;
    CDprSarCfg_5201_NonMultiMode writer;
    EXPECT_EQ(writer.SetBodySarXml("", "KEYX", "abc.2", &changed), failure);
    EXPECT_TRUE(Logged("no need update Dpr parameter"));
    for (const auto& command : AtCommands()) EXPECT_EQ(command, "AT+BODYSAREN=1");
}

}  // namespace
