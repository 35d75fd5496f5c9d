#include "sar_dpr/CDprSarCfg_Q510.h"

#include "modem/CAtCommandSequence.h"
#include "sar_dpr/CSarBand.h"

CDprSarCfg_Q510::CDprSarCfg_Q510(std::string mcc, std::string boardProduct)
    : m_writer(kSection, SarBandSet::Reduced, false) {
    InitBandTable();
    m_bQueryFailed = QueryBodySarValue();
    m_bIniFailed = ReadDprSarFromINI(mcc, boardProduct);
}

CDprSarCfg_Q510::CDprSarCfg_Q510() : m_writer(kSection, SarBandSet::Reduced, false) {
    InitBandTable();
    m_bQueryFailed = QueryBodySarValue();
    m_bIniFailed = ReadDprSarFromINIByBoardProduct();
}

int CDprSarCfg_Q510::SetBodySar() { return m_writer.SetBodySar(m_bQueryFailed && m_bIniFailed); }

int CDprSarCfg_Q510::SetBodySarEnable(int enable) {
    return CAtCommandSequence::SendOne(enable != 0 ? "AT+BODYSAREN=1\r\n" : "AT+BODYSAREN=0\r\n");
}

void CDprSarCfg_Q510::InitBandTable() { m_writer.InitBandTable(); }

bool CDprSarCfg_Q510::QueryBodySarValue() { return !m_writer.QueryBodySarValue(); }

bool CDprSarCfg_Q510::ReadDprSarFromINI(std::string mcc, std::string boardProduct) {
    return !m_writer.ReadDprSarFromINI(mcc, boardProduct);
}

void CDprSarCfg_Q510::BuildBodySarCmd() { m_writer.BuildBodySarCmd(); }

bool CDprSarCfg_Q510::ReadDprSarFromINIByBoardProduct() { return !m_writer.ReadDprSarFromINIByBoardProduct(); }

void CDprSarCfg_Q510::ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs) {
    CSarBand::ParseQuotedPairList(text, pairs);
}
