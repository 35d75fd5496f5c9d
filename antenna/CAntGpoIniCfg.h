// Writes the modem's two antenna GPO band tables and the three antenna-tuner
// basic parameters from the product's "AntConfigTable_PV.ini". Construction
// reads the file and asks the modem which tables it holds; SetAntCfg sends
// the basic parameters and every table the modem does not hold already.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "config/CIniFile.h"

class CAntGpoIniCfg {
public:
    CAntGpoIniCfg(std::string mcc, std::string boardProduct);
    // The board product from the registry, and the 26 bands up to B66.
    CAntGpoIniCfg();
    ~CAntGpoIniCfg();

    // 0 when everything with a value was sent, or when the file or the
    // modem's table query failed at construction (nothing sent); 5 when a
    // basic parameter or both tables are empty; else the first failed
    // command's result.
    int SetAntCfg();

    // Reads "idx,\"value\"" pairs into value -> idx, the first of a value kept.
    void ParseQuotedPairList(std::string text, std::map<std::string, std::string>& pairs);

    static constexpr const char* kFileName = "AntConfigTable_PV.ini";
    // The reply's lines for tables 0 and 1, blanks already removed.
    static constexpr const char* kTable0Marker = "+GTANTGPOCFG:0,0,";
    static constexpr const char* kTable1Marker = "+GTANTGPOCFG:1,0,";

private:
    void InitCfg(const std::string& mcc, const std::string& boardProduct);
    void InitCfgByBoardProduct();
    void InitTables(std::size_t bands);
    bool ReadAntCfgFromINI(const std::string& mcc, const std::string& boardProduct);
    bool ReadAntCfgFromINIByBoardProduct();
    bool ReadSections(const std::string& path, bool logValues);
    bool QueryAntCfgValue();
    void GetAntValue();
    int SetAntBandCmd();

    CIniFile m_iniFile;
    std::vector<std::string> m_vecTable0Index;
    std::vector<std::string> m_vecTable1Index;
    std::map<std::string, std::string> m_mapBandIndex;
    std::map<std::string, std::string> m_mapTable0Ini;
    std::map<std::string, std::string> m_mapTable1Ini;
    std::map<std::string, std::string> m_mapTable0Value;
    std::map<std::string, std::string> m_mapTable1Value;
    std::string m_strANT_GPO_TABLE0BandCmd;
    std::string m_strANT_GPO_TABLE1BandCmd;
    std::string m_strCurTable0;
    std::string m_strCurTable1;
    std::string m_strAntGPO_AT_ANT_ENABLECmd;
    std::string m_strAntGPO_AT_ANT_CTRLMODECmd;
    std::string m_strAntGPO_AT_AT_ANT_TUNEMODECmd;
    bool m_bQueryFailed = false;
    bool m_bIniFailed = false;
};
