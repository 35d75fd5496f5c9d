#include "antenna/CAntGpoIniCfg.h"

#include <iterator>
#include <string>
#include <utility>

#include "antenna/CAntBand.h"
#include "antenna/CAntCommand.h"
#include "common/CLog.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"

namespace {

constexpr const char* kBasicSection = "ANT_BASIC_PARAM";
constexpr const char* kTable0Section = "ANT_GPO_TABLE0_PARAM";
constexpr const char* kTable1Section = "ANT_GPO_TABLE1_PARAM";
constexpr const char* kLineEnd = "\r\n";
// The table number follows "+GTANTGPOCFG:".
constexpr std::size_t kTableNumberOffset = std::char_traits<char>::length("+GTANTGPOCFG:");

void Log(int type, const std::string& message) { CLog::GetInstance()->WriteLog(type, message); }

// The reply from the marker's table number on, when the marker is there.
void CutAtMarker(std::string& reply, const char* marker) {
    std::size_t at = reply.find(marker);
    if (at != std::string::npos) {
        reply.erase(0, at + kTableNumberOffset);
    }
}

void TakeLine(const std::string& reply, std::string& line) {
    std::size_t end = reply.find(kLineEnd);
    if (end != std::string::npos) {
        line = reply.substr(0, end);
    }
}

// Every value a table command would carry (those of the band keys) may
// travel inside it; the first that may not is logged as refused.
bool AreBandValuesSafe(const std::string& file, const char* sectionName,
                       const std::map<std::string, std::string>& bandIndex,
                       const std::map<std::string, std::string>& section) {
    for (const auto& [key, value] : section) {
        if (bandIndex.count(key) != 0 && !CAtText::IsSafe(file, std::string("[") + sectionName + "] " + key, value)) {
            return false;
        }
    }
    return true;
}

}  // namespace

CAntGpoIniCfg::CAntGpoIniCfg(std::string mcc, std::string boardProduct) { InitCfg(mcc, boardProduct); }

CAntGpoIniCfg::CAntGpoIniCfg() { InitCfgByBoardProduct(); }

CAntGpoIniCfg::~CAntGpoIniCfg() {}

void CAntGpoIniCfg::InitTables(std::size_t bands) {
    m_mapTable0Ini.clear();
    m_mapTable1Ini.clear();
    m_mapTable0Value.clear();
    m_mapTable1Value.clear();
    m_strANT_GPO_TABLE0BandCmd.clear();
    m_strANT_GPO_TABLE1BandCmd.clear();
    m_strAntGPO_AT_ANT_ENABLECmd.clear();
    m_strAntGPO_AT_ANT_CTRLMODECmd.clear();
    m_strAntGPO_AT_AT_ANT_TUNEMODECmd.clear();
    CAntBand::FillIndexList(m_vecTable0Index, 2 * bands);
    CAntBand::FillIndexList(m_vecTable1Index, 2 * bands);
    CAntBand::FillBandIndex(AntBandOrder::Ini, m_mapBandIndex, bands);
}

void CAntGpoIniCfg::InitCfg(const std::string& mcc, const std::string& boardProduct) {
    InitTables(CAntBand::kBands);
    m_bIniFailed = ReadAntCfgFromINI(mcc, boardProduct);
    // The modem is asked even without a file.
    m_bQueryFailed = QueryAntCfgValue();
}

void CAntGpoIniCfg::InitCfgByBoardProduct() {
    InitTables(CAntBand::kBoardProductBands);
    m_bIniFailed = ReadAntCfgFromINIByBoardProduct();
    m_bQueryFailed = QueryAntCfgValue();
}

bool CAntGpoIniCfg::ReadAntCfgFromINI(const std::string& mcc, const std::string& boardProduct) {
    m_mapTable0Ini.clear();
    m_mapTable1Ini.clear();
    m_strAntGPO_AT_ANT_ENABLECmd.clear();
    m_strAntGPO_AT_ANT_CTRLMODECmd.clear();
    m_strAntGPO_AT_AT_ANT_TUNEMODECmd.clear();

    CConfigPath* paths = CConfigPath::GetInstance();
    std::string path;
    if (mcc.empty() && boardProduct.empty()) {
        path = paths->GetAntCfgFilePath();
    } else {
        path = CTableFilePath::Build(paths->GetRunPath(), boardProduct, mcc, kFileName);
        if (!CTableFilePath::Exists(path)) {
            return true;
        }
    }
    return ReadSections(path, true);
}

bool CAntGpoIniCfg::ReadAntCfgFromINIByBoardProduct() {
    m_mapTable0Ini.clear();
    m_mapTable1Ini.clear();
    m_strAntGPO_AT_ANT_ENABLECmd.clear();
    m_strAntGPO_AT_ANT_CTRLMODECmd.clear();
    m_strAntGPO_AT_AT_ANT_TUNEMODECmd.clear();

    std::string valueName;
    std::string boardProduct;
    CSysHelper().GetBoardProduct(valueName, boardProduct);
    boardProduct = CAtText::Upper(boardProduct);

    CConfigPath* paths = CConfigPath::GetInstance();
    std::string path;
    if (boardProduct.empty()) {
        path = paths->GetAntCfgFilePath();
    } else {
        path = CTableFilePath::Build(paths->GetRunPath(), boardProduct, "", kFileName);
        if (!CTableFilePath::Exists(path)) {
            return true;
        }
    }
    return ReadSections(path, false);
}

