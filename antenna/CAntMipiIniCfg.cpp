#include "antenna/CAntMipiIniCfg.h"

#include <cstddef>

#include "antenna/CAntBand.h"
#include "antenna/CAntCommand.h"
#include "common/TextHelpers.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "modem/CAtText.h"
#include "platform/sync.h"

namespace {

// This writer's own band numbering: the keys carry no table suffix, each INI
// section being one table. There is no index 18 and none below 8.
struct MipiIniBand {
    const char* key;
    const char* index;
};
constexpr MipiIniBand kBands[] = {
    {"B17", "8"},  {"B13", "9"},  {"B12", "10"}, {"B29", "11"}, {"B18", "12"}, {"B19", "13"}, {"B26", "14"},
    {"B28B", "15"}, {"B20", "16"}, {"B5", "17"},  {"B8", "19"},  {"B11", "20"}, {"B21", "21"}, {"B66", "22"},
    {"B4", "23"},  {"B3", "24"},  {"B2", "25"},  {"B39", "26"}, {"B1", "27"},  {"B30", "28"}, {"B40", "29"},
    {"B7", "30"},  {"B41", "31"}, {"B38", "32"}, {"B28A", "33"},
};

constexpr const char* kLabel = "+GTANTMIPICFG:";

// A signed 32-bit decimal number, digits only after an optional minus.
bool ParseDecimal(const std::string& text, long long& value) {
    return ParseNumber(text, {.blanks = "", .plusSign = false, .wholeText = true, .saturate = false}, value);
}

// The modem's current values of one table, "8,5,33,3" (a final comma allowed),
// as index text to value text in the writer's own decimal form. false when the
// text is not a list of such pairs or names an index twice.
bool ParseCurrentPairs(const std::string& text, std::map<std::string, std::string>& pairs) {
    pairs.clear();
    std::string rest = text;
    if (!rest.empty() && rest.back() == ',') rest.pop_back();
    if (rest.empty()) return true;
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = rest.find(',', start);
        fields.push_back(rest.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < fields.size(); i += 2) {
        long long index = 0;
        long long value = 0;
        if (!ParseDecimal(fields[i], index) || !ParseDecimal(fields[i + 1], value)) return false;
        if (!pairs.emplace(std::to_string(index), std::to_string(value)).second) return false;
    }
    return true;
}

// The values of the next "+GTANTMIPICFG:" line of the reply, which must be the
// line of this tuner and table ("+GTANTMIPICFG:<tuner>,0,<table>," and its
// pairs, blanks already removed) and end in "\r\n". `from` moves past it.
bool CutTableLine(const std::string& reply, std::size_t& from, int tuner, int table, std::string& values) {
    std::size_t label = reply.find(kLabel, from);
    if (label == std::string::npos) return false;
    std::size_t start = label + std::char_traits<char>::length(kLabel);
    std::size_t end = reply.find("\r\n", start);
    if (end == std::string::npos) return false;
    std::string line = reply.substr(start, end - start);
    std::string head = std::to_string(tuner) + ",0," + std::to_string(table);
    if (line.compare(0, head.size(), head) != 0) return false;
    if (line.size() == head.size()) {
        values.clear();
    } else if (line[head.size()] == ',') {
        values = line.substr(head.size() + 1);
    } else {
        return false;
    }
    std::map<std::string, std::string> pairs;
    if (!ParseCurrentPairs(values, pairs)) return false;
    from = end + 2;
    return true;
}

DWORD Send(const std::string& command) { return static_cast<DWORD>(CAtCommandSequence::SendOne(command)); }

}  // namespace

bool CAntMipiIniCfg::ParseBase2(const std::string& text, long long& value) {
    return ParseNumber(text, {.base = 2, .blanks = " \t", .saturate = false}, value);
}

CAntMipiIniCfg::CAntMipiIniCfg(std::string mcc, std::string boardProduct) {
    InitCfg(std::move(mcc), std::move(boardProduct));
}

CAntMipiIniCfg::CAntMipiIniCfg() { InitCfgByBoardProduct(); }

CAntMipiIniCfg::~CAntMipiIniCfg() {}

void CAntMipiIniCfg::InitBandTable() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    m_vecBandIndex.clear();
    for (const MipiIniBand& band : kBands) m_vecBandIndex.push_back(band.index);
    for (int k = 0; k < kTuners; ++k) {
        m_strTunerUsid[k].clear();
        m_strPmTrigger[k].clear();
        m_strStartupTime[k].clear();
        m_mapIniTable0[k].clear();
        m_mapIniTable1[k].clear();
        m_mapTable0Value[k].clear();
        m_mapTable1Value[k].clear();
        m_strTable0Cmd[k].clear();
        m_strTable1Cmd[k].clear();
        m_mapBandIndex[k].clear();
        for (const MipiIniBand& band : kBands) m_mapBandIndex[k].emplace(band.key, band.index);
    }
}

