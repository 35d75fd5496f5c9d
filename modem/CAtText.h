// Whether a text taken from a table file may travel inside an AT command.
// A line break would end the command early and let the rest run as a second
// command, a double quote would break a quoted field, and any other control
// character has no place in a command: a file holding such a value (or
// version) is treated as one that cannot be read.
//
// The writers say what of a table file they will not send in two lines, each
// naming the file (log type 1), which kvsim flash turns into warnings:
//   "Table file not used: <file>: <why>"
//   "Table value refused: <file>: <key> "<value>" <why>"
#pragma once

#include <cstddef>
#include <map>
#include <string>

class CAtText {
public:
    // The writers format each command into a 4096-byte buffer.
    static constexpr std::size_t kMaxCommand = 4095;

    static constexpr const char* kFileNotUsed = "Table file not used: ";
    static constexpr const char* kValueRefused = "Table value refused: ";
    // Why a value is refused.
    static constexpr const char* kUnsafe = "cannot travel inside an AT command";
    static constexpr const char* kTooLong = "makes its AT command longer than 4095 characters";
    // Why an XML table file is not used: nothing of it would be sent, so the
    // writer sends nothing at all (no SAR mode is switched off for it).
    static constexpr const char* kNoXmlVer = "its XmlVer cannot be read";
    static constexpr const char* kNoEnable =
        "its version is the modem's and it holds no ModeCfg Enable entries to select a table by";

    // false for a text holding a byte below 0x20, DEL (0x7f) or a double quote.
    static bool IsSafe(const std::string& text);
    // The whole command fits the buffer; a longer one is never cut and sent.
    static bool Fits(const std::string& command) { return command.size() <= kMaxCommand; }
    // IsSafe for every value of the map (keys are never sent).
    static bool AreValuesSafe(const std::map<std::string, std::string>& values);
    // Letters a to z upper-cased, every other byte as it is, whatever the
    // locale: the one upper-casing of the system.
    static std::string Upper(const std::string& text);

    // IsSafe for a value of `file` under `key`; a refused value is logged.
    static bool IsSafe(const std::string& file, const std::string& key, const std::string& value);
    // IsSafe for each value of the map, its key after `where` ("[SECTION] ");
    // stops at the first refused value.
    static bool AreValuesSafe(const std::string& file, const std::string& where,
                              const std::map<std::string, std::string>& values);
    // Fits; a file whose command does not fit is logged as not used.
    static bool Fits(const std::string& file, const std::string& command);
    // IsSafe for the value and Fits for the command that carries it.
    static bool IsSendable(const std::string& file, const std::string& key, const std::string& value,
                           const std::string& command);

    static void LogFileNotUsed(const std::string& file, const std::string& why);
    static void LogValueRefused(const std::string& file, const std::string& key, const std::string& value,
                                const std::string& why);
    // A value as a log line can hold it: a backslash, a double quote and each
    // control byte escaped (\\, \", \r, \n, \t, \xNN), and a long value cut
    // after its first kShownBytes bytes, "..." marking the cut.
    static std::string Printable(const std::string& value);
    static constexpr std::size_t kShownBytes = 60;
};
