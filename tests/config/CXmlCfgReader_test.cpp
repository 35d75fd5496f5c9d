#include "config/CXmlCfgReader.h"

#include <map>
#include <string>

#include "common/CLog.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
using Map = std::map<std::string, std::string>;

const char* const kPath = "C:\\Run\\table.xml";

std::string Items(const std::string& prefix, int count) {
    std::string items;
    for (int i = 0; i < count; ++i)
        items += "<Item name=\"" + prefix + std::to_string(i) + "\" value=\"v" + prefix + std::to_string(i) + "\"/>";
    return items;
}

// Nine tables "t0" .. "t8", each with two items "<table>_0" and "<table>_1".
std::string Tables(int count) {
    std::string tables;
    for (int t = 0; t < count; ++t) tables += "<Table" + std::to_string(t) + ">" + Items("t" + std::to_string(t) + "_", 2) +
                                              "</Table" + std::to_string(t) + ">";
    return tables;
}

const char* const kHead = "<XmlVer>0001.0002</XmlVer>";
const char* const kModeCfg = "<ModeCfg><Enable Mode=\"book\" Table=\"3\"/></ModeCfg>";

class XmlCfgReaderTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        CLog::GetInstance()->SetPathAndRotate(logPath);
        CLog::GetInstance()->Enable(true);
    }
    void Xml(const std::string& body) { WriteFile(kPath, "<?xml version=\"1.0\"?>\n<Root>" + body + "</Root>\n"); }
    std::string Log() { return ReadText(logPath); }
    const std::string logPath = "C:\\Logs\\reader.log";
    CXmlCfgReader reader;
};

TEST_F(XmlCfgReaderTest, VersionNeedsOnlyXmlVer) {
    Xml(kHead);
    std::string version;
    EXPECT_TRUE(reader.GetXmlVersion(kPath, version));
    EXPECT_EQ(version, "0001.0002");
    EXPECT_FALSE(reader.GetXmlVersion("C:\\Run\\none.xml", version));
}

