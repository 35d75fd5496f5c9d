// The table-writing runs: entry by project type, gate, body-SAR switch, versions, delay and reset.
#include <gtest/gtest.h>

#include <algorithm>

#include "cfgmgr/CSarCfgManager.h"
#include "core/CStateWork.h"
#include "platform/sim/programs.h"
#include "tests/cfgmgr/cfg_fixture.h"

namespace {

using cfgtest::CfgTest;

const char kVersionQuery[] = "AT+GETOEMTABLEVER?";
const char kNoNeed[] = "GetCfgInfo no need set cfg info****";

class Runs : public CfgTest {
protected:
    // Type 2 on a base product, body SAR enabled, the XML run chosen.
    void MultiMode(const std::string& kvConfig = "MULTIMODE_FUNCTION=1\n") {
        Project(2);
        Board("AB12");
        SrvConfig("BaseBoardProduct=AB12\n");
        KvConfig(kvConfig);
        Reply("AT+BODYSAREN?\r\n", "\r\n+BODYSAREN: 1\r\n\r\nOK\r\n");
    }
    void VersionReply(const std::string& reply) { Reply(std::string(kVersionQuery) + "\r\n", reply); }
};

TEST_F(Runs, EntryRunsTheProjectTypesRun) {
    struct Case {
        const char* projectType;
        const char* runLine;  // nullptr: no run
    };
    const Case cases[] = {
        {"0", nullptr},
        {"4", nullptr},
        {"3", "---------GetCfgInfoQ520 enter---------"},
        {"2", "---------GetCfgInfoQ520RNV enter---------"},
    };
    CStateWork::GetInstance()->SetSimChangeEvent("310410", "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.projectType);
        Settings(std::string("ProjectType=") + c.projectType + "\n");
        std::string before = Log();
        CStateWork::GetInstance()->FlashSarByATSend();
        std::string log = Log().substr(before.size());
        EXPECT_NE(log.find(": FlashSarByATSend enter\n"), std::string::npos);
        EXPECT_NE(log.find(": FlashSarByATSend end\n"), std::string::npos);
        EXPECT_NE(log.find(": mcc:310\n"), std::string::npos);
        if (c.runLine) {
            EXPECT_NE(log.find(c.runLine), std::string::npos);
            EXPECT_NE(log.find(kNoNeed), std::string::npos);  // nothing is listed
        } else {
            EXPECT_EQ(log.find("GetCfgInfo"), std::string::npos);
        }
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Runs, GateFalseSendsNothing) {
    for (int type : {2, 3}) {
        SCOPED_TRACE(type);
        Project(type);
        Board("AB12");
        SrvConfig("BaseBoardProduct=CD34\n");
        KvConfig("MULTIMODE_FUNCTION=1\n");
        CSarCfgManager manager;
        EXPECT_EQ(type == 2 ? manager.DoGetCfgInfoQ520RNV("310") : manager.DoGetCfgInfoQ520("310"), 0);
        EXPECT_TRUE(Sent().empty());
    }
    EXPECT_EQ(CountLogged(kNoNeed), 2u);
}

struct BodySarCase {
    const char* name;
    const char* enabledReply;  // nullptr: the query fails
    bool enableFails;
    const char* modeReply;
    bool modeSetFails;
    std::vector<std::string> commands;  // up to the version query
    int result;
    const char* line;
};

TEST_F(Runs, BodySarEnabledAndSoftModeBeforeAnyTable) {
    const BodySarCase cases[] = {
        {"already enabled: the mode is not asked", "+BODYSAREN:1", false, "+BODYSARMODE:0", false,
         {"AT+BODYSAREN?", kVersionQuery}, 0, nullptr},
        {"enabled, then put in soft mode", "+BODYSAREN:0", false, "+BODYSARMODE:0", false,
         {"AT+BODYSAREN?", "AT+BODYSAREN=1", "AT+BODYSARMODE?", "AT+BODYSARMODE=1", kVersionQuery}, 0,
         "Current BodySAR mode is not soft mode,need set it."},
        {"a failed query counts as not enabled", nullptr, false, "+BODYSARMODE:1", false,
         {"AT+BODYSAREN?", "AT+BODYSAREN=1", "AT+BODYSARMODE?", kVersionQuery}, 0,
         "Current BodySAR has not enabled, need enabled it first."},
        {"the enable fails: the run ends", "+BODYSAREN:0", true, "+BODYSARMODE:1", false,
         {"AT+BODYSAREN?", "AT+BODYSAREN=1"}, 1, "Set_BodySAR enable failed"},
        {"the soft mode fails: the run ends", "+BODYSAREN:0", false, "+BODYSARMODE:0", true,
         {"AT+BODYSAREN?", "AT+BODYSAREN=1", "AT+BODYSARMODE?", "AT+BODYSARMODE=1"}, 1, "Set_SoftMode SAR failed"},
    };
    MultiMode();
    VersionReply("\r\nERROR\r\n");
    for (const BodySarCase& c : cases) {
        SCOPED_TRACE(c.name);
        modem().ClearReplies();
        modem().SetDefaultReply(sim::ModemReply::Text("\r\nOK\r\n"));
        VersionReply("\r\nERROR\r\n");
        if (c.enabledReply)
            Reply("AT+BODYSAREN?\r\n", std::string("\r\n") + c.enabledReply + "\r\n\r\nOK\r\n");
        else
            Reply("AT+BODYSAREN?\r\n", "\r\nERROR\r\n");
        if (c.enableFails) Reply("AT+BODYSAREN=1\r\n", "\r\nERROR\r\n");
        Reply("AT+BODYSARMODE?\r\n", std::string("\r\n") + c.modeReply + "\r\n\r\nOK\r\n");
        if (c.modeSetFails) Reply("AT+BODYSARMODE=1\r\n", "\r\nERROR\r\n");
        std::size_t before = Commands().size();

        CSarCfgManager manager;
        int result = manager.GetCfgInfoQ520RNV("310");
        EXPECT_EQ(result != 0, c.result != 0) << result;
        std::vector<std::string> all = Commands();
        std::vector<std::string> distinct;
        for (std::size_t i = before; i < all.size(); ++i)
            if (distinct.empty() || distinct.back() != all[i]) distinct.push_back(all[i]);
        EXPECT_EQ(distinct, c.commands);
        EXPECT_EQ(manager.CallGetCfgInfoQ520RNV("310"), 0);  // the caller never sees the result
        if (c.line) {
            EXPECT_TRUE(Logged(c.line));
        }
    }
    EXPECT_TRUE(LoggedAsError("Send AT+BODYSAREN? failed"));
}

TEST_F(Runs, FailedVersionQueryEndsTheRunWithoutDelayOrReset) {
    MultiMode("MULTIMODE_FUNCTION=1\nDELAY_SECONDS=5\n");
    ResetProcess();
    VersionReply("\r\nERROR\r\n");
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNV("310"), 0);
    EXPECT_TRUE(LoggedAsError("QueryBodySarVersion fail."));
    EXPECT_FALSE(Logged("QueryCurSarVersion end"));
    EXPECT_EQ(Log().find("Delay "), std::string::npos);
    EXPECT_EQ(Log().find("Changed flags"), std::string::npos);
    EXPECT_FALSE(Logged("---------GetCfgInfoQ520RNV end---------"));
    EXPECT_EQ(ResetRequests(), 0u);
    EXPECT_EQ(DistinctCommands().back(), kVersionQuery);
}

TEST_F(Runs, TheDelayIsSleptWhetherOrNotAWriterChangedTheModem) {
    struct Case {
        const char* kvConfig;
        const char* line;
    };
    const Case cases[] = {
        {"MULTIMODE_FUNCTION=1\nDELAY_SECONDS=5\n", "Delay 5 seconds and then reboot modem..."},
        {"MULTIMODE_FUNCTION=1\n", "Delay 0 seconds and then reboot modem..."},
        // A negative delay is no delay, not 49 days.
        {"MULTIMODE_FUNCTION=1\nDELAY_SECONDS=-5\n", "Delay 0 seconds and then reboot modem..."},
    };
    ResetProcess();
    std::vector<std::int64_t> elapsed;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kvConfig);
        MultiMode(c.kvConfig);
        VersionReply("\r\n+GETOEMTABLEVER: DPR ver: 1, TAS_FCC ver: 2, TAS_ISED ver: 3, ANT_GPO ver: 4, ANT_MIPI ver: 5\r\n\r\nOK\r\n");
        std::string before = Log();
        std::int64_t start = Now();
        CSarCfgManager manager;
        EXPECT_EQ(manager.GetCfgInfoQ520RNV("310"), 0);
        elapsed.push_back(Now() - start);
        std::string log = Log().substr(before.size());
        EXPECT_NE(log.find(std::string(": ") + c.line + "\n"), std::string::npos);
        EXPECT_EQ(ResetRequests(), 0u);  // no writer changed the modem
        EXPECT_FALSE(Logged("---------GetCfgInfoQ520RNV end---------"));
    }
    EXPECT_EQ(elapsed[0] - elapsed[1], 5000);
    EXPECT_EQ(elapsed[2], elapsed[1]);
    // The delay line comes after the sleep in this run.
    EXPECT_EQ(LoggedAt("Delay 5 seconds and then reboot modem...") -
                  LoggedAt("Changed flags: CDprSarCfg_5201_MultiMode=0 CTasSarCfg_FCC=0 CTasSarCfg_CE=0 "
                           "CTasSarCfg_ISED=0 CAntGpoXmlCfg=0 CAntMipiXmlCfg=0"),
              5000);
}

