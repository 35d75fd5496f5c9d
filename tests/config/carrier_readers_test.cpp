#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "config/CXmlTableReader.h"
#include "config/FirmwareFileInfo.h"
#include "config/FwPackageInfo.h"
#include "config/CfgPkInfo.h"
#include "core/CStateWork.h"
#include "core/CarrierPackInfo.h"
#include "platform/sim/file_system.h"
#include "tests/support/sim_test.h"

namespace {

using Lines = std::vector<std::string>;

class CarrierReadersTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        CLog::GetInstance()->SetPathAndRotate("C:\\Logs\\kv.log");
        CLog::GetInstance()->Enable(true);
    }
    void TearDown() override {
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }
    // The log's lines as "<type> <message>", type 1 for errors and 4 otherwise.
    Lines Log() const {
        Lines lines;
        std::istringstream in(ReadText("C:\\Logs\\kv.log"));
        for (std::string line; std::getline(in, line);) {
            std::size_t at = line.find(": ");
            if (line.starts_with("[") && at != std::string::npos)
                lines.push_back((line.starts_with("[ERROR]") ? "1 " : "4 ") + line.substr(at + 2));
        }
        return lines;
    }
    bool Logged(const std::string& line) const {
        Lines lines = Log();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    CXmlTableReader reader;
};

// ---------------------------------------------------------------- carrier selection

const char kIccidTable[] = R"(<Carriers>
  <SwitchingRule><SelectionRule><ICCIDTable>
    <Range min="8986001234567890123" max="8986001234567890123">Exact</Range>
    <Range min="8901200000" max="8901299999">Split</Range>
    <Range min="8944100000000" max="8944200000000">Wide</Range>
    <Range min="89" max="89FF">Prefix</Range>
  </ICCIDTable></SelectionRule></SwitchingRule>
</Carriers>)";

TEST_F(CarrierReadersTest, IccidRanges) {
    WriteFile("C:\\Tables\\iccid.xml", kIccidTable);
    struct Case {
        const char* iccid;
        int result;
        const char* carrier;
    } cases[] = {
        {"8986001234567890123", 1, "Exact"},
        {"89860012345678901230", 0, "none"},  // equal bounds take only that ICCID
        {"8986001234567890124", 0, "none"},
        {"8901250000", 1, "Split"},  // the rests read as hexadecimal: 0x50000 lies in 0x00000..0x99999
        {"8901200000", 1, "Split"},
        {"8901299999", 1, "Split"},
        {"89012A0000", 0, "none"},  // 0xA0000 is above 0x99999
        {"8901300000", 0, "none"},  // the first five differ
        {"89441FFFFFFFF", 1, "Wide"},
        {"89440FFFFFFFF", 0, "none"},  // below the minimum, beyond the 32-bit range
        {"8944300000000", 0, "none"},
        {"1234", 1, "Prefix"},  // a min that begins its max compares the whole texts
        {"", 0, "none"},
    };
    for (const auto& c : cases) {
        std::string carrier = "none";
        EXPECT_EQ(reader.GetCarrierByIccidRange(c.iccid, "C:\\Tables\\iccid.xml", carrier), c.result) << c.iccid;
        EXPECT_EQ(carrier, c.carrier) << c.iccid;
    }
}

TEST_F(CarrierReadersTest, IccidRangesNeedTheWholeStructure) {
    WriteFile("C:\\Tables\\noTable.xml", "<C><SwitchingRule><SelectionRule/></SwitchingRule></C>");
    WriteFile("C:\\Tables\\broken.xml", "<C><SwitchingRule>");
    for (const char* path : {"C:\\Tables\\noTable.xml", "C:\\Tables\\broken.xml", "C:\\Tables\\missing.xml"}) {
        std::string carrier = "kept";
        EXPECT_EQ(reader.GetCarrierByIccidRange("8986", path, carrier), 0) << path;
        EXPECT_EQ(carrier, "kept");
    }
}

