#include "sar_tas/CTasSarCfg_Q520.h"

#include "common/CLog.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"
#include "sar_dpr/CSarBand.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

int Send(const std::string& command, std::string& reply) { return CAtCommandSequence::SendOne(command, reply); }
int Send(const std::string& command) { return CAtCommandSequence::SendOne(command); }

const char* const kParamKeys[] = {"DPR_OFF_OFFSET", "DPR_ON_OFFSET", "TAS_CHECK_PERIOD", "TAS_ROLL_PERIOD"};

}  // namespace

CTasSarCfg_Q520::CTasSarCfg_Q520(std::string mcc, std::string boardProduct) {
    InitBandTable();
    m_bQueryFailed = QueryTasSarValue();
    m_bIniFailed = ReadTasCfgFromINI(mcc, boardProduct);
    m_bIniFailed = ReadTasSarFromINI(mcc, boardProduct);
    // A value that cannot travel inside a command spoils the whole file.
    if (!m_bIniFailed && !IsSendable()) {
        m_bIniFailed = true;
    }
}

CTasSarCfg_Q520::CTasSarCfg_Q520() {
    InitBandTable();
    m_bQueryFailed = QueryTasSarValue();
    m_bIniFailed = ReadTasCfgFromINIByBoardProduct();
    m_bIniFailed = ReadTasSarFromINIByBoardProduct();
    if (!m_bIniFailed && !IsSendable()) {
        m_bIniFailed = true;
    }
}

CTasSarCfg_Q520::~CTasSarCfg_Q520() = default;

void CTasSarCfg_Q520::InitBandTable() { m_tables.InitBandTable(); }

bool CTasSarCfg_Q520::QueryTasSarValue() {
    Log(4, "QueryTasSarValue enter");
    m_strCurTable0.clear();
    m_strCurTable1.clear();
    if (Send("AT+GTTASEN=1\r\n") != 0) {
        Log(1, "QueryTasSarValue-BODYSAREN fail");
        return true;
    }
    if (Send("AT+GTTASPROFILE=0\r\n") == 0 && Send("AT+GTTAS?\r\n", m_strCurTable0) != 0) {
        Log(1, "QueryTasSarValue-AT_BODYSAR_QR_CMD-table0 fail");
        return true;
    }
    if (Send("AT+GTTASPROFILE=1\r\n") == 0 && Send("AT+GTTAS?\r\n", m_strCurTable1) != 0) {
        Log(1, "QueryTasSarValue-AT_GTTAS_QR_CMD-table1 fail");
        return true;
    }
    if (Send("AT+GTTASCFG?\r\n") != 0) {
        Log(1, "QueryTasSarValue - AT_GTTASCFG_QR_CMD fail");
        return true;
    }
    Log(4, "QueryTasSarValue enter");
    return false;
}

bool CTasSarCfg_Q520::SelectFile(const std::string& mcc, const std::string& boardProduct) {
    CConfigPath* paths = CConfigPath::GetInstance();
    std::string path;
    if (mcc.empty() && boardProduct.empty()) {
        path = paths->GetKavrTasConfigPath();
    } else {
        path = CTableFilePath::Build(paths->GetRunPath(), boardProduct, mcc, kFileName);
        if (!CTableFilePath::Exists(path)) {
            return false;
        }
    }
    m_strIniPath = path;
    m_iniFile.SetFileName(path);
    return true;
}

bool CTasSarCfg_Q520::SelectFileByBoardProduct() {
    std::string valueName = "BaseBoardProduct";
    std::string boardProduct;
    CSysHelper sys;
    sys.GetBoardProduct(valueName, boardProduct);
    return SelectFile(std::string(), CAtText::Upper(boardProduct));
}

void CTasSarCfg_Q520::ReadTasCfg() {
    // The parameters go as one command or not at all: a missing one would leave
    // an empty field for the modem to take.
    m_strTasConfigCmd.clear();
    std::string joined;
    for (const char* key : kParamKeys) {
        std::string value;
        m_iniFile.GetValue(kSection, key, value);
        if (value.empty()) {
            return;
        }
        joined += joined.empty() ? value : "," + value;
    }
    m_strTasConfigCmd = joined;
}

