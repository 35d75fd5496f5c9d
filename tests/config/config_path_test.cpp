#include "config/CConfigPath.h"

#include <string>

#include "common/CLog.h"
#include "core/CStateWork.h"
#include "platform/files.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

constexpr const char* kExeFolder = "C:\\Kavrion\\KvCfgService\\";
constexpr const char* kSettings = "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini";
constexpr const char* kLog = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";

class ConfigPathTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetExecutablePath(std::string(kExeFolder) + "KvCfgService.exe");
        CStateWork::GetInstance()->InitPath();
        CLog* log = CLog::GetInstance();
        log->Close();
        log->SetPathAndRotate(kLog);
        log->Enable(true);
    }
    void TearDown() override {
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }
    bool Logged(const std::string& text) const { return ReadText(kLog).find(": " + text + "\n") != std::string::npos; }
    static bool IsFolder(const std::string& path) { return PathIsDirectoryA(path.c_str()) != FALSE; }
};

TEST_F(ConfigPathTest, ProjectTypeChoosesTheRunFolder) {
    struct Case {
        const char* settings;  // null: no settings INI
        const char* subFolder;
    } cases[] = {
        {"ProjectType=1", "KavrConfigFiles\\520R NORVALE\\"},
        {"ProjectType=2", "KavrConfigFiles\\520R NV\\"},
        {"ProjectType=3", "KavrConfigFiles\\520\\"},
        {"ProjectType=0", ""},
        {"ProjectType=4", ""},
        {"ProjectType=-1", ""},
        {"ProjectType=two", ""},
        {"Other=2", ""},
        {nullptr, ""},
    };
    for (const Case& c : cases) {
        if (c.settings) WriteFile(kSettings, std::string("[Setting]\n") + c.settings + "\n");
        const std::string run = std::string(kExeFolder) + c.subFolder;
        WriteFile(run + "SrvConfig.ini", "");
        CConfigPath paths;
        EXPECT_EQ(paths.GetRunPath(), run) << c.settings;
        EXPECT_EQ(paths.GetConfigPath(), run + "SrvConfig.ini") << c.settings;
        EXPECT_TRUE(IsFolder(run + "Unpack\\")) << c.settings;
    }
}

