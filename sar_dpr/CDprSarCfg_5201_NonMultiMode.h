// The two-profile form of the body-SAR XML writer: profiles 0 and 1 from
// "SAR_DPR_PV.xml" when the file's version differs from the modem's, the
// version recorded in slot 1, and body-SAR table "1" made active whatever
// the posture. It leaves no registry value.
#pragma once

#include <string>

#include "sar_dpr/CDprSarXmlWriter.h"

class CDprSarCfg_5201_NonMultiMode {
public:
    static constexpr int kProfiles = 2;

    CDprSarCfg_5201_NonMultiMode();

    // 0, or the non-zero result of the first command that failed. `changed`
    // is set once new tables are in the modem, never cleared.
    int SetBodySarXml(std::string mcc, std::string boardProductInfo, std::string modemVersion, bool* changed);

    bool SelectXmlFile(const std::string& mcc, const std::string& boardProductInfo);
    bool IsXmlVersionChanged(std::string modemVersion);
    int EnableBodySar();
    int SetBodySarOn(std::string table);
    int SetOemTableVersion();
    void BuildBodySarCmd();
    void InitBandTable();
    // As the nine-profile writer's; nothing here calls it.
    bool GetProfileByDeviceMode(std::string& table);

    const std::string& XmlPath() { return m_writer.XmlPath(); }
    const CDprSarXmlWriter& Writer() const { return m_writer; }

private:
    CDprSarXmlWriter m_writer;
};