TEST_F(CarrierReadersTest, CarrierByMccWalksSiblingsOfAnyName) {
    WriteFile("C:\\Tables\\mcc.xml", R"(<C><SwitchingRule><SelectionRule><MCCTable>
        <Item mcc="310">ATT</Item><Item mcc="311">VZW</Item><Other mcc="999">Odd</Other><Item>NoMcc</Item>
        <Item mcc="310">Second</Item></MCCTable></SelectionRule></SwitchingRule></C>)");
    struct Case {
        const char* mcc;
        bool found;
        const char* carrier;
    } cases[] = {{"310", true, "ATT"}, {"311", true, "VZW"}, {"999", true, "Odd"}, {"31", false, "none"},
                 {"", false, "none"}};
    for (const auto& c : cases) {
        std::string carrier = "none";
        EXPECT_EQ(reader.GetCarrierByMcc(c.mcc, "C:\\Tables\\mcc.xml", carrier), c.found) << c.mcc;
        EXPECT_EQ(carrier, c.carrier) << c.mcc;
    }
}

TEST_F(CarrierReadersTest, CarrierIdByMccmncFoundOrNotIsTrueWhenTheTableIsThere) {
    WriteFile("C:\\Tables\\mccmnc.xml", R"(<C><SwitchingRule><SelectionRule><MCCMNCTable>
        <Item mccmnc="310410">1001</Item><Item mccmnc="311480">1002</Item></MCCMNCTable></SelectionRule></SwitchingRule></C>)");
    std::string id = "previous";
    EXPECT_TRUE(reader.GetCarrierIdByMccmnc("311480", "C:\\Tables\\mccmnc.xml", id));
    EXPECT_EQ(id, "1002");
    id = "previous";
    EXPECT_TRUE(reader.GetCarrierIdByMccmnc("26201", "C:\\Tables\\mccmnc.xml", id));
    EXPECT_EQ(id, "previous");
    Lines log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(Lines(log.end() - 4, log.end()), (Lines{"4 GetCarrierId by Mccmnc enter.", "4 Carrier id:",
                                                      "4 previous", "4 GetCarrierId by Mccmnc done."}));
}

TEST_F(CarrierReadersTest, CarrierIdByMccmncNamesTheMissingPart) {
    struct Case {
        const char* content;
        const char* error;
    } cases[] = {
        {nullptr, "load xml error."},
        {"<!-- no element -->", "RootElement xml item error."},
        {"<C><Other/></C>", "switchingRuleNode is null."},
        {"<C><SwitchingRule/></C>", "selectionRuleNode is null."},
        {"<C><SwitchingRule><SelectionRule><MCCTable/></SelectionRule></SwitchingRule></C>",
         "MCCMNCTable node is null."},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string path = "C:\\Tables\\t" + std::to_string(n++) + ".xml";
        if (c.content) WriteFile(path, c.content);
        std::string id = "kept";
        std::size_t before = Log().size();
        EXPECT_FALSE(reader.GetCarrierIdByMccmnc("310410", path, id)) << c.error;
        EXPECT_EQ(id, "kept");
        Lines expected = {"4 GetCarrierId by Mccmnc enter.", std::string("1 ") + c.error};
        if (!c.content) expected.push_back("1 " + path);
        expected.push_back("4 GetCarrierId by Mccmnc done.");
        Lines log = Log();
        ASSERT_GE(log.size(), before);
        EXPECT_EQ(Lines(log.begin() + static_cast<std::ptrdiff_t>(before), log.end()), expected) << c.error;
    }
}

TEST_F(CarrierReadersTest, SelectionRuleItemByMccAlwaysGivesZero) {
    WriteFile("C:\\Tables\\rule.xml", R"(<C><SelectionRule><Item mcc="310">ATT</Item></SelectionRule></C>)");
    EXPECT_EQ(reader.GetSelectionRuleItemByMcc("310", "C:\\Tables\\rule.xml"), 0);
    EXPECT_EQ(reader.GetSelectionRuleItemByMcc("310", "C:\\Tables\\missing.xml"), 0);
}

// ---------------------------------------------------------------- firmware lists