TEST_F(Runs, MultiModeOtherThanOneIsTheIniRun) {
    MultiMode("MULTIMODE_FUNCTION=2\nDELAY_SECONDS=5\n");
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNV("310"), 0);
    EXPECT_TRUE(Logged("---------GetCfgInfoQ520RNV end---------"));
    EXPECT_FALSE(SentCommand(kVersionQuery));
    EXPECT_EQ(Log().find("Delay "), std::string::npos);
}

TEST_F(Runs, TypeOneWaitsForTheModuleThenAsksTheGate) {
    Project(1);
    ConfigId("0x1001");
    SrvConfig("BaseWwanDeviceConfigID=0x1001\n");
    KvConfig("DELAY_SECONDS=7\n");
    VersionReply("\r\nDPR ver: 1, TAS_FCC ver: 2, TAS_ISED ver: 3, ANT_GPO ver: 4, ANT_MIPI ver: 5\r\n\r\nOK\r\n");
    ResetProcess();
    CSarCfgManager manager;
    EXPECT_EQ(manager.DoGetCfgInfoQ520RNorvale("310"), 0);

    EXPECT_TRUE(LoggedAsError("Cannot find Q520 R+ Norvale device."));
    EXPECT_EQ(LoggedAt("CfgEnableQ520Norvale enter") - LoggedAt("---------GetCfgInfoQ520RNorvale enter---------"),
              240000);
    bool ran = false;
    for (const sim::ProgramRun& run : machine().programs().Runs())
        ran = ran || run.commandLine == "sc failure KavrConfigSrv reset= 86400 actions= \"\"";
    EXPECT_TRUE(ran);
    // The delay line comes before the sleep in this run.
    EXPECT_EQ(LoggedAt("---------GetCfgInfoQ520RNorvale end---------") -
                  LoggedAt("Delay 7 seconds and then reboot modem..."),
              7000);
    EXPECT_TRUE(LoggedInOrder({"QueryCurSarVersion end", "Changed flags: CDprSarCfg_5201_NonMultiMode=0",
                               "Delay 7 seconds and then reboot modem...", "---------GetCfgInfoQ520RNorvale end---------"}));
    EXPECT_EQ(ResetRequests(), 0u);
}

