#include "antenna/CAntGpoXmlCfg.h"

#include <utility>

#include "antenna/CAntBand.h"
#include "antenna/CAntCommand.h"
#include "antenna/CAntXmlWriter.h"
#include "config/CConfigPath.h"
#include "config/CTableFilePath.h"
#include "config/XmlCfgParams.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"

namespace {

std::string BandCommand(const std::string& argument) { return "AT+GTANTGPOCFG=" + argument + "\r\n"; }

}  // namespace

CAntGpoXmlCfg::CAntGpoXmlCfg() { InitBandTable(); }

CAntGpoXmlCfg::~CAntGpoXmlCfg() {}

void CAntGpoXmlCfg::InitBandTable() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    for (int n = 0; n < kTables; ++n) {
        m_mapXmlBandValue[n].clear();
        m_mapIndexValue[n].clear();
        m_strGpoBandCmd[n].clear();
    }
    CAntBand::FillIndexList(m_vecBandIndex);
    CAntBand::FillBandIndex(AntBandOrder::Ascending, m_mapBandIndex);
}

int CAntGpoXmlCfg::SetAntCfgXml(std::string mcc, std::string boardProduct, std::string moduleVersion,
                                bool* changed) {
    if (!SelectXmlFile(mcc, boardProduct)) {
        return 0;
    }
    AntXmlSteps steps;
    steps.masterPath = m_strXmlPath;
    steps.ownSlot = CAntXmlWriter::kGpoSlot;
    steps.zeroSlot = CAntXmlWriter::kMipiSlot;
    steps.readAntBasicParam = [this] { return ReadAntBasicParam(); };
    steps.setAntBasicParam = [this] { return SetAntBasicParam(); };
    steps.readAntTables = [this] {
        if (!ReadAntTableData()) {
            return false;
        }
        GetAntValue();
        return AreBandCmdsSendable();
    };
    steps.setAntTables = [this] { return SetAntBandCmd(); };
    return CAntXmlWriter(m_reader, std::move(steps), m_strXmlVer).Run(moduleVersion, changed);
}

bool CAntGpoXmlCfg::SelectXmlFile(const std::string& mcc, const std::string& boardProduct) {
    m_strXmlPath.clear();
    if (mcc.empty() && boardProduct.empty()) {
        return false;
    }
    std::string path = CTableFilePath::Build(CConfigPath::GetInstance()->GetRunPath(), boardProduct, mcc, kFileName);
    if (!CTableFilePath::Exists(path)) {
        return false;
    }
    m_strXmlPath = path;
    return true;
}

bool CAntGpoXmlCfg::ReadAntBasicParam() {
    m_strAntTuningEnable.clear();
    m_strAntCtrlMode.clear();
    m_strAntTuneMode.clear();
    AntBasicParam param;
    if (m_reader.GetAntGpoXmlParam(m_strXmlPath, param) == 0) {
        return false;
    }
    m_strAntTuningEnable = param.strAntTuningEnable;
    m_strAntCtrlMode = param.strAntCtrlMode;
    m_strAntTuneMode = param.strAntTuneMode;
    return CAntCommand::AreBasicParamsSendable(m_strXmlPath, CAntCommand::kXmlBasicKeys, m_strAntTuningEnable,
                                               m_strAntCtrlMode, m_strAntTuneMode);
}

bool CAntGpoXmlCfg::ReadAntTableData() {
    for (int n = 0; n < kTables; ++n) {
        if (m_reader.GetAntGpoXmlTableData(m_strXmlPath, m_mapXmlBandValue[n], n) == 0) {
            return false;
        }
    }
    return true;
}

void CAntGpoXmlCfg::GetAntValue() {
    for (int n = 0; n < kTables; ++n) {
        CAntBand::MapToIndex(m_mapBandIndex, m_mapXmlBandValue[n], m_mapIndexValue[n]);
        m_strGpoBandCmd[n] = CAntBand::PairArgument(std::to_string(n) + ",", m_vecBandIndex, m_mapIndexValue[n]);
    }
}

bool CAntGpoXmlCfg::AreBandCmdsSendable() const {
    for (int n = 0; n < kTables; ++n) {
        if (!CAtText::AreValuesSafe(m_strXmlPath, "table " + std::to_string(n) + " index ", m_mapIndexValue[n]) ||
            !CAtText::Fits(m_strXmlPath, BandCommand(m_strGpoBandCmd[n]))) {
            return false;
        }
    }
    return true;
}

int CAntGpoXmlCfg::SetAntBasicParam() {
    return CAntCommand::SetAntBasicParam(m_strAntTuningEnable, m_strAntCtrlMode, m_strAntTuneMode);
}

int CAntGpoXmlCfg::SetAntBandCmd() {
    CAtCommandSequence sequence;
    for (int n = 0; n < kTables; ++n) {
        sequence.Add(BandCommand(m_strGpoBandCmd[n]));
    }
    return sequence.Send();
}