TEST_F(CarrierReadersTest, CarrierFirmwareListFillsApMdAndOpFields) {
    WriteFile("C:\\Tables\\fw.xml", R"(<R><CarrierList>
      <Carrier id="1001">
        <APFirmware File="ap.bin" Ver="1.0" Type="AP" Count="1"/>
        <MDFirmware File="md.bin" Ver="2.0" Type="MD" Count="2"/>
        <OPFirmware File="op.bin" Ver="3.0" Type="OP" Count="3"/>
      </Carrier>
      <Carrier id="1002"><APFirmware File="ap2.bin" Ver="9" Type="AP" Count="1"/></Carrier>
    </CarrierList></R>)");
    FirmwareFileInfo info;
    info.m_strParamFile = "untouched";
    ASSERT_TRUE(reader.GetCarrierFirmwareList("1001", "C:\\Tables\\fw.xml", info));
    EXPECT_EQ(info.m_strId, "1001");
    EXPECT_EQ((std::vector<std::string>{info.m_strApFile, info.m_strApVer, info.m_strApType, info.m_strApCount,
                                        info.m_strMdFile, info.m_strMdVer, info.m_strMdType, info.m_strMdCount,
                                        info.m_strOpFile, info.m_strOpVer, info.m_strOpType, info.m_strOpCount}),
              (std::vector<std::string>{"ap.bin", "1.0", "AP", "1", "md.bin", "2.0", "MD", "2", "op.bin", "3.0", "OP",
                                        "3"}));
    EXPECT_EQ(info.m_strParamFile, "untouched");

    // A carrier without some firmware elements leaves those fields as they were.
    ASSERT_TRUE(reader.GetCarrierFirmwareList("1002", "C:\\Tables\\fw.xml", info));
    EXPECT_EQ(info.m_strApFile, "ap2.bin");
    EXPECT_EQ(info.m_strMdFile, "md.bin");

    FirmwareFileInfo none;
    EXPECT_FALSE(reader.GetCarrierFirmwareList("1003", "C:\\Tables\\fw.xml", none));
    EXPECT_EQ(none.m_strId, "");
}

TEST_F(CarrierReadersTest, OemFirmwareByCustModel) {
    WriteFile("C:\\Tables\\oem.xml", R"(<R><CarrierList>
      <CustModel id=""><OEMFirmware File="blank.bin" Ver="0" Type="OEM" Count="0"/></CustModel>
      <CustModel id="M1"><OEMFirmware File="m1.bin" Ver="1" Type="OEM" Count="4"><Switch_table File="sw1.xml"/></OEMFirmware></CustModel>
      <CustModel id="M2"><OEMFirmware File="m2.bin" Ver="2" Type="OEM" Count="5"/></CustModel>
    </CarrierList></R>)");
    FirmwareFileInfo info;
    EXPECT_EQ(reader.GetOemFirmwareByCustModel("", "C:\\Tables\\oem.xml", info), 0);  // the file is not read
    EXPECT_EQ(info.m_strParamFile, "");

    ASSERT_EQ(reader.GetOemFirmwareByCustModel("M1", "C:\\Tables\\oem.xml", info), 1);
    EXPECT_EQ((std::vector<std::string>{info.m_strId, info.m_strParamFile, info.m_strParamVer, info.m_strParamType,
                                        info.m_strParamCount, info.m_strSwitchTableFile}),
              (std::vector<std::string>{"M1", "m1.bin", "1", "OEM", "4", "sw1.xml"}));
    ASSERT_EQ(reader.GetOemFirmwareByCustModel("M2", "C:\\Tables\\oem.xml", info), 1);
    EXPECT_EQ(info.m_strParamFile, "m2.bin");
    EXPECT_EQ(info.m_strSwitchTableFile, "sw1.xml");  // no Switch_table: left as it was
    EXPECT_EQ(reader.GetOemFirmwareByCustModel("M3", "C:\\Tables\\oem.xml", info), 0);
    EXPECT_EQ(info.m_strId, "M2");
}

TEST_F(CarrierReadersTest, ParamFirmwareBySkuTakesTheLastMatch) {
    WriteFile("C:\\Tables\\sku.xml", R"(<R>
      <SKU_GUID ID="S1"><Area ID="EU"><PARAMFirmware File="eu.bin" Ver="1" Type="P" Count="1"/></Area>
                        <Area ID="US"><PARAMFirmware File="us.bin" Ver="1" Type="P" Count="1"/></Area></SKU_GUID>
      <SKU_GUID ID="S2"><Area ID="US"><PARAMFirmware File="s2us.bin" Ver="2" Type="P" Count="2"/></Area></SKU_GUID>
      <SKU_GUID ID="S1"><Area ID="US"><PARAMFirmware File="us-late.bin" Ver="3" Type="P" Count="3"/></Area></SKU_GUID>
    </R>)");
    struct Case {
        const char* sku;
        const char* area;
        bool found;
        const char* file;
    } cases[] = {{"S1", "US", true, "us-late.bin"}, {"S1", "EU", true, "eu.bin"}, {"S2", "US", true, "s2us.bin"},
                 {"S2", "EU", false, "none"}, {"S3", "US", false, "none"}};
    for (const auto& c : cases) {
        FirmwareFileInfo info;
        info.m_strParamFile = "none";
        EXPECT_EQ(reader.GetParamFirmwareBySku(c.sku, c.area, "C:\\Tables\\sku.xml", info), c.found)
            << c.sku << c.area;
        EXPECT_EQ(info.m_strParamFile, c.file) << c.sku << c.area;
    }
}

