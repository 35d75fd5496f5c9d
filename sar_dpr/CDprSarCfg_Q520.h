// Writes the modem's two body-SAR ("DPR") tables, profiles 0 and 1, from the
// INI table file "SAR_DPR_PV.ini", section "Q520_DPR_DOUBLE_TABLE_PARAM".
// Construction does all the reading: it asks the modem for its two tables
// (which also switches body SAR on) and reads the section; SetBodySar sends
// what the modem does not already hold.
#pragma once

#include <map>
#include <string>

#include "sar_dpr/CDprSarIniWriter.h"

class CDprSarCfg_Q520 {
public:
    static constexpr const char* kSection = "Q520_DPR_DOUBLE_TABLE_PARAM";

    CDprSarCfg_Q520(std::string mcc, std::string boardProduct);
    // Takes the board product from the registry; nothing here uses it.
    CDprSarCfg_Q520();

    // 0 (also when the readings at construction failed), 5 when there is
    // nothing to send, or the non-zero result of the first failing command.
    int SetBodySar();
    void InitBandTable();
    // true when the query failed.
    bool QueryBodySarValue();
    // true when the table file is missing.
    bool ReadDprSarFromINI(std::string mcc, std::string boardProduct);
    void BuildBodySarCmd();
    bool ReadDprSarFromINIByBoardProduct();

    static void ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs);

    const CDprSarIniWriter& Writer() const { return m_writer; }
    bool QueryFailed() const { return m_bQueryFailed; }
    bool IniFailed() const { return m_bIniFailed; }

private:
    CDprSarIniWriter m_writer;
    bool m_bQueryFailed = false;
    bool m_bIniFailed = false;
};
