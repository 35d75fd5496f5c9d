#include "config/CSysHelper.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "core/CStateWork.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

constexpr const char* kExeFolder = "C:\\Kavrion\\KvCfgService\\";
constexpr const char* kSrvConfig = "C:\\Kavrion\\KvCfgService\\SrvConfig.ini";
constexpr const char* kBoardKey = "HKLM\\SYSTEM\\HardwareConfig\\Current";
constexpr const char* kBiosKey = "HKLM\\HARDWARE\\DESCRIPTION\\System\\BIOS";
constexpr const char* kFwFlashKey = "HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService";
constexpr const char* kServiceKey = "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv";

// A registry value a case puts in place; no key means nothing.
struct RegValue {
    const char* key = nullptr;
    const char* name = nullptr;
    DWORD type = REG_SZ;
    std::string text;
};

class SysHelperTest : public SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetExecutablePath(std::string(kExeFolder) + "KvCfgService.exe");
        CStateWork::GetInstance()->InitPath();
        WriteFile(kSrvConfig, "[GENERAL]\n");
    }
    void Put(const RegValue& value) {
        if (!value.key) return;
        if (value.type == REG_DWORD) {
            ASSERT_EQ(machine().registry().SetDword(value.key, value.name, 7), "");
        } else {
            std::vector<BYTE> data(value.text.begin(), value.text.end());
            data.push_back(0);
            ASSERT_EQ(machine().registry().SetValue(value.key, value.name, value.type, data), "");
        }
    }
    void Remove(const RegValue& value) {
        if (value.key) machine().registry().DeleteValue(value.key, value.name);
    }
    void Resize(const std::string& windowsPath, std::uintmax_t size) {
        WriteFile(windowsPath, "");
        std::filesystem::resize_file(kvtest::HostPath(drives(), windowsPath), size);
    }
    bool Exists(const std::string& path) { return PathFileExistsA(path.c_str()) != FALSE; }
    CSysHelper helper;
};

struct BoardCase {
    const char* name;
    const char* boardIdPath;  // null: no "BOARDIDPATH"
    RegValue value;
    int result;
    std::string product;
    const char* valueName;
};

TEST_F(SysHelperTest, BoardProductFromTheDefaultOrTheConfiguredLocation) {
    const std::string long124(124, 'b');
    const BoardCase cases[] = {
        {"Default", nullptr, {kBoardKey, "BaseBoardProduct", REG_SZ, "  MB 520  "}, 0, "MB 520", "BaseBoardProduct"},
        {"ConfiguredInAnyCase", "system\\oem\\Board\\productName", {"HKLM\\SYSTEM\\OEM\\BOARD", "PRODUCTNAME",
                                                                     REG_SZ, "X1"}, 0, "X1", "PRODUCTNAME"},
        {"SoftwareReadsThe32BitBranch", "SOFTWARE\\Oem\\Id", {"HKLM\\SOFTWARE\\WOW6432Node\\Oem", "Id", REG_SZ, "W"},
         0, "W", "ID"},
        {"WithoutBackslash", "BaseBoardProduct", {kBoardKey, "BaseBoardProduct", REG_SZ, "MB"}, 1, "",
         "BASEBOARDPRODUCT"},
        {"Of124Characters", nullptr, {kBoardKey, "BaseBoardProduct", REG_SZ, long124}, 0, long124,
         "BaseBoardProduct"},
        {"Of125CharactersIsNotRead", nullptr, {kBoardKey, "BaseBoardProduct", REG_SZ, long124 + "c"}, 1, "",
         "BaseBoardProduct"},
        {"Empty", nullptr, {kBoardKey, "BaseBoardProduct", REG_SZ, ""}, 0, "", "BaseBoardProduct"},
        {"OnlyBlanks", nullptr, {kBoardKey, "BaseBoardProduct", REG_SZ, "   "}, 0, "", "BaseBoardProduct"},
        {"NotText", nullptr, {kBoardKey, "BaseBoardProduct", REG_DWORD, ""}, 1, "kept", "BaseBoardProduct"},
        {"Missing", nullptr, {}, 1, "", "BaseBoardProduct"},
    };
    for (const BoardCase& c : cases) {
        WriteFile(kSrvConfig, c.boardIdPath ? std::string("[GENERAL]\nBOARDIDPATH=") + c.boardIdPath + "\n"
                                            : std::string("[GENERAL]\n"));
        Put(c.value);
        std::string valueName = "ignored", product = "kept";
        EXPECT_EQ(helper.GetBoardProduct(valueName, product), c.result) << c.name;
        EXPECT_EQ(product, c.product) << c.name;
        EXPECT_EQ(valueName, c.valueName) << c.name;
        Remove(c.value);
    }
}

