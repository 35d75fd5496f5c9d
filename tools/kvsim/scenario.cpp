#include "tools/kvsim/scenario.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "platform/registry.h"
#include "platform/service.h"

namespace kvsim {

namespace {

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

bool AllDigits(const std::string& text) {
    if (text.empty()) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool Tokenize(const std::string& line, std::vector<std::string>& tokens, std::string& problem) {
    std::size_t i = 0;
    while (i < line.size()) {
        unsigned char c = static_cast<unsigned char>(line[i]);
        if (std::isspace(c)) {
            ++i;
            continue;
        }
        if (c == '#') break;
        if (c == '"') {
            std::size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                problem = "a double quote is not closed";
                return false;
            }
            tokens.push_back(line.substr(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        std::size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
        tokens.push_back(line.substr(i, end - i));
        i = end;
    }
    return true;
}

namespace {

enum class TimeParse { Ok, Malformed, TooLate };

TimeParse ParseTime(const std::string& token, std::int64_t& ms) {
    std::string text = Lower(token);
    std::string whole, fraction;
    std::int64_t scale = 1;
    if (text.size() > 2 && text.compare(text.size() - 2, 2, "ms") == 0) {
        whole = text.substr(0, text.size() - 2);
    } else if (text.size() > 1 && text.back() == 's') {
        whole = text.substr(0, text.size() - 1);
        scale = 1000;
        if (std::size_t dot = whole.find('.'); dot != std::string::npos) {
            fraction = whole.substr(dot + 1);
            whole.resize(dot);
            if (!AllDigits(fraction) || fraction.size() > 3) return TimeParse::Malformed;
        }
    } else {
        return TimeParse::Malformed;
    }
    if (!AllDigits(whole)) return TimeParse::Malformed;
    // Leading zeros aside, more digits than the limit has is past it.
    std::size_t first = std::min(whole.find_first_not_of('0'), whole.size() - 1);
    if (whole.size() - first > 15) return TimeParse::TooLate;
    while (fraction.size() < 3) fraction += '0';
    ms = std::stoll(whole.substr(first)) * scale + (scale == 1000 ? std::stoll(fraction) : 0);
    return ms <= kLatestEventMs ? TimeParse::Ok : TimeParse::TooLate;
}

// "HKLM\X" or "HKEY_LOCAL_MACHINE\X" -> "X".
bool ParseKey(const std::string& token, std::string& path) {
    std::string lower = Lower(token);
    for (const char* root : {"hklm\\", "hkey_local_machine\\"}) {
        std::string prefix = root;
        if (lower.compare(0, prefix.size(), prefix) == 0 && lower.size() > prefix.size()) {
            path = token.substr(prefix.size());
            return true;
        }
    }
    return false;
}

struct ControlName {
    const char* name;
    DWORD code;
};
const ControlName kControls[] = {{"stop", SERVICE_CONTROL_STOP},
                                 {"pause", SERVICE_CONTROL_PAUSE},
                                 {"continue", SERVICE_CONTROL_CONTINUE},
                                 {"interrogate", SERVICE_CONTROL_INTERROGATE},
                                 {"shutdown", SERVICE_CONTROL_SHUTDOWN}};

std::string SetUsage() { return "expected: <time> set <HKLM\\key> <value name> dword <number> | sz <text>"; }

bool ParseSet(const std::vector<std::string>& tokens, ScenarioEvent& event, std::string& problem) {
    if (tokens.size() != 6) {
        problem = SetUsage();
        return false;
    }
    if (!ParseKey(tokens[2], event.keyPath)) {
        problem = "the key '" + tokens[2] + "' must begin with HKLM\\ or HKEY_LOCAL_MACHINE\\";
        return false;
    }
    event.valueName = tokens[3];
    std::string type = Lower(tokens[4]);
    if (type == "dword") {
        const std::string& number = tokens[5];
        std::string digits = number;
        int base = 10;
        if (Lower(number).rfind("0x", 0) == 0) {
            digits = number.substr(2);
            base = 16;
        }
        bool ok = !digits.empty() && digits.size() <= (base == 16 ? 8u : 10u);
        for (char c : digits)
            ok = ok && (base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : std::isdigit(static_cast<unsigned char>(c)));
        unsigned long long value = ok ? std::stoull(digits, nullptr, base) : 0;
        if (!ok || value > 0xFFFFFFFFull) {
            problem = "'" + number + "' is not a 32-bit number (decimal, or hexadecimal after 0x)";
            return false;
        }
        event.valueType = REG_DWORD;
        event.dwordValue = static_cast<DWORD>(value);
        return true;
    }
    if (type == "sz") {
        event.valueType = REG_SZ;
        event.textValue = tokens[5];
        return true;
    }
    problem = "unknown value type '" + tokens[4] + "' (known: dword, sz)";
    return false;
}

bool ParseControl(const std::vector<std::string>& tokens, ScenarioEvent& event, std::string& problem) {
    if (tokens.size() != 3) {
        problem = "expected: <time> control stop | pause | continue | interrogate | shutdown | <number>";
        return false;
    }
    std::string name = Lower(tokens[2]);
    for (const ControlName& control : kControls) {
        if (name == control.name) {
            event.control = control.code;
            event.controlName = control.name;
            return true;
        }
    }
    if (AllDigits(name) && name.size() <= 3 && std::stoi(name) <= 255) {
        event.control = static_cast<DWORD>(std::stoi(name));
        event.controlName = name;
        return true;
    }
    problem = "unknown control '" + tokens[2] + "' (known: stop, pause, continue, interrogate, shutdown, or 0-255)";
    return false;
}

bool ParseRegister(const std::vector<std::string>& tokens, ScenarioEvent& event, std::string& problem) {
    if (tokens.size() != 3) {
        problem = "expected: <time> register <provider id> (MCC and MNC, as 46001)";
        return false;
    }
    // What the Mobile Broadband API reports: the MCC and MNC, 5 or 6 digits; "" is a change with none.
    const std::string& id = tokens[2];
    if (!id.empty() && (!AllDigits(id) || id.size() < 5 || id.size() > 6)) {
        problem = "'" + id + "' is not a provider ID: 5 or 6 digits, the MCC and the MNC (as 20801), or \"\" for none";
        return false;
    }
    event.providerId = id;
    return true;
}

}  // namespace

std::string ScenarioEvent::Describe() const {
    if (kind == Kind::Control) return "control " + controlName;
    if (kind == Kind::Register) return "register " + providerId;
    std::string value = valueType == REG_DWORD ? "dword " + std::to_string(dwordValue) : "sz \"" + textValue + "\"";
    return "set HKLM\\" + keyPath + " " + valueName + " " + value;
}

std::optional<Scenario> ParseScenario(const std::string& text, const std::string& fileName, InputError& error) {
    Scenario scenario;
    std::istringstream lines(text);
    std::string line;
    int number = 0;
    auto fail = [&](std::string message) {
        error = {fileName, number, std::move(message)};
        return std::nullopt;
    };
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> tokens;
        std::string problem;
        if (!Tokenize(line, tokens, problem)) return fail(problem);
        if (tokens.empty()) continue;
        ScenarioEvent event;
        event.line = number;
        TimeParse time = ParseTime(tokens[0], event.timeMs);
        if (time == TimeParse::Malformed)
            return fail("'" + tokens[0] + "' is not a time (examples: 2s, 2.5s, 1500ms)");
        if (time == TimeParse::TooLate)
            return fail("'" + tokens[0] + "' is past the latest scenario time, " +
                        std::to_string(kLatestEventMs / 1000) + "s (49.7 days)");
        if (tokens.size() < 2) return fail("a time needs a verb after it (set, control, register)");
        std::string verb = Lower(tokens[1]);
        bool ok;
        if (verb == "set") {
            event.kind = ScenarioEvent::Kind::SetValue;
            ok = ParseSet(tokens, event, problem);
        } else if (verb == "control") {
            event.kind = ScenarioEvent::Kind::Control;
            ok = ParseControl(tokens, event, problem);
        } else if (verb == "register") {
            event.kind = ScenarioEvent::Kind::Register;
            ok = ParseRegister(tokens, event, problem);
        } else {
            return fail("unknown verb '" + tokens[1] + "' (known: set, control, register)");
        }
        if (!ok) return fail(problem);
        scenario.events.push_back(std::move(event));
    }
    return scenario;
}

}  // namespace kvsim