TEST_F(CarrierReadersTest, ParamFirmwareByRegistered) {
    WriteFile("C:\\Tables\\reg.xml", R"(<R><SwitchingRule>
      <Registered mcc="310"><PARAMFirmware File="na.bin" Ver="7" Type="P" Count="2"/></Registered>
      <Registered mcc="262"><PARAMFirmware File="de.bin" Ver="8" Type="P" Count="1"/></Registered>
    </SwitchingRule></R>)");
    FirmwareFileInfo info;
    ASSERT_EQ(reader.GetParamFirmwareByRegistered("262", "C:\\Tables\\reg.xml", info), 1);
    EXPECT_EQ((std::vector<std::string>{info.m_strParamFile, info.m_strParamVer, info.m_strParamType,
                                        info.m_strParamCount}),
              (std::vector<std::string>{"de.bin", "8", "P", "1"}));
    EXPECT_EQ(reader.GetParamFirmwareByRegistered("460", "C:\\Tables\\reg.xml", info), 0);
    EXPECT_EQ(reader.GetParamFirmwareByRegistered("262", "C:\\Tables\\missing.xml", info), 0);
}

// ---------------------------------------------------------------- package descriptions

TEST_F(CarrierReadersTest, PackageInfoPrefersTheExactCarrierThenTheDefault) {
    const std::string def = R"(<Carrier id="default"><Firmware File="d.fw" Ver="d1"/><CustPack File="d.cp" Ver="d2"/></Carrier>)";
    const std::string exact = R"(<Carrier id="1001"><Firmware File="e.fw" Ver="e1"/><CustPack File="e.cp" Ver="e2"/></Carrier>)";
    const std::string other = R"(<Carrier id="2002"><Firmware File="o.fw" Ver="o1"/><CustPack File="o.cp" Ver="o2"/></Carrier>)";
    struct Case {
        std::string carriers;
        std::vector<std::string> values;
    } cases[] = {
        {def + exact, {"e.fw", "e1", "e.cp", "e2"}},
        {exact + def, {"e.fw", "e1", "e.cp", "e2"}},
        {def + other, {"d.fw", "d1", "d.cp", "d2"}},
        {other, {"", "", "", ""}},
    };
    for (const auto& c : cases) {
        WriteFile("C:\\Pkg\\package_info.xml", "<P><CarrierList>" + c.carriers + "</CarrierList></P>");
        CarrierPackInfo info;
        info.strFwFile = info.strCustPackVersion = "stale";
        info.strMccMnc = "310410";
        ASSERT_TRUE(reader.GetPackageInfo("1001", "C:\\Pkg\\package_info.xml", info)) << c.carriers;
        EXPECT_EQ((std::vector<std::string>{info.strFwFile, info.strFwVersion, info.strCustPackFile,
                                            info.strCustPackVersion}),
                  c.values)
            << c.carriers;
        EXPECT_EQ(info.strMccMnc, "310410");
    }
}

TEST_F(CarrierReadersTest, PackageInfoFailures) {
    WriteFile("C:\\Pkg\\nolist.xml", "<P><Other/></P>");
    struct Case {
        const char* path;
        const char* error;
    } cases[] = {{"C:\\Pkg\\missing.xml", "1 package_info.xml load failed"},
                 {"C:\\Pkg\\nolist.xml", "1 CarrierList failed"}};
    for (const auto& c : cases) {
        CarrierPackInfo info;
        info.strFwFile = "kept";
        EXPECT_FALSE(reader.GetPackageInfo("1001", c.path, info));
        EXPECT_EQ(info.strFwFile, "kept");
        EXPECT_TRUE(Logged(c.error)) << c.error;
    }
}

