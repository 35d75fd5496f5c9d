#include "config/CConfigPath.h"

CConfigPath::CConfigPath() {}
CConfigPath::~CConfigPath() {}
CConfigPath* CConfigPath::GetInstance() {
    static CConfigPath* instance = new CConfigPath();
    return instance;
}
std::string CConfigPath::GetRunPath() { return m_str_runPath; }
std::string CConfigPath::GetConfigPath() { return m_str_configPath; }
std::string CConfigPath::GetSuplPath() { return m_str_SuplPath; }
std::string CConfigPath::GetKavrConfigPath() { return m_strKavrConfigPath; }
std::string CConfigPath::GetKavrDprConfigPath() { return m_strKavrDprConfigPath; }
std::string CConfigPath::GetKavrTasConfigPath() { return m_strKavrTasConfigPath; }
std::string CConfigPath::GetAntCfgFilePath() { return m_strAntCfgFilePath; }
std::string CConfigPath::GetAntmipiCfgFilePath() { return m_strAntmipiCfgFilePath; }
std::string CConfigPath::GetFlsDataPath() { return m_str_flsDataPath; }

std::string GetSrvConfigValue(const std::string&, const std::string&) { return {}; }
int GetKavrConfigValue(const std::string&, const std::string&) { return 0; }
int ReadOemConfigValue(const std::string&, std::string&, DWORD, const std::string&) { return 1; }
int ReadParameterValue(const std::string&, std::string&, DWORD, const std::string&) { return 1; }
int ReadTable0Value(const std::string&, std::string&, DWORD, const std::string&) { return 1; }
int ReadTable1Value(const std::string&, std::string&, DWORD, const std::string&) { return 1; }
int GetPrivateProfileStringByStream(const std::string&, const std::string&, std::string&, DWORD, const std::string&) {
    return 0;
}
bool WritePrivateProfileStringByStream(const std::string&, const std::string&, const std::string&) { return false; }