TEST_F(SysHelperTest, BoardIdPathSplitsAtTheLastBackslash) {
    std::string valueName, keyPath;
    EXPECT_EQ(helper.GetBoardIdRegPath(valueName, keyPath), 1);
    EXPECT_EQ(keyPath, "SYSTEM\\HardwareConfig\\Current");
    EXPECT_EQ(valueName, "BaseBoardProduct");
    WriteFile(kSrvConfig, "[GENERAL]\nBOARDIDPATH=  Hardware\\a\\b\\Name  \n");
    EXPECT_EQ(helper.GetBoardIdRegPath(valueName, keyPath), 1);
    EXPECT_EQ(keyPath, "HARDWARE\\A\\B");
    EXPECT_EQ(valueName, "NAME");
}

struct TextCase {
    const char* name;
    RegValue value;
    int result;
    const char* text;
};

TEST_F(SysHelperTest, BiosValueIsTheTextAsStored) {
    const TextCase cases[] = {
        {"Text", {kBiosKey, "BaseBoardProduct", REG_SZ, " 8A2B "}, 0, " 8A2B "},
        {"Empty", {kBiosKey, "BaseBoardProduct", REG_SZ, ""}, 0, ""},
        {"NotText", {kBiosKey, "BaseBoardProduct", REG_DWORD, ""}, 1, "kept"},
        {"Missing", {}, 1, ""},
    };
    for (const TextCase& c : cases) {
        Put(c.value);
        std::string text = "kept";
        EXPECT_EQ(helper.GetBiosValue("BaseBoardProduct", text), c.result) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
        Remove(c.value);
    }
}

TEST_F(SysHelperTest, WwanDeviceConfigIdMustBeANonEmptyText) {
    const TextCase cases[] = {
        {"Text", {kFwFlashKey, "WwanDeviceConfigurationID", REG_SZ, "0x1001"}, 0, "0x1001"},
        {"Empty", {kFwFlashKey, "WwanDeviceConfigurationID", REG_SZ, ""}, 1, "kept"},
        {"NotText", {kFwFlashKey, "WwanDeviceConfigurationID", REG_DWORD, ""}, 1, "kept"},
        {"Missing", {}, 1, ""},
    };
    for (const TextCase& c : cases) {
        Put(c.value);
        std::string text = "kept";
        EXPECT_EQ(helper.GetWwanDeviceConfigId(text), c.result) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
        Remove(c.value);
    }
}

TEST_F(SysHelperTest, ServiceValuesAreTextsWithOneZeroUnderKeysCreatedOnFirstUse) {
    ASSERT_FALSE(machine().registry().KeyExists(kServiceKey));
    EXPECT_EQ(helper.SetServiceRegValue("RegulatoryID", "FCC01"), 0);
    std::optional<sim::RegistryValue> value = machine().registry().GetValue(kServiceKey, "RegulatoryID");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_SZ);
    EXPECT_EQ(value->data, (std::vector<BYTE>{'F', 'C', 'C', '0', '1', 0}));
    EXPECT_EQ(helper.SetServiceRegValue("DeviceMode", "FF"), 0);
    EXPECT_EQ(machine().registry().GetString(kServiceKey, "DeviceMode"), "FF");
    EXPECT_EQ(machine().registry().GetString(kServiceKey, "RegulatoryID"), "FCC01");
}

