// The older INI-driven setters: what differs from the modem is sent or recorded, nothing else.
#include <gtest/gtest.h>

#include <algorithm>

#include "cfgmgr/CSarCfgManager.h"
#include "tests/cfgmgr/cfg_fixture.h"

namespace {

using cfgtest::CfgTest;

class Setters : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        Project(3);
        Board("AB12");
    }
    // Replies of the modem's query commands, blanks and all.
    void Answer(const std::string& command, const std::string& value) {
        Reply(command + "\r\n", "\r\n" + value + "\r\n\r\nOK\r\n");
    }
    // The commands after the first `skip` ones.
    std::vector<std::string> CommandsFrom(std::size_t skip) {
        std::vector<std::string> all = Commands();
        return std::vector<std::string>(all.begin() + static_cast<long>(std::min(skip, all.size())), all.end());
    }
};

TEST_F(Setters, BodySarOnlyForOnInLowerCase) {
    for (const char* value : {"ON", "off", ""}) {
        SCOPED_TRACE(value);
        SrvConfig(std::string("BodySar=") + value + "\nBodySarProfile=2\nBodySarTable=board\n");
        std::size_t before = Commands().size();
        CSarCfgManager manager;
        EXPECT_EQ(manager.SetBodySarCfg(), 0);
        EXPECT_EQ(manager.m_strBodySar, value);
        EXPECT_EQ(CommandsFrom(before), std::vector<std::string>{"AT+bodysaron?"});
    }
}

TEST_F(Setters, BodySarProfileTwoWritesBothTablesInOrderLeavingOutWhatTheModemHolds) {
    SrvConfig("BodySar=on\nBodySarProfile=2\nBodySarTable=board\n");
    RunFile("board.ini",
            "[Table0]\nAT1=1,20,A,30,B\nAT2=2,40,C\n"
            "[Table1]\nAT1=,20,A,30,B\nAT2=13,50,D\n");
    // The modem holds 1,20,A and 2,40,C but neither 1,30,B nor 3,50,D.
    Answer("AT+BODYSAR?", "+BODYSAR: 1,20,A\r\n+BODYSAR: 2,40,C");
    Answer("AT+bodysaron?", "+BODYSARON: 1");
    CSarCfgManager manager;
    EXPECT_EQ(manager.SetBodySarCfg(), 0);
    std::vector<std::string> expected = {
        "AT+bodysaron?",
        "AT+BODYSAREN=1",  // the query gives the whole reply, never just "1"
        "AT+BODYSARPROFILE=0",
        "AT+BODYSAR?",
        "AT+BODYSAR=1,20,A,30,B",
        "AT+BODYSARPROFILE=1",
        "AT+BODYSAR?",
        // [Table1] AT1 begins with a comma: no group character, nothing to check, nothing sent.
        "AT+BODYSAR=13,50,D",
    };
    EXPECT_EQ(Commands(), expected);
}

TEST_F(Setters, BoardIniNamedByTheBiosWhenTheTableKeyIsEmpty) {
    ASSERT_EQ(machine().registry().SetString(cfgtest::kBiosKey, "BaseBoardProduct", "BIOSBOARD"), "");
    SrvConfig("BodySar=on\nBodySarProfile=1\n");
    RunFile("BIOSBOARD.ini", "[Table1]\nAT2=1,60,E\n");
    CSarCfgManager manager;
    manager.SetBodySarCfg();
    EXPECT_TRUE(SentCommand("AT+BODYSAR=1,60,E"));
    EXPECT_FALSE(SentCommand("AT+BODYSARPROFILE=0"));
}

TEST_F(Setters, TaSarUnknownProfileStillChecksTheParameters) {
    SrvConfig("TASar=on\nTaSarProfile=7\nTASarTable=tas\n");
    RunFile("tas.ini", "[Table0]\nAT1=1,20,A\n[Parameter]\nAT0=1,2,3,4\n");
    Answer("AT+GTTASEN?", "+GTTASEN: 1");
    Answer("AT+GTTASCFG?", "+GTTASCFG: 9,9,9,9");
    CSarCfgManager manager;
    EXPECT_EQ(manager.SetTaSarCfg(), 0);
    EXPECT_EQ(manager.m_strTaSar, "on");
    EXPECT_EQ(Commands(), (std::vector<std::string>{"AT+GTTASEN?", "AT+GTTASCFG?", "AT+GTTASCFG=1,2,3,4"}));
}

TEST_F(Setters, TaSarProfileZeroWithWhatTheModemHolds) {
    SrvConfig("TASar=on\nTaSarProfile=0\nTASarTable=tas\n");
    RunFile("tas.ini", "[Table0]\nAT1=1,20,A\nAT2=2,30,B\n[Parameter]\nAT0=1,2,3,4\n");
    Answer("AT+GTTASEN?", "+GTTASEN: 0");
    Answer("AT+GTTAS?", "+GTTAS: 1,20,A");
    Answer("AT+GTTASCFG?", "+GTTASCFG: 1,2,3,4");
    CSarCfgManager manager;
    manager.SetTaSarCfg();
    EXPECT_EQ(Commands(), (std::vector<std::string>{"AT+GTTASEN?", "AT+GTTASEN=1", "AT+GTTASPROFILE=0", "AT+GTTAS?",
                                                    "AT+GTTAS=2,30,B", "AT+GTTASCFG?"}));
}