bool CTasSarCfg_Q520::ReadTasCfgFromINI(std::string mcc, std::string boardProduct) {
    if (!SelectFile(mcc, boardProduct)) {
        return true;
    }
    ReadTasCfg();
    Log(4, "m_strTasConfigCmd:");
    Log(4, m_strTasConfigCmd);
    return false;
}

bool CTasSarCfg_Q520::ReadTasSarFromINI(std::string mcc, std::string boardProduct) {
    if (!SelectFile(mcc, boardProduct)) {
        return true;
    }
    m_mapTasIni.clear();
    m_iniFile.GetKeyAndValueFromSection(kSection, m_mapTasIni);
    return false;
}

bool CTasSarCfg_Q520::ReadTasCfgFromINIByBoardProduct() {
    if (!SelectFileByBoardProduct()) {
        return true;
    }
    ReadTasCfg();
    return false;
}

bool CTasSarCfg_Q520::ReadTasSarFromINIByBoardProduct() {
    if (!SelectFileByBoardProduct()) {
        return true;
    }
    m_mapTasIni.clear();
    m_iniFile.GetKeyAndValueFromSection(kSection, m_mapTasIni);
    return false;
}

bool CTasSarCfg_Q520::IsSendable() {
    if (!m_tables.AreValuesSafe(m_strIniPath, kSection, m_mapTasIni)) {
        return false;
    }
    // The parameters count only when they go out, all four together.
    if (m_strTasConfigCmd.empty()) {
        return true;
    }
    for (const char* key : kParamKeys) {
        std::string value;
        m_iniFile.GetValue(kSection, key, value);
        if (!CAtText::IsSafe(m_strIniPath, std::string("[") + kSection + "] " + key, value)) {
            return false;
        }
    }
    return true;
}

void CTasSarCfg_Q520::BuildTasSarCmd() { m_tables.BuildBandCmd(m_mapTasIni, m_strCurTable0, m_strCurTable1); }

void CTasSarCfg_Q520::ParseQuotedPairList(std::string text, std::map<std::string, std::string>& pairs) {
    CSarBand::ParseQuotedPairList(text, pairs);
}

int CTasSarCfg_Q520::SetTasSar() {
    Log(4, "SetTasSar enter");
    if (m_bQueryFailed || m_bIniFailed) {
        return 0;
    }
    BuildTasSarCmd();
    if (m_tables.AllEmpty() && m_strTasConfigCmd.empty()) {
        Log(1, "###No Tas Value###.");
        return 5;
    }

    // Both profile selections go out even when their table has nothing to send.
    CAtCommandSequence sequence;
    sequence.Add("AT+GTTASEN=1\r\n");
    for (int t = 0; t < CSarIniTables::kTables; ++t) {
        sequence.Add("AT+GTTASPROFILE=" + std::to_string(t) + "\r\n");
        const std::string table = "TasTable" + std::to_string(t);
        if (!m_tables.WcdmaArgument(t).empty()) {
            sequence.Add("AT+GTTAS=" + m_tables.WcdmaArgument(t) + "\r\n", table + "3GBandCmd set fail!");
        }
        if (!m_tables.LteArgument(t).empty()) {
            sequence.Add("AT+GTTAS=" + m_tables.LteArgument(t) + "\r\n", table + "4GBandCmd set fail!");
        }
    }
    if (!m_strTasConfigCmd.empty()) {
        sequence.Add("AT+GTTASCFG=" + m_strTasConfigCmd + "\r\n");
    }
    for (std::size_t i = 0; i < sequence.Size(); ++i) {
        if (!CAtText::Fits(m_strIniPath, sequence.Command(i))) {
            return 0;
        }
    }
    int result = sequence.Send();
    if (result == 0 && !m_strTasConfigCmd.empty()) {
        Log(4, "SetTasSar enter");
    }
    return result;
}