TEST_F(ConfigPathTest, EveryFileLiesInTheRunFolderAndEveryReadIsLogged) {
    WriteFile(kSettings, "[Setting]\nProjectType=2\n");
    const std::string run = std::string(kExeFolder) + "KavrConfigFiles\\520R NV\\";
    CConfigPath paths;
    struct Case {
        std::string path;
        const char* member;
        const char* name;
    } cases[] = {
        {paths.GetRunPath(), "m_str_runPath:", ""},
        {paths.GetConfigPath(), "m_str_configPath:", "SrvConfig.ini"},
        {paths.GetSuplPath(), "m_str_SuplPath:", "supl.xml"},
        {paths.GetKavrConfigPath(), "m_strKavrConfigPath:", "kvconfig.ini"},
        {paths.GetKavrDprConfigPath(), "m_strKavrDprConfigPath:", "SAR_DPR_PV.ini"},
        {paths.GetKavrTasConfigPath(), "m_strKavrTasConfigPath:", "SAR_TAS_PV.ini"},
        {paths.GetAntCfgFilePath(), "m_strAntCfgFilePath:", "AntConfigTable_PV.ini"},
        {paths.GetAntmipiCfgFilePath(), "m_strAntmipiCfgFilePath:", "AntmipiConfigTable_PV.ini"},
        {paths.GetFlsDataPath(), "m_str_flsDataPath:", "ConfigData\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.path, run + c.name) << c.member;
        EXPECT_TRUE(Logged(c.member + run + c.name)) << c.member;
    }
}

TEST_F(ConfigPathTest, AnExistingUnpackFolderIsLeftAsItIs) {
    const std::string kept = std::string(kExeFolder) + "Unpack\\kept.txt";
    WriteFile(kept, "data");
    CConfigPath paths;
    EXPECT_EQ(ReadFile(kept), "data");
}

TEST_F(ConfigPathTest, AnExecutablePathWithoutBackslashLeavesEveryPathEmpty) {
    machine().SetExecutablePath("KvCfgService.exe");
    CConfigPath paths;
    EXPECT_EQ(paths.GetRunPath(), "");
    EXPECT_EQ(paths.GetConfigPath(), "");
    EXPECT_EQ(paths.GetFlsDataPath(), "");
}

TEST_F(ConfigPathTest, TheSingletonKeepsTheSettingOfItsFirstUse) {
    WriteFile(kSettings, "[Setting]\nProjectType=3\n");
    CConfigPath* first = CConfigPath::GetInstance();
    WriteFile(kSettings, "[Setting]\nProjectType=1\n");
    EXPECT_EQ(CConfigPath::GetInstance(), first);
    EXPECT_EQ(first->GetRunPath(), std::string(kExeFolder) + "KavrConfigFiles\\520\\");
    EXPECT_EQ(CConfigPath().GetRunPath(), std::string(kExeFolder) + "KavrConfigFiles\\520R NORVALE\\");
}

TEST_F(ConfigPathTest, SrvConfigKeysReadWithTheirDefaultsAndAre1023CharactersAtMost) {
    const std::string ini = "C:\\Run\\SrvConfig.ini";
    const std::string longValue(1500, 'x');
    WriteFile(ini, "[GENERAL]\nISEDMCC=302,311\nBOARDIDPATH=" + longValue + "\nCarrierLocked=1\n");
    EXPECT_EQ(GetSrvConfigValue(ini, kISEDMCC), "302,311");
    EXPECT_EQ(GetSrvConfigValue(ini, kBOARDIDPATH), longValue.substr(0, 1023));
    EXPECT_EQ(GetSrvConfigValue(ini, kCarrierLocked), "1");
    WriteFile(ini, "[GENERAL]\n");
    EXPECT_EQ(GetSrvConfigValue(ini, kCarrierLocked), "0");
    EXPECT_EQ(GetSrvConfigValue(ini, kCEMCC), "");
    EXPECT_EQ(GetSrvConfigValue("C:\\Run\\missing.ini", kCarrierLocked), "0");
}

TEST_F(ConfigPathTest, KavrConfigKeysAreNumbersWithDefaultZero) {
    const std::string ini = "C:\\Run\\kvconfig.ini";
    WriteFile(ini, "[BASE_CONFIG]\nMULTIMODE_FUNCTION=1\nDELAY_SECONDS=15\n");
    EXPECT_EQ(GetKavrConfigValue(ini, kMULTIMODE_FUNCTION), 1);
    EXPECT_EQ(GetKavrConfigValue(ini, kDELAY_SECONDS), 15);
    EXPECT_EQ(GetKavrConfigValue(ini, kFWPACK_UNIVERSAL_EN), 0);
    EXPECT_EQ(GetKavrConfigValue("C:\\Run\\missing.ini", kDELAY_SECONDS), 0);
}

TEST_F(ConfigPathTest, BoardIniSectionsReadOneKeyCutToTheBuffer) {
    const std::string ini = "C:\\Run\\Board.ini";
    WriteFile(ini, "[OEM_CONFIG]\nK=oem\n[Parameter]\nK=parameter\n[Table0]\nK=table0\n[Table1]\nK=table1\n");
    struct Case {
        int (*read)(const std::string&, std::string&, DWORD, const std::string&);
        const char* value;
    } cases[] = {{ReadOemConfigValue, "oem"},
                 {ReadParameterValue, "parameter"},
                 {ReadTable0Value, "table0"},
                 {ReadTable1Value, "table1"}};
    for (const Case& c : cases) {
        std::string value = "stale";
        EXPECT_EQ(c.read("K", value, 260, ini), 1);
        EXPECT_EQ(value, c.value);
        EXPECT_EQ(c.read("K", value, 4, ini), 1);
        EXPECT_EQ(value, std::string(c.value).substr(0, 3));
        EXPECT_EQ(c.read("Missing", value, 260, ini), 1);
        EXPECT_EQ(value, "");
    }
}

TEST_F(ConfigPathTest, LineBasedReadTakesTheLastLineForTheName) {
    const std::string file = "C:\\Run\\lines.txt";
    WriteFile(file, "  [carrierid]=first\r\n[carrierid] x=ignored\n[carrierid]  =  second \n[other]=o\n");
    std::string value;
    EXPECT_EQ(GetPrivateProfileStringByStream("carrierid", "dflt", value, 260, file), 8);
    EXPECT_EQ(value, "  second");
    EXPECT_EQ(GetPrivateProfileStringByStream("carrierid", "", value, 4, file), 3);
    EXPECT_EQ(value, "  s");

    value.clear();
    EXPECT_EQ(GetPrivateProfileStringByStream("absent", "dflt", value, 260, file), 4);
    EXPECT_EQ(value, "dflt");
    value = "untouched";
    EXPECT_EQ(GetPrivateProfileStringByStream("carrierid", "dflt", value, 260, "C:\\Run\\missing.txt"), 0);
    EXPECT_EQ(GetPrivateProfileStringByStream("", "dflt", value, 260, file), 0);
    EXPECT_EQ(value, "untouched");
}

TEST_F(ConfigPathTest, LineBasedWriteReplacesEveryLineForTheNameOrAppends) {
    const std::string file = "C:\\Run\\lines.txt";
    WriteFile(file, "[a]=1\n  [b]=2  \n[a]=3\n");
    EXPECT_TRUE(WritePrivateProfileStringByStream("a", "9", file));
    EXPECT_EQ(ReadFile(file), "[a]=9\n[b]=2\n[a]=9\n");
    EXPECT_TRUE(WritePrivateProfileStringByStream("c", "x y", file));
    EXPECT_EQ(ReadFile(file), "[a]=9\n[b]=2\n[a]=9\n[c]=x y\n");
    EXPECT_FALSE(WritePrivateProfileStringByStream("a", "1", "C:\\Run\\missing.txt"));
    EXPECT_FALSE(PathFileExistsA("C:\\Run\\missing.txt"));
}

}  // namespace