// A table other than 0 and 1: the modem is asked once and no key is read, so
// nothing is sent even where [Table0] and [Table1] differ from the modem.
TEST_F(Setters, TableOtherThanZeroAndOneOnlyAsksTheModem) {
    SrvConfig("BodySarTable=board\nTASarTable=tas\n");
    const std::string tables = "[Table0]\nAT1=1,20,A\n[Table1]\nAT1=1,30,B\n[Table2]\nAT1=1,40,C\n";
    RunFile("board.ini", tables);
    RunFile("tas.ini", tables);
    for (int table : {2, -1, 10}) {
        SCOPED_TRACE(table);
        std::size_t before = Commands().size();
        CSarCfgManager manager;
        EXPECT_EQ(manager.SetBodySarTable(table), 0);
        EXPECT_EQ(manager.SetTaSarTable(table), 0);
        EXPECT_EQ(CommandsFrom(before), (std::vector<std::string>{"AT+BODYSAR?", "AT+GTTAS?"}));
    }
}

TEST_F(Setters, TaSarOffAsksNothing) {
    SrvConfig("TASar=On\n");
    CSarCfgManager manager;
    manager.SetTaSarCfg();
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Setters, SettingLines) {
    struct Case {
        const char* name;
        const char* general;
        int (CSarCfgManager::*setter)();
        std::vector<std::string> lines;
    };
    const std::string supl = "gnns=\"C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520\\supl.xml\"";
    Answer("AT+gtfdcar?", "+GTFDCAR: ATT");
    Answer("AT+gtlockcar?", "+GTLOCKCAR: 1,VZW");
    const Case cases[] = {
        {"carrier differs", "Carrier=TMO\n", &CSarCfgManager::SetCarrierCfg, {"carrierid=TMO"}},
        {"carrier as the modem's", "Carrier=ATT\n", &CSarCfgManager::SetCarrierCfg, {}},
        {"no carrier", "", &CSarCfgManager::SetCarrierCfg, {}},
        {"AGPS on, GPS off", "GPS=off\nAGPS=on\n", &CSarCfgManager::SetAgpsCfg, {supl}},
        {"AGPS on, GPS on", "GPS=on\nAGPS=on\n", &CSarCfgManager::SetAgpsCfg, {supl}},
        {"GPS on", "GPS=on\n", &CSarCfgManager::SetAgpsCfg, {"gnns=on"}},
        {"GPS off", "GPS=off\nAGPS=no\n", &CSarCfgManager::SetAgpsCfg, {"gnns=off"}},
        {"neither", "", &CSarCfgManager::SetAgpsCfg, {}},
        {"lock on as the modem's", "SwitchingLock=on\nCarrierLocked=VZW\n", &CSarCfgManager::SetCarrierLockCfg, {}},
        {"lock on, other carrier", "SwitchingLock=on\nCarrierLocked=ATT\n", &CSarCfgManager::SetCarrierLockCfg,
         {"carrierlock=ATT"}},
        {"lock on, default carrier", "SwitchingLock=on\n", &CSarCfgManager::SetCarrierLockCfg, {"carrierlock=0"}},
        {"lock off", "SwitchingLock=off\nCarrierLocked=ATT\n", &CSarCfgManager::SetCarrierLockCfg,
         {"switchlock=off"}},
        {"lock unknown: the INI text", "SwitchingLock=ON\n", &CSarCfgManager::SetCarrierLockCfg, {"switchlock=ON"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SrvConfig(c.general);
        CSarCfgManager manager;
        EXPECT_EQ((manager.*c.setter)(), 0);
        EXPECT_EQ(manager.m_vecSettingLines, c.lines);
    }
}

TEST_F(Setters, ACommandThatFailsFiveTimesIsDroppedAndTheSetterGoesOn) {
    SrvConfig("BodySar=on\nBodySarProfile=9\n");
    Reply("AT+BODYSAREN=1\r\n", "\r\nERROR\r\n");
    CSarCfgManager manager;
    std::int64_t start = Now();
    EXPECT_EQ(manager.SetBodySarCfg(), 0);
    std::vector<std::string> commands = Commands();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "AT+BODYSAREN=1"), 5);
    // Five sleeps of 1000 ms, beside the 100 ms before each of the six commands.
    EXPECT_EQ(Now() - start, 5 * 1000 + 6 * 100);
}

TEST_F(Setters, NetMccChecksUseTheModemsOwnMcc) {
    struct Case {
        const char* name;
        const char* board;
        const char* general;
        bool result2020, board2020, pair2020;
        bool resultOnOff, pairOnOff;
    };
    const Case cases[] = {
        {"board and pair listed", "AB12", "NetMcc2020Id=ab12_310\nNetMccONOFFId=AB12_310\n", true, true, true, true,
         true},
        {"board listed, other MCC", "AB12", "NetMcc2020Id=AB12_208\nNetMccONOFFId=AB12_208\n", true, true, false, true,
         false},
        {"board not listed", "CD34", "NetMcc2020Id=AB12_310\nNetMccONOFFId=AB12_310\n", true, false, false, false,
         false},
        // No board product (no gate ran): listed nowhere, no pair either.
        {"no board product", "", "NetMcc2020Id=AB12_310\nNetMccONOFFId=AB12_310\n", true, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SrvConfig(c.general);
        CSarCfgManager manager;
        manager.m_strBoardProduct = c.board;
        bool board = !c.board2020;
        bool pair = !c.pair2020;
        EXPECT_EQ(manager.IsNetMcc2020Id(board, pair), c.result2020);
        EXPECT_EQ(board, c.board2020);
        EXPECT_EQ(pair, c.pair2020);
        bool onOff = false;
        EXPECT_EQ(manager.IsNetMccOnOffId(onOff), c.resultOnOff);
        EXPECT_EQ(onOff, c.pairOnOff);
    }
}

}  // namespace
