#include "platform/sim/registry_store.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "platform/sim/names.h"

namespace sim {

struct Registry::Key {
    struct Entry {
        std::string name;
        RegistryValue value;
    };
    struct Watch {
        const void* owner;
        std::uint64_t thread;
        bool subtree;
        DWORD filter;
        std::shared_ptr<Event> event;
    };

    std::string name;
    std::weak_ptr<Key> parent;
    std::map<std::string, KeyRef> children;  // by lower-case name
    std::vector<Entry> values;               // in the order they were created
    std::vector<Watch> watches;
    bool deleted = false;
};

namespace {

using KeyRef = Registry::KeyRef;
using Events = std::vector<std::shared_ptr<Event>>;



std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

// "HKLM\A\B" or "HKEY_LOCAL_MACHINE\A\B" -> {"A", "B"}.
bool SplitRootPath(std::string_view path, std::vector<std::string>* parts) {
    auto all = SplitPath(path);
    if (all.empty() || !(SameNameNoCase(all[0], "HKLM") || SameNameNoCase(all[0], "HKEY_LOCAL_MACHINE"))) return false;
    parts->assign(all.begin() + 1, all.end());
    return true;
}

// Windows' registry tree is at most 512 levels deep.
constexpr std::size_t kDeepestKey = 512;

std::string TooDeep(std::size_t levels) {
    return "a key path of " + std::to_string(levels) + " levels below HKEY_LOCAL_MACHINE, deeper than the " +
           std::to_string(kDeepestKey) + " levels the registry allows";
}

std::string NotLocalMachine(std::string_view path) {
    return "not a key path under HKEY_LOCAL_MACHINE: \"" + std::string(path) + "\"";
}

// The 32-bit view: "SOFTWARE\X" is "SOFTWARE\WOW6432Node\X"; the rest is shared.
void ApplyView32(std::vector<std::string>* parts) {
    if (parts->empty() || !SameNameNoCase((*parts)[0], "SOFTWARE")) return;
    if (parts->size() >= 2 && SameNameNoCase((*parts)[1], "WOW6432Node")) return;
    parts->insert(parts->begin() + 1, "WOW6432Node");
}

std::vector<std::string> PartsOf(const KeyRef& key) {
    std::vector<std::string> parts;
    for (KeyRef k = key; k; k = k->parent.lock())
        if (k->parent.lock()) parts.push_back(k->name);
    std::reverse(parts.begin(), parts.end());
    return parts;
}

std::string PathOf(const KeyRef& key) {
    std::string path = "HKLM";
    for (auto& part : PartsOf(key)) path += "\\" + part;
    return path;
}

std::string Quote(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

std::string HexList(const std::vector<BYTE>& data) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        if (i) text += ',';
        text += byte;
    }
    return text;
}

std::string TextOf(const std::vector<BYTE>& data) {
    std::string text(data.begin(), data.end());
    auto zero = text.find('\0');
    return zero == std::string::npos ? text : text.substr(0, zero);
}

std::uint64_t LittleEndian(const std::vector<BYTE>& data) {
    std::uint64_t value = 0;
    for (std::size_t i = data.size(); i-- > 0;) value = value << 8 | data[i];
    return value;
}

std::vector<BYTE> Bytes(std::uint64_t value, int count) {
    std::vector<BYTE> data;
    for (int i = 0; i < count; ++i) data.push_back(static_cast<BYTE>(value >> (8 * i)));
    return data;
}

}  // namespace

Registry::Registry(Machine& machine) : machine_(machine), root_(std::make_shared<Key>()) {
    root_->name = "HKEY_LOCAL_MACHINE";
}

Registry::~Registry() = default;

// ---------------------------------------------------------------------------
// Core

KeyRef Registry::FindLocked(const std::vector<std::string>& parts) const {
    KeyRef key = root_;
    for (auto& part : parts) {
        auto it = key->children.find(LowerAscii(part));
        if (it == key->children.end()) return nullptr;
        key = it->second;
    }
    return key;
}

