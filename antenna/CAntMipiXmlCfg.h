// Writes the modem's MIPI antenna-tuner configuration from the nine table
// files "AntmipiConfigTable_Table<n>.xml": the three basic parameters, four
// tuners, 36 band tables (nine tables of four tuners), the OEM table version
// of the MIPI slot and the posture's profile, through the run the antenna XML
// writers share (CAntXmlWriter). Table file 0 is the master file: version,
// basic parameters, tuners and enable list come from it alone.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "config/CXmlCfgReader.h"
#include "platform/types.h"

class CAntMipiXmlCfg {
public:
    static constexpr int kFiles = 9;
    static constexpr int kTuners = 4;
    static constexpr int kBandTables = kFiles * kTuners;

    CAntMipiXmlCfg();
    ~CAntMipiXmlCfg();

    // 0, 5 for an empty basic parameter, or the first failed command's
    // result; `changed` is set to true once tables and version are written.
    DWORD SetAntCfgXml(std::string mcc, std::string boardProduct, std::string moduleVersion, bool* changed);

private:
    void InitBandTable();
    bool SelectXmlFile(const std::string& mcc, const std::string& boardProduct);
    bool ReadAntBasicParam();
    bool ReadAntTunerCfg();
    bool ReadAntTableData();
    void GetAntValue();
    void GetAntTableValue(int table);
    bool AreCommandsSendable() const;
    int SetAntBasicParam();
    int SetAntTunerCfg();
    int SetAntBandCmd();

    CXmlCfgReader m_reader;
    std::array<std::string, kFiles> m_strMipiXmlPath;
    std::string m_strXmlVer;
    std::string m_strAntTuningEnable;
    std::string m_strAntCtrlMode;
    std::string m_strAntTuneMode;
    std::array<std::string, kTuners> m_strTunerUsid;
    std::array<std::string, kTuners> m_strPmTrigger;
    std::array<std::string, kTuners> m_strStartupTime;
    std::vector<std::string> m_vecBandIndex;
    std::map<std::string, std::string> m_mapBandIndex;
    std::array<std::map<std::string, std::string>, kBandTables> m_mapXmlBandValue;
    std::array<std::map<std::string, std::string>, kBandTables> m_mapIndexValue;
    std::array<std::string, kBandTables> m_strMipiBandCmd;
};