bool CAntGpoIniCfg::ReadSections(const std::string& path, bool logValues) {
    m_iniFile.SetFileName(path);
    m_iniFile.GetKeyAndValueFromSection(kTable0Section, m_mapTable0Ini);
    m_iniFile.GetKeyAndValueFromSection(kTable1Section, m_mapTable1Ini);

    const std::pair<const char*, std::string*> basics[] = {
        {"ANT_ENABLE", &m_strAntGPO_AT_ANT_ENABLECmd},
        {"ANT_CTRLMODE", &m_strAntGPO_AT_ANT_CTRLMODECmd},
        {"ANT_TUNEMODE", &m_strAntGPO_AT_AT_ANT_TUNEMODECmd},
    };
    const char* const names[] = {"m_strAntGPO_AT_ANT_ENABLECmd", "m_strAntGPO_AT_ANT_CTRLMODECmd",
                                 "m_strAntGPO_AT_AT_ANT_TUNEMODECmd"};
    for (std::size_t i = 0; i < std::size(basics); ++i) {
        m_iniFile.GetValue(kBasicSection, basics[i].first, *basics[i].second);
        if (logValues) {
            Log(4, names[i]);
            Log(4, *basics[i].second);
        }
    }

    if (!CAntCommand::AreBasicParamsSendable(path, CAntCommand::kIniBasicKeys, m_strAntGPO_AT_ANT_ENABLECmd,
                                             m_strAntGPO_AT_ANT_CTRLMODECmd, m_strAntGPO_AT_AT_ANT_TUNEMODECmd) ||
        !AreBandValuesSafe(path, kTable0Section, m_mapBandIndex, m_mapTable0Ini) ||
        !AreBandValuesSafe(path, kTable1Section, m_mapBandIndex, m_mapTable1Ini)) {
        return true;
    }
    return false;
}

bool CAntGpoIniCfg::QueryAntCfgValue() {
    Log(4, "QueryAntCfgValue enter");
    std::string reply;
    if (CAtCommandSequence::SendOne("AT+GTANTGPOCFG?\r\n", reply) != 0) {
        return true;
    }
    CutAtMarker(reply, kTable0Marker);
    TakeLine(reply, m_strCurTable0);
    CutAtMarker(reply, kTable1Marker);
    TakeLine(reply, m_strCurTable1);
    Log(4, "QueryAntCfgValue end");
    return false;
}

void CAntGpoIniCfg::GetAntValue() {
    CAntBand::MapToIndex(m_mapBandIndex, m_mapTable0Ini, m_mapTable0Value);
    CAntBand::MapToIndex(m_mapBandIndex, m_mapTable1Ini, m_mapTable1Value);

    // A table the modem already holds, or one without values, is not sent.
    m_strANT_GPO_TABLE0BandCmd = CAntBand::PairArgument("0,", m_vecTable0Index, m_mapTable0Value);
    if (m_strANT_GPO_TABLE0BandCmd == m_strCurTable0 || m_strANT_GPO_TABLE0BandCmd == "0,") {
        m_strANT_GPO_TABLE0BandCmd.clear();
    }
    m_strANT_GPO_TABLE1BandCmd = CAntBand::PairArgument("1,", m_vecTable1Index, m_mapTable1Value);
    if (m_strANT_GPO_TABLE1BandCmd == m_strCurTable1 || m_strANT_GPO_TABLE1BandCmd == "1,") {
        m_strANT_GPO_TABLE1BandCmd.clear();
    }
    Log(4, "GetAntValue end");
}

int CAntGpoIniCfg::SetAntCfg() {
    Log(4, "SetAntCfg enter");
    if (m_bQueryFailed || m_bIniFailed) {
        return 0;
    }
    GetAntValue();
    int result = CAntCommand::SetAntBasicParam(m_strAntGPO_AT_ANT_ENABLECmd, m_strAntGPO_AT_ANT_CTRLMODECmd,
                                               m_strAntGPO_AT_AT_ANT_TUNEMODECmd);
    if (result != 0) {
        return result;
    }
    result = SetAntBandCmd();
    Log(4, "SetAntCfg end");
    return result;
}

int CAntGpoIniCfg::SetAntBandCmd() {
    Log(4, "SetAntBandCmd enter");
    if (m_strANT_GPO_TABLE0BandCmd.empty() && m_strANT_GPO_TABLE1BandCmd.empty()) {
        Log(1, "###No Ant Band Value###");
        return CAntCommand::kNothingToSend;
    }
    CAtCommandSequence sequence;
    if (!m_strANT_GPO_TABLE0BandCmd.empty()) {
        sequence.Add("AT+GTANTGPOCFG=" + m_strANT_GPO_TABLE0BandCmd + "\r\n", "m_strANT_GPO_TABLE0BandCmd set fail!");
    }
    if (!m_strANT_GPO_TABLE1BandCmd.empty()) {
        sequence.Add("AT+GTANTGPOCFG=" + m_strANT_GPO_TABLE1BandCmd + "\r\n", "m_strANT_GPO_TABLE1BandCmd set fail!");
    }
    int result = sequence.Send();
    if (result != 0) {
        return result;
    }
    Log(4, "SetAntBandCmd end");
    return 0;
}

void CAntGpoIniCfg::ParseQuotedPairList(std::string text, std::map<std::string, std::string>& pairs) {
    pairs.clear();
    if (text.find(',') == std::string::npos) {
        return;
    }
    for (;;) {
        std::size_t comma = text.find(',');
        if (comma == std::string::npos) {
            return;
        }
        text.erase(0, comma + 1);
        comma = text.find(',');
        if (comma == std::string::npos) {
            return;
        }
        std::string key = text.substr(0, comma);
        std::size_t open = text.find('"');
        if (open == std::string::npos) {
            return;
        }
        text.erase(0, open + 1);
        std::size_t close = text.find('"');
        if (close == std::string::npos) {
            return;
        }
        std::string value = text.substr(0, close);
        if (!key.empty() && !value.empty()) {
            pairs.emplace(value, key);
        }
    }
}
