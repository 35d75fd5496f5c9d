// The configuration manager: decides whether this notebook gets its SAR and
// antenna tables written (the gate), runs the table writers in the order of
// the project type, and carries the older INI-driven setters. Built on the
// stack of CStateWork::FlashSarByATSend for one call.
#pragma once

#include <string>
#include <vector>

#include "cfgmgr/SarTableVersions.h"

class CAtExecute;

class CSarCfgManager {
public:
    CSarCfgManager();
    ~CSarCfgManager();
    CSarCfgManager(const CSarCfgManager&) = delete;
    CSarCfgManager& operator=(const CSarCfgManager&) = delete;

    static constexpr const char* kNotConfigured = "Not configured: ";

    // The gate (CSarCfgManagerGate.cpp): by board product for project types
    // 2 and 3, by WWAN device configuration ID for type 1. A "no" logs why,
    // in a line that starts with kNotConfigured.
    bool CfgEnable(std::string mcc);
    bool CfgEnableQ520Norvale(std::string mcc);
    // Fills providerId from the modem's registration when it can; always 1.
    int GetProviderId(std::string& providerId);

    // The table-writing runs (CSarCfgManagerRuns.cpp).
    int DoGetCfgInfoQ520(std::string mcc);
    int DoGetCfgInfoQ520RNV(std::string mcc);
    int DoGetCfgInfoQ520RNorvale(std::string mcc);
    int CallGetCfgInfoQ520(std::string mcc);
    int CallGetCfgInfoQ520RNV(std::string mcc);
    int CallGetCfgInfoQ520RNorvale(std::string mcc);
    int GetCfgInfoQ520(std::string mcc);
    int GetCfgInfoQ520RNV(std::string mcc);
    int GetCfgInfoQ520RNorvale(std::string mcc);
    bool IsBodySarEnabled();
    bool IsBodySarSoftMode();
    int EnableBodySar();
    int SetBodySarSoftMode();
    bool QueryCurSarVersion(SarTableVersions& versions);
    void ResetMoudleEvent();
    bool CallSetWwanConfigID();

    // The older INI-driven setters (CSarCfgManagerSetters.cpp); nothing calls them.
    int SetBodySarCfg();
    int SetBodySarTable(int table);
    int SetTaSarCfg();
    int SetTaSarTable(int table);
    int SetCarrierCfg();
    int SetAgpsCfg();
    int SetCarrierLockCfg();
    bool IsNetMcc2020Id(bool& boardListed, bool& pairListed);
    bool IsNetMccOnOffId(bool& pairListed);
    void SplitByBar(std::string text, std::vector<std::string>& items);

    // A list value names a text when the text, upper-cased, occurs in it
    // anywhere. An empty text is never named: an unreadable board product or
    // configuration ID must not pass as listed.
    static bool IsListed(const std::string& list, const std::string& text);
    // The list names first + "_" + mcc, neither of them empty.
    static bool IsPairListed(const std::string& list, const std::string& first, const std::string& mcc);
    // The check items of a table command's value: the group character (the
    // one before the first comma) with each following pair of fields. A value
    // beginning with a comma has no group character and no items.
    static std::vector<std::string> TableCheckItems(const std::string& value);

    // Setting lines and the last values the older setters read.
    std::vector<std::string> m_vecSettingLines;
    std::string m_strBodySar;
    std::string m_strTaSar;
    std::string m_strSwitchingLock;
    std::string m_strCarrier;
    std::string m_strGps;
    std::string m_strAgps;
    // The gate's results, which the runs hand to the writers.
    std::string m_strNetMcc;
    std::string m_strMcc;
    std::string m_strBoardProduct;
    std::string m_StrWwanDeviceConfigInfo;
    bool m_bCfgEnable = false;

private:
    void RunIniWriters();
    int SetTable(int table, const std::string& tableKey, const std::string& command, bool tas);
    std::string BoardIniPath(const std::string& tableKey);
    void SendCommand(CAtExecute& executor, const std::string& command);
    void AddSettingLine(const std::string& line);
};