TEST_F(Runs, TypeOneWithAFailedVersionQueryStillLogsItsEnd) {
    Project(1);
    ConfigId("0x1001");
    SrvConfig("BaseWwanDeviceConfigID=0x1001\n");
    KvConfig("DELAY_SECONDS=7\n");
    VersionReply("\r\nERROR\r\n");
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNorvale("310"), 0);
    EXPECT_TRUE(LoggedAsError("QueryBodySarVersion fail."));
    EXPECT_EQ(Log().find("Delay "), std::string::npos);
    EXPECT_TRUE(Logged("---------GetCfgInfoQ520RNorvale end---------"));
}

TEST_F(Runs, TypeOneGateFalseAfterTheModuleWait) {
    Project(1);
    ConfigId("0x1001");
    SrvConfig("BaseWwanDeviceConfigID=0x2002\n");
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNorvale("310"), 0);
    EXPECT_TRUE(Logged(kNoNeed));
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(Logged("---------GetCfgInfoQ520RNorvale end---------"));
}

class ResetRequest : public CfgTest {};

TEST_F(ResetRequest, SetsTheEventAnotherProcessOwns) {
    ResetProcess();
    CSarCfgManager manager;
    manager.ResetMoudleEvent();
    EXPECT_EQ(ResetRequests(), 1u);
    EXPECT_TRUE(machine().FindNamedEvent("ResetMoudle")->signaled);
    EXPECT_TRUE(LoggedInOrder({"ResetMoudleEvent start", "ResetMoudleEvent end"}));
}

