// The antenna GPO XML writer with the table reader as it is: the file holds
// no antenna GPO parameters or tables for it, so it sends nothing.
#include "antenna/CAntGpoXmlCfg.h"

#include <string>

#include "tests/antenna/ant_fixture.h"

namespace {

const std::string kXml =
    "<?xml version=\"1.0\"?>\n<Root><XmlVer>ab.01</XmlVer>"
    "<ModeCfg><Enable Mode=\"Lowest Power\" Table=\"1\"/><Enable Mode=\"book\" Table=\"2\"/></ModeCfg>"
    "<Param><Item name=\"a\" value=\"1\"/><Item name=\"b\" value=\"2\"/><Item name=\"c\" value=\"3\"/></Param>"
    "<Table_Data><Table0><Item name=\"B1_0\" value=\"5\"/></Table0></Table_Data></Root>\n";

class AntGpoXmlTest : public kvtest::AntennaTest {
protected:
    int Run(const std::string& mcc, const std::string& board, const std::string& moduleVersion) {
        CAntGpoXmlCfg writer;
        return writer.SetAntCfgXml(mcc, board, moduleVersion, &changed);
    }
    bool changed = false;
};

TEST_F(AntGpoXmlTest, SendsNothingWhicheverVersionTheModemReports) {
    WriteRunFile("ABC_AntConfigTable_PV.xml", kXml);
    for (const char* moduleVersion : {"AB.01", "ab.01", "AB.02", ""}) {
        SCOPED_TRACE(moduleVersion);
        EXPECT_EQ(Run("", "ABC", moduleVersion), 0);
        EXPECT_FALSE(changed);
        EXPECT_TRUE(modem().Commands().empty());
    }
}

TEST_F(AntGpoXmlTest, OneFileNameFromMccAndBoardProduct) {
    struct Case {
        const char* file;  // the one file present
        const char* mcc;
        const char* board;
        bool selected;
    };
    const Case cases[] = {
        {"AntConfigTable_PV.xml", "", "", false},
        {"ABC_AntConfigTable_PV.xml", "310", "ABC", false},
        {"AntConfigTable_PV.xml", "", "ABC", false},
        {"ABC_310_AntConfigTable_PV.xml", "310", "ABC", true},
        {"ABC_AntConfigTable_PV.xml", "", "ABC", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file + std::string(" mcc=") + c.mcc + " board=" + c.board);
        const std::string refusal = "Table value refused: " + RunPath() + c.file +
                                    ": XmlVer \"AB\\\"01\" cannot travel inside an AT command";
        const std::size_t logged = CountLogged(refusal);
        // A version that cannot be sent names the file it came from in the log.
        std::string xml = kXml;
        xml.replace(xml.find("ab.01"), 5, "ab&quot;01");
        WriteRunFile(c.file, xml);
        EXPECT_EQ(Run(c.mcc, c.board, "AB.02"), 0);
        EXPECT_FALSE(changed);
        EXPECT_TRUE(modem().Commands().empty());
        EXPECT_EQ(CountLogged(refusal) - logged, c.selected ? 1u : 0u);
        RemoveRunFile(c.file);
    }
}

}  // namespace
