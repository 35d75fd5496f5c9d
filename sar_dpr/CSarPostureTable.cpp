#include "sar_dpr/CSarPostureTable.h"

#include "common/CLog.h"
#include "modem/CAtCommandSequence.h"
#include "modem/CAtText.h"

std::string CSarPostureTable::Command(const std::string& table) { return "AT+BODYSARON=" + table + "\r\n"; }

bool CSarPostureTable::IsSendable(const std::string& table) {
    return !table.empty() && CAtText::IsSafe(table) && CAtText::Fits(Command(table));
}

void CSarPostureTable::Check(const std::string& file, std::string& table) {
    if (!table.empty() && !CAtText::IsSendable(file, "ModeCfg Enable Table", table, Command(table))) {
        table.clear();
    }
}

int CSarPostureTable::Select(const std::string& table) {
    if (!IsSendable(table)) {
        CLog::GetInstance()->WriteLog(4, "No table for the device mode, BODYSARON not sent.");
        return 0;
    }
    return CAtCommandSequence::SendOne(Command(table));
}