void CAntMipiIniCfg::InitCfg(std::string mcc, std::string boardProduct) {
    InitBandTable();
    m_bIniOk = ReadAntCfgFromINI(std::move(mcc), std::move(boardProduct));
    m_bQueryOk = QueryAntCfgValue();
}

void CAntMipiIniCfg::InitCfgByBoardProduct() {
    InitBandTable();
    m_bIniOk = ReadAntCfgFromINIByBoardProduct();
    m_bQueryOk = QueryAntCfgValue();
}

bool CAntMipiIniCfg::ReadAntCfgFromINI(std::string mcc, std::string boardProduct) {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    CConfigPath* paths = CConfigPath::GetInstance();
    std::string path;
    if (mcc.empty() && boardProduct.empty()) {
        path = paths->GetAntmipiCfgFilePath();
    } else {
        path = CTableFilePath::Build(paths->GetRunPath(), boardProduct, mcc, kFileName);
        if (!CTableFilePath::Exists(path)) return false;
    }
    return ReadIniFile(path);
}

bool CAntMipiIniCfg::ReadAntCfgFromINIByBoardProduct() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    std::string valueName;
    std::string board;
    CSysHelper().GetBoardProduct(valueName, board);
    board = CAtText::Upper(board);
    CConfigPath* paths = CConfigPath::GetInstance();
    std::string path;
    if (board.empty()) {
        path = paths->GetAntmipiCfgFilePath();
    } else {
        path = CTableFilePath::Build(paths->GetRunPath(), board, "", kFileName);
        if (!CTableFilePath::Exists(path)) return false;
    }
    return ReadIniFile(path);
}

// Reads every value the writer may send and refuses the file when one of them
// could not travel in a command: a break, quote or control byte, or a band
// value that is no base-2 number. The first refused value is logged.
bool CAntMipiIniCfg::ReadIniFile(const std::string& path) {
    m_iniFile.SetFileName(path);
    m_iniFile.GetValue("ANT_BASIC_PARAM", "ANT_ENABLE", m_strAntTuningEnable);
    m_iniFile.GetValue("ANT_BASIC_PARAM", "ANT_CTRLMODE", m_strAntCtrlMode);
    m_iniFile.GetValue("ANT_BASIC_PARAM", "ANT_TUNEMODE", m_strAntTuneMode);
    const char* const(&basic)[3] = CAntCommand::kIniBasicKeys;
    bool readable = CAtText::IsSafe(path, basic[0], m_strAntTuningEnable) &&
                    CAtText::IsSafe(path, basic[1], m_strAntCtrlMode) &&
                    CAtText::IsSafe(path, basic[2], m_strAntTuneMode);
    for (int k = 0; k < kTuners; ++k) {
        std::string tuner = std::to_string(k);
        m_strTunerUsid[k].clear();
        m_strPmTrigger[k].clear();
        m_strStartupTime[k].clear();
        m_mapIniTable0[k].clear();
        m_mapIniTable1[k].clear();
        const std::string sections[2] = {"ANT_MIPI_TABLE0_TUNER" + tuner + "_PARAM",
                                         "ANT_MIPI_TABLE1_TUNER" + tuner + "_PARAM"};
        const std::pair<std::string, std::string*> params[] = {{"TUNER_USID_TU" + tuner, &m_strTunerUsid[k]},
                                                               {"PM_TRIGGER_TU" + tuner, &m_strPmTrigger[k]},
                                                               {"START_UP_TIME_TU" + tuner, &m_strStartupTime[k]}};
        for (const auto& [key, value] : params) {
            m_iniFile.GetValue("ANT_MIPI_PARAM", key, *value);
            readable = readable && CAtText::IsSafe(path, "[ANT_MIPI_PARAM] " + key, *value);
        }
        m_iniFile.GetKeyAndValueFromSection(sections[0], m_mapIniTable0[k]);
        m_iniFile.GetKeyAndValueFromSection(sections[1], m_mapIniTable1[k]);
        const Pairs* tables[2] = {&m_mapIniTable0[k], &m_mapIniTable1[k]};
        for (int t = 0; t < 2; ++t) {
            const std::string where = "[" + sections[t] + "] ";
            readable = readable && CAtText::AreValuesSafe(path, where, *tables[t]);
            for (const auto& [key, value] : *tables[t]) {
                long long number = 0;
                if (readable && m_mapBandIndex[k].count(key) && !ParseBase2(value, number)) {
                    CAtText::LogValueRefused(path, where + key, value, "is not a base-2 number");
                    readable = false;
                }
            }
        }
    }
    return readable;
}

