// The modem file read into a modem's description (syntax in modem_description.h).
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "platform/modemfile/modem_description.h"

namespace modemfile {

namespace {

struct Token {
    std::string text;
    bool quoted = false;
    std::string written;  // a text as the line writes it, quotes and escapes included
};

class LineError {
public:
    explicit LineError(std::string what) : what(std::move(what)) {}
    std::string what;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<Token> Tokenize(std::string_view line) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            Token token{"", true, ""};
            const std::size_t open = i++;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    token.text.push_back(d);
                    continue;
                }
                if (i >= line.size()) throw LineError("text ends after a backslash");
                char e = line[i++];
                switch (e) {
                    case 'r': token.text.push_back('\r'); break;
                    case 'n': token.text.push_back('\n'); break;
                    case 't': token.text.push_back('\t'); break;
                    case '0': token.text.push_back('\0'); break;
                    case '"': token.text.push_back('"'); break;
                    case '\\': token.text.push_back('\\'); break;
                    case 'x': {
                        int hi = i < line.size() ? HexDigit(line[i]) : -1;
                        int lo = i + 1 < line.size() ? HexDigit(line[i + 1]) : -1;
                        if (hi < 0 || lo < 0) throw LineError("\\x needs two hexadecimal digits");
                        token.text.push_back(static_cast<char>(hi * 16 + lo));
                        i += 2;
                        break;
                    }
                    default: throw LineError(std::string("unknown escape \\") + e);
                }
            }
            if (!closed) throw LineError("text without its closing quote");
            token.written = line.substr(open, i - open);
            tokens.push_back(std::move(token));
        } else {
            Token token;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#' &&
                   line[i] != '"')
                token.text.push_back(line[i++]);
            tokens.push_back(std::move(token));
        }
    }
    return tokens;
}

class Line {
public:
    explicit Line(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}
    bool AtEnd() const { return next_ >= tokens_.size(); }
    const Token& Peek() const { return tokens_[next_]; }
    Token Take(const char* what) {
        if (AtEnd()) throw LineError(std::string("missing ") + what);
        return tokens_[next_++];
    }
    std::string Word(const char* what) {
        Token token = Take(what);
        if (token.quoted) throw LineError(std::string("expected ") + what + ", found a text");
        return token.text;
    }
    std::string Text(const char* what) { return Quoted(what).text; }
    Token Quoted(const char* what) {
        Token token = Take(what);
        if (!token.quoted) throw LineError(std::string("expected ") + what + " in double quotes, found " + token.text);
        return token;
    }
    void End() {
        if (!AtEnd()) throw LineError("unexpected \"" + Peek().text + "\"");
    }

private:
    std::vector<Token> tokens_;
    std::size_t next_ = 0;
};

long long Number(const std::string& text, const char* what) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end || errno) throw LineError(std::string("bad ") + what + " \"" + text + "\"");
    return value;
}

DWORD Milliseconds(Line& line) {
    long long value = Number(line.Word("milliseconds"), "milliseconds");
    if (value < 0 || value > 0x7FFFFFFF) throw LineError("milliseconds out of range");
    return static_cast<DWORD>(value);
}

HRESULT Hresult(const std::string& text) {
    static const std::pair<const char*, HRESULT> names[] = {
        {"S_OK", S_OK},           {"S_FALSE", S_FALSE},           {"E_FAIL", E_FAIL},
        {"E_NOTIMPL", E_NOTIMPL}, {"E_INVALIDARG", E_INVALIDARG}, {"E_POINTER", E_POINTER},
        {"E_NOINTERFACE", E_NOINTERFACE}, {"E_ACCESSDENIED", E_ACCESSDENIED}, {"E_UNEXPECTED", E_UNEXPECTED},
    };
    for (const auto& [name, value] : names)
        if (text == name) return value;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end || errno || value < -0x80000000LL || value > 0xFFFFFFFFLL)
        throw LineError("bad HRESULT \"" + text + "\"");
    return static_cast<HRESULT>(static_cast<std::uint32_t>(value));
}

std::string ServiceId(Line& line) {
    Token token = line.Take("device service");
    if (token.quoted) return token.text;
    if (token.text == "at") return kAtServiceId;
    if (token.text == "devicemode") return kDeviceModeServiceId;
    throw LineError("unknown device service \"" + token.text + "\" (at, devicemode or a quoted id)");
}

ModemReply Reply(Line& line) {
    ModemReply reply;
    bool body = false;
    auto setBody = [&](ModemReply::Kind kind, std::string bytes) {
        if (body) throw LineError("a reply has one text (or empty, nodata, error, silent)");
        body = true;
        reply.kind = kind;
        reply.bytes = std::move(bytes);
    };
    if (line.AtEnd()) throw LineError("missing reply");
    while (!line.AtEnd()) {
        Token token = line.Take("reply");
        if (token.quoted) {
            setBody(ModemReply::Data, token.text);
        } else if (token.text == "empty") {
            setBody(ModemReply::Data, "");
        } else if (token.text == "nodata") {
            setBody(ModemReply::NoData, "");
        } else if (token.text == "error") {
            setBody(ModemReply::Data, "\r\nERROR\r\n");
        } else if (token.text == "silent") {
            setBody(ModemReply::Silent, "");
        } else if (token.text == "status") {
            reply.status = Hresult(line.Word("status"));
        } else if (token.text == "wrongid") {
            reply.wrongRequestId = true;
        } else if (token.text == "after") {
            reply.delayMs = Milliseconds(line);
        } else if (token.text == "gone") {
            reply.gone = true;
        } else {
            throw LineError("unknown reply word \"" + token.text + "\"");
        }
    }
    return reply;
}

