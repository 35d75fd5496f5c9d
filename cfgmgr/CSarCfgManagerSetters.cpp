// The older INI-driven setters: each compares what "SrvConfig.ini" and the
// board INI ask for with what the modem reports, and sends (or records as a
// setting line) only what differs.
#include "cfgmgr/CSarCfgManager.h"

#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtExecute.h"
#include "modem/CAtText.h"
#include "platform/sync.h"

namespace {

const int kCommandAttempts = 5;
const DWORD kCommandRetryMs = 1000;
// Setting lines and board INI values fit 1024-byte buffers.
const std::size_t kLineSize = 1023;
const DWORD kValueSize = 1024;

std::string SrvConfig(const std::string& key) { return GetSrvConfigValue(CConfigPath().GetConfigPath(), key); }

}  // namespace

void CSarCfgManager::SendCommand(CAtExecute& executor, const std::string& command) {
    // A command that still fails after its attempts is dropped.
    for (int attempt = 0; attempt < kCommandAttempts; ++attempt) {
        std::string reply;
        if (executor.ExecuteAtCommand(command, reply) == 0) return;
        Sleep(kCommandRetryMs);
    }
}

void CSarCfgManager::AddSettingLine(const std::string& line) { m_vecSettingLines.push_back(line.substr(0, kLineSize)); }

std::string CSarCfgManager::BoardIniPath(const std::string& tableKey) {
    std::string name = SrvConfig(tableKey);
    if (name.empty()) CSysHelper().GetBiosValue("BaseBoardProduct", name);
    std::string path = CConfigPath().GetRunPath() + name + ".ini";
    // A path cut to its buffer would name some other file: it names none.
    return path.size() > CTableFilePath::kMaxPath ? std::string() : path;
}

std::vector<std::string> CSarCfgManager::TableCheckItems(const std::string& value) {
    std::vector<std::string> items;
    std::size_t comma = value.find(',');
    if (comma == std::string::npos || comma == 0) return items;
    char group = value[comma - 1];

    std::vector<std::string> fields;
    for (std::size_t start = comma + 1;;) {
        std::size_t next = value.find(',', start);
        fields.push_back(value.substr(start, next == std::string::npos ? std::string::npos : next - start));
        if (next == std::string::npos) break;
        start = next + 1;
    }
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2)
        items.push_back(std::string(1, group) + "," + fields[i] + "," + fields[i + 1]);
    return items;
}

int CSarCfgManager::SetTable(int table, const std::string& tableKey, const std::string& command, bool tas) {
    std::string iniPath = BoardIniPath(tableKey);
    CAtExecute executor;
    std::string current;
    if (tas)
        executor.QueryTas(current);
    else
        executor.QueryBodySar(current);
    // The modem is asked whatever the table; only tables 0 and 1 have keys.
    if (iniPath.empty() || (table != 0 && table != 1)) return 0;

    for (const char* key : {"AT1", "AT2"}) {
        std::string value;
        if (table == 0)
            ReadTable0Value(key, value, kValueSize, iniPath);
        else
            ReadTable1Value(key, value, kValueSize, iniPath);
        for (const std::string& item : TableCheckItems(value)) {
            if (current.find(item) == std::string::npos) {
                SendCommand(executor, command + value + "\r\n");
                break;
            }
        }
    }
    return 0;
}

int CSarCfgManager::SetBodySarTable(int table) { return SetTable(table, kBodySarTable, "AT+BODYSAR=", false); }

int CSarCfgManager::SetTaSarTable(int table) { return SetTable(table, kTASarTable, "AT+GTTAS=", true); }

int CSarCfgManager::SetBodySarCfg() {
    m_strBodySar = SrvConfig(kBodySar);
    CAtExecute executor;
    std::string on;
    executor.QueryBodySarOn(on);
    if (m_strBodySar != "on") return 0;
    if (on != "1") SendCommand(executor, "AT+BODYSAREN=1\r\n");

    std::string profile = SrvConfig(kBodySarProfile);
    if (profile == "0" || profile == "2") {
        SendCommand(executor, "AT+BODYSARPROFILE=0\r\n");
        SetBodySarTable(0);
    }
    if (profile == "1" || profile == "2") {
        SendCommand(executor, "AT+BODYSARPROFILE=1\r\n");
        SetBodySarTable(1);
    }
    return 0;
}

