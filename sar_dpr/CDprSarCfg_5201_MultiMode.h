// Writes the modem's nine body-SAR profiles from "SAR_DPR_PV.xml" when the
// file's version differs from the modem's body-SAR table version, records the
// version in slot 1, selects the table of the current posture and leaves the
// registry values that say body SAR is in force.
//
// "AT+GTTASEN=0" goes out only for a file that switches body SAR on: one
// whose version cannot be read, or whose version is the modem's and that
// holds no "Enable" entries, is not used at all (logged, nothing sent).
#pragma once

#include <string>

#include "sar_dpr/CDprSarXmlWriter.h"

class CDprSarCfg_5201_MultiMode {
public:
    static constexpr int kProfiles = 9;

    CDprSarCfg_5201_MultiMode();

    // 0, or the non-zero result of the first command that failed. `changed`
    // is set once new tables are in the modem, never cleared.
    int SetBodySarXml(std::string mcc, std::string netMcc, std::string boardProduct, std::string modemVersion,
                      bool* changed);

    bool SelectXmlFile(const std::string& mcc, const std::string& netMcc, const std::string& boardProduct);
    bool IsXmlVersionChanged(std::string modemVersion);
    // true when the file holds "Enable" entries; `table` is then the table of
    // the posture's entry, empty when no entry names the posture.
    bool GetProfileByDeviceMode(std::string& table);
    int DisableTas();
    int EnableBodySar();
    int SetBodySarOn(std::string table);
    int SetOemTableVersion();
    void BuildBodySarCmd();
    void InitBandTable();

    const std::string& XmlPath() { return m_writer.XmlPath(); }
    const CDprSarXmlWriter& Writer() const { return m_writer; }

private:
    void SetRegValues();

    CDprSarXmlWriter m_writer;
};
