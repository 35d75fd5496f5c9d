#include "antenna/CAntMipiXmlCfg.h"

#include <utility>

#include "antenna/CAntBand.h"
#include "antenna/CAntCommand.h"
#include "antenna/CAntXmlWriter.h"
#include "config/CConfigPath.h"
#include "config/CSysHelper.h"
#include "config/CTableFilePath.h"
#include "config/XmlCfgParams.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"
#include "platform/sync.h"

namespace {

std::string FileName(int n) { return "AntmipiConfigTable_Table" + std::to_string(n) + ".xml"; }

std::string TunerCommand(int tuner, const std::string& usid, const std::string& pmTrigger,
                         const std::string& startupTime) {
    return "AT+GTANTTUNERCFG=" + std::to_string(tuner) + "," + usid + "," + pmTrigger + "," + startupTime +
           ",6,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,0,0\r\n";
}

std::string BandCommand(const std::string& argument) { return "AT+GTANTMIPICFG=" + argument + "\r\n"; }

bool SameTuner(const AntMipiTunerParam& a, const AntMipiTunerParam& b) {
    return a.strStartupTime == b.strStartupTime && a.strPayloadRegisterAddress == b.strPayloadRegisterAddress &&
           a.strPmTrigger == b.strPmTrigger && a.strTunerUsid == b.strTunerUsid && a.strTunerId == b.strTunerId;
}

bool IsEmptyTuner(const AntMipiTunerParam& a) { return SameTuner(a, AntMipiTunerParam{}); }

void LogUnreadable(const std::string& what, const std::string& path) {
    CAtText::LogFileNotUsed(path, "its " + what + " cannot be read");
}

std::string TunerKey(int tuner, const char* attribute) {
    return "Antenna_Tuner_Cfg tuner " + std::to_string(tuner) + " " + attribute;
}

}  // namespace

CAntMipiXmlCfg::CAntMipiXmlCfg() { InitBandTable(); }

CAntMipiXmlCfg::~CAntMipiXmlCfg() {}

void CAntMipiXmlCfg::InitBandTable() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    for (int i = 0; i < kBandTables; ++i) {
        m_mapXmlBandValue[i].clear();
        m_mapIndexValue[i].clear();
        m_strMipiBandCmd[i].clear();
    }
    for (int t = 0; t < kTuners; ++t) {
        m_strTunerUsid[t].clear();
        m_strPmTrigger[t].clear();
        m_strStartupTime[t].clear();
    }
    CAntBand::FillIndexList(m_vecBandIndex);
    CAntBand::FillBandIndex(AntBandOrder::Ascending, m_mapBandIndex);
}

DWORD CAntMipiXmlCfg::SetAntCfgXml(std::string mcc, std::string boardProduct, std::string moduleVersion,
                                   bool* changed) {
    if (!SelectXmlFile(mcc, boardProduct)) {
        return 0;
    }
    AntXmlSteps steps;
    steps.masterPath = m_strMipiXmlPath[0];
    steps.ownSlot = CAntXmlWriter::kMipiSlot;
    steps.zeroSlot = CAntXmlWriter::kGpoSlot;
    steps.readAntBasicParam = [this] { return ReadAntBasicParam(); };
    steps.setAntBasicParam = [this] { return SetAntBasicParam(); };
    steps.readAntTables = [this] {
        if (!ReadAntTunerCfg() || !ReadAntTableData()) {
            return false;
        }
        GetAntValue();
        return AreCommandsSendable();
    };
    steps.setAntTables = [this] {
        int result = SetAntTunerCfg();
        return result != 0 ? result : SetAntBandCmd();
    };
    return static_cast<DWORD>(CAntXmlWriter(m_reader, std::move(steps), m_strXmlVer).Run(moduleVersion, changed));
}

bool CAntMipiXmlCfg::SelectXmlFile(const std::string& mcc, const std::string& boardProduct) {
    m_strXmlVer.clear();
    std::string valueName;
    std::string board;
    CSysHelper().GetBoardProduct(valueName, board);
    board = CAtText::Upper(board);
    if (board.empty()) {
        return false;
    }
    const std::string runPath = CConfigPath::GetInstance()->GetRunPath();
    for (int n = 0; n < kFiles; ++n) {
        // With an MCC the manager's board product names the files, without
        // one the registry's.
        m_strMipiXmlPath[n] = mcc.empty() ? CTableFilePath::Build(runPath, board, "", FileName(n))
                                          : CTableFilePath::Build(runPath, boardProduct, mcc, FileName(n));
        if (!CTableFilePath::Exists(m_strMipiXmlPath[n])) {
            return false;
        }
    }
    return true;
}