TEST_F(SysHelperTest, KvconfigFlagsComeFromTheExecutablesFolderOnly) {
    struct Case {
        const char* folder;  // null: no file
        const char* lines;
        bool universal;
        bool nonSecure;
    } cases[] = {
        {kExeFolder, "FWPACK_UNIVERSAL_EN=1\nCONFIG_NONSECURE_ENABLE=1\n", true, true},
        {kExeFolder, "FWPACK_UNIVERSAL_EN=2\nCONFIG_NONSECURE_ENABLE=1\n", false, true},
        {kExeFolder, "FWPACK_UNIVERSAL_EN=1\n", true, false},
        {"C:\\Kavrion\\KvCfgService\\KavrConfigFiles\\520\\", "FWPACK_UNIVERSAL_EN=1\n", false, false},
        {nullptr, "", false, false},
    };
    WriteFile("C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini", "[Setting]\nProjectType=3\n");
    for (const Case& c : cases) {
        std::string file = c.folder ? std::string(c.folder) + "kvconfig.ini" : "";
        if (c.folder) WriteFile(file, std::string("[BASE_CONFIG]\n") + c.lines);
        EXPECT_EQ(helper.IsFwPackUniversalEnabled(), c.universal) << c.lines;
        EXPECT_EQ(helper.IsConfigNonSecureEnabled(), c.nonSecure) << c.lines;
        if (c.folder) std::filesystem::remove(kvtest::HostPath(drives(), file));
    }
}

TEST_F(SysHelperTest, FlsDataFolderIsDeletedWithWhatItHolds) {
    WriteFile(std::string(kExeFolder) + "ConfigData\\a\\b.bin", "x");
    helper.DeleteFlsDataFolder();
    EXPECT_FALSE(Exists(std::string(kExeFolder) + "ConfigData"));
    EXPECT_TRUE(machine().transcript().Contains("file", std::string("deleted ") + kExeFolder + "ConfigData\\"));
}

TEST_F(SysHelperTest, LogFilesAboveTenMiBMoveToTheirBackups) {
    const std::string service = std::string(kExeFolder) + "KavrConfigSrv.log";
    const std::string serviceBackup = std::string(kExeFolder) + "KavrConfigSrv_bk.log";
    const std::string update = std::string(kExeFolder) + "UpdateDebugLog.log";
    const std::string updateBackup = std::string(kExeFolder) + "UpdateDebugLog_bk.log";
    const std::uintmax_t limit = 0xA00000;
    struct Case {
        const char* name;
        std::uintmax_t serviceSize;  // 0: no file
        std::uintmax_t updateSize;
        bool serviceMoved;
        bool updateMoved;
    } cases[] = {
        {"BothSmall", 10, 10, false, false},
        {"ServiceAtTheLimit", limit, 10, false, false},
        {"ServiceAboveMovesBoth", limit + 1, 10, true, true},
        {"OnlyUpdateAbove", limit, limit + 1, false, true},
        {"UpdateAboveWithoutService", 0, limit + 1, false, true},
        {"SizeAbove4GiBCountsWhole", 0x100000001ull, 10, true, true},
    };
    for (const Case& c : cases) {
        WriteFile(serviceBackup, "old");
        if (c.serviceSize) Resize(service, c.serviceSize);
        Resize(update, c.updateSize);
        helper.BackupLogFiles();
        EXPECT_EQ(Exists(service), c.serviceSize != 0 && !c.serviceMoved) << c.name;
        if (c.serviceMoved) {
            EXPECT_EQ(std::filesystem::file_size(kvtest::HostPath(drives(), serviceBackup)), c.serviceSize)
                << c.name;
        } else {
            EXPECT_EQ(ReadFile(serviceBackup), "old") << c.name;
        }
        EXPECT_EQ(Exists(update), !c.updateMoved) << c.name;
        EXPECT_EQ(Exists(updateBackup), c.updateMoved) << c.name;
        for (const std::string& file : {service, serviceBackup, update, updateBackup})
            std::filesystem::remove(kvtest::HostPath(drives(), file));
    }
}

TEST_F(SysHelperTest, DriverPackageLogsAreDeletedFromTheSystemDrive) {
    const std::string logs = "C:\\ProgramData\\Razav_DUR7560 Driver Package\\logs\\";
    WriteFile(logs + "KavrConfigSrv.exe.log", "a");
    WriteFile(logs + "KavrConfigSrv.exeEx.log", "b");
    WriteFile(logs + "Other.log", "c");
    helper.BackupLogFiles();
    EXPECT_FALSE(Exists(logs + "KavrConfigSrv.exe.log"));
    EXPECT_FALSE(Exists(logs + "KavrConfigSrv.exeEx.log"));
    EXPECT_TRUE(Exists(logs + "Other.log"));
}

TEST_F(SysHelperTest, ModuleIdIsNeverFound) { EXPECT_EQ(helper.GetModuleId(), 0); }

}  // namespace