KeyRef Registry::CreateLocked(const KeyRef& base, const std::vector<std::string>& parts, bool* created,
                              Events* fire) {
    KeyRef key = base;
    for (auto& part : parts) {
        auto& slot = key->children[LowerAscii(part)];
        if (!slot) {
            slot = std::make_shared<Key>();
            slot->name = part;
            slot->parent = key;
            if (created) *created = true;
            ChangedLocked(key, REG_NOTIFY_CHANGE_NAME, fire);
        }
        key = slot;
    }
    return key;
}

void Registry::ChangedLocked(const KeyRef& key, DWORD filter, Events* fire) {
    bool self = true;
    for (KeyRef k = key; k; k = k->parent.lock(), self = false) {
        auto& watches = k->watches;
        for (auto it = watches.begin(); it != watches.end();) {
            if ((self || it->subtree) && (it->filter & filter)) {
                fire->push_back(it->event);
                it = watches.erase(it);
            } else {
                ++it;
            }
        }
    }
}

void Registry::SetLocked(const KeyRef& key, std::string_view name, DWORD type, std::vector<BYTE> data,
                         const char* party, Events* fire) {
    Key::Entry* entry = nullptr;
    for (auto& e : key->values)
        if (SameNameNoCase(e.name, name)) entry = &e;
    if (!entry) entry = &key->values.emplace_back(Key::Entry{std::string(name), {}});
    entry->value.type = type;
    entry->value.data = std::move(data);
    Record(party, "set " + PathOf(key) + "\\" + (entry->name.empty() ? "@" : entry->name) + " = " +
                      FormatData(type, entry->value.data));
    ChangedLocked(key, REG_NOTIFY_CHANGE_LAST_SET, fire);
}

bool Registry::DeleteValueLocked(const KeyRef& key, std::string_view name, const char* party, Events* fire) {
    auto it = std::find_if(key->values.begin(), key->values.end(),
                           [&](const Key::Entry& e) { return SameNameNoCase(e.name, name); });
    if (it == key->values.end()) return false;
    Record(party, "delete " + PathOf(key) + "\\" + (it->name.empty() ? "@" : it->name));
    key->values.erase(it);
    ChangedLocked(key, REG_NOTIFY_CHANGE_LAST_SET, fire);
    return true;
}

void Registry::DeleteKeyLocked(const KeyRef& key, const char* party, Events* fire) {
    KeyRef parent = key->parent.lock();
    if (!parent) return;  // the root stays
    Record(party, "delete " + PathOf(key) + "\\");
    // Every notification armed inside the deleted subtree completes.
    std::vector<KeyRef> pending{key};
    while (!pending.empty()) {
        KeyRef k = pending.back();
        pending.pop_back();
        k->deleted = true;
        for (auto& w : k->watches) fire->push_back(w.event);
        k->watches.clear();
        for (auto& [name, child] : k->children) pending.push_back(child);
    }
    parent->children.erase(LowerAscii(key->name));
    ChangedLocked(parent, REG_NOTIFY_CHANGE_NAME, fire);
}

void Registry::Fire(const Events& events) {
    for (auto& event : events) machine_.clock().SetEvent(*event);
}

void Registry::Record(const char* party, const std::string& text) {
    if (party) machine_.transcript().Add(party, text);
}

bool Registry::Deleted(const KeyRef& key) { return key && key->deleted; }

LSTATUS Registry::Open(const KeyRef& base, std::string_view subKey, bool view32, bool create, KeyRef* result,
                       bool* created) {
    Events fire;
    LSTATUS status = ERROR_SUCCESS;
    {
        std::lock_guard lock(mutex_);
        KeyRef from = base ? base : root_;
        if (from->deleted) return ERROR_KEY_DELETED;
        auto parts = PartsOf(from);
        for (auto& part : SplitPath(subKey)) parts.push_back(part);
        if (view32) ApplyView32(&parts);
        if (created) *created = false;
        KeyRef key = create ? CreateLocked(root_, parts, created, &fire) : FindLocked(parts);
        if (key)
            *result = key;
        else
            status = ERROR_FILE_NOT_FOUND;
    }
    Fire(fire);
    return status;
}