int CSarCfgManager::SetTaSarCfg() {
    m_strTaSar = SrvConfig(kTASar);
    if (m_strTaSar != "on") return 0;
    CAtExecute executor;
    std::string enabled;
    executor.QueryTasEnable(enabled);
    if (enabled != "1") SendCommand(executor, "AT+GTTASEN=1\r\n");

    std::string profile = SrvConfig(kTaSarProfile);
    if (profile == "0" || profile == "2") {
        SendCommand(executor, "AT+GTTASPROFILE=0\r\n");
        SetTaSarTable(0);
    }
    if (profile == "1" || profile == "2") {
        SendCommand(executor, "AT+GTTASPROFILE=1\r\n");
        SetTaSarTable(1);
    }

    std::string current;
    executor.QueryTasCfg(current);
    std::string iniPath = BoardIniPath(kTASarTable);
    if (iniPath.empty()) return 0;
    std::string parameters;
    ReadParameterValue("AT0", parameters, kValueSize, iniPath);
    if (current.find(parameters) == std::string::npos) SendCommand(executor, "AT+GTTASCFG=" + parameters + "\r\n");
    return 0;
}

int CSarCfgManager::SetCarrierCfg() {
    m_strCarrier = SrvConfig(kCarrier);
    if (m_strCarrier.empty()) return 0;
    std::string carrier;
    CAtExecute().QueryFdCar(carrier);
    if (carrier != m_strCarrier) AddSettingLine("carrierid=" + m_strCarrier);
    return 0;
}

int CSarCfgManager::SetAgpsCfg() {
    m_strGps = SrvConfig(kGPS);
    m_strAgps = SrvConfig(kAGPS);
    if (m_strGps.empty() && m_strAgps.empty()) return 0;
    bool gps = m_strGps == "on";
    bool agps = m_strAgps == "on";
    if (agps)
        AddSettingLine("gnns=\"" + CConfigPath().GetSuplPath() + "\"");
    else if (gps)
        AddSettingLine("gnns=on");
    else
        AddSettingLine("gnns=off");
    return 0;
}

int CSarCfgManager::SetCarrierLockCfg() {
    m_strSwitchingLock = SrvConfig(kSwitchingLock);
    std::string carrierLocked = SrvConfig(kCarrierLocked);
    std::string switchLock;
    std::string carrierLock;
    CAtExecute().QueryLockCar(switchLock, carrierLock);

    std::string wanted = m_strSwitchingLock == "on" ? "1" : m_strSwitchingLock == "off" ? "0" : "";
    if (wanted != switchLock) AddSettingLine("switchlock=" + m_strSwitchingLock);
    if (m_strSwitchingLock == "on" && carrierLocked != carrierLock) AddSettingLine("carrierlock=" + carrierLocked);
    return 0;
}

bool CSarCfgManager::IsNetMcc2020Id(bool& boardListed, bool& pairListed) {
    std::string list = SrvConfig(kNetMcc2020Id);
    boardListed = IsListed(list, m_strBoardProduct);
    std::string providerId;
    GetProviderId(providerId);
    pairListed = IsPairListed(list, m_strBoardProduct, CAtText::Upper(providerId).substr(0, 3));
    return true;
}

bool CSarCfgManager::IsNetMccOnOffId(bool& pairListed) {
    std::string list = SrvConfig(kNetMccONOFFId);
    if (!IsListed(list, m_strBoardProduct)) return false;
    std::string providerId;
    GetProviderId(providerId);
    pairListed = IsPairListed(list, m_strBoardProduct, CAtText::Upper(providerId).substr(0, 3));
    return true;
}

void CSarCfgManager::SplitByBar(std::string text, std::vector<std::string>& items) {
    items.clear();
    if (text.empty()) return;
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|')) {
        items.push_back(text.substr(0, bar));
        text.erase(0, bar + 1);
    }
    items.push_back(text);
}
