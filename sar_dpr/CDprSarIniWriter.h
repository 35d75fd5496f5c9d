// The body-SAR INI writer behind CDprSarCfg_Q520 and CDprSarCfg_Q510: the
// modem's two tables read at construction, the INI section of the selected
// table file, the four band arguments with their change test, and the
// command sequence that writes them. The two families differ in section,
// band set and whether anything is logged.
#pragma once

#include <map>
#include <string>

#include "config/CIniFile.h"
#include "sar_dpr/CSarIniTables.h"

class CDprSarIniWriter {
public:
    static constexpr const char* kFileName = "SAR_DPR_PV.ini";

    CDprSarIniWriter(std::string section, SarBandSet set, bool logs);

    void InitBandTable() { m_tables.InitBandTable(); }
    // true when the query failed.
    bool QueryBodySarValue();
    // true when the table file is missing.
    bool ReadDprSarFromINI(const std::string& mcc, const std::string& boardProduct);
    bool ReadDprSarFromINIByBoardProduct();
    void BuildBodySarCmd();
    // Writes the tables when `ready` (the readings at construction worked):
    // 0, 5 when there is nothing to send, or the failing command's result.
    int SetBodySar(bool ready);

    const std::string& Argument3G(int table) const { return m_tables.WcdmaArgument(table); }
    const std::string& Argument4G(int table) const { return m_tables.LteArgument(table); }
    const std::map<std::string, std::string>& Section() const { return m_mapDprIni; }
    const std::string& CurTable(int table) const { return table == 0 ? m_strCurTable0 : m_strCurTable1; }
    std::size_t BandKeyCount() const { return m_tables.KeyCount(); }

private:
    void Log(int type, const std::string& text) const;
    void SetFile(const std::string& path);
    void ReadSection();

    std::string m_strSection;
    bool m_bLogs;
    CSarIniTables m_tables;
    std::map<std::string, std::string> m_mapDprIni;
    CIniFile m_iniFile;
    std::string m_strIniPath;
    std::string m_strCurTable0;
    std::string m_strCurTable1;
};