TEST_F(ResetRequest, AMissingEventIsLoggedNotLost) {
    CSarCfgManager manager;
    manager.ResetMoudleEvent();
    EXPECT_EQ(ResetRequests(), 0u);
    EXPECT_TRUE(LoggedAsError("Open ResetMoudle event failed, error 2: the modem is not reset"));
    EXPECT_TRUE(Logged("ResetMoudleEvent end"));
    EXPECT_EQ(machine().FindNamedEvent("ResetMoudle"), nullptr);  // never created here
}

class WwanConfigIdLibrary : public CfgTest {};

TEST_F(WwanConfigIdLibrary, TheExportsResultDecides) {
    const char* path = "C:\\Kavrion\\FwSwitchbin\\WWANFirmwareFlash.dll";
    CSarCfgManager manager;
    EXPECT_FALSE(manager.CallSetWwanConfigID());  // no library

    int calls = 0;
    machine().programs().DeclareLibrary({path, {{"SetWwanConfigID", [&calls] {
                                                     ++calls;
                                                     return std::intptr_t{1};
                                                 }}}});
    EXPECT_TRUE(manager.CallSetWwanConfigID());
    EXPECT_EQ(calls, 1);
    EXPECT_GE(machine().programs().LoadCount(path), 1);  // not unloaded

    machine().programs().DeclareLibrary({path, {{"SetWwanConfigID", [] { return std::intptr_t{0}; }}}});
    EXPECT_FALSE(manager.CallSetWwanConfigID());
    machine().programs().DeclareLibrary({path, {{"Other", [] { return std::intptr_t{1}; }}}});
    EXPECT_FALSE(manager.CallSetWwanConfigID());
}

}  // namespace

namespace {

std::string DprXml(const std::string& version, int tables) {
    std::string xml = "<?xml version=\"1.0\"?>\n<Dpr>\n  <XmlVer>" + version +
                      "</XmlVer>\n  <ModeCfg><Enable Mode=\"Lowest Power\" Table=\"2\"/></ModeCfg>\n  <Table_Data>\n";
    for (int t = 0; t < tables; ++t)
        xml += "    <T><Item name=\"LTE_B2\" value=\"" + std::to_string(20 + t) + "\"/></T>\n";
    return xml + "  </Table_Data>\n</Dpr>\n";
}

class WriterRuns : public Runs {};

TEST_F(WriterRuns, AChangedModemIsResetOnceAfterTheDelay) {
    struct Case {
        const char* name;
        const char* modemDpr;
        bool changed;
    };
    const Case cases[] = {
        {"older tables in the modem", "0001.0001", true},
        // The modem's version is handed over as reported, letter case aside.
        {"the file's version in the modem", "AB.0002", false},
        // A reply without the label gives no version, which no file has.
        {"no DPR label in the reply", nullptr, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MultiMode("MULTIMODE_FUNCTION=1\nDELAY_SECONDS=3\n");
        Board("ab12");
        SrvConfig("NetBoardProduct=AB12\nNetMccId=AB12_310\nCEMCC=208\n");
        RunFile("AB12_310_SAR_DPR_PV.xml", DprXml("ab.0002", 9));
        ResetProcess();
        std::string labels = c.modemDpr ? std::string("DPR ver: ") + c.modemDpr + ", " : std::string();
        VersionReply("\r\n+GETOEMTABLEVER: " + labels +
                     "TAS_FCC ver: 1, TAS_ISED ver: 1, ANT_GPO ver: 1, ANT_MIPI ver: 1\r\n\r\nOK\r\n");
        std::size_t requests = ResetRequests();
        std::size_t sent = Commands().size();
        CSarCfgManager manager;
        EXPECT_EQ(manager.GetCfgInfoQ520RNV("310"), 0);
        std::vector<std::string> commands = Commands();
        commands.erase(commands.begin(), commands.begin() + static_cast<long>(sent));
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "At+SETOEMTABLEVER=1,\"AB.0002\""), c.changed ? 1 : 0);
        EXPECT_EQ(commands.back(), "AT+BODYSARON=2");
        EXPECT_EQ(ResetRequests() - requests, c.changed ? 1u : 0u);
    }
    EXPECT_TRUE(LoggedInOrder({"Changed flags: CDprSarCfg_5201_MultiMode=1 CTasSarCfg_FCC=0 CTasSarCfg_CE=0 "
                               "CTasSarCfg_ISED=0 CAntGpoXmlCfg=0 CAntMipiXmlCfg=0",
                               "Delay 3 seconds and then reboot modem...",
                               "ResetMoudleEvent start", "ResetMoudleEvent end"}));
}

