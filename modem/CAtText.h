// Whether a text taken from a table file may travel inside an AT command.
// A line break would end the command early and let the rest run as a second
// command, a double quote would break a quoted field, and any other control
// character has no place in a command: a file holding such a value (or
// version) is treated as one that cannot be read.
#pragma once

#include <cstddef>
#include <map>
#include <string>

class CAtText {
public:
    // The writers format each command into a 4096-byte buffer.
    static constexpr std::size_t kMaxCommand = 4095;

    // false for a text holding a byte below 0x20, DEL (0x7f) or a double quote.
    static bool IsSafe(const std::string& text);
    // The whole command fits the buffer; a longer one is never cut and sent.
    static bool Fits(const std::string& command) { return command.size() <= kMaxCommand; }
    // IsSafe for every value of the map (keys are never sent).
    static bool AreValuesSafe(const std::map<std::string, std::string>& values);
    // Letters a to z upper-cased, every other byte as it is, whatever the
    // locale: the one upper-casing of the system.
    static std::string Upper(const std::string& text);
};
