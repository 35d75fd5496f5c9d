// The gate: board product or WWAN device configuration ID listed, with or without the MCC.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cfgmgr/CSarCfgManager.h"
#include "tests/cfgmgr/cfg_fixture.h"

namespace {

using cfgtest::CfgTest;

struct BoardCase {
    const char* name;
    const char* board;  // nullptr: no board product value at all
    const char* netBoards;
    const char* netMccIds;
    const char* baseBoards;
    bool modem;
    bool decision;
    const char* mcc;       // m_strMcc
    const char* netMcc;    // m_strNetMcc
    const char* product;   // m_strBoardProduct
};

class GateByBoard : public CfgTest {
protected:
    // Every message of the log in order, without its tag and time.
    std::vector<std::string> Messages() const {
        std::vector<std::string> messages;
        std::istringstream in(Log());
        for (std::string line; std::getline(in, line);)
            if (std::size_t at = line.find(": "); at != std::string::npos) messages.push_back(line.substr(at + 2));
        return messages;
    }
};

TEST_F(GateByBoard, ListsAndProviderDecide) {
    const BoardCase cases[] = {
        {"net product with its MCC listed", "ab12", "XAB12Y", "ab12_310", "", true, true, "310", "310", "AB12"},
        {"net product without its MCC", "AB12", "AB12", "AB12_208,CD34_310", "", true, true, "", "310", "AB12"},
        {"net product while the modem reports no provider", "AB12", "AB12", "AB12_310", "", false, false, "", "", ""},
        {"net wins over base: base not read", "AB12", "AB12", "", "AB12", false, false, "", "", ""},
        {"base product", "cd34", "AB12", "CD34_310", "XX,CD34", true, true, "", "", "CD34"},
        {"base product needs no modem", "CD34", "", "", "CD34", false, true, "", "", "CD34"},
        {"listed nowhere", "EF56", "AB12", "EF56_310", "CD34", true, false, "", "", ""},
        // An unreadable or empty board product is in no list, however the lists read.
        {"no board product value", nullptr, "AB12", "AB12_310", "CD34", true, false, "", "", ""},
        {"empty board product", "", "AB12", "AB12_310", "CD34", true, false, "", "", ""},
        {"blank board product", "   ", "AB12", "_310", "", true, false, "", "", ""},
        {"empty lists", "AB12", "", "", "", true, false, "", "", ""},
    };
    Project(3);
    for (const BoardCase& c : cases) {
        SCOPED_TRACE(c.name);
        machine().registry().DeleteValue(cfgtest::kBoardKey, "BaseBoardProduct");
        if (c.board) Board(c.board);
        SrvConfig(std::string("NetBoardProduct=") + c.netBoards + "\nNetMccId=" + c.netMccIds +
                  "\nBaseBoardProduct=" + c.baseBoards + "\n");
        if (c.modem) {
            if (modem().InterfaceCount() == 0) modem().AddInterface();
        } else {
            NoModem();
        }
        CSarCfgManager manager;
        EXPECT_EQ(manager.CfgEnable("310"), c.decision);
        EXPECT_EQ(manager.m_bCfgEnable, c.decision);
        EXPECT_EQ(manager.m_strMcc, c.mcc);
        EXPECT_EQ(manager.m_strNetMcc, c.netMcc);
        EXPECT_EQ(manager.m_strBoardProduct, c.product);
    }
    EXPECT_EQ(CountLogged("CfgEnable start"), std::size(cases));
    EXPECT_EQ(CountLogged("CfgEnable end"), std::size(cases));
    EXPECT_TRUE(Logged("strBaseBoadProductID:ab12"));  // as read, before upper-casing
    EXPECT_TRUE(Logged("strCfgNetBoadProductID:XAB12Y"));
}

// The board product is read and logged before the configuration path is asked
// for the lists; reading the board's own location asks for it first.
TEST_F(GateByBoard, LogLinesFollowTheStepsInOrder) {
    Project(3);
    Board("ab12");
    SrvConfig("NetBoardProduct=XAB12Y\nNetMccId=AB12_310\n");
    const std::string configLine = "m_str_configPath:" + RunFolder(3) + "SrvConfig.ini";
    std::size_t before = Messages().size();
    CSarCfgManager manager;
    ASSERT_TRUE(manager.CfgEnable("310"));
    std::vector<std::string> lines = Messages();
    ASSERT_GE(lines.size(), before);
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    EXPECT_EQ(lines, (std::vector<std::string>{"CfgEnable start", configLine, "strBaseBoadProductID:ab12", configLine,
                                               "strCfgNetBoadProductID:XAB12Y", "CfgEnable end"}));
}

TEST_F(GateByBoard, EachDecisionStandsOnItsOwn) {
    Project(3);
    Board("AB12");
    SrvConfig("NetBoardProduct=AB12\nNetMccId=AB12_310\n");
    CSarCfgManager manager;
    ASSERT_TRUE(manager.CfgEnable("310"));
    ASSERT_EQ(manager.m_strMcc, "310");
    SrvConfig("BaseBoardProduct=ZZ\n");
    EXPECT_FALSE(manager.CfgEnable("310"));
    EXPECT_EQ(manager.m_strMcc, "");
    EXPECT_EQ(manager.m_strBoardProduct, "");
    EXPECT_FALSE(manager.m_bCfgEnable);
}

// A "no" says which product was looked up in which lists of which file, or
// that the modem reports no provider; a "yes" says nothing of the kind.
TEST_F(GateByBoard, NoSaysWhyInOneLine) {
    struct Case {
        const char* name;
        const char* board;
        const char* lists;
        bool modem;
        const char* why;  // after "Not configured: "; null for a yes
    };
    const Case cases[] = {
        {"listed nowhere", "ef56", "NetBoardProduct=AB12\nBaseBoardProduct=CD34\n", true,
         "board product \"EF56\" is listed in neither [GENERAL] \"NetBoardProduct\" nor \"BaseBoardProduct\" of %s"},
        {"empty board product", "", "NetBoardProduct=AB12\n", true,
         "board product \"\" is listed in neither [GENERAL] \"NetBoardProduct\" nor \"BaseBoardProduct\" of %s"},
        {"net product without a provider", "AB12", "NetBoardProduct=AB12\n", false,
         "board product \"AB12\" is listed in [GENERAL] \"NetBoardProduct\" of %s, but the modem reports no provider ID"},
        {"base product", "CD34", "BaseBoardProduct=CD34\n", false, nullptr},
    };
    Project(3);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Board(c.board);
        SrvConfig(c.lists);
        if (c.modem && modem().InterfaceCount() == 0) modem().AddInterface();
        if (!c.modem) NoModem();
        const std::size_t before = Messages().size();
        CSarCfgManager manager;
        EXPECT_EQ(manager.CfgEnable("310"), c.why == nullptr);
        std::vector<std::string> lines = Messages();
        std::vector<std::string> said;
        for (std::size_t i = before; i < lines.size(); ++i)
            if (lines[i].rfind(CSarCfgManager::kNotConfigured, 0) == 0) said.push_back(lines[i]);
        std::vector<std::string> expected;
        if (c.why) {
            std::string why = c.why;
            why.replace(why.find("%s"), 2, RunFolder(3) + "SrvConfig.ini");
            expected.push_back(CSarCfgManager::kNotConfigured + why);
        }
        EXPECT_EQ(said, expected);
    }
}