TEST_F(WriterRuns, TypeOneWritesTheTwoProfileTablesOfItsConfigurationId) {
    Project(1);
    ConfigId("0x10a1");
    SrvConfig("BaseWwanDeviceConfigID=0X10A1\n");
    KvConfig("DELAY_SECONDS=2\n");
    RunFile("0X10A1_SAR_DPR_PV.xml", DprXml("0002", 2));
    VersionReply("\r\nDPR ver: 0001, TAS_FCC ver: 1, TAS_ISED ver: 1, ANT_GPO ver: 1, ANT_MIPI ver: 1\r\n\r\nOK\r\n");
    ResetProcess();
    CSarCfgManager manager;
    EXPECT_EQ(manager.DoGetCfgInfoQ520RNorvale("310"), 0);
    std::vector<std::string> commands = DistinctCommands();
    std::vector<std::string> expected = {kVersionQuery,
                                         "AT+BODYSAREN=1",
                                         "AT+BODYSARPROFILE=0",
                                         "AT+BODYSAR=1,",
                                         "AT+BODYSAR=2,20,\"0x2\"",
                                         "AT+BODYSARPROFILE=1",
                                         "AT+BODYSAR=1,",
                                         "AT+BODYSAR=2,21,\"0x2\"",
                                         "At+SETOEMTABLEVER=1,\"0002\"",
                                         "AT+BODYSARON=1"};
    EXPECT_EQ(commands, expected);
    EXPECT_TRUE(LoggedInOrder({"Changed flags: CDprSarCfg_5201_NonMultiMode=1", "Delay 2 seconds and then reboot modem...",
                               "ResetMoudleEvent start", "---------GetCfgInfoQ520RNorvale end---------"}));
    EXPECT_EQ(ResetRequests(), 1u);
}

}  // namespace

namespace {

class IniRuns : public Runs {
protected:
    // The three INI table files of board AB12, as the INI writers name them without an MCC.
    void IniFiles(bool withBodySar = true) {
        if (withBodySar) RunFile("AB12_SAR_DPR_PV.ini", "[Q520_DPR_DOUBLE_TABLE_PARAM]\nT0_LTE_B2=20\n");
        RunFile("AB12_SAR_TAS_PV.ini", "[Q520_TAS_DOUBLE_TABLE_PARAM]\nT0_LTE_B2=19\nDPR_OFF_OFFSET=1\n");
        RunFile("AB12_AntConfigTable_PV.ini", "[ANT_BASIC_PARAM]\nANT_ENABLE=1\nANT_CTRLMODE=1\nANT_TUNEMODE=0\n"
                                              "[ANT_GPO_TABLE0_PARAM]\nB1_0=5\n");
    }
    // Where each writer's work shows: its first command and its band-table command.
    void ExpectBodySarThenTasThenAntenna(bool bodySarWrites) {
        std::vector<std::string> commands = DistinctCommands();
        auto at = [&](const std::string& command) {
            return std::find(commands.begin(), commands.end(), command) - commands.begin();
        };
        auto none = static_cast<long>(commands.size());
        EXPECT_LT(at("AT+BODYSAREN=1"), at("AT+GTTASEN=1"));
        EXPECT_LT(at("AT+GTTASEN=1"), at("AT+GTTAS=2,19,\"0x2\""));
        EXPECT_LT(at("AT+GTTAS=2,19,\"0x2\""), at("AT+GTANTGPOCFG?"));
        EXPECT_LT(at("AT+GTANTGPOCFG?"), at("AT+GTANTGPOCFG=0,0,5,"));
        EXPECT_NE(at("AT+GTANTGPOCFG=0,0,5,"), none);
        EXPECT_EQ(at("AT+BODYSAR=2,20,\"0x2\"") < at("AT+GTTASEN=1"), bodySarWrites);
        EXPECT_EQ(at(kVersionQuery), none);
    }
};

TEST_F(IniRuns, TypeThreeBodySarThenTasThenAntenna) {
    Project(3);
    Board("AB12");
    SrvConfig("BaseBoardProduct=AB12\n");
    IniFiles();
    CSarCfgManager manager;
    EXPECT_EQ(manager.DoGetCfgInfoQ520("310"), 0);
    ExpectBodySarThenTasThenAntenna(true);
    EXPECT_TRUE(LoggedInOrder({"---------GetCfgInfoQ520 enter---------", "CfgEnable end", "---------GetCfgInfoQ520 end---------"}));
}

TEST_F(IniRuns, TypeTwoWithoutMultiModeTheSameWritersAndAFailingOneDoesNotStopTheNext) {
    MultiMode("MULTIMODE_FUNCTION=0\nDELAY_SECONDS=9\n");
    ResetProcess();
    IniFiles(false);  // the body-SAR writer finds no file
    CSarCfgManager manager;
    std::int64_t start = Now();
    EXPECT_EQ(manager.DoGetCfgInfoQ520RNV("310"), 0);
    ExpectBodySarThenTasThenAntenna(false);
    EXPECT_TRUE(LoggedInOrder({"---------GetCfgInfoQ520RNV enter---------", "---------GetCfgInfoQ520RNV end---------"}));
    EXPECT_LT(Now() - start, 9000);  // no delay
    EXPECT_EQ(ResetRequests(), 0u);
}

}  // namespace

