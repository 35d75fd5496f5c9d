// Writes the modem's antenna GPO configuration from the product's
// "AntConfigTable_PV.xml": the three basic parameters, nine GPO band tables,
// the OEM table version of the GPO slot and the posture's profile, through
// the run the antenna XML writers share (CAntXmlWriter).
//
// The reader's antenna GPO parameters and tables deliver nothing, so the
// writer selects its file and compares the versions but never gets to send a
// command or report a change.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "config/CXmlCfgReader.h"

class CAntGpoXmlCfg {
public:
    static constexpr int kTables = 9;
    static constexpr const char* kFileName = "AntConfigTable_PV.xml";

    CAntGpoXmlCfg();
    ~CAntGpoXmlCfg();

    // 0, 5 for an empty basic parameter, or the first failed command's
    // result; `changed` is set to true once tables and version are written.
    int SetAntCfgXml(std::string mcc, std::string boardProduct, std::string moduleVersion, bool* changed);

private:
    void InitBandTable();
    bool SelectXmlFile(const std::string& mcc, const std::string& boardProduct);
    bool ReadAntBasicParam();
    bool ReadAntTableData();
    void GetAntValue();
    bool AreBandCmdsSendable() const;
    int SetAntBasicParam();
    int SetAntBandCmd();

    CXmlCfgReader m_reader;
    std::string m_strXmlPath;
    std::string m_strXmlVer;
    std::string m_strAntTuningEnable;
    std::string m_strAntCtrlMode;
    std::string m_strAntTuneMode;
    std::array<std::string, kTables> m_strGpoBandCmd;
    std::vector<std::string> m_vecBandIndex;
    std::map<std::string, std::string> m_mapBandIndex;
    std::array<std::map<std::string, std::string>, kTables> m_mapXmlBandValue;
    std::array<std::map<std::string, std::string>, kTables> m_mapIndexValue;
};