const char kFwPackage[] = R"(<FwPackage>
  <PackageVer>12.3</PackageVer><PackageType>Full</PackageType>
  <CarrierList>
    <Carrier id="1001" ver="1.1"><FWImage file="a.img" ver="a1"/><CustPack file="a.cp" ver="a2"/></Carrier>
    <Carrier id="1002" ver="2.2"><FWImage file="b.img" ver="b1"/></Carrier>
  </CarrierList>
</FwPackage>)";

TEST_F(CarrierReadersTest, FwPackageInfoReadsTheWholeDescription) {
    WriteFile("C:\\Pkg\\FwPackageInfo.xml", kFwPackage);
    FwPackageInfo info;
    info.m_firmwareList.resize(3);  // replaced, not appended to
    ASSERT_TRUE(reader.GetFwPackageInfo("C:\\Pkg\\FwPackageInfo.xml", info));
    EXPECT_EQ(info.m_strPackageVer, "12.3");
    EXPECT_EQ(info.m_strPackageType, "Full");
    ASSERT_EQ(info.m_firmwareList.size(), 2u);
    const FirmwareFileInfo& a = info.m_firmwareList[0];
    EXPECT_EQ((std::vector<std::string>{a.m_strId, a.m_strPackageVer, a.m_strImageFile, a.m_strImageVer,
                                        a.m_strCustPackFile, a.m_strCustPackVer}),
              (std::vector<std::string>{"1001", "1.1", "a.img", "a1", "a.cp", "a2"}));
    EXPECT_EQ(info.m_firmwareList[1].m_strId, "1002");
    EXPECT_EQ(info.m_firmwareList[1].m_strCustPackFile, "");
}

TEST_F(CarrierReadersTest, FwPackageInfoWithAnEmptyPathReadsTheCurrentFolder) {
    WriteFile("C:\\Pkg\\FwPackageInfo.xml", kFwPackage);
    machine().files().SetCurrentDirectory("C:\\Pkg");
    FwPackageInfo info;
    ASSERT_TRUE(reader.GetFwPackageInfo("", info));
    EXPECT_EQ(info.m_strPackageVer, "12.3");
}

TEST_F(CarrierReadersTest, FwPackageInfoNeedsVersionTypeAndList) {
    struct Case {
        const char* content;
    } cases[] = {{"<F><PackageVer>1</PackageVer><CarrierList/></F>"},
                 {"<F><PackageType>T</PackageType><CarrierList/></F>"},
                 {"<F><PackageVer>1</PackageVer><PackageType>T</PackageType></F>"},
                 {"<F>"}};
    for (const auto& c : cases) {
        WriteFile("C:\\Pkg\\fw.xml", c.content);
        FwPackageInfo info;
        info.m_strPackageVer = "kept";
        info.m_firmwareList.resize(1);
        EXPECT_FALSE(reader.GetFwPackageInfo("C:\\Pkg\\fw.xml", info)) << c.content;
        EXPECT_EQ(info.m_strPackageVer, "kept");
        EXPECT_EQ(info.m_firmwareList.size(), 1u);
    }
}

// ---------------------------------------------------------------- eSIM black list

std::string EsimTable(const std::string& flag, bool skuList = true) {
    return "<Esim><TableEnableFlag FlagValue=\"" + flag + "\"/>" +
           (skuList ? R"(<SKU_BlackList><SKU SKUValue="Sku-A1"/><SKU SKUValue="SKU-B2"/></SKU_BlackList>)" : "") +
           R"(<IMSI_BlackList><MCCMNC MCCMNCValue="46001"/><MCCMNC MCCMNCValue="310410"/></IMSI_BlackList></Esim>)";
}