namespace {

std::string TasXml(const std::string& version) {
    std::string xml = "<?xml version=\"1.0\"?>\n<Tas>\n  <XmlVer>" + version +
                      "</XmlVer>\n  <ModeCfg><Enable Mode=\"Lowest Power\" Table=\"1\"/></ModeCfg>\n"
                      "  <Param><I name=\"a\" value=\"1\"/><I name=\"b\" value=\"2\"/><I name=\"c\" value=\"3\"/>"
                      "<I name=\"d\" value=\"4\"/></Param>\n  <Tas_Data>\n";
    for (int t = 0; t < 9; ++t) xml += "    <T><Item name=\"LTE_B66\" value=\"" + std::to_string(10 + t) + "\"/></T>\n";
    return xml + "  </Tas_Data>\n</Tas>\n";
}

TEST_F(WriterRuns, MultiModeRunsItsWritersInOrder) {
    // MCC 302 is both a CE and an ISED network here, so the CE and ISED writers both apply.
    MultiMode("MULTIMODE_FUNCTION=1\nDELAY_SECONDS=4\n");
    Board("AB12");
    SrvConfig("NetBoardProduct=AB12\nNetMccId=AB12_302\nCEMCC=302\nISEDMCC=302\n");
    RunFile("AB12_302_SAR_DPR_PV.xml", DprXml("D1", 9));
    RunFile("AB12_302_SAR_TAS_FCC_PV.xml", TasXml("F1"));
    RunFile("AB12_302_SAR_TAS_CE_PV.xml", TasXml("C1"));
    RunFile("AB12_302_SAR_TAS_ISED_PV.xml", TasXml("I1"));
    RunFile("AB12_302_AntConfigTable_PV.xml", TasXml("G1"));
    VersionReply("\r\n+GETOEMTABLEVER: DPR ver: D0, TAS_FCC ver: F0, TAS_ISED ver: I0, ANT_GPO ver: G0, ANT_MIPI ver: M0\r\n\r\nOK\r\n");
    ResetProcess();
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNV("302"), 0);

    std::vector<std::string> commands = DistinctCommands();
    auto at = [&](const std::string& command) {
        return std::find(commands.begin(), commands.end(), command) - commands.begin();
    };
    auto none = static_cast<long>(commands.size());
    std::vector<long> order = {at(kVersionQuery),
                               at("AT+GTTASEN=0"),  // the body-SAR writer's first command
                               at("At+SETOEMTABLEVER=1,\"D1\""),
                               at("AT+BODYSAREN=0"),  // the TA-SAR writers' first command
                               at("At+SETOEMTABLEVER=2,\"C1\""),
                               at("At+SETOEMTABLEVER=3,\"I1\"")};
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_NE(order[i], none) << i;
        if (i > 0) {
            EXPECT_LT(order[i - 1], order[i]) << i;
        }
    }
    EXPECT_EQ(at("At+SETOEMTABLEVER=2,\"F1\""), none);  // an ISED/CE network is no FCC network
    EXPECT_TRUE(LoggedInOrder({"Changed flags: CDprSarCfg_5201_MultiMode=1 CTasSarCfg_FCC=0 CTasSarCfg_CE=1 "
                               "CTasSarCfg_ISED=1 CAntGpoXmlCfg=0 CAntMipiXmlCfg=0",
                               "Delay 4 seconds and then reboot modem...", "ResetMoudleEvent end"}));
    EXPECT_EQ(ResetRequests(), 1u);
}

}  // namespace

