// The private-profile calls, read as Windows reads an INI file: the first
// section of a name counts, and in it the first key of a name; names are
// compared without letter case; blanks around names and values do not count;
// lines starting with ";" are comments; a name or value ends at a zero
// character. A file that starts with the UTF-16 byte-order mark FF FE is
// UTF-16 and reaches the 'A' calls in the ANSI code page, a character the code
// page lacks as "?"; any other file is ANSI text whose first line starts with
// whatever mark it has: Windows knows no UTF-8 or big-end-first mark here
// (Wine does). Listing every section or every key (a null section or key) is
// not served: nothing asks for it.
#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"

namespace {

struct Entry {
    std::string name;
    std::optional<std::string> value;  // none for a line without "="
};

struct Section {
    std::string name;
    std::vector<Entry> entries;
};

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Names and values are the C strings Windows keeps: each ends at a zero character.
std::string_view UpToZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// A UTF-16 file's text after its mark, in the ANSI code page (an odd last byte is no character).
std::string FromUtf16(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i)
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    if (units.empty()) return {};
    const int length = static_cast<int>(units.size());
    std::string text(static_cast<std::size_t>(
                         WideCharToMultiByte(CP_ACP, 0, units.data(), length, nullptr, 0, nullptr, nullptr)),
                     '\0');
    WideCharToMultiByte(CP_ACP, 0, units.data(), length, text.data(), static_cast<int>(text.size()), nullptr,
                        nullptr);
    return text;
}

// The file's text as the 'A' calls see it, or none when it cannot be read:
// missing, or held open by a handle that does not share reading or writing.
std::optional<std::string> ReadText(LPCSTR fileName) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !fileName || !*fileName) return std::nullopt;
    if (!machine->files().ShareFits(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)) return std::nullopt;
    auto text = machine->files().ReadWhole(fileName);
    if (text && text->starts_with("\xFF\xFE")) return FromUtf16(std::string_view(*text).substr(2));
    return text;
}

// One line of the file as the profile functions see it.
struct Line {
    enum Kind { Skip, Header, Item } kind = Skip;
    std::string_view name;                 // the header's or the item's name, trimmed
    std::optional<std::string_view> value; // the item's value, trimmed; none without "="
};

Line Parse(std::string_view line) {
    line = Trim(line);
    if (line.empty() || line.front() == ';') return {};
    if (line.front() == '[') {
        auto close = line.rfind(']');
        if (close != std::string_view::npos)
            return {Line::Header, UpToZero(Trim(line.substr(1, close - 1))), std::nullopt};
    }
    auto equals = line.find('=');
    if (equals == std::string_view::npos) {
        // A line that starts with a zero and has no "=" is no entry.
        if (UpToZero(line).empty()) return {};
        return {Line::Item, UpToZero(line), std::nullopt};
    }
    return {Line::Item, UpToZero(Trim(line.substr(0, equals))), UpToZero(Trim(line.substr(equals + 1)))};
}

// Calls `visit` with each line; stops when it returns false.
template <class Visit>
void ForEachLine(std::string_view text, Visit visit) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);  // a CR alone ends a line too
        if (end == std::string_view::npos) end = text.size();
        Line line = Parse(text.substr(start, end - start));
        start = end + 1;
        if (line.kind != Line::Skip && !visit(line)) return;
    }
}

// The file's sections, or none when it cannot be read.
std::optional<std::vector<Section>> Load(LPCSTR fileName) {
    auto text = ReadText(fileName);
    if (!text) return std::nullopt;
    std::vector<Section> sections(1);  // lines before the first header: the nameless section
    ForEachLine(*text, [&](const Line& line) {
        if (line.kind == Line::Header)
            sections.push_back(Section{std::string(line.name), {}});
        else
            sections.back().entries.push_back(
                Entry{std::string(line.name), line.value ? std::optional<std::string>(*line.value) : std::nullopt});
        return true;
    });
    return sections;
}

const Section* FindSection(const std::vector<Section>& sections, std::string_view name) {
    name = Trim(name);
    for (std::size_t i = 0; i < sections.size(); ++i)
        if ((i > 0 || !sections[i].entries.empty()) && sim::SameNameNoCase(sections[i].name, name)) return &sections[i];
    return nullptr;
}