TEST_F(CarrierReadersTest, EsimDisableType) {
    struct Case {
        std::string table;
        const char* sku;
        const char* mccmnc;
        int result;
        const char* logged;
    } cases[] = {
        {EsimTable("FALSE"), "SKU-A1", "", -1, "4 FlagValue is false,not need to set esim disable."},
        {EsimTable("maybe"), "SKU-A1", "", -1, "4 Main disable error."},
        {EsimTable("true"), "sku-a1", "", 0x100, "4 Sku in black list"},
        {EsimTable("True"), "", "310410", 1, "4 MccMnc in black list"},
        {EsimTable("True"), "SKU-C3", "46001", 1, "4 MccMnc in black list"},
        {EsimTable("True"), "SKU-C3", "46002", 0, "4 getEsimDisableType done."},
        {EsimTable("True", false), "SKU-A1", "310410", -1, "4 SKU black xml item error."},
        {EsimTable("True"), "", "", -1, "1 SKU & Imsi is null"},
        {"<Esim/>", "SKU-A1", "", -1, "1 TableEnableFlag xml item error."},
        {"<Esim><TableEnableFlag FlagValue=\"True\"/></Esim>", "", "46001", -1, "4 IMSI black xml item error."},
    };
    for (const auto& c : cases) {
        WriteFile("C:\\Tables\\esim.xml", c.table);
        EXPECT_EQ(reader.getEsimDisableType("C:\\Tables\\esim.xml", c.sku, c.mccmnc), c.result)
            << c.table << " " << c.sku << " " << c.mccmnc;
        EXPECT_TRUE(Logged(c.logged)) << c.logged;
    }
}

TEST_F(CarrierReadersTest, EsimDisableTypeLogsEachListedMccmncItCompares) {
    WriteFile("C:\\Tables\\esim.xml", EsimTable("True"));
    EXPECT_EQ(reader.getEsimDisableType("C:\\Tables\\esim.xml", "", "310410"), 1);
    EXPECT_EQ(Log(), (Lines{"4 getEsimDisableType enter.", "4 C:\\Tables\\esim.xml", "4 310410", "4 46001",
                            "4 310410", "4 310410", "4 MccMnc in black list", "4 getEsimDisableType done."}));
}

TEST_F(CarrierReadersTest, EsimDisableTypeWithoutTheTable) {
    EXPECT_EQ(reader.getEsimDisableType("C:\\Tables\\missing.xml", "SKU-A1", ""), -1);
    EXPECT_TRUE(Logged("1 Esim disable xml load faild."));
    EXPECT_TRUE(Logged("1 C:\\Tables\\missing.xml"));
}

// ---------------------------------------------------------------- the worker's image table and flash layout

const char kImageTable[] = "C:\\Kavrion\\FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml";
const char kScatter[] = "C:\\Kavrion\\FwSwitchBin\\FlashData\\scatter.xml";

class WorkerTablesTest : public CarrierReadersTest {
protected:
    void SetUp() override {
        CarrierReadersTest::SetUp();
        CStateWork::GetInstance()->InitPath();
    }
};

TEST_F(WorkerTablesTest, CfgPkInfoFindsTheImageForConfigurationAndMcc) {
    WriteFile(kImageTable, R"(<Map><WwanDeviceConfigureIDToImageMappingTable>
      <WwanDeviceConfigID ID="0001">
        <Standard Value="310"><DEVFirmware File="na.img" Ver="1.2" Type="DEV" Count=" +12abc"/></Standard>
      </WwanDeviceConfigID>
      <WwanDeviceConfigID ID="0002">
        <Standard Value="262"><DEVFirmware File="eu.img" Ver="2.0" Type="DEV" Count="x"/></Standard>
        <Standard Value="310"><DEVFirmware File="us2.img" Ver="2.1" Type="DEV" Count="-3"/></Standard>
      </WwanDeviceConfigID>
    </WwanDeviceConfigureIDToImageMappingTable></Map>)");
    struct Case {
        const char* id;
        const char* mcc;
        int result;
        const char* file;
        int count;
    } cases[] = {{"0001", "310", 1, "na.img", 12}, {"0002", "310", 1, "us2.img", -3}, {"0002", "262", 1, "eu.img", 0},
                 {"0001", "262", 0, "before", 99}, {"0003", "310", 0, "before", 99}};
    for (const auto& c : cases) {
        CfgPkInfo info;
        info.m_strFwFile = "before";
        info.m_strInfo3 = "slot3";
        info.m_nFwCount = 99;
        EXPECT_EQ(reader.getCfgPkInfo(c.id, c.mcc, info), c.result) << c.id << "/" << c.mcc;
        EXPECT_EQ(info.m_strFwFile, c.file) << c.id << "/" << c.mcc;
        EXPECT_EQ(info.m_nFwCount, c.count) << c.id << "/" << c.mcc;
        if (c.result) {
            EXPECT_EQ(info.m_strStandard, c.mcc);
            EXPECT_EQ(info.m_strInfo3, "");
            EXPECT_EQ(info.m_strFwType, "DEV");
        }
    }
    Lines log = Log();
    ASSERT_GE(log.size(), 6u);
    EXPECT_EQ(Lines(log.begin(), log.begin() + 6),
              (Lines{"4 getCfgPkInfo enter.", "4 0001", "4 310", "4 getCfgPkInfo mcc is not null.",
                     "4 getCfgPkInfo find map.", "4 getCfgPkInfo done."}));
}