namespace {

// Each TA-SAR writer compares its file's version with the modem's version of one slot: FCC and CE
// with TAS_FCC, ISED with TAS_ISED. In each case exactly one slot of the reply holds the file's
// version (in other letter case); only when that slot is the writer's own does the writer leave the
// modem's tables alone.
struct TasWriter {
    const char* flag;      // the writer's name in the changed flags
    const char* mcc;       // a network the writer's region covers
    const char* file;      // the writer's table file
    const char* ownLabel;  // the slot it compares against
    int fileSlot;          // the slot that records the file's version
};

const TasWriter kTasWriters[] = {{"CTasSarCfg_FCC", "310", "SAR_TAS_FCC_PV.xml", "TAS_FCC", 2},
                                 {"CTasSarCfg_CE", "208", "SAR_TAS_CE_PV.xml", "TAS_FCC", 2},
                                 {"CTasSarCfg_ISED", "302", "SAR_TAS_ISED_PV.xml", "TAS_ISED", 3}};
const char* const kVersionLabels[] = {"DPR", "TAS_FCC", "TAS_ISED", "ANT_GPO", "ANT_MIPI"};

void PrintTo(const TasWriter& writer, std::ostream* out) { *out << writer.flag; }

class TasWriterVersion : public Runs,
                         public ::testing::WithParamInterface<std::tuple<TasWriter, const char*>> {};

TEST_P(TasWriterVersion, OnlyItsOwnSlotsVersionLeavesTheTablesAlone) {
    const auto& [writer, equalLabel] = GetParam();
    const std::string mcc = writer.mcc;
    MultiMode();
    SrvConfig("NetBoardProduct=AB12\nNetMccId=AB12_310,AB12_208,AB12_302\nCEMCC=208\nISEDMCC=302\n");
    RunFile("AB12_" + mcc + "_" + writer.file, TasXml("Tv.2"));
    std::string reply = "\r\n+GETOEMTABLEVER: ";
    for (const char* label : kVersionLabels)
        reply += std::string(label) + " ver: " + (std::string(label) == equalLabel ? "tV.2" : "Tv.1") +
                 (std::string(label) == "ANT_MIPI" ? "\r\n\r\nOK\r\n" : ", ");
    VersionReply(reply);
    CSarCfgManager manager;
    EXPECT_EQ(manager.GetCfgInfoQ520RNV(mcc), 0);

    const bool changed = std::string(equalLabel) != writer.ownLabel;
    std::string flags = "Changed flags: CDprSarCfg_5201_MultiMode=0";
    for (const TasWriter& each : kTasWriters)
        flags += std::string(" ") + each.flag + "=" + (changed && std::string(each.flag) == writer.flag ? "1" : "0");
    // The writer's table-writing path, or only its posture table on the unchanged one.
    EXPECT_TRUE(Logged(flags + " CAntGpoXmlCfg=0 CAntMipiXmlCfg=0")) << Log();
    EXPECT_EQ(SentCommand("At+SETOEMTABLEVER=" + std::to_string(writer.fileSlot) + ",\"TV.2\""), changed);
    EXPECT_EQ(SentCommand("AT+GTTASPROFILE=8"), changed);
    EXPECT_EQ(SentCommand("AT+GTTASCFG=1,2,3,4"), changed);
    EXPECT_TRUE(SentCommand("AT+BODYSARON=1"));
}

INSTANTIATE_TEST_SUITE_P(EachSlot, TasWriterVersion,
                         ::testing::Combine(::testing::ValuesIn(kTasWriters), ::testing::ValuesIn(kVersionLabels)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).flag).substr(11) + "Against" +
                                    std::get<1>(info.param);
                         });

}  // namespace
