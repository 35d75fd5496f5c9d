// How the modem's device services answer a command, and how a transcript writes the answer.
#include <cstdio>

#include "platform/modemfile/modem_description.h"

namespace modemfile {

namespace {

void PutLe32(std::string& out, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::string DefaultInterfaceId(std::size_t index) {
    char id[64];
    std::snprintf(id, sizeof id, "{6a1f3c5e-0000-4000-8000-%012llx}", static_cast<unsigned long long>(index + 1));
    return id;
}

bool GlobMatch(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0, star = std::string_view::npos, mark = 0;
    while (t < text.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = t;
        } else if (p < pattern.size() && pattern[p] == text[t]) {
            ++p;
            ++t;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            t = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string DescribeReply(const ModemReply& reply, const std::string& numbers) {
    std::string text;
    switch (reply.kind) {
        case ModemReply::Silent: return "(silent)";
        case ModemReply::NoData: text = "(no data)"; break;
        case ModemReply::Data: text = numbers.empty() ? "\"" + EscapeBytes(reply.bytes) + "\"" : numbers; break;
    }
    if (reply.status != S_OK) text += " status " + HresultText(reply.status);
    if (reply.wrongRequestId) text += " wrong request id";
    if (reply.delayMs) text += " after " + std::to_string(reply.delayMs) + " ms";
    if (reply.gone) text += " then gone";
    return text;
}

std::string EscapeBytes(std::string_view bytes) {
    std::string out;
    for (char ch : bytes) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\r': out += "\\r"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out.push_back(ch);
                }
        }
    }
    return out;
}

bool IsAtCommand(const std::string& serviceId, ULONG commandId) { return serviceId == kAtServiceId && commandId == 1; }

ModemAnswer Answer(ModemAnswers& answers, const std::string& serviceId, ULONG commandId,
                   const std::string& bytes) {
    ModemAnswer answer;
    std::string numbers;
    if (IsAtCommand(serviceId, commandId)) {
        if (auto exact = answers.exactReplies.find(bytes); exact != answers.exactReplies.end()) {
            exact->second.matched = true;
            answer.reply = exact->second.reply;
        } else {
            answer.reply = answers.defaultReply;
            for (const auto& [pattern, patternReply] : answers.patternReplies) {
                if (GlobMatch(pattern, bytes)) {
                    answer.reply = patternReply;
                    break;
                }
            }
        }
    } else if (serviceId == kDeviceModeServiceId && commandId == 3) {
        if (answers.deviceModeReply) {
            answer.reply = *answers.deviceModeReply;
        } else {
            for (std::int32_t value : answers.deviceMode) PutLe32(answer.reply.bytes, value);
            numbers = std::to_string(answers.deviceMode[0]) + " " + std::to_string(answers.deviceMode[1]) + " " +
                      std::to_string(answers.deviceMode[2]);
        }
    } else {
        answer.reply.kind = ModemReply::NoData;
        answer.reply.status = E_NOTIMPL;
    }
    answer.description = DescribeReply(answer.reply, numbers);
    return answer;
}

void ApplyAnswers(const ModemDescription& description, ModemAnswers& answers) {
    for (const ReplyLine& entry : description.replies) answers.exactReplies[entry.command] = {entry.reply};
    for (const auto& pattern : description.patterns) answers.patternReplies.push_back(pattern);
    if (description.defaultReply) answers.defaultReply = *description.defaultReply;
    if (description.deviceMode) {
        for (std::size_t i = 0; i < 3; ++i) answers.deviceMode[i] = (*description.deviceMode)[i];
        answers.deviceModeReply.reset();
    }
    if (description.deviceModeReply) answers.deviceModeReply = description.deviceModeReply;
}

std::vector<std::string> UnmatchedReplies(const ModemDescription& description, std::string_view fileName,
                                          const ModemAnswers& answers) {
    std::map<std::string_view, std::size_t> lastLine;
    for (const ReplyLine& entry : description.replies) lastLine[entry.command] = entry.line;
    std::vector<std::string> unmatched;
    for (const ReplyLine& entry : description.replies) {
        const std::string where = std::string(fileName) + ":" + std::to_string(entry.line) + ": reply " + entry.written;
        if (std::size_t last = lastLine[entry.command]; last != entry.line) {
            unmatched.push_back(where + " was never used: line " + std::to_string(last) + " replaces it");
            continue;
        }
        auto exact = answers.exactReplies.find(entry.command);
        if (exact == answers.exactReplies.end() || !exact->second.matched)
            unmatched.push_back(where +
                                " matched no command during the run (a command matches only byte for byte, its "
                                "line end included, as the transcript shows it)");
    }
    return unmatched;
}

}  // namespace modemfile