bool CAntMipiIniCfg::QueryAntCfgValue() {
    m_dwQueryCheck = 0;
    for (int k = 0; k < kTuners; ++k) {
        std::string reply;
        if (CAtCommandSequence::SendOne("AT+GTANTMIPICFG=" + std::to_string(k) + "\r\n", reply) != 0) {
            return false;
        }
        m_strCurTable0Value[k].clear();
        m_strCurTable1Value[k].clear();
        std::size_t from = 0;
        if (!CutTableLine(reply, from, k, 0, m_strCurTable0Value[k]) ||
            !CutTableLine(reply, from, k, 1, m_strCurTable1Value[k])) {
            m_dwQueryCheck = CAtExecute::kQueryCheckFailed;
            return false;
        }
        Sleep(500);
    }
    return true;
}

// The whole table goes out when the INI holds a pair the modem's table lacks
// or holds with another value; pairs are compared as numbers, never as text.
std::string CAntMipiIniCfg::BuildTableCmd(int tuner, int table, const Pairs& values,
                                          const std::string& current) const {
    Pairs held;
    ParseCurrentPairs(current, held);
    bool different = false;
    for (const auto& [index, value] : values) {
        auto found = held.find(index);
        if (found == held.end() || found->second != value) different = true;
    }
    if (!different) return std::string();
    return CAntBand::PairArgument(std::to_string(tuner) + ",0," + std::to_string(table) + ",", m_vecBandIndex,
                                  values);
}

void CAntMipiIniCfg::GetAntValue() {
    for (int k = 0; k < kTuners; ++k) {
        m_mapTable0Value[k].clear();
        m_mapTable1Value[k].clear();
        for (const auto& [key, index] : m_mapBandIndex[k]) {
            long long number = 0;
            auto in0 = m_mapIniTable0[k].find(key);
            if (in0 != m_mapIniTable0[k].end() && ParseBase2(in0->second, number))
                m_mapTable0Value[k][index] = std::to_string(number);
            auto in1 = m_mapIniTable1[k].find(key);
            if (in1 != m_mapIniTable1[k].end() && ParseBase2(in1->second, number))
                m_mapTable1Value[k][index] = std::to_string(number);
        }
        m_strTable0Cmd[k] = BuildTableCmd(k, 0, m_mapTable0Value[k], m_strCurTable0Value[k]);
        m_strTable1Cmd[k] = BuildTableCmd(k, 1, m_mapTable1Value[k], m_strCurTable1Value[k]);
    }
}

DWORD CAntMipiIniCfg::SetAntTunerCfg() {
    for (int k = 0; k < kTuners; ++k) {
        std::string command = "AT+GTANTTUNERCFG=" + std::to_string(k) + "," + m_strTunerUsid[k] + "," +
                              m_strPmTrigger[k] + ",4,28," + m_strStartupTime[k] + ",,,,,,,4,,63,63,63\r\n";
        DWORD result = Send(command);
        if (result != 0) return result;
        Sleep(1000);
    }
    return 0;
}

// Each tuner's tables are decided on their own; 5 only when no table of any
// tuner needed sending.
DWORD CAntMipiIniCfg::SetAntBandCmd() {
    bool sent = false;
    for (int k = 0; k < kTuners; ++k) {
        for (const std::string* command : {&m_strTable0Cmd[k], &m_strTable1Cmd[k]}) {
            if (command->empty()) continue;
            sent = true;
            DWORD result = Send("AT+GTANTMIPICFG = " + *command + "\r\n");
            if (result != 0) return result;
        }
    }
    return sent ? 0 : CAntCommand::kNothingToSend;
}

DWORD CAntMipiIniCfg::SetAntCfg() {
    if (!m_bIniOk) return 0;
    if (!m_bQueryOk) return m_dwQueryCheck;
    GetAntValue();
    DWORD result = static_cast<DWORD>(CAntCommand::SetAntBasicParam(m_strAntTuningEnable, m_strAntCtrlMode,
                                                                    m_strAntTuneMode, AntCommandForm::Spaced));
    if (result == 0) result = SetAntTunerCfg();
    if (result == 0) result = SetAntBandCmd();
    return result;
}
