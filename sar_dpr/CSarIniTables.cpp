#include "sar_dpr/CSarIniTables.h"

#include "modem/CAtText.h"

CSarIniTables::CSarIniTables(SarBandSet set) : m_set(set) { InitBandTable(); }

void CSarIniTables::InitBandTable() {
    m_mapBandMask.clear();
    for (int t = 0; t < kTables; ++t) {
        m_vecWcdmaKey[t].clear();
        m_vecLteKey[t].clear();
        CSarBand::AddBandKeys(m_set, "T" + std::to_string(t) + "_", m_vecWcdmaKey[t], m_vecLteKey[t], m_mapBandMask);
    }
}

void CSarIniTables::BuildBandCmd(const std::map<std::string, std::string>& section, const std::string& current0,
                                 const std::string& current1) {
    const std::string* current[kTables] = {&current0, &current1};
    for (int t = 0; t < kTables; ++t) {
        CSarBand::Group(section, m_vecWcdmaKey[t], m_mapBandMask, m_mapWcdma[t]);
        CSarBand::Group(section, m_vecLteKey[t], m_mapBandMask, m_mapLte[t]);
        m_strWcdmaCmd[t] = CSarBand::ChangedArgument(CSarBand::kWcdma, m_mapWcdma[t], *current[t]);
        m_strLteCmd[t] = CSarBand::ChangedArgument(CSarBand::kLte, m_mapLte[t], *current[t]);
    }
}

bool CSarIniTables::AllEmpty() const {
    for (int t = 0; t < kTables; ++t) {
        if (!m_strWcdmaCmd[t].empty() || !m_strLteCmd[t].empty()) {
            return false;
        }
    }
    return true;
}

bool CSarIniTables::AreValuesSafe(const std::string& file, const std::string& sectionName,
                                  const std::map<std::string, std::string>& section) const {
    for (const auto& [key, value] : section) {
        if (m_mapBandMask.count(key) != 0 && !CAtText::IsSafe(file, "[" + sectionName + "] " + key, value)) {
            return false;
        }
    }
    return true;
}
