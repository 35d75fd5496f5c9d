// Writes the modem's MIPI antenna-tuner settings from "AntmipiConfigTable_PV.ini":
// the three basic parameters, four tuners and two band tables per tuner. The
// modem's current band tables are asked at construction; a table goes out only
// when the INI holds a pair the modem lacks. Nothing in the system builds it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "config/CIniFile.h"
#include "platform/types.h"

class CAntMipiIniCfg {
public:
    CAntMipiIniCfg(std::string mcc, std::string boardProduct);
    CAntMipiIniCfg();
    ~CAntMipiIniCfg();

    DWORD SetAntCfg();

    static constexpr int kTuners = 4;
    static constexpr const char* kFileName = "AntmipiConfigTable_PV.ini";

    // An INI band value: blanks, a sign, then base-2 digits up to the first
    // other byte; false without a digit or outside a signed 32-bit integer.
    static bool ParseBase2(const std::string& text, long long& value);

private:
    using Pairs = std::map<std::string, std::string>;

    void InitCfg(std::string mcc, std::string boardProduct);
    void InitCfgByBoardProduct();
    void InitBandTable();
    bool ReadAntCfgFromINI(std::string mcc, std::string boardProduct);
    bool ReadAntCfgFromINIByBoardProduct();
    bool ReadIniFile(const std::string& path);
    bool QueryAntCfgValue();
    void GetAntValue();
    std::string BuildTableCmd(int tuner, int table, const Pairs& values, const std::string& current) const;
    DWORD SetAntTunerCfg();
    DWORD SetAntBandCmd();

    CIniFile m_iniFile;
    std::string m_strCurTable0Value[kTuners];
    std::string m_strCurTable1Value[kTuners];
    Pairs m_mapIniTable0[kTuners];
    Pairs m_mapIniTable1[kTuners];
    std::string m_strTunerUsid[kTuners];
    std::string m_strPmTrigger[kTuners];
    std::string m_strStartupTime[kTuners];
    std::vector<std::string> m_vecBandIndex;
    Pairs m_mapBandIndex[kTuners];
    Pairs m_mapTable0Value[kTuners];
    Pairs m_mapTable1Value[kTuners];
    std::string m_strTable0Cmd[kTuners];
    std::string m_strTable1Cmd[kTuners];
    std::string m_strAntTuningEnable;
    std::string m_strAntCtrlMode;
    std::string m_strAntTuneMode;
    bool m_bQueryOk = false;
    bool m_bIniOk = false;
    // 4 when a query was answered with a reply that cannot be read.
    DWORD m_dwQueryCheck = 0;
};
