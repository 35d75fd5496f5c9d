#include "sar_tas/CTasSarXml.h"

#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "config/XmlCfgParams.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "modem/CAtText.h"
#include "modem/COemTableVersion.h"
#include "sar_dpr/CSarPostureTable.h"

CTasSarXml::CTasSarXml(const TasSarRegion& region) : m_region(region) { InitBandTable(); }

void CTasSarXml::InitBandTable() { m_profiles.InitBandTable(); }

bool CTasSarXml::SelectXmlFile(std::string mcc, std::string netMcc, std::string boardProduct) {
    m_strXmlPath.clear();
    std::string valueName = "BaseBoardProduct";
    std::string registryBoard;
    CSysHelper sys;
    sys.GetBoardProduct(valueName, registryBoard);
    registryBoard = CAtText::Upper(registryBoard);
    if (registryBoard.empty()) {
        return false;
    }
    std::string candidate = Candidate(mcc, netMcc, boardProduct, registryBoard);
    if (candidate.empty() || !CTableFilePath::Exists(candidate)) {
        return false;
    }
    m_strXmlPath = candidate;
    return true;
}

std::string CTasSarXml::Candidate(const std::string& mcc, const std::string& netMcc,
                                  const std::string& boardProduct, const std::string& registryBoard) const {
    const std::string& decidingMcc = mcc.empty() ? netMcc : mcc;
    if (mcc.empty() && !m_region.byNetworkMcc) {
        return std::string();
    }
    // Plain substring test: an empty MCC occurs in every list, an empty one too.
    CConfigPath paths;
    const std::string configPath = paths.GetConfigPath();
    bool inSomeList = false;
    for (const char* key : m_region.mccLists) {
        if (key && GetSrvConfigValue(configPath, key).find(decidingMcc) != std::string::npos) {
            inSomeList = true;
        }
    }
    if (inSomeList != m_region.appliesInList) {
        return std::string();
    }
    std::string runPath = CConfigPath::GetInstance()->GetRunPath();
    if (mcc.empty()) {
        return CTableFilePath::Build(runPath, registryBoard, "", m_region.fileName);
    }
    return CTableFilePath::Build(runPath, m_region.registryBoardWithMcc ? registryBoard : boardProduct, mcc,
                                 m_region.fileName);
}

bool CTasSarXml::IsXmlVersionChanged(std::string modemVersion, bool* read) {
    m_strXmlVer.clear();
    const bool readOk = m_reader.GetXmlVersion(m_strXmlPath, m_strXmlVer);
    if (read) {
        *read = readOk;
    }
    if (!readOk) {
        return false;
    }
    m_strXmlVer = CAtText::Upper(m_strXmlVer);
    return COemTableVersion::IsChanged(m_strXmlVer, modemVersion);
}

bool CTasSarXml::ReadTasCfgParam() {
    TasCfgParam param;
    m_reader.GetTasXmlCfg(m_strXmlPath, param);
    m_strTasParamCmd.clear();
    const std::string* values[] = {&param.strParam1, &param.strParam2, &param.strParam3, &param.strParam4};
    for (std::size_t i = 0; i < std::size(values); ++i) {
        const std::string key = "Param " + std::to_string(i + 1);
        if (values[i]->empty()) {
            CAtText::LogFileNotUsed(m_strXmlPath, "its " + key + " is missing or empty");
            m_strTasParamCmd.clear();
            return false;
        }
        if (!CAtText::IsSafe(m_strXmlPath, key, *values[i])) {
            m_strTasParamCmd.clear();
            return false;
        }
        if (!m_strTasParamCmd.empty()) {
            m_strTasParamCmd += ",";
        }
        m_strTasParamCmd += *values[i];
    }
    return true;
}

bool CTasSarXml::ReadTasTables() {
    for (int p = 0; p < kProfiles; ++p) {
        if (!m_reader.GetTasXmlTableData(m_strXmlPath, m_profiles.Values(p), p)) {
            CAtText::LogFileNotUsed(m_strXmlPath, "its Tas_Data table " + std::to_string(p) + " cannot be read");
            return false;
        }
    }
    return m_profiles.AreValuesSafe(m_strXmlPath, "Tas_Data");
}

bool CTasSarXml::GetProfileByDeviceMode(std::string& table) {
    table.clear();
    std::string posture;
    CAtExecute at;
    at.GetDeviceMode(posture);
    return m_reader.GetXmlEnableTable(m_strXmlPath, posture, table);
}

void CTasSarXml::BuildTasSarCmd() { m_profiles.BuildBandCmd(); }