TEST_F(WorkerTablesTest, CfgPkInfoWithoutMccOrTable) {
    CfgPkInfo info;
    EXPECT_EQ(reader.getCfgPkInfo("0001", "", info), 0);
    EXPECT_EQ(Log(), (Lines{"4 getCfgPkInfo enter.", "4 0001", "4 ", "4 getCfgPkInfo not find map.",
                            "4 getCfgPkInfo done."}));
    EXPECT_EQ(reader.getCfgPkInfo("0001", "310", info), 0);
    EXPECT_TRUE(Logged("4 LoadFile xml failed:"));
    EXPECT_TRUE(Logged(std::string("1 ") + kImageTable));
}

TEST_F(WorkerTablesTest, ScatterDownloadMarksEveryPartitionAndSaves) {
    WriteFile(kScatter, R"(<layout><general/><storage_type>
      <partition_index><partition_name>boot</partition_name><is_download>boot</is_download></partition_index>
      <partition_index><is_download>modem</is_download></partition_index>
      <partition_index><partition_name>none</partition_name></partition_index>
      <partition_index><is_download>true</is_download></partition_index>
    </storage_type></layout>)");
    ASSERT_TRUE(reader.GetScatterDownloadInfo(";boot;nvram;"));
    EXPECT_EQ(ReadFile(kScatter), "<layout>\n"
                                  "    <general/>\n"
                                  "    <storage_type>\n"
                                  "        <partition_index>\n"
                                  "            <partition_name>boot</partition_name>\n"
                                  "            <is_download>true</is_download>\n"
                                  "        </partition_index>\n"
                                  "        <partition_index>\n"
                                  "            <is_download>false</is_download>\n"
                                  "        </partition_index>\n"
                                  "        <partition_index>\n"
                                  "            <partition_name>none</partition_name>\n"
                                  "        </partition_index>\n"
                                  "        <partition_index>\n"
                                  "            <is_download>false</is_download>\n"
                                  "        </partition_index>\n"
                                  "    </storage_type>\n"
                                  "</layout>\n");
    // Saved again even when no mark changes.
    WriteFile(kScatter, "<l><general/><storage_type><partition_index><is_download>false</is_download>"
                        "</partition_index></storage_type></l>");
    ASSERT_TRUE(reader.GetScatterDownloadInfo(";x;"));
    EXPECT_NE(ReadFile(kScatter).find("\n"), std::string::npos);
}

TEST_F(WorkerTablesTest, ScatterDownloadFailures) {
    const std::string good = "<l><general/><storage_type/></l>";
    struct Case {
        const char* content;
        const char* list;
    } cases[] = {{good.c_str(), ""}, {"<l><storage_type/></l>", ";a;"}, {"<l><general/></l>", ";a;"},
                 {nullptr, ";a;"}};
    for (const auto& c : cases) {
        if (c.content) {
            WriteFile(kScatter, c.content);
        } else {
            std::filesystem::remove(kvtest::HostPath(drives(), kScatter));
        }
        EXPECT_FALSE(reader.GetScatterDownloadInfo(c.list)) << (c.content ? c.content : "no file");
        if (c.content) {
            EXPECT_EQ(ReadFile(kScatter), c.content);
        }
    }
}

TEST_F(WorkerTablesTest, ScatterDownloadThatCannotBeSavedIsAFailure) {
    WriteFile(kScatter, "<l><general/><storage_type><partition_index><is_download>a</is_download>"
                        "</partition_index></storage_type></l>");
    // A file size limit fails the write even for a superuser, to whom read-only files are writable.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool result = reader.GetScatterDownloadInfo(";a;");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_FALSE(result);
}

}  // namespace
