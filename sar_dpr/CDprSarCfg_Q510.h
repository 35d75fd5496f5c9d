// The body-SAR INI writer of the older module family: section
// "Q510_DPR_DOUBLE_TABLE_PARAM", the reduced band set, no log lines. Its two
// readings report success rather than failure. Nothing builds one.
#pragma once

#include <map>
#include <string>

#include "sar_dpr/CDprSarIniWriter.h"

class CDprSarCfg_Q510 {
public:
    static constexpr const char* kSection = "Q510_DPR_DOUBLE_TABLE_PARAM";

    CDprSarCfg_Q510(std::string mcc, std::string boardProduct);
    CDprSarCfg_Q510();

    // 0 (also when a reading at construction did not succeed), 5 when there
    // is nothing to send, or the non-zero result of the first failing command.
    int SetBodySar();
    // "AT+BODYSAREN=1" for a non-zero flag, "AT+BODYSAREN=0" for 0.
    int SetBodySarEnable(int enable);
    void InitBandTable();
    // true when the query succeeded.
    bool QueryBodySarValue();
    // true when the table file was found and its section read.
    bool ReadDprSarFromINI(std::string mcc, std::string boardProduct);
    void BuildBodySarCmd();
    bool ReadDprSarFromINIByBoardProduct();

    static void ParseQuotedPairList(const std::string& text, std::map<std::string, std::string>& pairs);

    const CDprSarIniWriter& Writer() const { return m_writer; }
    bool QueryDone() const { return m_bQueryFailed; }
    bool IniRead() const { return m_bIniFailed; }

private:
    CDprSarIniWriter m_writer;
    // Named as in the newer family, but set on success.
    bool m_bQueryFailed = false;
    bool m_bIniFailed = false;
};
