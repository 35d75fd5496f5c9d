// What the two body-SAR XML writers share: the selected table file, its
// version, the per-profile band tables and the body-SAR commands, each sent
// with the writers' retries and delay.
#pragma once

#include <string>

#include "config/CXmlCfgReader.h"
#include "modem/CAtText.h"
#include "sar_dpr/CSarXmlProfiles.h"

class CDprSarXmlWriter {
public:
    static constexpr const char* kFileName = "SAR_DPR_PV.xml";
    static constexpr int kVersionSlot = 1;

    // One profile table of the file into `items`; true when read.
    using ProfileReader = bool (CXmlCfgReader::*)(std::string, std::map<std::string, std::string>&, int);

    explicit CDprSarXmlWriter(int profiles);

    void InitBandTable() { m_profiles.InitBandTable(); }
    CXmlCfgReader& Reader() { return m_reader; }
    std::string& XmlPath() { return m_strXmlPath; }
    const std::string& XmlVer() const { return m_strXmlVer; }

    // Reads "XmlVer" of the selected file, upper-cased, and compares it with
    // the modem's; false for an unreadable version, which `read` tells apart
    // so that the writer can leave such a file unused.
    bool IsXmlVersionChanged(const std::string& modemVersion, bool* read = nullptr);
    // The version read may travel inside an AT command; one that may not is
    // logged as refused.
    bool IsXmlVersionSafe() const { return CAtText::IsSafe(m_strXmlPath, "XmlVer", m_strXmlVer); }

    // Reads every profile table; false, with the line that says why, when
    // one cannot be read or holds a value that cannot be sent. Nothing is
    // sent either way.
    bool ReadProfiles(ProfileReader read);
    void BuildBodySarCmd() { m_profiles.BuildBandCmd(); }

    // The "Enable" table of the current posture (empty when no entry names
    // it); false when the file holds no "Enable" entries.
    bool GetProfileByDeviceMode(std::string& table);

    int EnableBodySar();
    int SetBodySarOn(const std::string& table);
    // Quotes the version in place and records it in slot 1.
    int SetOemTableVersion();
    // "AT+BODYSARPROFILE=%d", then the WCDMA and LTE arguments, for every
    // profile in order; with `failLines` a failing command logs its line.
    int WriteProfiles(bool failLines);

    const CSarXmlProfiles& Profiles() const { return m_profiles; }

private:
    CXmlCfgReader m_reader;
    std::string m_strXmlPath;
    std::string m_strXmlVer;
    CSarXmlProfiles m_profiles;
};
