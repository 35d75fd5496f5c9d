#include "antenna/CAntXmlWriter.h"

#include <utility>

#include "antenna/CAntCommand.h"
#include "common/CLog.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "modem/CAtText.h"
#include "modem/COemTableVersion.h"

CAntXmlWriter::CAntXmlWriter(CXmlCfgReader& reader, AntXmlSteps steps, std::string& xmlVer)
    : m_reader(reader), m_steps(std::move(steps)), m_strXmlVer(xmlVer) {}

int CAntXmlWriter::Run(const std::string& moduleVersion, bool* changed) {
    const Version version = IsXmlVersionChanged(moduleVersion);
    if (version == Version::Unreadable) {
        return 0;
    }
    std::string profile;
    if (version == Version::Unchanged) {
        if (!m_steps.readAntBasicParam()) {
            return 0;
        }
        if (!LookUpProfile(profile)) {
            CAtText::LogFileNotUsed(m_steps.masterPath, CAtText::kNoEnable);
            return 0;
        }
        int result = m_steps.setAntBasicParam();
        if (result != 0) {
            return result;
        }
        return SetAntProfile(profile);
    }

    if (!m_steps.readAntBasicParam() || !m_steps.readAntTables()) {
        return 0;
    }
    int result = m_steps.setAntBasicParam();
    if (result == 0) {
        result = m_steps.setAntTables();
    }
    if (result == 0) {
        result = SetOemTableVersion();
    }
    if (result != 0) {
        return result;
    }
    // Tables and version are in the modem now: the manager must reset it
    // whatever becomes of the profile.
    if (changed != nullptr) {
        *changed = true;
    }
    if (!LookUpProfile(profile)) {
        return 0;
    }
    return SetAntProfile(profile);
}

CAntXmlWriter::Version CAntXmlWriter::IsXmlVersionChanged(const std::string& moduleVersion) {
    m_strXmlVer.clear();
    if (!m_reader.GetXmlVersion(m_steps.masterPath, m_strXmlVer)) {
        // Nothing else of such a file can be read either.
        m_strXmlVer.clear();
        CAtText::LogFileNotUsed(m_steps.masterPath, CAtText::kNoXmlVer);
        return Version::Unreadable;
    }
    m_strXmlVer = CAtText::Upper(m_strXmlVer);
    const std::string record =
        COemTableVersion::RecordCommand(m_steps.ownSlot, COemTableVersion::Quote(m_strXmlVer));
    if (!CAtText::IsSendable(m_steps.masterPath, "XmlVer", m_strXmlVer, record)) {
        return Version::Unreadable;
    }
    return COemTableVersion::IsChanged(m_strXmlVer, moduleVersion) ? Version::Changed : Version::Unchanged;
}

bool CAntXmlWriter::GetProfileByDeviceMode(std::string& profile) {
    profile.clear();
    if (!m_steps.readAntBasicParam()) {
        return false;
    }
    return LookUpProfile(profile);
}

bool CAntXmlWriter::LookUpProfile(std::string& profile) {
    profile.clear();
    m_strPosture.clear();
    CAtExecute execute;
    execute.GetDeviceMode(m_strPosture);
    if (!m_reader.GetXmlEnableTable(m_steps.masterPath, m_strPosture, profile)) {
        return false;
    }
    // A profile that cannot be sent is skipped like a missing one; the file
    // stays good for everything else.
    if (!CAtText::IsSendable(m_steps.masterPath, "ModeCfg Enable Table", profile,
                             CAntCommand::ProfileCommand(profile))) {
        profile.clear();
    }
    return true;
}

int CAntXmlWriter::SetOemTableVersion() {
    int result = CAtCommandSequence::SendOne(
        COemTableVersion::RecordCommand(m_steps.zeroSlot, COemTableVersion::Quote(COemTableVersion::kZeroVersion)));
    if (result != 0) {
        return result;
    }
    m_strXmlVer = COemTableVersion::Quote(m_strXmlVer);
    return CAtCommandSequence::SendOne(COemTableVersion::RecordCommand(m_steps.ownSlot, m_strXmlVer));
}

int CAntXmlWriter::SetAntProfile(const std::string& profile) {
    if (profile.empty()) {
        CLog::GetInstance()->WriteLog(1,
                                      "No antenna profile for posture " + m_strPosture + ": AT+GTANTPROFILE not sent");
        return 0;
    }
    return CAntCommand::SetAntProfile(profile);
}