LSTATUS Registry::Query(const KeyRef& key, std::string_view name, RegistryValue* value) const {
    std::lock_guard lock(mutex_);
    if (key->deleted) return ERROR_KEY_DELETED;
    for (auto& e : key->values)
        if (SameNameNoCase(e.name, name)) {
            *value = e.value;
            return ERROR_SUCCESS;
        }
    return ERROR_FILE_NOT_FOUND;
}

LSTATUS Registry::Set(const KeyRef& key, std::string_view name, DWORD type, std::vector<BYTE> data,
                      const char* party) {
    Events fire;
    {
        std::lock_guard lock(mutex_);
        if (key->deleted) return ERROR_KEY_DELETED;
        SetLocked(key, name, type, std::move(data), party, &fire);
    }
    Fire(fire);
    return ERROR_SUCCESS;
}

LSTATUS Registry::Notify(const KeyRef& key, const void* owner, std::uint64_t thread, bool subtree, DWORD filter,
                         std::shared_ptr<Event> event) {
    bool hook = false;
    {
        std::lock_guard lock(mutex_);
        if (key->deleted) return ERROR_KEY_DELETED;
        if (notifyFailures_ > 0) {
            --notifyFailures_;
            return notifyFailure_;
        }
        key->watches.push_back(Key::Watch{owner, thread, subtree, filter, std::move(event)});
        hook = thread != 0 && watchingThreads_.insert(thread).second;
    }
    if (hook) AtThreadExit([this, thread] { ThreadEnded(thread); });
    return ERROR_SUCCESS;
}

void Registry::FailNotifications(LSTATUS status, int count) {
    std::lock_guard lock(mutex_);
    notifyFailure_ = status;
    notifyFailures_ = count < 0 ? 0 : count;
}

void Registry::ThreadEnded(std::uint64_t thread) {
    Events fire;
    {
        std::lock_guard lock(mutex_);
        watchingThreads_.erase(thread);
        std::vector<KeyRef> pending{root_};
        while (!pending.empty()) {
            KeyRef k = pending.back();
            pending.pop_back();
            std::erase_if(k->watches, [&](const Key::Watch& w) {
                if (w.thread != thread) return false;
                fire.push_back(w.event);
                return true;
            });
            for (auto& [name, child] : k->children) pending.push_back(child);
        }
    }
    Fire(fire);
}

void Registry::HandleClosed(const KeyRef& key, const void* owner) {
    Events fire;
    {
        std::lock_guard lock(mutex_);
        auto& watches = key->watches;
        for (auto it = watches.begin(); it != watches.end();) {
            if (it->owner == owner) {
                fire.push_back(it->event);
                it = watches.erase(it);
            } else {
                ++it;
            }
        }
    }
    Fire(fire);
}

// ---------------------------------------------------------------------------
// The party's own API

std::string Registry::SetValue(std::string_view keyPath, std::string_view name, DWORD type, std::vector<BYTE> data,
                               const char* party) {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts)) return NotLocalMachine(keyPath);
    if (parts.size() > kDeepestKey) return TooDeep(parts.size());
    Events fire;
    {
        std::lock_guard lock(mutex_);
        KeyRef key = CreateLocked(root_, parts, nullptr, &fire);
        SetLocked(key, name, type, std::move(data), party, &fire);
    }
    Fire(fire);
    return {};
}

std::string Registry::SetDword(std::string_view keyPath, std::string_view name, DWORD value, const char* party) {
    return SetValue(keyPath, name, REG_DWORD, Bytes(value, 4), party);
}

std::string Registry::SetQword(std::string_view keyPath, std::string_view name, std::uint64_t value,
                               const char* party) {
    return SetValue(keyPath, name, REG_QWORD, Bytes(value, 8), party);
}

