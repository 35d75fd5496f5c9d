#include "config/CConfigPath.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/CLog.h"
#include "common/FileHelpers.h"
#include "common/TextHelpers.h"
#include "common/ProcessSingleton.h"
#include "core/CStateWork.h"
#include "platform/crt.h"
#include "platform/files.h"
#include "platform/profile.h"

namespace {

std::string Logged(const char* member, const std::string& value) {
    CLog::GetInstance()->WriteLog(4, member + value);
    return value;
}

const DWORD kModulePathSize = 520;

// A profile string through a buffer of `size` bytes: at most size - 1 characters.
std::string ProfileString(const char* section, const std::string& key, const char* defaultValue, DWORD size,
                          const std::string& path) {
    if (size == 0) return {};
    std::vector<char> buffer(size, '\0');
    GetPrivateProfileStringA(section, key.c_str(), defaultValue, buffer.data(), size, path.c_str());
    buffer.back() = '\0';
    return std::string(buffer.data(), std::strlen(buffer.data()));
}

std::string Trimmed(const std::string& line) {
    const char* blanks = " \t\r\n";
    std::size_t first = line.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return line.substr(first, line.find_last_not_of(blanks) - first + 1);
}

// Every line of the file trimmed of blanks at both ends; false when it cannot be opened.
bool ReadTrimmedLines(const std::string& path, std::vector<std::string>& lines) {
    std::FILE* file = _fsopen(path.c_str(), "rb", _SH_DENYNO);
    if (!file) return false;
    std::string line;
    for (int c = std::fgetc(file);; c = std::fgetc(file)) {
        if (c == EOF || c == '\n') {
            if (c == '\n' || !line.empty()) lines.push_back(Trimmed(line));
            line.clear();
            if (c == EOF) break;
        } else {
            line.push_back(static_cast<char>(c));
        }
    }
    std::fclose(file);
    return true;
}

std::string CutToFit(const std::string& text, DWORD size) { return text.substr(0, size > 0 ? size - 1 : 0); }

}  // namespace

std::string RunSubFolder(int projectType) {
    switch (projectType) {
        case 1: return "KavrConfigFiles\\520R NORVALE\\";
        case 2: return "KavrConfigFiles\\520R NV\\";
        case 3: return "KavrConfigFiles\\520\\";
        default: return "";
    }
}

CConfigPath::CConfigPath() {
    std::string module(kModulePathSize, '\0');
    DWORD length = GetModuleFileNameA(nullptr, module.data(), kModulePathSize);
    module.resize(length < kModulePathSize ? length : kModulePathSize - 1);
    std::size_t slash = module.rfind('\\');
    if (slash != std::string::npos) {
        const std::string settings = CStateWork::GetInstance()->GetIniFilePath();
        const int projectType = static_cast<int>(GetPrivateProfileIntA("Setting", "ProjectType", -1, settings.c_str()));
        m_str_runPath = module.substr(0, slash + 1) + RunSubFolder(projectType);

        m_strBackupPath = m_str_runPath + "ConfigData_bk\\";
        m_str_flsDataPath = m_str_runPath + "ConfigData\\";
        m_str_configPath = m_str_runPath + "SrvConfig.ini";
        m_str_SuplPath = m_str_runPath + "supl.xml";
        m_strKavrDprConfigPath = m_str_runPath + "SAR_DPR_PV.ini";
        m_strKavrTasConfigPath = m_str_runPath + "SAR_TAS_PV.ini";
        m_strBackupBackupPath = m_str_runPath + "ConfigData_bk_bk\\";
        m_strKavrConfigPath = m_str_runPath + "kvconfig.ini";
        m_strResourcePath = m_str_runPath + "resource.dat";
        m_strAntCfgFilePath = m_str_runPath + "AntConfigTable_PV.ini";
        m_strAntmipiCfgFilePath = m_str_runPath + "AntmipiConfigTable_PV.ini";
        m_strDprXmlPath = m_str_runPath + "SAR_DPR_PV.xml";
        m_strTasFccXmlPath = m_str_runPath + "SAR_TAS_FCC_PV.xml";
        m_strTasIsedXmlPath = m_str_runPath + "SAR_TAS_ISED_PV.xml";
        m_strAntCfgXmlPath = m_str_runPath + "AntConfigTable_PV.xml";
        for (int i = 0; i < 9; ++i)
            m_strAntmipiXmlPaths[i] = m_str_runPath + "AntmipiConfigTable_Table" + std::to_string(i) + ".xml";
    }
    m_strUnpackPath = m_str_runPath + "Unpack\\";
    if (!PathIsDirectoryA(m_strUnpackPath.c_str())) CreateDirectoryA(m_strUnpackPath.c_str(), nullptr);
}

