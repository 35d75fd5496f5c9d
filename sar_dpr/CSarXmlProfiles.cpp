#include "sar_dpr/CSarXmlProfiles.h"

#include "modem/CAtText.h"
#include "sar_dpr/CSarBand.h"

CSarXmlProfiles::CSarXmlProfiles(int profiles)
    : m_mapBandMask(profiles),
      m_mapXmlBandValue(profiles),
      m_map3GMaskValue(profiles),
      m_map4GMaskValue(profiles),
      m_str3GBandCmd(profiles),
      m_str4GBandCmd(profiles) {
    InitBandTable();
}

void CSarXmlProfiles::InitBandTable() {
    for (auto& bandMask : m_mapBandMask) {
        bandMask.clear();
        m_vecWcdmaBand.clear();
        m_vecLteBand.clear();
        CSarBand::AddBandKeys(SarBandSet::Full, "", m_vecWcdmaBand, m_vecLteBand, bandMask);
    }
}

void CSarXmlProfiles::BuildBandCmd() {
    for (int p = 0; p < Count(); ++p) {
        CSarBand::Group(m_mapXmlBandValue[p], m_vecWcdmaBand, m_mapBandMask[p], m_map3GMaskValue[p]);
        CSarBand::Group(m_mapXmlBandValue[p], m_vecLteBand, m_mapBandMask[p], m_map4GMaskValue[p]);
        m_str3GBandCmd[p] = CSarBand::Argument(CSarBand::kWcdma, m_map3GMaskValue[p]);
        m_str4GBandCmd[p] = CSarBand::Argument(CSarBand::kLte, m_map4GMaskValue[p]);
    }
}

bool CSarXmlProfiles::AreValuesSafe(const std::string& file, const std::string& section) const {
    for (int p = 0; p < Count(); ++p) {
        for (const auto& [name, value] : m_mapXmlBandValue[p]) {
            if (m_mapBandMask[p].count(name) != 0 &&
                !CAtText::IsSafe(file, section + " table " + std::to_string(p) + " " + name, value)) {
                return false;
            }
        }
    }
    return true;
}