std::string Registry::SetString(std::string_view keyPath, std::string_view name, std::string_view text,
                                const char* party) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return SetValue(keyPath, name, REG_SZ, std::move(data), party);
}

std::optional<RegistryValue> Registry::GetValue(std::string_view keyPath, std::string_view name) const {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts)) return std::nullopt;
    std::lock_guard lock(mutex_);
    KeyRef key = FindLocked(parts);
    if (!key) return std::nullopt;
    for (auto& e : key->values)
        if (SameNameNoCase(e.name, name)) return e.value;
    return std::nullopt;
}

std::optional<DWORD> Registry::GetDword(std::string_view keyPath, std::string_view name) const {
    auto value = GetValue(keyPath, name);
    if (!value || value->type != REG_DWORD || value->data.size() != 4) return std::nullopt;
    return static_cast<DWORD>(LittleEndian(value->data));
}

std::optional<std::string> Registry::GetString(std::string_view keyPath, std::string_view name) const {
    auto value = GetValue(keyPath, name);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) return std::nullopt;
    return TextOf(value->data);
}

bool Registry::KeyExists(std::string_view keyPath) const {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts)) return false;
    std::lock_guard lock(mutex_);
    return FindLocked(parts) != nullptr;
}

bool Registry::ValueExists(std::string_view keyPath, std::string_view name) const {
    return GetValue(keyPath, name).has_value();
}

std::string Registry::CreateKey(std::string_view keyPath) {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts)) return NotLocalMachine(keyPath);
    if (parts.size() > kDeepestKey) return TooDeep(parts.size());
    Events fire;
    {
        std::lock_guard lock(mutex_);
        CreateLocked(root_, parts, nullptr, &fire);
    }
    Fire(fire);
    return {};
}

bool Registry::DeleteValue(std::string_view keyPath, std::string_view name, const char* party) {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts)) return false;
    Events fire;
    bool deleted = false;
    {
        std::lock_guard lock(mutex_);
        if (KeyRef key = FindLocked(parts)) deleted = DeleteValueLocked(key, name, party, &fire);
    }
    Fire(fire);
    return deleted;
}

bool Registry::DeleteKey(std::string_view keyPath, const char* party) {
    std::vector<std::string> parts;
    if (!SplitRootPath(keyPath, &parts) || parts.empty()) return false;
    Events fire;
    bool deleted = false;
    {
        std::lock_guard lock(mutex_);
        if (KeyRef key = FindLocked(parts)) {
            DeleteKeyLocked(key, party, &fire);
            deleted = true;
        }
    }
    Fire(fire);
    return deleted;
}

std::string Registry::FormatData(DWORD type, const std::vector<BYTE>& data) {
    switch (type) {
        case REG_DWORD:
            if (data.size() == 4) return "dword:" + std::to_string(LittleEndian(data));
            break;
        case REG_QWORD:
            if (data.size() == 8) return "qword:" + std::to_string(LittleEndian(data));
            break;
        case REG_SZ:
            return Quote(TextOf(data));
        case REG_EXPAND_SZ:
            return "expand:" + Quote(TextOf(data));
        case REG_MULTI_SZ: {
            std::string text = "multi:";
            std::string item;
            bool first = true;
            for (std::size_t i = 0; i < data.size(); ++i) {
                if (data[i] != 0) {
                    item += static_cast<char>(data[i]);
                    continue;
                }
                if (item.empty()) break;  // the empty string ends the list
                text += (first ? "" : ",") + Quote(item);
                first = false;
                item.clear();
            }
            if (!item.empty()) text += (first ? "" : ",") + Quote(item);
            return text;
        }
        case REG_BINARY:
            return "hex:" + HexList(data);
    }
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
    return prefix + HexList(data);
}

// ---------------------------------------------------------------------------
// .reg files