class GateByConfigId : public CfgTest {
protected:
    void SetUp() override {
        CfgTest::SetUp();
        Project(1);
    }
};

TEST_F(GateByConfigId, NetIdWithTheMccListed) {
    ConfigId("0x1001");
    SrvConfig("NetWwanDeviceConfigID=0X1001,0X1002\nNetMccId=0X1001_310\nBaseWwanDeviceConfigID=0X1001\n");
    CSarCfgManager manager;
    std::int64_t start = Now();
    EXPECT_TRUE(manager.CfgEnableQ520Norvale("310"));
    EXPECT_EQ(Now(), start);  // found at the first attempt
    EXPECT_EQ(manager.m_strMcc, "310");
    EXPECT_EQ(manager.m_StrWwanDeviceConfigInfo, "0X1001");
    EXPECT_EQ(manager.m_strNetMcc, "");  // this gate leaves it and the board product alone
    EXPECT_EQ(manager.m_strBoardProduct, "");
    EXPECT_TRUE(LoggedInOrder({"CfgEnableQ520Norvale enter", "0x1001", "Mcc:310", "m_StrWwanDeviceConfigInfo:0X1001",
                               "CfgEnableQ520Norvale end"}));
}

TEST_F(GateByConfigId, NetIdWithoutProviderOrMccAndBaseId) {
    ConfigId("0x1001");
    SrvConfig("NetWwanDeviceConfigID=0x1001\nNetMccId=0x1001_208\n");
    {
        CSarCfgManager manager;
        EXPECT_TRUE(manager.CfgEnableQ520Norvale("310"));
        EXPECT_EQ(manager.m_strMcc, "");
        EXPECT_EQ(manager.m_StrWwanDeviceConfigInfo, "0X1001");
    }
    NoModem();
    {
        CSarCfgManager manager;
        EXPECT_FALSE(manager.CfgEnableQ520Norvale("310"));
        EXPECT_EQ(manager.m_StrWwanDeviceConfigInfo, "");
    }
    SrvConfig("NetWwanDeviceConfigID=0x2000\nBaseWwanDeviceConfigID=x0X1001x\n");
    {
        CSarCfgManager manager;
        EXPECT_TRUE(manager.CfgEnableQ520Norvale("310"));
        EXPECT_EQ(manager.m_strMcc, "");
        EXPECT_EQ(manager.m_StrWwanDeviceConfigInfo, "0X1001");
    }
    SrvConfig("NetWwanDeviceConfigID=0x2000\nBaseWwanDeviceConfigID=0x3000\n");
    {
        CSarCfgManager manager;
        EXPECT_FALSE(manager.CfgEnableQ520Norvale("310"));
        EXPECT_TRUE(Logged("CfgEnableQ520Norvale end"));
    }
    const std::string srvConfig = RunFolder(1) + "SrvConfig.ini";
    EXPECT_TRUE(Logged("Not configured: WWAN device configuration ID \"0X1001\" is listed in [GENERAL] "
                       "\"NetWwanDeviceConfigID\" of " + srvConfig + ", but the modem reports no provider ID"));
    EXPECT_TRUE(Logged("Not configured: WWAN device configuration ID \"0X1001\" is listed in neither [GENERAL] "
                       "\"NetWwanDeviceConfigID\" nor \"BaseWwanDeviceConfigID\" of " + srvConfig));
}

