#include "sar_dpr/CDprSarIniWriter.h"

#include "common/CLog.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"

CDprSarIniWriter::CDprSarIniWriter(std::string section, SarBandSet set, bool logs)
    : m_strSection(std::move(section)), m_bLogs(logs), m_tables(set) {}

void CDprSarIniWriter::Log(int type, const std::string& text) const {
    if (m_bLogs) {
        CLog::GetInstance()->WriteLog(type, text);
    }
}

bool CDprSarIniWriter::QueryBodySarValue() {
    Log(4, "QueryBodySarValue enter.");
    m_strCurTable0.clear();
    m_strCurTable1.clear();
    if (CAtCommandSequence::SendOne("AT+BODYSAREN=1\r\n") != 0) {
        return true;
    }
    if (CAtCommandSequence::SendOne("AT+BODYSARPROFILE=0\r\n") == 0) {
        if (CAtCommandSequence::SendOne("AT+BODYSAR?\r\n", m_strCurTable0) != 0) {
            Log(1, "QueryBodySarValue-AT_BODYSAR_QR_CMD-table0 fail.");
            return true;
        }
    }
    if (CAtCommandSequence::SendOne("AT+BODYSARPROFILE=1\r\n") == 0) {
        if (CAtCommandSequence::SendOne("AT+BODYSAR?\r\n", m_strCurTable1) != 0) {
            return true;
        }
    }
    Log(4, "QueryBodySarValue end.");
    return false;
}

void CDprSarIniWriter::SetFile(const std::string& path) {
    m_strIniPath = path;
    m_iniFile.SetFileName(path);
}

void CDprSarIniWriter::ReadSection() { m_iniFile.GetKeyAndValueFromSection(m_strSection, m_mapDprIni); }

bool CDprSarIniWriter::ReadDprSarFromINI(const std::string& mcc, const std::string& boardProduct) {
    Log(4, "ReadDprSarFromINI enter");
    CConfigPath* config = CConfigPath::GetInstance();
    if (mcc.empty() && boardProduct.empty()) {
        SetFile(config->GetKavrDprConfigPath());
    } else {
        std::string path = CTableFilePath::Build(config->GetRunPath(), boardProduct, mcc, kFileName);
        if (!CTableFilePath::Exists(path)) {
            Log(1, "strCfgFilePath is not exist");
            return true;
        }
        SetFile(path);
        Log(4, "strCfgFilePath:" + path);
    }
    ReadSection();
    Log(4, "ReadDprSarFromINI end");
    return false;
}

bool CDprSarIniWriter::ReadDprSarFromINIByBoardProduct() {
    std::string valueName = "BaseBoardProduct";
    std::string boardProduct;
    CSysHelper helper;
    helper.GetBoardProduct(valueName, boardProduct);
    boardProduct = CAtText::Upper(boardProduct);
    CConfigPath* config = CConfigPath::GetInstance();
    if (boardProduct.empty()) {
        SetFile(config->GetKavrDprConfigPath());
    } else {
        std::string path = CTableFilePath::Build(config->GetRunPath(), boardProduct, "", kFileName);
        if (!CTableFilePath::Exists(path)) {
            return true;
        }
        SetFile(path);
    }
    ReadSection();
    return false;
}

void CDprSarIniWriter::BuildBodySarCmd() { m_tables.BuildBandCmd(m_mapDprIni, m_strCurTable0, m_strCurTable1); }

int CDprSarIniWriter::SetBodySar(bool ready) {
    Log(4, "SetBodySar enter");
    if (!ready) {
        return 0;
    }
    // A value that cannot travel inside a command makes the whole file
    // unreadable: nothing of it is sent.
    if (!m_tables.AreValuesSafe(m_strIniPath, m_strSection, m_mapDprIni)) {
        return 0;
    }
    BuildBodySarCmd();
    if (m_tables.AllEmpty()) {
        Log(1, "###No DPR Value###.");
        return 5;
    }

    CAtCommandSequence sequence;
    auto addBand = [&](const std::string& argument, const char* failLine) {
        if (!argument.empty()) {
            sequence.Add("AT+BODYSAR=" + argument + "\r\n", m_bLogs ? failLine : "");
        }
    };
    sequence.Add("AT+BODYSAREN=1\r\n").Add("AT+BODYSARPROFILE=0\r\n");
    addBand(m_tables.WcdmaArgument(0), "DprTable03GBandCmd set fail!");
    addBand(m_tables.LteArgument(0), "DprTable04GBandCmd set fail!");
    sequence.Add("AT+BODYSARPROFILE=1\r\n");
    addBand(m_tables.WcdmaArgument(1), "DprTable13GBandCmd set fail!");
    addBand(m_tables.LteArgument(1), "DprTable14GBandCmd set fail!");
    int result = sequence.Send();
    if (result != 0) {
        return result;
    }
    Log(4, "SetBodySar end");
    return 0;
}