TEST_F(XmlCfgReaderTest, EveryOtherReaderNeedsModeCfg) {
    Xml(std::string(kHead) + "<Param>" + Items("p", 4) + "</Param><Table_Data>" + Tables(9) + "</Table_Data><Tas_Data>" +
        Tables(9) + "</Tas_Data><Antenna_Tuner_Cfg><T TunerId=\"1\"/></Antenna_Tuner_Cfg>"
        "<Antenna_Tuner_Data><T><B name=\"B1\" GD=\"1\"/></T></Antenna_Tuner_Data>");
    Map map;
    std::string table = "kept";
    EXPECT_FALSE(reader.GetXmlEnableTable(kPath, "book", table));
    EXPECT_EQ(table, "kept");
    EXPECT_FALSE(reader.GetDprXmlTableData(kPath, map, 0));
    EXPECT_FALSE(reader.GetDprXmlTableData_NonMutilMode(kPath, map, 0));
    EXPECT_FALSE(reader.GetTasXmlTableData(kPath, map, 0));
    TasCfgParam tas;
    EXPECT_EQ(reader.GetTasXmlCfg(kPath, tas), 1);
    EXPECT_EQ(tas.strParam1, "");
    AntBasicParam basic;
    EXPECT_EQ(reader.GetMipiXmlParam(kPath, basic), 1);
    EXPECT_EQ(basic.strAntTuningEnable, "");
    AntMipiTunerParam tuner;
    EXPECT_EQ(reader.GetMipiXmlTunerCfg(kPath, tuner, 0), 1);
    EXPECT_EQ(tuner.strTunerId, "");
    EXPECT_EQ(reader.GetMipiXmlTurnerData(kPath, map, 0), 1);
    EXPECT_TRUE(map.empty());
    std::string version;
    EXPECT_TRUE(reader.GetXmlVersion(kPath, version));
    const std::string log = Log();
    EXPECT_NE(log.find("ModeCfg is not found, GetDprXmlTableData failed!"), std::string::npos);
    EXPECT_NE(log.find("ModeCfg is not found,GetTasXmlCfg failed!"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, MissingOrBrokenFileFailsEveryReader) {
    for (bool broken : {false, true}) {
        if (broken) WriteFile(kPath, "<Root><XmlVer>1</Root>");
        Map map{{"old", "x"}};
        std::string table = "kept";
        EXPECT_FALSE(reader.GetXmlEnableTable(kPath, "book", table));
        EXPECT_FALSE(reader.GetDprXmlTableData(kPath, map, 0));
        EXPECT_TRUE(map.empty());
        TasCfgParam tas{"a", "b", "c", "d"};
        EXPECT_EQ(reader.GetTasXmlCfg(kPath, tas), 1);
        EXPECT_EQ(tas.strParam1 + tas.strParam2 + tas.strParam3 + tas.strParam4, "");
    }
}

TEST_F(XmlCfgReaderTest, EnableTableByExactMode) {
    Xml(std::string(kHead) +
        "<ModeCfg><Enable Mode=\"tent\" Table=\"2\"/><Enable Mode=\"book\" Table=\"5\"/>"
        "<Enable Mode=\"book\" Table=\"6\"/><Enable Mode=\"Lid close\"/></ModeCfg>");
    struct Case {
        const char* posture;
        const char* table;
    } cases[] = {{"book", "5"}, {"tent", "2"}, {"Book", "kept"}, {"stand", "kept"}, {"Lid close", ""}};
    for (const auto& c : cases) {
        std::string table = "kept";
        EXPECT_TRUE(reader.GetXmlEnableTable(kPath, c.posture, table)) << c.posture;
        EXPECT_EQ(table, c.table) << c.posture;
    }
}

TEST_F(XmlCfgReaderTest, EnableTableWithoutEnableEntries) {
    Xml(std::string(kHead) + "<ModeCfg/>");
    std::string table = "kept";
    EXPECT_FALSE(reader.GetXmlEnableTable(kPath, "book", table));
    EXPECT_EQ(table, "kept");
}

TEST_F(XmlCfgReaderTest, DprTablesByIndex) {
    Xml(std::string(kHead) + kModeCfg + "<Table_Data>" + Tables(9) + "</Table_Data>");
    Map map;
    ASSERT_TRUE(reader.GetDprXmlTableData(kPath, map, 8));
    EXPECT_EQ(map, (Map{{"t8_0", "vt8_0"}, {"t8_1", "vt8_1"}}));
    for (int index : {-1, 9}) {
        EXPECT_FALSE(reader.GetDprXmlTableData(kPath, map, index)) << index;
        EXPECT_TRUE(map.empty());
    }
}

TEST_F(XmlCfgReaderTest, DprTablePastTheLastPresentOne) {
    Xml(std::string(kHead) + kModeCfg + "<Table_Data>" + Tables(8) + "</Table_Data>");
    Map map;
    EXPECT_TRUE(reader.GetDprXmlTableData(kPath, map, 7));
    EXPECT_FALSE(reader.GetDprXmlTableData(kPath, map, 8));
    EXPECT_TRUE(map.empty());
}

TEST_F(XmlCfgReaderTest, ItemsKeepTheirFirstValueAndReadMissingAttributesAsEmpty) {
    Xml(std::string(kHead) + kModeCfg +
        "<Table_Data><T><I name=\"LTE_B1\" value=\"1\"/><I name=\"LTE_B1\" value=\"2\"/>"
        "<I name=\"novalue\"/><I value=\"noname\"/><I name=\" B 2 \" value=\" x \"/></T></Table_Data>");
    Map map;
    ASSERT_TRUE(reader.GetDprXmlTableData(kPath, map, 0));
    EXPECT_EQ(map, (Map{{"LTE_B1", "1"}, {"novalue", ""}, {"", "noname"}, {" B 2 ", " x "}}));
}

TEST_F(XmlCfgReaderTest, TwoProfileTables) {
    Xml(std::string(kHead) + kModeCfg + "<Table_Data>" + Tables(2) + "</Table_Data>");
    Map map;
    ASSERT_TRUE(reader.GetDprXmlTableData_NonMutilMode(kPath, map, 1));
    EXPECT_EQ(map.begin()->first, "t1_0");
    EXPECT_FALSE(reader.GetDprXmlTableData_NonMutilMode(kPath, map, 2));
    Xml(std::string(kHead) + kModeCfg + "<Table_Data>" + Tables(1) + "</Table_Data>");
    EXPECT_TRUE(reader.GetDprXmlTableData_NonMutilMode(kPath, map, 0));
    EXPECT_FALSE(reader.GetDprXmlTableData_NonMutilMode(kPath, map, 1));
    EXPECT_NE(Log().find("lpItemNode is not found!"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, TasTablesByIndex) {
    Xml(std::string(kHead) + kModeCfg + "<Tas_Data>" + Tables(8) +
        "<T8><I name=\"B7\" value=\"first\"/><I name=\"B7\" value=\"second\"/></T8><Empty/></Tas_Data>");
    Map map;
    ASSERT_TRUE(reader.GetTasXmlTableData(kPath, map, 8));
    EXPECT_EQ(map, (Map{{"B7", "first"}}));
    EXPECT_FALSE(reader.GetTasXmlTableData(kPath, map, 9));
    Xml(std::string(kHead) + kModeCfg + "<Tas_Data><Empty/></Tas_Data>");
    EXPECT_FALSE(reader.GetTasXmlTableData(kPath, map, 0));
    EXPECT_NE(Log().find("Band is not found, GetTasXmlTableData failed!"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, TasParamsInDocumentOrder) {
    struct Case {
        int items;
        TasCfgParam expected;
    } cases[] = {
        {4, {"vp0", "vp1", "vp2", "vp3"}},
        {3, {"vp0", "vp1", "vp2", ""}},
        {6, {"vp0", "vp1", "vp2", "vp3"}},
    };
    for (const auto& c : cases) {
        Xml(std::string(kHead) + kModeCfg + "<Param>" + Items("p", c.items) + "</Param>");
        TasCfgParam param{"x", "x", "x", "x"};
        EXPECT_EQ(reader.GetTasXmlCfg(kPath, param), 1);
        EXPECT_EQ(param.strParam1, c.expected.strParam1) << c.items;
        EXPECT_EQ(param.strParam2, c.expected.strParam2) << c.items;
        EXPECT_EQ(param.strParam3, c.expected.strParam3) << c.items;
        EXPECT_EQ(param.strParam4, c.expected.strParam4) << c.items;
    }
}

TEST_F(XmlCfgReaderTest, MipiParams) {
    Xml(std::string(kHead) + kModeCfg + "<Param>" + Items("p", 4) + "</Param>");
    AntBasicParam param;
    EXPECT_EQ(reader.GetMipiXmlParam(kPath, param), 1);
    EXPECT_EQ(param.strAntTuningEnable, "vp0");
    EXPECT_EQ(param.strAntCtrlMode, "vp1");
    EXPECT_EQ(param.strAntTuneMode, "vp2");
    Xml(std::string(kHead) + kModeCfg + "<Param/>");
    EXPECT_EQ(reader.GetMipiXmlParam(kPath, param), 1);
    EXPECT_EQ(param.strAntTuningEnable + param.strAntCtrlMode + param.strAntTuneMode, "");
    EXPECT_NE(Log().find("Param is not found, GetMipiXmlParam failed!"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, TunerConfigurationByIndex) {
    Xml(std::string(kHead) + kModeCfg + "<Param/><Antenna_Tuner_Cfg>"
        "<Tuner TunerId=\"0\" TunerUsid=\"u0\" PmTrigger=\"p0\" StartupTime=\"s0\" PayloadRegisterAddress=\"a0\"/>"
        "<Tuner TunerId=\"1\" TunerUsid=\"u1\" PmTrigger=\"p1\" StartupTime=\"s1\"/>"
        "</Antenna_Tuner_Cfg>");
    struct Case {
        int index;
        const char* id;
        const char* usid;
        const char* address;
    } cases[] = {{0, "0", "u0", "a0"}, {1, "1", "u1", ""}, {3, "1", "u1", ""}, {-1, "", "", ""}};
    for (const auto& c : cases) {
        AntMipiTunerParam param{"x", "x", "x", "x", "x"};
        EXPECT_EQ(reader.GetMipiXmlTunerCfg(kPath, param, c.index), 1);
        EXPECT_EQ(param.strTunerId, c.id) << c.index;
        EXPECT_EQ(param.strTunerUsid, c.usid) << c.index;
        EXPECT_EQ(param.strPayloadRegisterAddress, c.address) << c.index;
    }
}

TEST_F(XmlCfgReaderTest, TunerConfigurationNeedsParamAndATuner) {
    for (const std::string& body : {std::string("<Antenna_Tuner_Cfg><T TunerId=\"1\"/></Antenna_Tuner_Cfg>"),
                                   std::string("<Param/><Antenna_Tuner_Cfg/>")}) {
        Xml(std::string(kHead) + kModeCfg + body);
        AntMipiTunerParam param{"x", "x", "x", "x", "x"};
        EXPECT_EQ(reader.GetMipiXmlTunerCfg(kPath, param, 0), 1);
        EXPECT_EQ(param.strTunerId, "") << body;
    }
    EXPECT_NE(Log().find("TunerId is not found, GetMipiXmlTunerCfg failed!"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, TunerBandsTakeGdBeforeGe) {
    Xml(std::string(kHead) + kModeCfg + "<Param/><Antenna_Tuner_Cfg/><Antenna_Tuner_Data>"
        "<T0><B name=\"B1_0\" GD=\"0x10\" GE=\"0x20\"/><B name=\"B1_1\" GE=\"0x30\"/></T0>"
        "<T1><B name=\"B2_0\" GD=\"1\"/><B name=\"B2_1\"/><B name=\"B3_0\" GD=\"3\"/></T1>"
        "<T2/><T3><B name=\"B5_0\" GD=\"5\"/></T3><T4><B name=\"B9_0\" GD=\"9\"/></T4>"
        "</Antenna_Tuner_Data>");
    Map map;
    EXPECT_EQ(reader.GetMipiXmlTurnerData(kPath, map, 0), 1);
    EXPECT_EQ(map, (Map{{"B1_0", "0x10"}, {"B1_1", "0x30"}}));
    EXPECT_EQ(reader.GetMipiXmlTurnerData(kPath, map, 1), 0);
    EXPECT_EQ(map, (Map{{"B2_0", "1"}}));
    EXPECT_EQ(reader.GetMipiXmlTurnerData(kPath, map, 3), 1);
    EXPECT_EQ(map, (Map{{"B5_0", "5"}}));
    for (int index : {2, 4, -1}) {
        EXPECT_EQ(reader.GetMipiXmlTurnerData(kPath, map, index), 1) << index;
        EXPECT_TRUE(map.empty()) << index;
    }
    EXPECT_NE(Log().find("GetMipiXmlTurnerData failed\n"), std::string::npos);
}

TEST_F(XmlCfgReaderTest, AntennaGpoReadersReadNothing) {
    Xml(std::string(kHead) + kModeCfg + "<Param>" + Items("p", 3) + "</Param>");
    AntBasicParam param;
    EXPECT_EQ(reader.GetAntGpoXmlParam(kPath, param), 0);
    EXPECT_EQ(param.strAntTuningEnable, "");
    Map map{{"old", "x"}};
    EXPECT_EQ(reader.GetAntGpoXmlTableData(kPath, map, 0), 0);
    EXPECT_EQ(map.size(), 1u);
}

}  // namespace