// The reader reports success whatever it found; a file whose "Param" cannot
// be read leaves all three values empty, which is taken as unreadable (one
// empty value in a readable list still gives 5 when its turn comes).
bool CAntMipiXmlCfg::ReadAntBasicParam() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    AntBasicParam param;
    if (m_reader.GetMipiXmlParam(m_strMipiXmlPath[0], param) == 0) {
        return false;
    }
    m_strAntTuningEnable = param.strAntTuningEnable;
    m_strAntCtrlMode = param.strAntCtrlMode;
    m_strAntTuneMode = param.strAntTuneMode;
    if (m_strAntTuningEnable.empty() && m_strAntCtrlMode.empty() && m_strAntTuneMode.empty()) {
        LogUnreadable("Param", m_strMipiXmlPath[0]);
        return false;
    }
    return CAntCommand::AreBasicParamsSendable(m_strMipiXmlPath[0], CAntCommand::kXmlBasicKeys,
                                               m_strAntTuningEnable, m_strAntCtrlMode, m_strAntTuneMode);
}

// A tuner the reader could not find comes back empty, and one past the last
// tuner element of the file comes back as a repeat of that element: both mean
// the file lacks the tuner.
bool CAntMipiXmlCfg::ReadAntTunerCfg() {
    AntMipiTunerParam previous;
    for (int t = 0; t < kTuners; ++t) {
        m_strTunerUsid[t].clear();
        m_strPmTrigger[t].clear();
        m_strStartupTime[t].clear();
        AntMipiTunerParam param;
        if (m_reader.GetMipiXmlTunerCfg(m_strMipiXmlPath[0], param, t) == 0) {
            return false;
        }
        if (IsEmptyTuner(param) || (t > 0 && SameTuner(param, previous))) {
            LogUnreadable("Antenna_Tuner_Cfg tuner " + std::to_string(t), m_strMipiXmlPath[0]);
            return false;
        }
        m_strTunerUsid[t] = param.strTunerUsid;
        m_strPmTrigger[t] = param.strPmTrigger;
        m_strStartupTime[t] = param.strStartupTime;
        previous = param;
    }
    return true;
}

// Every tuner of every file must give its band items: an empty map is a file,
// tuner or band list the reader could not read, and a zero result a band item
// without a value.
bool CAntMipiXmlCfg::ReadAntTableData() {
    for (int n = 0; n < kFiles; ++n) {
        for (int t = 0; t < kTuners; ++t) {
            std::map<std::string, std::string>& values = m_mapXmlBandValue[kTuners * n + t];
            values.clear();
            const std::string table = "Antenna_Tuner_Data tuner " + std::to_string(t);
            if (m_reader.GetMipiXmlTurnerData(m_strMipiXmlPath[n], values, t) == 0 || values.empty()) {
                LogUnreadable(table, m_strMipiXmlPath[n]);
                return false;
            }
            if (!CAtText::AreValuesSafe(m_strMipiXmlPath[n], table + " ", values)) {
                return false;
            }
        }
    }
    return true;
}

void CAntMipiXmlCfg::GetAntValue() {
    for (int n = 0; n < kFiles; ++n) {
        GetAntTableValue(n);
    }
}

void CAntMipiXmlCfg::GetAntTableValue(int table) {
    for (int t = 0; t < kTuners; ++t) {
        const int i = kTuners * table + t;
        CAntBand::MapToIndex(m_mapBandIndex, m_mapXmlBandValue[i], m_mapIndexValue[i]);
        m_strMipiBandCmd[i] = CAntBand::PairArgument(
            std::to_string(t) + ",0," + std::to_string(table) + ",", m_vecBandIndex, m_mapIndexValue[i]);
    }
}

bool CAntMipiXmlCfg::AreCommandsSendable() const {
    const std::string& master = m_strMipiXmlPath[0];
    for (int t = 0; t < kTuners; ++t) {
        if (!CAtText::IsSafe(master, TunerKey(t, "TunerUsid"), m_strTunerUsid[t]) ||
            !CAtText::IsSafe(master, TunerKey(t, "PmTrigger"), m_strPmTrigger[t]) ||
            !CAtText::IsSafe(master, TunerKey(t, "StartupTime"), m_strStartupTime[t]) ||
            !CAtText::Fits(master, TunerCommand(t, m_strTunerUsid[t], m_strPmTrigger[t], m_strStartupTime[t]))) {
            return false;
        }
    }
    for (int i = 0; i < kBandTables; ++i) {
        if (!CAtText::Fits(m_strMipiXmlPath[i / kTuners], BandCommand(m_strMipiBandCmd[i]))) {
            return false;
        }
    }
    return true;
}

int CAntMipiXmlCfg::SetAntBasicParam() {
    return CAntCommand::SetAntBasicParam(m_strAntTuningEnable, m_strAntCtrlMode, m_strAntTuneMode);
}

int CAntMipiXmlCfg::SetAntTunerCfg() {
    for (int t = 0; t < kTuners; ++t) {
        int result = CAtCommandSequence::SendOne(
            TunerCommand(t, m_strTunerUsid[t], m_strPmTrigger[t], m_strStartupTime[t]));
        if (result != 0) {
            return result;
        }
        Sleep(1000);
    }
    return 0;
}

int CAntMipiXmlCfg::SetAntBandCmd() {
    CAtCommandSequence sequence;
    for (int i = 0; i < kBandTables; ++i) {
        sequence.Add(BandCommand(m_strMipiBandCmd[i]));
    }
    return sequence.Send();
}