namespace {

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// A line that ends, outside a quoted text, in a backslash goes on in the next.
bool Continues(std::string_view line) {
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (quoted && line[i] == '\\') {
            ++i;
        } else if (line[i] == '"') {
            quoted = !quoted;
        }
    }
    line = Trim(line);
    return !quoted && !line.empty() && line.back() == '\\';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && SameNameNoCase(text.substr(0, prefix.size()), prefix);
}

// A quoted text at the start of `text` (which begins with '"'); the rest after it.
bool ParseQuoted(std::string_view text, std::string* out, std::string_view* rest) {
    out->clear();
    for (std::size_t i = 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *rest = text.substr(i + 1);
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) c = text[++i];
        *out += c;
    }
    return false;
}

// Nothing but blanks, or a comment, after a value.
bool OnlyTrailer(std::string_view rest) {
    rest = Trim(rest);
    return rest.empty() || rest.front() == ';';
}

}  // namespace

struct Registry::Parsed {
    bool remove = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::string Registry::LoadRegText(std::string_view input, std::string_view sourceName) {
    auto fail = [&](std::size_t line, const std::string& what) {
        return std::string(sourceName) + ":" + std::to_string(line) + ": " + what;
    };

    // The registry editor writes UTF-16; the machine's text is 8-bit.
    std::string text;
    if (input.size() >= 2 && static_cast<BYTE>(input[0]) == 0xFF && static_cast<BYTE>(input[1]) == 0xFE) {
        std::size_t line = 1;
        for (std::size_t i = 2; i + 1 < input.size(); i += 2) {
            unsigned unit = static_cast<BYTE>(input[i]) | static_cast<unsigned>(static_cast<BYTE>(input[i + 1])) << 8;
            if (unit > 0xFF) return fail(line, "a character outside 8-bit text");
            if (unit == '\n') ++line;
            text += static_cast<char>(unit);
        }
    } else {
        text = std::string(input);
        if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);
    }

