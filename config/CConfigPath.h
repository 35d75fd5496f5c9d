// The run folder of the product (the executable's folder and the
// "ProjectType" sub-folder) and the paths of its configuration files; the
// keys of its two product configuration INIs and their readers.
#pragma once

#include <string>

#include "platform/types.h"

class CConfigPath {
public:
    CConfigPath();
    ~CConfigPath();

    // Built on first use and kept for the life of the process.
    static CConfigPath* GetInstance();

    // Each logs "<member>:<path>" and returns a copy.
    std::string GetRunPath();
    std::string GetConfigPath();
    std::string GetSuplPath();
    std::string GetKavrConfigPath();
    std::string GetKavrDprConfigPath();
    std::string GetKavrTasConfigPath();
    std::string GetAntCfgFilePath();
    std::string GetAntmipiCfgFilePath();
    std::string GetFlsDataPath();

private:
    std::string m_str_flsDataPath;
    std::string m_strUnpackPath;
    std::string m_str_runPath;
    std::string m_strBackupPath;
    std::string m_str_configPath;
    std::string m_str_SuplPath;
    std::string m_strBackupBackupPath;
    std::string m_strKavrConfigPath;
    std::string m_strKavrDprConfigPath;
    std::string m_strKavrTasConfigPath;
    std::string m_strResourcePath;
    std::string m_strAntCfgFilePath;
    std::string m_strAntmipiCfgFilePath;
    std::string m_strDprXmlPath;
    std::string m_strTasFccXmlPath;
    std::string m_strTasIsedXmlPath;
    std::string m_strAntCfgXmlPath;
    std::string m_strAntmipiXmlPaths[9];
};

// The run folder of a project type below the executable's folder, "KavrConfigFiles\520R NV\" for 2;
// empty for a type that has none (the executable's folder is then the run folder).
std::string RunSubFolder(int projectType);

// "SrvConfig.ini" [GENERAL].
inline constexpr const char* kSrvConfigSection = "GENERAL";
inline constexpr const char* kNetBoardProduct = "NetBoardProduct";
inline constexpr const char* kNetMccId = "NetMccId";
inline constexpr const char* kBaseBoardProduct = "BaseBoardProduct";
inline constexpr const char* kNetWwanDeviceConfigID = "NetWwanDeviceConfigID";
inline constexpr const char* kBaseWwanDeviceConfigID = "BaseWwanDeviceConfigID";
inline constexpr const char* kISEDMCC = "ISEDMCC";
inline constexpr const char* kCEMCC = "CEMCC";
inline constexpr const char* kBOARDIDPATH = "BOARDIDPATH";
inline constexpr const char* kBodySar = "BodySar";
inline constexpr const char* kBodySarTable = "BodySarTable";
inline constexpr const char* kBodySarProfile = "BodySarProfile";
inline constexpr const char* kCarrier = "Carrier";
inline constexpr const char* kGPS = "GPS";
inline constexpr const char* kAGPS = "AGPS";
inline constexpr const char* kSwitchingLock = "SwitchingLock";
inline constexpr const char* kCarrierLocked = "CarrierLocked";
inline constexpr const char* kTASar = "TASar";
inline constexpr const char* kTaSarProfile = "TaSarProfile";
inline constexpr const char* kTASarTable = "TASarTable";
inline constexpr const char* kNetMcc2020Id = "NetMcc2020Id";
inline constexpr const char* kNetMccONOFFId = "NetMccONOFFId";
// Every [GENERAL] value fits a 1024-byte buffer: at most 1023 characters.
inline constexpr DWORD kSrvConfigValueSize = 1024;

// "kvconfig.ini" [BASE_CONFIG], integers with default 0.
inline constexpr const char* kKavrConfigSection = "BASE_CONFIG";
inline constexpr const char* kMULTIMODE_FUNCTION = "MULTIMODE_FUNCTION";
inline constexpr const char* kDELAY_SECONDS = "DELAY_SECONDS";
inline constexpr const char* kFWPACK_UNIVERSAL_EN = "FWPACK_UNIVERSAL_EN";
inline constexpr const char* kCONFIG_NONSECURE_ENABLE = "CONFIG_NONSECURE_ENABLE";

// A [GENERAL] key of the given "SrvConfig.ini" with its default ("0" for
// "CarrierLocked", else empty), cut to 1023 characters.
std::string GetSrvConfigValue(const std::string& configPath, const std::string& key);
// A [BASE_CONFIG] key of the given "kvconfig.ini"; 0 when missing.
int GetKavrConfigValue(const std::string& kavrConfigPath, const std::string& key);

// One key of the board INI's sections "OEM_CONFIG", "Parameter", "Table0" and
// "Table1" (default empty), cut to fit `size` bytes with its zero; always 1.
int ReadOemConfigValue(const std::string& key, std::string& value, DWORD size, const std::string& iniPath);
int ReadParameterValue(const std::string& key, std::string& value, DWORD size, const std::string& iniPath);
int ReadTable0Value(const std::string& key, std::string& value, DWORD size, const std::string& iniPath);
int ReadTable1Value(const std::string& key, std::string& value, DWORD size, const std::string& iniPath);

// Line-based "[name]=value" files: the last line for the name wins; the
// length of the text delivered (cut to fit `size` bytes with its zero).
int GetPrivateProfileStringByStream(const std::string& name, const std::string& defaultValue, std::string& value,
                                    DWORD size, const std::string& filePath);
// Every line for the name replaced by "[name]=value" (appended when none).
bool WritePrivateProfileStringByStream(const std::string& name, const std::string& value,
                                       const std::string& filePath);
