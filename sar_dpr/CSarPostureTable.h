// The body-SAR table the notebook's posture selects, sent by the body-SAR and
// TA-SAR XML writers with "AT+BODYSARON=%s\r\n". A table text that cannot
// select a table (no entry names the posture, or the text cannot travel
// inside a command) is never sent: the skip is logged and the writer goes on
// as it would after the selection.
#pragma once

#include <string>

class CSarPostureTable {
public:
    static std::string Command(const std::string& table);
    // Not empty, safe inside a command, and the command fits.
    static bool IsSendable(const std::string& table);
    // Empties a table text of `file` that cannot be sent, logging its refusal;
    // an empty one (no entry names the posture) stays as it is.
    static void Check(const std::string& file, std::string& table);
    // The command's result; 0 and a log line when the table is not sendable.
    static int Select(const std::string& table);
};