TEST_F(GateByConfigId, IdReadableAtTheThirdAttemptAfterTwoSleeps) {
    SrvConfig("BaseWwanDeviceConfigID=0x1001\n");
    machine().clock().At(1500, [this] { ConfigId("0x1001"); });
    CSarCfgManager manager;
    EXPECT_TRUE(manager.CfgEnableQ520Norvale("310"));
    EXPECT_EQ(Now(), 2000);
    EXPECT_TRUE(Logged("0x1001"));
    EXPECT_FALSE(LoggedAsError("GetWWANDeviceConfigID failed"));
}

TEST_F(GateByConfigId, NoIdAfter240AttemptsIsOneErrorAndFalse) {
    ConfigId("");  // an empty ID is no ID
    SrvConfig("NetWwanDeviceConfigID=0x1001\nBaseWwanDeviceConfigID=0x1001\n");
    CSarCfgManager manager;
    manager.m_bCfgEnable = true;
    EXPECT_FALSE(manager.CfgEnableQ520Norvale("310"));
    EXPECT_EQ(Now(), 240000);
    EXPECT_TRUE(LoggedAsError("GetWWANDeviceConfigID failed"));
    EXPECT_EQ(CountLogged("GetWWANDeviceConfigID failed"), 1u);
    EXPECT_FALSE(Logged("CfgEnableQ520Norvale end"));
    EXPECT_TRUE(manager.m_bCfgEnable);  // left as it was
}

class ProviderProbe : public CfgTest {};

TEST_F(ProviderProbe, TheLastInterfaceThatAnswersWins) {
    sim::ModemInterface second;
    second.providerId = "20801";
    modem().AddInterface(second);
    CSarCfgManager manager;
    std::string providerId = "old";
    EXPECT_EQ(manager.GetProviderId(providerId), 1);
    EXPECT_EQ(providerId, "20801");

    sim::ModemInterface failing;
    failing.providerIdResult = E_FAIL;
    modem().SetInterface(1, failing);
    providerId.clear();
    manager.GetProviderId(providerId);
    EXPECT_EQ(providerId, "310410");  // the walk ends at the failing one

    NoModem();
    providerId = "kept";
    EXPECT_EQ(manager.GetProviderId(providerId), 1);
    EXPECT_EQ(providerId, "kept");

    modem().AddInterface();
    modem().SetFault(sim::ModemFault::CreateInterfaceManager, E_FAIL);
    providerId = "kept";
    manager.GetProviderId(providerId);
    EXPECT_EQ(providerId, "kept");
}

TEST_F(ProviderProbe, FreesWhatItIsGiven) {
    std::size_t objects = sim::LiveComObjects();
    std::size_t strings = sim::LiveBstrs();
    std::size_t arrays = sim::LiveSafeArrays();
    CSarCfgManager manager;
    std::string providerId;
    manager.GetProviderId(providerId);
    machine().clock().Settle();
    EXPECT_EQ(sim::LiveComObjects(), objects);
    EXPECT_EQ(sim::LiveBstrs(), strings);
    EXPECT_EQ(sim::LiveSafeArrays(), arrays);
}

}  // namespace
