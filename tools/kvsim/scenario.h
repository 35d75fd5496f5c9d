// The scenario file: outside events at virtual times, one per line.
//
//   # comment
//   2s     set      HKLM\SYSTEM\CurrentControlSet\Services\KAVRION\KVControl  DeviceMode  dword 2
//   10s    control  stop
//
// A time is "<n>s", "<n.fff>s" or "<n>ms". Tokens are separated by blanks; a token with blanks
// goes between double quotes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/kvsim/input_error.h"

namespace kvsim {

// The latest time an event may have: 4,294,967 s (49.7 days), the longest wait of a 32-bit time-out.
// The service wakes every 5 s, so a scenario this long takes some 20 s to run.
constexpr std::int64_t kLatestEventMs = 4294967000LL;

struct ScenarioEvent {
    enum class Kind { SetValue, Control, Register };

    int line = 0;
    std::int64_t timeMs = 0;
    Kind kind = Kind::SetValue;

    // SetValue: a registry value written by a component outside the system.
    std::string keyPath;  // below HKEY_LOCAL_MACHINE
    std::string valueName;
    DWORD valueType = 0;  // REG_DWORD or REG_SZ
    DWORD dwordValue = 0;
    std::string textValue;

    // Control: a service control sent to the service.
    DWORD control = 0;
    std::string controlName;

    // Register: the modem's first interface registers on this provider (MCC and MNC).
    std::string providerId;

    // How the event reads in the transcript.
    std::string Describe() const;
};

struct Scenario {
    std::vector<ScenarioEvent> events;  // in the file's order
};

// Splits a line into blank-separated tokens, a token with blanks between double quotes, up to a
// '#'; false with `problem` set on an unclosed quote.
bool Tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& problem);
// One digit or more, and nothing else.
bool AllDigits(const std::string& text);

// Parses the scenario text; `fileName` names the file in error messages.
std::optional<Scenario> ParseScenario(const std::string& text, const std::string& fileName, InputError& error);

}  // namespace kvsim