bool IsReplyWord(const std::string& word) {
    for (const char* known : {"empty", "nodata", "error", "silent", "status", "wrongid", "after", "gone"})
        if (word == known) return true;
    return false;
}

SessionBehaviour Behaviour(Line& line) {
    SessionBehaviour behaviour;
    std::string how = line.Word("complete, status, fail or never");
    if (how == "complete" || how == "status") {
        if (how == "status") behaviour.status = Hresult(line.Word("status"));
        if (!line.AtEnd()) {
            if (line.Word("after") != "after") throw LineError("expected after <ms>");
            behaviour.delayMs = Milliseconds(line);
        }
    } else if (how == "fail") {
        behaviour.kind = SessionBehaviour::Fail;
        if (!line.AtEnd()) behaviour.failure = Hresult(line.Word("HRESULT"));
        if (SUCCEEDED(behaviour.failure)) throw LineError("fail needs a failure HRESULT");
    } else if (how == "never") {
        behaviour.kind = SessionBehaviour::Never;
    } else {
        throw LineError("unknown session behaviour \"" + how + "\"");
    }
    line.End();
    return behaviour;
}

MBN_READY_STATE ReadyState(const std::string& text) {
    static const char* names[] = {"off",           "initialized",    "sim-not-inserted",
                                  "bad-sim",       "failure",        "not-activated",
                                  "device-locked", "device-blocked", "no-esim-profile"};
    for (int i = 0; i < 9; ++i)
        if (text == names[i]) return static_cast<MBN_READY_STATE>(i);
    long long number = Number(text, "ready state");
    // The enumeration holds no other value.
    if (number < 0 || number > 8) throw LineError("a ready state number is 0 to 8, not " + text);
    return static_cast<MBN_READY_STATE>(number);
}

ModemFault FaultStep(const std::string& text) {
    static const std::pair<const char*, ModemFault> steps[] = {
        {"coinitialize", ModemFault::CoInitialize},
        {"create-interface-manager", ModemFault::CreateInterfaceManager},
        {"create-device-services-manager", ModemFault::CreateDeviceServicesManager},
        {"get-interfaces", ModemFault::GetInterfaces},
        {"connection-point-container", ModemFault::ConnectionPointContainer},
        {"find-connection-point", ModemFault::FindConnectionPoint},
        {"advise", ModemFault::Advise},
        {"unadvise", ModemFault::Unadvise},
        {"get-device-services-context", ModemFault::GetDeviceServicesContext},
        {"get-device-service", ModemFault::GetDeviceService},
        {"is-command-session-open", ModemFault::IsCommandSessionOpen},
        {"set-command", ModemFault::SetCommand},
        {"query-command", ModemFault::QueryCommand},
        {"interface-id", ModemFault::InterfaceId},
        {"device-service-id", ModemFault::DeviceServiceId},
    };
    for (const auto& [name, step] : steps)
        if (text == name) return step;
    throw LineError("unknown fault step \"" + text + "\"");
}


// A provider ID is the network's MCC and MNC: 5 or 6 digits. A modem not registered on any
// network reports "" as the registered provider, as a registration change may.
std::string ProviderId(Line& line, const char* what, bool noneAllowed = false) {
    std::string id = line.Text(what);
    if (noneAllowed && id.empty()) return id;
    bool digits = id.size() == 5 || id.size() == 6;
    for (char c : id) digits = digits && c >= '0' && c <= '9';
    if (!digits) throw LineError(std::string("a ") + what + " is 5 or 6 digits (MCC and MNC), not \"" + id + "\"");
    return id;
}

std::int32_t DeviceModeNumber(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end) throw LineError("bad number \"" + text + "\"");
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX)
        throw LineError("number out of range \"" + text + "\" (a device-mode number is -2147483648 to 2147483647)");
    return static_cast<std::int32_t>(value);
}

bool LooksNumeric(const Token& token) {
    return !token.quoted && !token.text.empty() &&
           (std::isdigit(static_cast<unsigned char>(token.text[0])) || token.text[0] == '-');
}

