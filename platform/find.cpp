#include "platform/find.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/sim/call_support.h"
#include "platform/sim/file_system.h"
#include "platform/sim/hidden.h"
#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace {

// The entries of one listing, taken when it starts.
class FindObject : public sim::Object {
public:
    sim::HiddenMutex mutex;
    std::vector<WIN32_FIND_DATAA> entries;
    std::size_t next = 0;
};

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// '*' any run of characters, '?' any one; letter case does not count.
bool Matches(const char* pattern, const char* name) {
    for (; *pattern; ++pattern, ++name) {
        if (*pattern == '*') {
            for (const char* rest = name;; ++rest) {
                if (Matches(pattern + 1, rest)) return true;
                if (!*rest) return false;
            }
        }
        if (!*name) return false;
        if (*pattern != '?' && Lower(*pattern) != Lower(*name)) return false;
    }
    return !*name;
}

// As Windows does, a trailing ".*" also matches a name without an extension.
bool NameMatches(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*") return true;
    if (Matches(pattern.c_str(), name.c_str())) return true;
    return pattern.size() >= 2 && pattern.ends_with(".*") && name.find('.') == std::string::npos &&
           Matches(pattern.substr(0, pattern.size() - 2).c_str(), name.c_str());
}

FILETIME ToFileTime(fs::file_time_type time) {
    using namespace std::chrono;
    // 100 ns units since 1601-01-01, which is 11644473600 s before the Unix epoch.
    auto since1970 = duration_cast<nanoseconds>(file_clock::to_sys(time).time_since_epoch()).count() / 100;
    auto ticks = static_cast<ULONGLONG>(since1970 + 116444736000000000LL);
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

WIN32_FIND_DATAA Describe(const fs::path& host, const std::string& name) {
    WIN32_FIND_DATAA data{};
    std::error_code error;
    auto status = fs::status(host, error);
    const bool folder = fs::is_directory(status);
    data.dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none)
        data.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    if (!folder) {
        auto size = static_cast<ULONGLONG>(fs::file_size(host, error));
        if (error) size = 0;
        data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
        data.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFFu);
    }
    auto written = fs::last_write_time(host, error);
    if (!error) data.ftCreationTime = data.ftLastAccessTime = data.ftLastWriteTime = ToFileTime(written);
    std::size_t length = std::min<std::size_t>(name.size(), MAX_PATH - 1);
    std::memcpy(data.cFileName, name.data(), length);
    return data;
}

bool SameFileName(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findData) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return INVALID_HANDLE_VALUE;
    if (!fileName || !*fileName || !findData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string text = fileName;
    std::size_t cut = text.find_last_of("\\/");
    std::string pattern = cut == std::string::npos ? text : text.substr(cut + 1);
    std::string folder = cut == std::string::npos ? "." : text.substr(0, cut + 1);
    if (pattern.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::string normal = machine->files().Normalize(folder);
    auto host = sim::ResolveOrFail(folder.c_str());
    if (!host || normal.empty()) return INVALID_HANDLE_VALUE;
    std::error_code error;
    if (!fs::exists(*host, error)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (!fs::is_directory(*host, error)) {
        SetLastError(ERROR_DIRECTORY);
        return INVALID_HANDLE_VALUE;
    }

    auto find = std::make_shared<FindObject>();
    const bool root = normal.size() <= 3;  // "C:\"
    if (!root) {
        if (NameMatches(pattern, ".")) find->entries.push_back(Describe(*host, "."));
        if (NameMatches(pattern, "..")) find->entries.push_back(Describe(host->parent_path(), ".."));
    }
    std::vector<std::pair<std::string, fs::path>> names;
    for (fs::directory_iterator it(*host, error), end; !error && it != end; it.increment(error)) {
        std::string name = it->path().filename().string();
        if (NameMatches(pattern, name)) names.emplace_back(name, it->path());
    }
    // NTFS lists names in case-blind order; keep listings repeatable.
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return SameFileName(a.first, b.first); });
    for (auto& [name, path] : names) find->entries.push_back(Describe(path, name));
    if (find->entries.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *findData = find->entries[0];
    find->next = 1;
    SetLastError(ERROR_SUCCESS);
    return machine->handles().Add(find);
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findData) {
    sim::Machine* machine = sim::MachineOrFail();
    auto find = machine ? machine->handles().Get<FindObject>(findFile) : nullptr;
    if (!find || !findData) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::lock_guard lock(find->mutex);
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *findData = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine || !machine->handles().Get<FindObject>(findFile) || !machine->handles().Close(findFile)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    auto from = sim::ResolveOrFail(existingFileName);
    if (!from) return FALSE;
    auto to = sim::ResolveOrFail(newFileName);
    if (!to) return FALSE;
    std::error_code error;
    if (!fs::exists(*from, error)) {
        SetLastError(sim::MissingError(*from));
        return FALSE;
    }
    if (fs::is_directory(*from, error) || fs::is_directory(*to, error)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!fs::is_directory(to->parent_path(), error)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (fs::exists(*to, error)) {
        if (failIfExists) {
            SetLastError(ERROR_FILE_EXISTS);
            return FALSE;
        }
        if (fs::equivalent(*from, *to, error)) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
        if ((fs::status(*to, error).permissions() & fs::perms::owner_write) == fs::perms::none) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    // The copy is written through the cache, as a write is: not durable until flushed.
    sim::Machine::Current()->files().NoteWrite(*to);
    fs::copy_file(*from, *to, fs::copy_options::overwrite_existing, error);
    if (error) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::Machine::Current()->files().Tell("copied", existingFileName, newFileName);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

BOOL RemoveDirectoryA(LPCSTR pathName) {
    sim::Machine* machine = sim::MachineOrFail();
    auto host = sim::ResolveOrFail(pathName);
    if (!host) return FALSE;
    std::error_code error;
    if (!fs::exists(*host, error)) {
        SetLastError(sim::MissingError(*host));
        return FALSE;
    }
    if (!fs::is_directory(*host, error)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    if (machine->files().Normalize(pathName).size() <= 3) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!fs::is_empty(*host, error)) {
        SetLastError(ERROR_DIR_NOT_EMPTY);
        return FALSE;
    }
    if (!fs::remove(*host, error)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    machine->transcript().Add("file", std::string("removed folder ") + pathName);
    return TRUE;
}
