// The two tables of an INI SAR table file: keys "T0_<band name>" for table 0
// and "T1_<band name>" for table 1, grouped by table and technology into four
// band groups and encoded into four band arguments with the INI writers'
// change test: an argument is empty when the modem already holds every pair
// of its group, or when the group has no values.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "sar_dpr/CSarBand.h"

class CSarIniTables {
public:
    static constexpr int kTables = 2;

    explicit CSarIniTables(SarBandSet set);

    // Fills the band-key map and the key lists of both tables.
    void InitBandTable();
    // Groups the section (key -> value) and builds the four arguments; the
    // arguments of table t are tested against `current[t]`, the modem's reply
    // to its query of that table (empty when not read: nothing is held).
    void BuildBandCmd(const std::map<std::string, std::string>& section, const std::string& current0,
                      const std::string& current1);
    const std::string& WcdmaArgument(int table) const { return m_strWcdmaCmd[table]; }
    const std::string& LteArgument(int table) const { return m_strLteCmd[table]; }
    bool AllEmpty() const;

    // Every value of the section under one of the band keys may travel
    // inside an AT command (keys outside the band set are never sent); the
    // first that may not is refused as a value of `file` under
    // "[<section name>] <key>".
    bool AreValuesSafe(const std::string& file, const std::string& sectionName,
                       const std::map<std::string, std::string>& section) const;

    std::size_t KeyCount() const { return m_mapBandMask.size(); }

private:
    SarBandSet m_set;
    std::map<std::string, std::string> m_mapBandMask;
    std::vector<std::string> m_vecWcdmaKey[kTables];
    std::vector<std::string> m_vecLteKey[kTables];
    std::map<std::string, std::string> m_mapWcdma[kTables];
    std::map<std::string, std::string> m_mapLte[kTables];
    std::string m_strWcdmaCmd[kTables];
    std::string m_strLteCmd[kTables];
};
