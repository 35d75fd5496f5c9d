#include "sar_dpr/CDprSarCfg_5201_MultiMode.h"

#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"
#include "sar_dpr/CSarPostureTable.h"

namespace {

void MarkChanged(bool* changed) {
    if (changed) {
        *changed = true;
    }
}

}  // namespace

CDprSarCfg_5201_MultiMode::CDprSarCfg_5201_MultiMode() : m_writer(kProfiles) { InitBandTable(); }

void CDprSarCfg_5201_MultiMode::InitBandTable() { m_writer.InitBandTable(); }

bool CDprSarCfg_5201_MultiMode::SelectXmlFile(const std::string& mcc, const std::string& netMcc,
                                              const std::string& boardProduct) {
    std::string& path = m_writer.XmlPath();
    path.clear();
    CConfigPath config;
    std::string ceMcc = GetSrvConfigValue(config.GetConfigPath(), kCEMCC);
    std::string candidate;
    if (!mcc.empty()) {
        candidate = CTableFilePath::Build(CConfigPath::GetInstance()->GetRunPath(), boardProduct, mcc,
                                          CDprSarXmlWriter::kFileName);
    } else {
        if (boardProduct.empty() || netMcc.empty() || ceMcc.find(netMcc) != std::string::npos) {
            return false;
        }
        candidate = CTableFilePath::Build(CConfigPath::GetInstance()->GetRunPath(), boardProduct, "",
                                          CDprSarXmlWriter::kFileName);
    }
    if (!CTableFilePath::Exists(candidate)) {
        return false;
    }
    path = candidate;
    return true;
}

bool CDprSarCfg_5201_MultiMode::IsXmlVersionChanged(std::string modemVersion) {
    return m_writer.IsXmlVersionChanged(modemVersion);
}

bool CDprSarCfg_5201_MultiMode::GetProfileByDeviceMode(std::string& table) { return m_writer.GetProfileByDeviceMode(table); }

int CDprSarCfg_5201_MultiMode::DisableTas() { return CAtCommandSequence::SendOne("AT+GTTASEN=0\r\n"); }

int CDprSarCfg_5201_MultiMode::EnableBodySar() { return m_writer.EnableBodySar(); }

int CDprSarCfg_5201_MultiMode::SetBodySarOn(std::string table) { return m_writer.SetBodySarOn(table); }

int CDprSarCfg_5201_MultiMode::SetOemTableVersion() { return m_writer.SetOemTableVersion(); }

void CDprSarCfg_5201_MultiMode::BuildBodySarCmd() { m_writer.BuildBodySarCmd(); }

void CDprSarCfg_5201_MultiMode::SetRegValues() {
    CSysHelper helper;
    helper.SetServiceRegValue("RegulatoryID", "BodySAR");
    helper.SetServiceRegValue("DeviceMode", "FF");
    helper.SetServiceRegValue("SARIndex", "FF");
}

int CDprSarCfg_5201_MultiMode::SetBodySarXml(std::string mcc, std::string netMcc, std::string boardProduct,
                                             std::string modemVersion, bool* changed) {
    if (!SelectXmlFile(mcc, netMcc, boardProduct)) {
        return 0;
    }
    // Everything the path sends is read and checked before "AT+GTTASEN=0":
    // TA SAR goes off only for a file that will switch body SAR on, and an
    // unreadable file leaves the modem untouched.
    const std::string& path = m_writer.XmlPath();
    bool read = false;
    const bool versionChanged = m_writer.IsXmlVersionChanged(modemVersion, &read);
    if (!read) {
        CAtText::LogFileNotUsed(path, CAtText::kNoXmlVer);
        return 0;
    }
    if (!m_writer.IsXmlVersionSafe()) {
        return 0;
    }
    std::string table;
    if (!versionChanged) {
        if (!GetProfileByDeviceMode(table)) {
            CAtText::LogFileNotUsed(path, CAtText::kNoEnable);
            return 0;
        }
        CSarPostureTable::Check(path, table);
    } else if (!m_writer.ReadProfiles(&CXmlCfgReader::GetDprXmlTableData)) {
        return 0;
    }

    int result = DisableTas();
    if (result != 0) {
        return result;
    }

    if (!versionChanged) {
        result = EnableBodySar();
        if (result == 0) {
            result = CSarPostureTable::Select(table);
        }
        if (result != 0) {
            return result;
        }
        SetRegValues();
        return 0;
    }

    BuildBodySarCmd();
    result = EnableBodySar();
    if (result == 0) {
        result = m_writer.WriteProfiles(false);
    }
    if (result == 0) {
        result = SetOemTableVersion();
    }
    if (result != 0) {
        return result;
    }
    // New tables and their version are in the modem: the reset must follow
    // whatever happens to the table selection.
    MarkChanged(changed);
    if (!GetProfileByDeviceMode(table)) {
        return 0;
    }
    CSarPostureTable::Check(path, table);
    result = CSarPostureTable::Select(table);
    if (result != 0) {
        return result;
    }
    SetRegValues();
    return 0;
}