    std::vector<std::string> lines;
    {
        std::string line;
        for (char c : text) {
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                lines.push_back(std::move(line));
                line.clear();
            } else {
                line += c;
            }
        }
        if (!line.empty()) {
            if (line.back() == '\r') line.pop_back();
            lines.push_back(std::move(line));
        }
    }
    if (lines.empty()) return fail(1, "empty file, expected \"" + std::string(kHeader5) + "\"");
    std::string_view header = Trim(lines[0]);
    const bool unicode = header == kHeader5;
    if (!unicode && header != kHeader4)
        return fail(1, "not a registry file, expected \"" + std::string(kHeader5) + "\"");

    auto parseData = [&](std::string_view data, Parsed* parsed) -> std::string {
        data = Trim(data);
        if (data == "-") {
            parsed->remove = true;
            return {};
        }
        if (!data.empty() && data.front() == '"') {
            std::string value;
            std::string_view rest;
            if (!ParseQuoted(data, &value, &rest)) return "the text has no closing quote";
            if (!OnlyTrailer(rest)) return "unexpected text after the value: \"" + std::string(Trim(rest)) + "\"";
            parsed->type = REG_SZ;
            parsed->data.assign(value.begin(), value.end());
            parsed->data.push_back(0);
            return {};
        }
        if (StartsWithNoCase(data, "dword:")) {
            std::string_view digits = data.substr(6);
            auto comment = digits.find(';');
            if (comment != std::string_view::npos) digits = digits.substr(0, comment);
            digits = Trim(digits);
            if (digits.empty() || digits.size() > 8) return "dword needs 1 to 8 hexadecimal digits";
            std::uint64_t value = 0;
            for (char c : digits) {
                int d = HexDigit(c);
                if (d < 0) return "dword needs 1 to 8 hexadecimal digits";
                value = value << 4 | static_cast<unsigned>(d);
            }
            parsed->type = REG_DWORD;
            parsed->data = Bytes(value, 4);
            return {};
        }
        if (StartsWithNoCase(data, "hex")) {
            std::string_view rest = data.substr(3);
            DWORD type = REG_BINARY;
            if (!rest.empty() && rest.front() == '(') {
                auto close = rest.find(')');
                if (close == std::string_view::npos || close == 1 || close > 9) return "bad hex(type) prefix";
                type = 0;
                for (char c : rest.substr(1, close - 1)) {
                    int d = HexDigit(c);
                    if (d < 0) return "bad hex(type) prefix";
                    type = type << 4 | static_cast<DWORD>(d);
                }
                rest = rest.substr(close + 1);
            }
            if (rest.empty() || rest.front() != ':') return "expected ':' after hex";
            rest = rest.substr(1);
            auto comment = rest.find(';');
            if (comment != std::string_view::npos) rest = rest.substr(0, comment);
            std::vector<BYTE> bytes;
            std::size_t start = 0;
            rest = Trim(rest);
            while (!rest.empty() && start <= rest.size()) {
                auto comma = rest.find(',', start);
                std::string_view item =
                    Trim(rest.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
                bool last = comma == std::string_view::npos;
                if (item.empty()) {
                    if (last && !bytes.empty()) break;  // a trailing comma
                    return "empty byte in the hex list";
                }
                if (item.size() > 2 || HexDigit(item[0]) < 0 || (item.size() == 2 && HexDigit(item[1]) < 0))
                    return "bad byte \"" + std::string(item) + "\" in the hex list";
                int value = HexDigit(item[0]);
                if (item.size() == 2) value = value * 16 + HexDigit(item[1]);
                bytes.push_back(static_cast<BYTE>(value));
                if (last) break;
                start = comma + 1;
            }
            if (unicode && (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ)) {
                if (bytes.size() % 2) return "text in hex form needs an even number of bytes";
                std::vector<BYTE> narrow;
                for (std::size_t i = 0; i < bytes.size(); i += 2) {
                    if (bytes[i + 1] != 0) return "a character outside 8-bit text";
                    narrow.push_back(bytes[i]);
                }
                bytes = std::move(narrow);
            }
            parsed->type = type;
            parsed->data = std::move(bytes);
            return {};
        }
        return "unrecognised value data \"" + std::string(data) + "\"";
    };

    Events fire;
    std::string error;
    {
        std::lock_guard lock(mutex_);
        KeyRef current;
        bool inDeletedKey = false;
        for (std::size_t i = 1; i < lines.size() && error.empty(); ++i) {
            const std::size_t number = i + 1;
            std::string line = lines[i];
            if (Trim(line).starts_with(";")) continue;
            while (Continues(line)) {
                line = std::string(Trim(line));
                line.pop_back();
                if (++i >= lines.size()) {
                    error = fail(number, "the line goes on past the end of the file");
                    break;
                }
                line += std::string(Trim(lines[i]));
            }
            if (!error.empty()) break;
            std::string_view entry = Trim(line);
            if (entry.empty()) continue;
            if (entry.front() == '[') {
                if (entry.back() != ']') {
                    error = fail(number, "a key line must end with ']'");
                    break;
                }
                std::string_view path = entry.substr(1, entry.size() - 2);
                const bool remove = !path.empty() && path.front() == '-';
                if (remove) path.remove_prefix(1);
                std::vector<std::string> parts;
                if (!SplitRootPath(path, &parts)) {
                    error = fail(number, NotLocalMachine(path));
                    break;
                }
                if (parts.size() > kDeepestKey) {
                    error = fail(number, TooDeep(parts.size()));
                    break;
                }
                if (remove) {
                    if (KeyRef key = FindLocked(parts); key && key != root_) DeleteKeyLocked(key, nullptr, &fire);
                    current = nullptr;
                    inDeletedKey = true;
                } else {
                    current = CreateLocked(root_, parts, nullptr, &fire);
                    inDeletedKey = false;
                }
                continue;
            }
            std::string name;
            std::string_view rest;
            if (entry.front() == '@') {
                rest = entry.substr(1);
            } else if (entry.front() == '"') {
                if (!ParseQuoted(entry, &name, &rest)) {
                    error = fail(number, "the value name has no closing quote");
                    break;
                }
            } else {
                error = fail(number, "expected [key], \"name\"=value or @=value, found \"" + std::string(entry) + "\"");
                break;
            }
            rest = Trim(rest);
            if (rest.empty() || rest.front() != '=') {
                error = fail(number, "expected '=' after the value name");
                break;
            }
            if (!current) {
                error = fail(number, inDeletedKey ? "a value under a deleted key" : "a value before the first [key]");
                break;
            }
            Parsed parsed;
            std::string what = parseData(rest.substr(1), &parsed);
            if (!what.empty()) {
                error = fail(number, what);
                break;
            }
            if (parsed.remove)
                DeleteValueLocked(current, name, nullptr, &fire);
            else
                SetLocked(current, name, parsed.type, std::move(parsed.data), nullptr, &fire);
        }
    }
    Fire(fire);
    return error;
}