void DeviceModeLine(Line& line, ModemDescription& description) {
    if (line.AtEnd()) throw LineError("missing device-mode answer");
    const Token& first = line.Peek();
    if (LooksNumeric(first)) {
        std::array<std::int32_t, 3> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (line.AtEnd())
                throw LineError("devicemode needs three numbers, <mode> <sar> <antenna>; found " + std::to_string(i));
            values[i] = DeviceModeNumber(line.Word("number"));
        }
        DWORD delay = 0;
        if (!line.AtEnd()) {
            if (line.Word("after") != "after") throw LineError("expected after <ms>");
            delay = Milliseconds(line);
        }
        line.End();
        description.deviceMode = values;
        description.deviceModeReply.reset();
        if (delay) {
            ModemReply reply;
            for (std::int32_t value : values)
                for (int i = 0; i < 4; ++i)
                    reply.bytes.push_back(static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * i)) & 0xFF));
            reply.delayMs = delay;
            description.deviceModeReply = reply;
        }
    } else if (first.quoted || IsReplyWord(first.text)) {
        description.deviceModeReply = Reply(line);
    } else {
        throw LineError("devicemode needs three numbers, <mode> <sar> <antenna>, or a reply; found \"" + first.text +
                        "\"");
    }
}

void InterfaceLine(const std::string& verb, Line& line, ModemInterface& s) {
    if (verb == "id") {
        s.id = line.Text("interface id");
    } else if (verb == "ready") {
        s.readyState = ReadyState(line.Word("ready state"));
    } else if (verb == "iccid") {
        s.iccid = line.Text("ICCID");
    } else if (verb == "home") {
        s.homeProviderId = ProviderId(line, "home provider ID");
        if (!line.AtEnd()) s.homeProviderName = line.Text("home provider name");
    } else if (verb == "provider") {
        s.providerId = ProviderId(line, "provider ID", true);
    } else {
        std::string call = line.Word("call");
        HRESULT hr = Hresult(line.Word("HRESULT"));
        line.End();
        if (SUCCEEDED(hr)) throw LineError("fail needs a failure HRESULT");
        if (call == "ready") s.readyStateResult = hr;
        else if (call == "subscriber") s.subscriberResult = hr;
        else if (call == "iccid") s.iccidResult = hr;
        else if (call == "home") s.homeProviderResult = hr;
        else if (call == "provider") s.providerIdResult = hr;
        else if (call == "registration") s.registrationResult = hr;
        else throw LineError("unknown call \"" + call + "\"");
    }
    line.End();
}

void ServiceLine(const std::string& verb, Line& line, ModemDescription& description) {
    ServiceSetting setting;
    setting.id = ServiceId(line);
    if (verb == "service") {
        setting.kind = ServiceSetting::Add;
        if (!line.AtEnd()) {
            if (line.Word("absent") != "absent") throw LineError("expected absent");
            setting.kind = ServiceSetting::Remove;
        }
        line.End();
    } else if (verb == "session") {
        setting.kind = ServiceSetting::Session;
        std::string state = line.Word("open or closed");
        line.End();
        if (state != "open" && state != "closed") throw LineError("expected open or closed");
        setting.open = state == "open";
    } else {
        setting.kind = verb == "open" ? ServiceSetting::Open : ServiceSetting::Close;
        setting.behaviour = Behaviour(line);
    }
    description.services.push_back(std::move(setting));
}

}  // namespace

std::string ParseModemText(std::string_view text, std::string_view fileName, ModemDescription& description) {
    description = {};
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    std::size_t defaultLine = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        try {
            Line line(Tokenize(raw));
            if (line.AtEnd()) continue;
            std::string verb = line.Word("setting");
            if (verb == "interface") {
                line.End();
                description.interfaces.emplace_back();
            } else if (verb == "id" || verb == "ready" || verb == "iccid" || verb == "home" || verb == "provider" ||
                       verb == "fail") {
                if (description.interfaces.empty())
                    throw LineError("\"" + verb + "\" before any \"interface\" line");
                InterfaceLine(verb, line, description.interfaces.back());
            } else if (verb == "service" || verb == "session" || verb == "open" || verb == "close") {
                ServiceLine(verb, line, description);
            } else if (verb == "reply") {
                Token command = line.Quoted("command");
                ModemReply reply = Reply(line);
                description.replies.push_back({std::move(command.text), std::move(reply), lineNumber,
                                               std::move(command.written)});
            } else if (verb == "match") {
                std::string pattern = line.Text("pattern");
                description.patterns.emplace_back(std::move(pattern), Reply(line));
            } else if (verb == "default") {
                if (defaultLine)
                    throw LineError("a second default reply (the first is line " + std::to_string(defaultLine) + ")");
                defaultLine = lineNumber;
                description.defaultReply = Reply(line);
            } else if (verb == "devicemode") {
                DeviceModeLine(line, description);
            } else if (verb == "early") {
                std::string flag = line.Word("on or off");
                line.End();
                if (flag != "on" && flag != "off") throw LineError("expected on or off");
                description.early = flag == "on";
            } else if (verb == "fault") {
                ModemFault step = FaultStep(line.Word("step"));
                HRESULT hr = Hresult(line.Word("HRESULT"));
                line.End();
                description.faults.emplace_back(step, hr);
            } else {
                throw LineError("unknown setting \"" + verb + "\"");
            }
        } catch (const LineError& error) {
            return std::string(fileName) + ":" + std::to_string(lineNumber) + ": " + error.what;
        }
        if (end == text.size()) break;
    }
    return "";
}

}  // namespace modemfile
