// Readers of the table XML files (version, enable tables, band tables, parameters, tuners).
// Every read parses its file anew and keeps nothing.
#pragma once

#include <map>
#include <string>

#include "config/XmlCfgParams.h"

class CXmlCfgReader {
public:
    CXmlCfgReader() {}
    ~CXmlCfgReader() {}

    // The "XmlVer" text; true when read.
    bool GetXmlVersion(std::string path, std::string& version);
    // The "Table" of the first "Enable" whose "Mode" equals the posture (letter case counts);
    // no match leaves `table` as it was. false when the file has no "Enable" entry.
    bool GetXmlEnableTable(std::string path, std::string posture, std::string& table);
    // The items of table `index` (0 to 8) of "Table_Data"; true when read.
    bool GetDprXmlTableData(std::string path, std::map<std::string, std::string>& items, int index);
    // The items of table `index` (0 or 1) of the two-profile "Table_Data"; true when read.
    bool GetDprXmlTableData_NonMutilMode(std::string path, std::map<std::string, std::string>& items, int index);
    // The items of table `index` (0 to 8) of "Tas_Data"; true when read.
    bool GetTasXmlTableData(std::string path, std::map<std::string, std::string>& items, int index);
    // The first four "Param" values (empty when unreadable); always 1.
    int GetTasXmlCfg(std::string path, TasCfgParam& param);
    // The first three "Param" values (empty when unreadable); always 1.
    int GetMipiXmlParam(std::string path, AntBasicParam& param);
    // Tuner `tuner` of "Antenna_Tuner_Cfg", or its last one when it has fewer; always 1.
    int GetMipiXmlTunerCfg(std::string path, AntMipiTunerParam& param, int tuner);
    // Band name to "GD" (or "GE") of tuner `tuner` (0 to 3) of "Antenna_Tuner_Data";
    // 0 when a band item has neither, else 1.
    int GetMipiXmlTurnerData(std::string path, std::map<std::string, std::string>& items, int tuner);
    // The antenna GPO file holds no parameters or tables for these: they read nothing, 0.
    int GetAntGpoXmlParam(std::string path, AntBasicParam& param);
    int GetAntGpoXmlTableData(std::string path, std::map<std::string, std::string>& items, int index);

    static constexpr int kNineProfileTables = 9;
    static constexpr int kTwoProfileTables = 2;
    static constexpr int kTuners = 4;
};