std::string Registry::LoadRegFile(const std::filesystem::path& hostFile) {
    std::ifstream in(hostFile, std::ios::binary);
    if (!in) return hostFile.string() + ": cannot be read";
    std::stringstream content;
    content << in.rdbuf();
    return LoadRegText(content.str(), hostFile.string());
}

namespace {

// "name"=data lines wrapped as the registry editor wraps long hex lists.
void AppendHex(std::string* out, std::size_t column, const std::vector<BYTE>& data) {
    char byte[4];
    for (std::size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%02x", data[i]);
        *out += byte;
        column += 2;
        if (i + 1 < data.size()) {
            *out += ',';
            ++column;
            if (column > 76) {
                *out += "\\\r\n  ";
                column = 2;
            }
        }
    }
}

bool PlainText(const std::vector<BYTE>& data) {
    if (data.empty() || data.back() != 0) return false;
    for (std::size_t i = 0; i + 1 < data.size(); ++i)
        if (data[i] < 0x20) return false;
    return true;
}

}  // namespace

std::string Registry::ExportRegText() const {
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    std::lock_guard lock(mutex_);
    std::vector<KeyRef> pending{root_};
    while (!pending.empty()) {
        KeyRef key = pending.back();
        pending.pop_back();
        for (auto it = key->children.rbegin(); it != key->children.rend(); ++it) pending.push_back(it->second);
        if (key == root_ && key->values.empty()) continue;
        std::string path = "HKEY_LOCAL_MACHINE";
        for (auto& part : PartsOf(key)) path += "\\" + part;
        out += "[" + path + "]\r\n";
        for (auto& e : key->values) {
            std::string line = e.name.empty() ? "@=" : Quote(e.name) + "=";
            const auto& data = e.value.data;
            const DWORD type = e.value.type;
            if (type == REG_SZ && PlainText(data)) {
                line += Quote(TextOf(data));
            } else if (type == REG_DWORD && data.size() == 4) {
                char hex[16];
                std::snprintf(hex, sizeof hex, "dword:%08x", static_cast<unsigned>(LittleEndian(data)));
                line += hex;
            } else {
                std::vector<BYTE> bytes = data;
                if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
                    bytes.clear();
                    for (BYTE b : data) {
                        bytes.push_back(b);
                        bytes.push_back(0);
                    }
                }
                if (type == REG_BINARY) {
                    line += "hex:";
                } else {
                    char prefix[24];
                    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(type));
                    line += prefix;
                }
                AppendHex(&line, line.size(), bytes);
            }
            out += line + "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

std::string Registry::SaveRegFile(const std::filesystem::path& hostFile) const {
    std::string text = ExportRegText();
    std::ofstream out(hostFile, std::ios::binary | std::ios::trunc);
    if (!out) return hostFile.string() + ": cannot be written";
    out << text;
    out.close();
    if (!out) return hostFile.string() + ": cannot be written";
    return {};
}

}  // namespace sim
