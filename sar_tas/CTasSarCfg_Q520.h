// The TA-SAR writer of the INI table file "SAR_TAS_PV.ini", section
// "Q520_TAS_DOUBLE_TABLE_PARAM": two tables (TA-SAR profiles 0 and 1) and the
// four TA-SAR parameters. Construction asks the modem for its current tables
// and reads the file; SetTasSar sends only the band arguments the modem does
// not already hold, and the parameters when the file gives all four.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "config/CIniFile.h"
#include "sar_dpr/CSarIniTables.h"

class CTasSarCfg_Q520 {
public:
    CTasSarCfg_Q520(std::string mcc, std::string boardProduct);
    // Chooses the file by the registry board product alone.
    CTasSarCfg_Q520();
    ~CTasSarCfg_Q520();

    // 0 when the writer is not ready or everything was sent; 5 when there is
    // nothing to send; else the result of the first command that failed.
    int SetTasSar();

    void InitBandTable();
    // true when the query failed.
    bool QueryTasSarValue();
    // true when the file is missing.
    bool ReadTasCfgFromINI(std::string mcc, std::string boardProduct);
    bool ReadTasSarFromINI(std::string mcc, std::string boardProduct);
    bool ReadTasCfgFromINIByBoardProduct();
    bool ReadTasSarFromINIByBoardProduct();
    void BuildTasSarCmd();
    void ParseQuotedPairList(std::string text, std::map<std::string, std::string>& pairs);

    static constexpr const char* kSection = "Q520_TAS_DOUBLE_TABLE_PARAM";
    static constexpr const char* kFileName = "SAR_TAS_PV.ini";

private:
    // Points the INI file at the table file; false when that file is missing.
    bool SelectFile(const std::string& mcc, const std::string& boardProduct);
    bool SelectFileByBoardProduct();
    void ReadTasCfg();
    // Every text the writer would send may travel inside an AT command; the
    // first that may not is logged as refused.
    bool IsSendable();

    CSarIniTables m_tables{SarBandSet::Full};
    std::map<std::string, std::string> m_mapTasIni;
    CIniFile m_iniFile;
    std::string m_strIniPath;
    std::string m_strTasConfigCmd;
    std::string m_strCurTable0;
    std::string m_strCurTable1;
    bool m_bQueryFailed = false;
    bool m_bIniFailed = false;
};
