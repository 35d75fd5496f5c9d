// The run the antenna XML writers share, driven with steps that deliver:
// version comparison, the two paths, the version records, the profile, and
// when the change is reported.
#include "antenna/CAntXmlWriter.h"

#include <string>
#include <vector>

#include "antenna/CAntCommand.h"
#include "config/CXmlCfgReader.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "tests/antenna/ant_fixture.h"

namespace {

using Commands = std::vector<std::string>;

const char* const kFile = "B_AntConfigTable_PV.xml";
const Commands kBasic = {"AT+GTANTTUNINGEN=1\r\n", "AT+GTANTCTRLMODE=2\r\n", "AT+GTANTTUNEMODE=3\r\n"};
const char* const kTable = "AT+TABLE=1\r\n";
const char* const kZero = "At+SETOEMTABLEVER=5,\"0000.0000.000000.0000.0000.000\"\r\n";

Commands Plus(Commands first, const Commands& more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

class AntXmlWriterTest : public kvtest::AntennaTest {
protected:
    void SetUp() override {
        AntennaTest::SetUp();
        modem().SetDeviceMode(8, 0, 0);  // "book"
    }
    void Xml(const std::string& version, const std::string& enables) {
        WriteRunFile(kFile,
                     "<?xml version=\"1.0\"?>\n<Root>" + version + "<ModeCfg>" + enables + "</ModeCfg></Root>\n");
    }
    int Run(const std::string& moduleVersion) {
        AntXmlSteps steps;
        steps.masterPath = RunPath() + kFile;
        steps.ownSlot = CAntXmlWriter::kGpoSlot;
        steps.zeroSlot = CAntXmlWriter::kMipiSlot;
        steps.readAntBasicParam = [this] { return basicReadable; };
        steps.setAntBasicParam = [this] { return CAntCommand::SetAntBasicParam("1", "2", tuneMode); };
        steps.readAntTables = [this] { return tablesReadable; };
        steps.setAntTables = [] { return CAtCommandSequence::SendOne(kTable); };
        return CAntXmlWriter(reader, steps, xmlVer).Run(moduleVersion, &changed);
    }

    CXmlCfgReader reader;
    std::string xmlVer;
    bool changed = false;
    bool basicReadable = true;
    bool tablesReadable = true;
    std::string tuneMode = "3";
};

const char* const kBook = "<Enable Mode=\"tent\" Table=\"2\"/><Enable Mode=\"book\" Table=\"7\"/>";

TEST_F(AntXmlWriterTest, ChangedVersionWritesEverythingThenReportsTheChange) {
    Xml("<XmlVer>a1.b2</XmlVer>", kBook);
    EXPECT_EQ(Run("0001"), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(xmlVer, "\"A1.B2\"");
    EXPECT_EQ(AtCommands(),
              Plus(kBasic, {kTable, kZero, "At+SETOEMTABLEVER=4,\"A1.B2\"\r\n", "AT+GTANTPROFILE=7\r\n"}));
}

TEST_F(AntXmlWriterTest, EqualVersionSendsBasicParametersAndProfile) {
    struct Case {
        const char* version;
        const char* modem;
    };
    const Case cases[] = {{"<XmlVer>ab.01</XmlVer>", "AB.01"}, {"<XmlVer>AB.01</XmlVer>", "ab.01"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        const std::size_t mark = Mark();
        Xml(c.version, kBook);
        EXPECT_EQ(Run(c.modem), 0);
        EXPECT_FALSE(changed);
        EXPECT_EQ(AtCommands(mark), Plus(kBasic, {"AT+GTANTPROFILE=7\r\n"}));
    }
}

TEST_F(AntXmlWriterTest, EmptyModemVersionCountsAsChanged) {
    Xml("<XmlVer>1.0</XmlVer>", kBook);
    EXPECT_EQ(Run(""), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(AtCommands().at(5), "At+SETOEMTABLEVER=4,\"1.0\"\r\n");
}

TEST_F(AntXmlWriterTest, ReadsThatFailSendNothing) {
    Xml("<XmlVer>2</XmlVer>", kBook);
    tablesReadable = false;
    EXPECT_EQ(Run("1"), 0);  // changed path
    basicReadable = false;
    tablesReadable = true;
    EXPECT_EQ(Run("1"), 0);  // changed path
    EXPECT_EQ(Run("2"), 0);  // unchanged path
    EXPECT_FALSE(changed);
    EXPECT_TRUE(modem().Commands().empty());
}

TEST_F(AntXmlWriterTest, EmptyBasicParameterEndsTheChangedPathWithFive) {
    Xml("<XmlVer>2</XmlVer>", kBook);
    tuneMode.clear();
    EXPECT_EQ(Run("1"), CAntCommand::kNothingToSend);
    EXPECT_FALSE(changed);
    EXPECT_EQ(AtCommands(), (Commands{kBasic[0], kBasic[1]}));
}

TEST_F(AntXmlWriterTest, FailingCommandBeforeTheVersionLeavesNoChange) {
    struct Case {
        const char* failing;
        std::size_t sent;  // distinct commands sent, the failing one included
    };
    const Case cases[] = {{"AT+TABLE*", 4}, {"At+SETOEMTABLEVER=5*", 5}, {"At+SETOEMTABLEVER=4*", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failing);
        const std::size_t mark = Mark();
        Xml("<XmlVer>2</XmlVer>", kBook);
        modem().ClearReplies();
        modem().AddReplyPattern(c.failing, sim::ModemReply::Error());
        EXPECT_NE(Run("1"), 0);
        EXPECT_FALSE(changed);
        EXPECT_EQ(DistinctAtCommands(mark).size(), c.sent);
    }
}

// Once tables and version are in the modem the change is reported, whatever
// becomes of the profile; the profile's failure is still the result.
TEST_F(AntXmlWriterTest, ChangeIsReportedWhenOnlyTheProfileFails) {
    Xml("<XmlVer>2</XmlVer>", kBook);
    modem().AddReplyPattern("AT+GTANTPROFILE=*", sim::ModemReply::Error());
    EXPECT_EQ(Run("1"), CAtExecute::kExchangeFailed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(DistinctAtCommands().back(), "AT+GTANTPROFILE=7\r\n");

    const std::size_t mark = Mark();
    modem().ClearReplies();
    changed = false;
    Xml("<XmlVer>2</XmlVer>", "");  // no enable list: the lookup fails
    EXPECT_EQ(Run("1"), 0);
    EXPECT_TRUE(changed);
    EXPECT_EQ(AtCommands(mark).size(), 6u);
}

// "AT+GTANTPROFILE=" never goes out empty.
TEST_F(AntXmlWriterTest, PostureWithoutEnableEntrySkipsTheProfile) {
    const char* const enables[] = {"<Enable Mode=\"tent\" Table=\"2\"/>", "<Enable Mode=\"book\"/>"};
    for (const char* entries : enables) {
        for (const char* modemVersion : {"1", "2"}) {
            SCOPED_TRACE(std::string(entries) + " modem " + modemVersion);
            const std::size_t mark = Mark();
            const std::size_t logged = CountLogged("No antenna profile for posture book: AT+GTANTPROFILE not sent");
            changed = false;
            Xml("<XmlVer>2</XmlVer>", entries);
            EXPECT_EQ(Run(modemVersion), 0);
            EXPECT_EQ(changed, std::string(modemVersion) == "1");
            for (const auto& command : AtCommands(mark)) {
                EXPECT_EQ(command.rfind("AT+GTANTPROFILE", 0), std::string::npos);
            }
            EXPECT_EQ(AtCommands(mark).size(), changed ? 6u : 3u);
            EXPECT_EQ(CountLogged("No antenna profile for posture book: AT+GTANTPROFILE not sent"), logged + 1);
        }
    }
}

TEST_F(AntXmlWriterTest, VersionThatCannotTravelMakesTheFileUnreadable) {
    Xml("<XmlVer>2&#10;AT+RESET</XmlVer>", kBook);
    EXPECT_EQ(Run("1"), 0);
    EXPECT_TRUE(modem().Commands().empty());
    Xml("<XmlVer>2&quot;</XmlVer>", kBook);
    EXPECT_EQ(Run("1"), 0);
    EXPECT_TRUE(modem().Commands().empty());
    EXPECT_FALSE(changed);
}

// A profile text that cannot travel inside a command is skipped like a
// missing one; the rest of either path goes out.
TEST_F(AntXmlWriterTest, ProfileThatCannotTravelIsSkippedLikeAMissingOne) {
    const std::string profiles[] = {"7&#13;&#10;AT+RESET", "7&quot;", std::string(4090, '7')};
    for (const std::string& profile : profiles) {
        for (const char* modemVersion : {"1", "2"}) {
            SCOPED_TRACE(profile.substr(0, 16) + " modem " + modemVersion);
            const std::size_t mark = Mark();
            const std::size_t logged = CountLogged("No antenna profile for posture book: AT+GTANTPROFILE not sent");
            changed = false;
            Xml("<XmlVer>2</XmlVer>", "<Enable Mode=\"book\" Table=\"" + profile + "\"/>");
            EXPECT_EQ(Run(modemVersion), 0);
            EXPECT_EQ(changed, std::string(modemVersion) == "1");
            const auto sent = AtCommands(mark);
            EXPECT_EQ(sent.size(), changed ? 6u : 3u);
            for (const auto& command : sent) {
                EXPECT_EQ(command.rfind("AT+GTANTPROFILE", 0), std::string::npos);
            }
            EXPECT_EQ(CountLogged("No antenna profile for posture book: AT+GTANTPROFILE not sent"), logged + 1);
        }
    }
}

TEST_F(AntXmlWriterTest, FileWithoutVersionTakesTheUnchangedPath) {
    Xml("", kBook);
    EXPECT_EQ(Run(""), 0);
    EXPECT_FALSE(changed);
    // The enable list needs "XmlVer" too.
    EXPECT_TRUE(AtCommands().empty());
}

}  // namespace
