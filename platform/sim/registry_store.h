// The simulated machine: the registry: keys and typed values under
// HKEY_LOCAL_MACHINE, the 32-bit view, change notifications, .reg files.
//
// Names of keys and values are case-insensitive and keep the case they were
// created with. Values are stored as the bytes RegSetValueExA was given
// (8-bit text: a REG_SZ written with its terminating zero keeps it).
//
// Transcript (party "registry" for the system's writes through the Windows
// calls; the party's own API records under the party its caller names, or
// not at all):
//   set HKLM\<key path>\<value name> = <data>
//   delete HKLM\<key path>\<value name>        (a value)
//   delete HKLM\<key path>\                    (a key and its subtree)
// The key path has the stored case; the default value is named "@". Data:
//   dword:<decimal>      REG_DWORD of 4 bytes
//   qword:<decimal>      REG_QWORD of 8 bytes
//   "<text>"             REG_SZ (text up to its first zero; \ and " escaped)
//   expand:"<text>"      REG_EXPAND_SZ
//   multi:"a","b"        REG_MULTI_SZ
//   hex:01,02            REG_BINARY
//   hex(<type>):01,02    anything else (a DWORD of 3 bytes, REG_NONE, ...)
//
// Notifications are one-shot: an armed notification fires its event once, for
// the next change that matches it, and is then gone. A deleted key stays
// deleted for every handle open on it; a key created again under the same
// name is a new key that those handles do not reach.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/hidden.h"
#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

class Machine;

struct RegistryValue {
    DWORD type = 0;
    std::vector<BYTE> data;
};

class Registry {
public:
    struct Key;
    using KeyRef = std::shared_ptr<Key>;

    explicit Registry(Machine& machine);
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // ---- The core of the Windows calls (platform/registry.cpp) ----

    // HKEY_LOCAL_MACHINE itself.
    KeyRef Root() const { return root_; }
    // Opens (or creates, with every missing key on the way) `subKey` below
    // `base`; `view32` applies the 32-bit view to the full path.
    LSTATUS Open(const KeyRef& base, std::string_view subKey, bool view32, bool create, KeyRef* result,
                 bool* created = nullptr);
    LSTATUS Query(const KeyRef& key, std::string_view name, RegistryValue* value) const;
    LSTATUS Set(const KeyRef& key, std::string_view name, DWORD type, std::vector<BYTE> data, const char* party);
    // Arms a one-shot notification; `owner` names the handle it came through,
    // so that closing the handle fires it (as Windows does), and `thread` the
    // simulated thread whose end fires it (0: none).
    LSTATUS Notify(const KeyRef& key, const void* owner, std::uint64_t thread, bool subtree, DWORD filter,
                   std::shared_ptr<Event> event);
    void HandleClosed(const KeyRef& key, const void* owner);
    static bool Deleted(const KeyRef& key);

    // ---- The party's own API, by full path ("HKLM\..." or
    // "HKEY_LOCAL_MACHINE\...", no view applied). Errors are texts, empty on
    // success. `party` names the transcript party to record the change under
    // (null: not recorded). Every change fires the notifications it matches.

    std::string SetValue(std::string_view keyPath, std::string_view name, DWORD type, std::vector<BYTE> data,
                         const char* party = nullptr);
    std::string SetDword(std::string_view keyPath, std::string_view name, DWORD value, const char* party = nullptr);
    std::string SetQword(std::string_view keyPath, std::string_view name, std::uint64_t value,
                         const char* party = nullptr);
    // REG_SZ with its terminating zero.
    std::string SetString(std::string_view keyPath, std::string_view name, std::string_view text,
                          const char* party = nullptr);
    std::optional<RegistryValue> GetValue(std::string_view keyPath, std::string_view name) const;
    // A REG_DWORD of 4 bytes.
    std::optional<DWORD> GetDword(std::string_view keyPath, std::string_view name) const;
    // A REG_SZ or REG_EXPAND_SZ, up to its first zero.
    std::optional<std::string> GetString(std::string_view keyPath, std::string_view name) const;
    bool KeyExists(std::string_view keyPath) const;
    bool ValueExists(std::string_view keyPath, std::string_view name) const;
    std::string CreateKey(std::string_view keyPath);
    // False when there was nothing to delete.
    bool DeleteValue(std::string_view keyPath, std::string_view name, const char* party = nullptr);
    bool DeleteKey(std::string_view keyPath, const char* party = nullptr);
    // The next `count` notification requests on a key that exists fail with `status`, as a
    // system short of resources refuses them.
    void FailNotifications(LSTATUS status, int count = 1);

    // .reg text as the registry editor exports it ("Windows Registry Editor
    // Version 5.00", or "REGEDIT4"). Loading applies the file to what is there
    // (it does not clear the registry) and records nothing; an error names
    // `sourceName` and the line, and leaves the lines before it applied.
    std::string LoadRegText(std::string_view text, std::string_view sourceName);
    std::string LoadRegFile(const std::filesystem::path& hostFile);
    std::string ExportRegText() const;
    std::string SaveRegFile(const std::filesystem::path& hostFile) const;

    // "set HKLM\...\Name = dword:3" without the verb: the transcript's form of a value.
    static std::string FormatData(DWORD type, const std::vector<BYTE>& data);

private:
    struct Parsed;
    KeyRef FindLocked(const std::vector<std::string>& parts) const;
    KeyRef CreateLocked(const KeyRef& base, const std::vector<std::string>& parts, bool* created,
                        std::vector<std::shared_ptr<Event>>* fire);
    void SetLocked(const KeyRef& key, std::string_view name, DWORD type, std::vector<BYTE> data, const char* party,
                   std::vector<std::shared_ptr<Event>>* fire);
    bool DeleteValueLocked(const KeyRef& key, std::string_view name, const char* party,
                           std::vector<std::shared_ptr<Event>>* fire);
    void DeleteKeyLocked(const KeyRef& key, const char* party, std::vector<std::shared_ptr<Event>>* fire);
    void ChangedLocked(const KeyRef& key, DWORD filter, std::vector<std::shared_ptr<Event>>* fire);
    void ThreadEnded(std::uint64_t thread);
    void Fire(const std::vector<std::shared_ptr<Event>>& events);
    void Record(const char* party, const std::string& text);

    Machine& machine_;
    mutable HiddenMutex mutex_;
    KeyRef root_;
    std::set<std::uint64_t> watchingThreads_;  // threads whose end is to be told to the registry
    LSTATUS notifyFailure_ = ERROR_SUCCESS;
    int notifyFailures_ = 0;
};

}  // namespace sim
