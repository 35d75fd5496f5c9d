#include "sar_dpr/CDprSarXmlWriter.h"

#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "modem/CAtText.h"
#include "modem/COemTableVersion.h"
#include "sar_dpr/CSarPostureTable.h"

CDprSarXmlWriter::CDprSarXmlWriter(int profiles) : m_profiles(profiles) {}

bool CDprSarXmlWriter::IsXmlVersionChanged(const std::string& modemVersion, bool* read) {
    m_strXmlVer.clear();
    bool readOk = m_reader.GetXmlVersion(m_strXmlPath, m_strXmlVer);
    if (read) {
        *read = readOk;
    }
    if (!readOk) {
        return false;
    }
    m_strXmlVer = CAtText::Upper(m_strXmlVer);
    return COemTableVersion::IsChanged(m_strXmlVer, modemVersion);
}

bool CDprSarXmlWriter::ReadProfiles(ProfileReader read) {
    for (int p = 0; p < m_profiles.Count(); ++p) {
        if (!(m_reader.*read)(m_strXmlPath, m_profiles.Values(p), p)) {
            CAtText::LogFileNotUsed(m_strXmlPath, "its Table_Data table " + std::to_string(p) + " cannot be read");
            return false;
        }
    }
    return m_profiles.AreValuesSafe(m_strXmlPath, "Table_Data");
}

bool CDprSarXmlWriter::GetProfileByDeviceMode(std::string& table) {
    table.clear();
    std::string posture;
    CAtExecute at;
    at.GetDeviceMode(posture);
    return m_reader.GetXmlEnableTable(m_strXmlPath, posture, table);
}

int CDprSarXmlWriter::EnableBodySar() { return CAtCommandSequence::SendOne("AT+BODYSAREN=1\r\n"); }

int CDprSarXmlWriter::SetBodySarOn(const std::string& table) {
    return CAtCommandSequence::SendOne(CSarPostureTable::Command(table));
}

int CDprSarXmlWriter::SetOemTableVersion() {
    m_strXmlVer = COemTableVersion::Quote(m_strXmlVer);
    return CAtCommandSequence::SendOne(COemTableVersion::RecordCommand(kVersionSlot, m_strXmlVer));
}

int CDprSarXmlWriter::WriteProfiles(bool failLines) {
    CAtCommandSequence sequence;
    for (int p = 0; p < m_profiles.Count(); ++p) {
        std::string profile = "AT+BODYSARPROFILE=" + std::to_string(p) + "\r\n";
        std::string wcdma = "AT+BODYSAR=" + m_profiles.WcdmaArgument(p) + "\r\n";
        std::string lte = "AT+BODYSAR=" + m_profiles.LteArgument(p) + "\r\n";
        if (!failLines) {
            sequence.Add(profile).Add(wcdma).Add(lte);
            continue;
        }
        std::string table = std::to_string(p);
        sequence.Add(profile, [table](int result) {
            return "Table" + table + "-BODYSARPROFILE-retValue=" + std::to_string(result);
        });
        sequence.Add(wcdma, "DprTable" + table + "3GBandCmd set fail!");
        sequence.Add(lte, "DprTable" + table + "4GBandCmd set fail!");
    }
    return sequence.Send();
}