CConfigPath::~CConfigPath() {}

CConfigPath* CConfigPath::GetInstance() {
    return CProcessSingletons::Get<CConfigPath>([] { return new CConfigPath(); });
}

std::string CConfigPath::GetRunPath() { return Logged("m_str_runPath:", m_str_runPath); }
std::string CConfigPath::GetConfigPath() { return Logged("m_str_configPath:", m_str_configPath); }
std::string CConfigPath::GetSuplPath() { return Logged("m_str_SuplPath:", m_str_SuplPath); }
std::string CConfigPath::GetKavrConfigPath() { return Logged("m_strKavrConfigPath:", m_strKavrConfigPath); }
std::string CConfigPath::GetKavrDprConfigPath() { return Logged("m_strKavrDprConfigPath:", m_strKavrDprConfigPath); }
std::string CConfigPath::GetKavrTasConfigPath() { return Logged("m_strKavrTasConfigPath:", m_strKavrTasConfigPath); }
std::string CConfigPath::GetAntCfgFilePath() { return Logged("m_strAntCfgFilePath:", m_strAntCfgFilePath); }
std::string CConfigPath::GetAntmipiCfgFilePath() { return Logged("m_strAntmipiCfgFilePath:", m_strAntmipiCfgFilePath); }
std::string CConfigPath::GetFlsDataPath() { return Logged("m_str_flsDataPath:", m_str_flsDataPath); }

std::string GetSrvConfigValue(const std::string& configPath, const std::string& key) {
    const char* defaultValue = StrEqualNoCase(key, kCarrierLocked) ? "0" : "";
    return ProfileString(kSrvConfigSection, key, defaultValue, kSrvConfigValueSize, configPath);
}

int GetKavrConfigValue(const std::string& kavrConfigPath, const std::string& key) {
    return static_cast<int>(GetPrivateProfileIntA(kKavrConfigSection, key.c_str(), 0, kavrConfigPath.c_str()));
}

int ReadOemConfigValue(const std::string& key, std::string& value, DWORD size, const std::string& iniPath) {
    value = ProfileString("OEM_CONFIG", key, "", size, iniPath);
    return 1;
}

int ReadParameterValue(const std::string& key, std::string& value, DWORD size, const std::string& iniPath) {
    value = ProfileString("Parameter", key, "", size, iniPath);
    return 1;
}

int ReadTable0Value(const std::string& key, std::string& value, DWORD size, const std::string& iniPath) {
    value = ProfileString("Table0", key, "", size, iniPath);
    return 1;
}

int ReadTable1Value(const std::string& key, std::string& value, DWORD size, const std::string& iniPath) {
    value = ProfileString("Table1", key, "", size, iniPath);
    return 1;
}

int GetPrivateProfileStringByStream(const std::string& name, const std::string& defaultValue, std::string& value,
                                    DWORD size, const std::string& filePath) {
    if (name.empty() || filePath.empty()) return 0;
    std::vector<std::string> lines;
    if (!ReadTrimmedLines(filePath, lines)) return 0;
    const std::string bracketed = "[" + name + "]";
    for (const std::string& line : lines) {
        if (line.compare(0, bracketed.size(), bracketed) != 0) continue;
        std::string rest = line.substr(bracketed.size());
        rest.erase(0, rest.find_first_not_of(" \t"));
        if (!rest.empty() && rest[0] == '=') value = CutToFit(rest.substr(1), size);
    }
    if (value.empty() && !defaultValue.empty()) value = CutToFit(defaultValue, size);
    return static_cast<int>(value.size());
}

bool WritePrivateProfileStringByStream(const std::string& name, const std::string& value,
                                       const std::string& filePath) {
    std::vector<std::string> lines;
    if (!ReadTrimmedLines(filePath, lines)) return false;
    const std::string bracketed = "[" + name + "]";
    const std::string replacement = Trimmed(bracketed + "=" + value);
    bool replaced = false;
    for (std::string& line : lines) {
        if (line.compare(0, bracketed.size(), bracketed) != 0) continue;
        line = replacement;
        replaced = true;
    }
    if (!replaced) lines.push_back(replacement);
    std::FILE* file = _fsopen(filePath.c_str(), "wb", _SH_DENYNO);
    if (!file) return false;
    bool written = true;
    for (const std::string& line : lines) {
        written = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fputc('\n', file) != EOF &&
                  written;
    }
    return std::fclose(file) == 0 && written;
}