std::optional<long long> CTasSarXml::ParseTableNumber(const std::string& table) {
    std::size_t i = 0;
    while (i < table.size() && (table[i] == ' ' || (table[i] >= '\t' && table[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < table.size() && (table[i] == '+' || table[i] == '-')) {
        negative = table[i] == '-';
        ++i;
    }
    // Anything past this bound is "another number" all the same.
    constexpr long long kBound = 1000000;
    long long number = 0;
    for (; i < table.size() && table[i] >= '0' && table[i] <= '9'; ++i) {
        number = number * 10 + (table[i] - '0');
        if (number > kBound) {
            return std::nullopt;
        }
    }
    return negative ? -number : number;
}

std::array<std::string, 2> CTasSarXml::IndexValues(const std::string& table, int indexOffset) {
    std::optional<long long> n = ParseTableNumber(table);
    if (!n || *n < 0 || *n > 8) {
        return {"", ""};
    }
    if (*n == 0) {
        return {"0", "0"};
    }
    return {std::to_string(*n), std::to_string(*n + indexOffset)};
}

void CTasSarXml::WriteRegistryValues(const std::string& table) const {
    std::array<std::string, 2> values = IndexValues(table, m_region.indexOffset);
    CSysHelper sys;
    sys.SetServiceRegValue("RegulatoryID", m_region.regulatoryId);
    sys.SetServiceRegValue("DeviceMode", values[0]);
    sys.SetServiceRegValue("SARIndex", values[1]);
}

std::vector<std::string> CTasSarXml::TableCommands() const {
    std::vector<std::string> commands = {"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", m_region.algorithmCmd};
    for (int p = 0; p < kProfiles; ++p) {
        commands.push_back("AT+GTTASPROFILE=" + std::to_string(p) + "\r\n");
        commands.push_back("AT+GTTAS=" + m_profiles.WcdmaArgument(p) + "\r\n");
        commands.push_back("AT+GTTAS=" + m_profiles.LteArgument(p) + "\r\n");
    }
    commands.push_back("AT+GTTASCFG=" + m_strTasParamCmd + "\r\n");
    commands.push_back(COemTableVersion::RecordCommand(
        m_region.zeroSlot, COemTableVersion::Quote(COemTableVersion::kZeroVersion)));
    commands.push_back(COemTableVersion::RecordCommand(m_region.fileSlot, COemTableVersion::Quote(m_strXmlVer)));
    return commands;
}

int CTasSarXml::SendAll(const std::vector<std::string>& commands) {
    CAtCommandSequence sequence;
    for (const std::string& command : commands) {
        sequence.Add(command);
    }
    return sequence.Send();
}

int CTasSarXml::SetTasSarXml(std::string mcc, std::string netMcc, std::string boardProduct,
                             std::string modemVersion, bool* changed) {
    if (!SelectXmlFile(mcc, netMcc, boardProduct)) {
        return 0;
    }
    // Everything the path sends is read and checked before "AT+BODYSAREN=0":
    // body SAR goes off only for a file that will switch TA SAR on, and a
    // file that fails leaves the modem untouched.
    bool read = false;
    const bool versionChanged = IsXmlVersionChanged(modemVersion, &read);
    if (!read) {
        CAtText::LogFileNotUsed(m_strXmlPath, CAtText::kNoXmlVer);
        return 0;
    }
    if (!CAtText::IsSafe(m_strXmlPath, "XmlVer", m_strXmlVer)) {
        return 0;
    }

    std::string table;
    if (!versionChanged) {
        if (!GetSendableProfile(table)) {
            CAtText::LogFileNotUsed(m_strXmlPath, CAtText::kNoEnable);
            return 0;
        }
        int result = SendAll({"AT+BODYSAREN=0\r\n", "AT+GTTASEN=1\r\n", m_region.algorithmCmd});
        if (result == 0) {
            result = CSarPostureTable::Select(table);
        }
        if (result == 0) {
            WriteRegistryValues(table);
        }
        return result;
    }

    if (!ReadTasCfgParam() || !ReadTasTables()) {
        return 0;
    }
    BuildTasSarCmd();
    std::vector<std::string> commands = TableCommands();
    for (const std::string& command : commands) {
        if (!CAtText::Fits(m_strXmlPath, command)) {
            return 0;
        }
    }
    int result = SendAll(commands);
    if (result != 0) {
        return result;
    }
    if (changed) {
        *changed = true;
    }
    if (!GetSendableProfile(table)) {
        return 0;
    }
    result = CSarPostureTable::Select(table);
    if (result != 0) {
        return result;
    }
    WriteRegistryValues(table);
    return 0;
}

bool CTasSarXml::GetSendableProfile(std::string& table) {
    const bool hasEnable = GetProfileByDeviceMode(table);
    // A table text that cannot be sent selects nothing, as if no entry
    // named the posture.
    CSarPostureTable::Check(m_strXmlPath, table);
    return hasEnable;
}