// The value of [section] key, or none: missing file, section, key, or a key line without "=".
// The first section of the name counts (the nameless one only when it holds lines), and in it
// the first line of the key. One pass over the text, nothing else kept: the settings file is
// read at every wake-up of the worker.
std::optional<std::string> Lookup(LPCSTR section, LPCSTR key, LPCSTR fileName) {
    auto text = ReadText(fileName);
    if (!text) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    const std::string_view wantSection = Trim(section);
    const std::string_view wantKey = Trim(key);
    bool inSection = wantSection.empty();  // the nameless section at the top
    bool counted = false;                  // the section in hand is the one that counts
    std::optional<std::string> found;
    ForEachLine(*text, [&](const Line& line) {
        if (line.kind == Line::Header) {
            if (counted) return false;
            inSection = sim::SameNameNoCase(line.name, wantSection);
            counted = inSection;
            return true;
        }
        if (!inSection) return true;
        counted = true;
        if (!sim::SameNameNoCase(line.name, wantKey)) return true;
        if (line.value) found = std::string(*line.value);
        return false;
    });
    return found;
}

DWORD CopyOut(std::string_view text, LPSTR returned, DWORD size) {
    DWORD count = static_cast<DWORD>(std::min<std::size_t>(text.size(), size - 1));
    std::memcpy(returned, text.data(), count);
    returned[count] = '\0';
    return count;
}

}  // namespace

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR returned, DWORD size,
                               LPCSTR fileName) {
    if (!returned || size == 0) return 0;
    if (!section || !key) {
        returned[0] = '\0';
        if (size > 1) returned[1] = '\0';
        return 0;
    }
    if (auto value = Lookup(section, key, fileName)) {
        std::string_view text = *value;
        // One pair of quotes around the whole value goes.
        if (text.size() > 1 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front())
            text = text.substr(1, text.size() - 2);
        return CopyOut(text, returned, size);
    }
    std::string_view fallback = defaultValue ? defaultValue : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);  // as Windows does
    return CopyOut(fallback, returned, size);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
    if (!section || !key) return static_cast<UINT>(defaultValue);
    std::vector<char> buffer(64);
    if (GetPrivateProfileStringA(section, key, "", buffer.data(), static_cast<DWORD>(buffer.size()), fileName) == 0)
        return static_cast<UINT>(defaultValue);
    // As the system's text-to-integer conversion reads it: blanks, a sign, an
    // optional 0x/0o/0b prefix, then digits up to the first that does not fit.
    const char* p = buffer.data();
    while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    unsigned base = 10;
    // The prefixes are lower case only ("0X10" reads as 0).
    if (p[0] == '0' && p[1] == 'x') {
        base = 16;
        p += 2;
    } else if (p[0] == '0' && p[1] == 'o') {
        base = 8;
        p += 2;
    } else if (p[0] == '0' && p[1] == 'b') {
        base = 2;
        p += 2;
    }
    UINT value = 0;
    for (; *p; ++p) {
        unsigned digit;
        const unsigned char c = static_cast<unsigned char>(*p);
        if (std::isdigit(c))
            digit = c - '0';
        else if (std::isalpha(c))
            digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
        else
            break;
        if (digit >= base) break;
        value = value * base + digit;
    }
    return negative ? 0u - value : value;
}

DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR returned, DWORD size, LPCSTR fileName) {
    if (!section || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (size == 0) return 0;
    returned[0] = '\0';
    if (size == 1) return 0;
    returned[1] = '\0';
    auto sections = Load(fileName);
    if (!sections) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    SetLastError(ERROR_SUCCESS);
    const Section* found = FindSection(*sections, section);
    if (!found) return 0;

    // Entries "name=value" (or the bare line), each ending in a zero, a second
    // zero after the last; cut short as Windows cuts: the last text is
    // truncated, two zeros end the buffer and the result is size - 2.
    char* out = returned;
    std::size_t left = size;
    auto put = [&](std::string_view text) {
        std::size_t count = std::min(text.size(), left - 2);
        std::memcpy(out, text.data(), count);
        out[count] = '\0';
        out += count + 1;
        left -= count + 1;
    };
    for (auto& entry : found->entries) {
        if (left <= 2) break;
        put(entry.name);
        if (left < 2) break;
        if (entry.value) {
            out[-1] = '=';
            put(*entry.value);
        }
    }
    *out = '\0';
    if (left <= 1) {
        out[-1] = '\0';
        return size - 2;
    }
    return static_cast<DWORD>(size - left);
}
