#include "sar_dpr/CDprSarCfg_5201_NonMultiMode.h"

#include "common/CLog.h"
#include "config/CConfigPath.h"
#include "config/CTableFilePath.h"
#include "modem/CAtText.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

}  // namespace

CDprSarCfg_5201_NonMultiMode::CDprSarCfg_5201_NonMultiMode() : m_writer(kProfiles) { InitBandTable(); }

void CDprSarCfg_5201_NonMultiMode::InitBandTable() { m_writer.InitBandTable(); }

bool CDprSarCfg_5201_NonMultiMode::SelectXmlFile(const std::string& mcc, const std::string& boardProductInfo) {
    std::string& path = m_writer.XmlPath();
    path.clear();
    if (mcc.empty() && boardProductInfo.empty()) {
        Log(4, "[CDprSarCfg_5201_NonMultiMode]Can not get the MCC and strBoardProductInfo.");
        return false;
    }
    std::string candidate = CTableFilePath::Build(CConfigPath::GetInstance()->GetRunPath(), boardProductInfo, mcc,
                                                  CDprSarXmlWriter::kFileName);
    if (!CTableFilePath::Exists(candidate)) {
        return false;
    }
    path = candidate;
    return true;
}

bool CDprSarCfg_5201_NonMultiMode::IsXmlVersionChanged(std::string modemVersion) {
    bool read = false;
    bool changed = m_writer.IsXmlVersionChanged(modemVersion, &read);
    if (!read) {
        Log(4, "GetXmlVersion failed, no need update DPR Table.");
        // Nothing of the file is sent: the unchanged path activates table "1" as it stands.
        CAtText::LogFileNotUsed(m_writer.XmlPath(), CAtText::kNoXmlVer);
        return false;
    }
    if (!changed) {
        Log(4, "Dpr data old version is same with new version,Dpr data no need update.");
        return false;
    }
    return true;
}

int CDprSarCfg_5201_NonMultiMode::EnableBodySar() { return m_writer.EnableBodySar(); }

int CDprSarCfg_5201_NonMultiMode::SetBodySarOn(std::string table) { return m_writer.SetBodySarOn(table); }

int CDprSarCfg_5201_NonMultiMode::SetOemTableVersion() { return m_writer.SetOemTableVersion(); }

void CDprSarCfg_5201_NonMultiMode::BuildBodySarCmd() { m_writer.BuildBodySarCmd(); }

bool CDprSarCfg_5201_NonMultiMode::GetProfileByDeviceMode(std::string& table) { return m_writer.GetProfileByDeviceMode(table); }

int CDprSarCfg_5201_NonMultiMode::SetBodySarXml(std::string mcc, std::string boardProductInfo,
                                                std::string modemVersion, bool* changed) {
    Log(4, "SetBodySarXml enter");
    if (!SelectXmlFile(mcc, boardProductInfo)) {
        Log(4, "DprXml not exist");
        return 0;
    }
    // Both tables are read and checked before the first command, so an
    // unreadable file leaves the modem untouched.
    bool versionChanged = IsXmlVersionChanged(modemVersion);
    if (!m_writer.IsXmlVersionSafe() ||
        (versionChanged && !m_writer.ReadProfiles(&CXmlCfgReader::GetDprXmlTableData_NonMutilMode))) {
        return 0;
    }

    if (!versionChanged) {
        int result = EnableBodySar();
        if (result != 0) {
            Log(4, "no need update Dpr parameter");
            return result;
        }
        return SetBodySarOn("1");
    }

    BuildBodySarCmd();
    int result = EnableBodySar();
    if (result == 0) {
        result = m_writer.WriteProfiles(true);
    }
    if (result == 0) {
        result = SetOemTableVersion();
    }
    if (result != 0) {
        return result;
    }
    // New tables and their version are in the modem: the reset must follow
    // even when the table cannot be activated.
    if (changed) {
        *changed = true;
    }
    result = SetBodySarOn("1");
    if (result != 0) {
        return result;
    }
    Log(4, "SetBodySarXml end");
    return 0;
}
