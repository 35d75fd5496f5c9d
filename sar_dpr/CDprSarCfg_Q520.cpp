#include "sar_dpr/CDprSarCfg_Q520.h"

#include "sar_dpr/CSarBand.h"

CDprSarCfg_Q520::CDprSarCfg_Q520(std::string mcc, std::string boardProduct)
    : m_writer(kSection, SarBandSet::Full, true) {
    InitBandTable();
    m_bQueryFailed = QueryBodySarValue();
    m_bIniFailed = ReadDprSarFromINI(mcc, boardProduct);
}

CDprSarCfg_Q520::CDprSarCfg_Q520() : m_writer(kSection, SarBandSet::Full, true) {
    InitBandTable();
    m_bQueryFailed = QueryBodySarValue();
    m_bIniFailed = ReadDprSarFromINIByBoardProduct();
}

int CDprSarCfg_Q520::SetBodySar() { return m_writer.SetBodySar(!m_bQueryFailed && !m_bIniFailed); }

void CDprSarCfg_Q520::InitBandTable() { m_writer.InitBandTable(); }

bool CDprSarCfg_Q520::QueryBodySarValue() { return m_writer.QueryBodySarValue(); }

bool CDprSarCfg_Q520::ReadDprSarFromINI(std::string mcc, std::string boardProduct) {
    return m_writer.ReadDprSarFromINI(mcc, boardProduct);
}

void CDprSarCfg_Q520::BuildBodySarCmd() { m_writer.BuildBodySarCmd(); }

bool CDprSarCfg_Q520::ReadDprSarFromINIByBoardProduct() { return m_writer.ReadDprSarFromINIByBoardProduct(); }

void CDprSarCfg_Q520::ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs) {
    CSarBand::ParseQuotedPairList(text, pairs);
}
