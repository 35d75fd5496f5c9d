// The band tables of an XML SAR table file, one per profile: the band names
// of the full set with their masks, the name -> value items read from the
// file, the WCDMA and LTE groups and their band arguments. The XML writers
// make no change test: a profile without values of a technology still gives
// its bare "1," or "2,".
#pragma once

#include <map>
#include <string>
#include <vector>

class CSarXmlProfiles {
public:
    explicit CSarXmlProfiles(int profiles);

    int Count() const { return static_cast<int>(m_mapXmlBandValue.size()); }

    // Fills every profile's band-mask map and the two band-name lists.
    void InitBandTable();
    // Profile p's items as the reader delivers them (emptied by each read).
    std::map<std::string, std::string>& Values(int profile) { return m_mapXmlBandValue.at(profile); }
    // Groups every profile's values and encodes both arguments.
    void BuildBandCmd();
    const std::string& WcdmaArgument(int profile) const { return m_str3GBandCmd.at(profile); }
    const std::string& LteArgument(int profile) const { return m_str4GBandCmd.at(profile); }
    // Every value that BuildBandCmd puts into an argument may travel inside
    // an AT command; the first that may not is refused as a value of `file`
    // under "<section> table <p> <band name>".
    bool AreValuesSafe(const std::string& file, const std::string& section) const;

private:
    std::vector<std::string> m_vecWcdmaBand;
    std::vector<std::string> m_vecLteBand;
    std::vector<std::map<std::string, std::string>> m_mapBandMask;
    std::vector<std::map<std::string, std::string>> m_mapXmlBandValue;
    std::vector<std::map<std::string, std::string>> m_map3GMaskValue;
    std::vector<std::map<std::string, std::string>> m_map4GMaskValue;
    std::vector<std::string> m_str3GBandCmd;
    std::vector<std::string> m_str4GBandCmd;
};
