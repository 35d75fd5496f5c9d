#include "platform/sim/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <vector>

namespace sim {

namespace {

std::vector<std::string> SplitParts(std::string_view path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

}  // namespace

FileSystem::FileSystem(Machine& machine, std::filesystem::path root) : machine_(machine), root_(std::move(root)) {
    std::error_code ignored;
    std::filesystem::create_directories(root_ / "C", ignored);
}

bool FileSystem::IsDevicePath(std::string_view path) {
    return path.starts_with("\\??\\") || path.starts_with("\\\\.\\") || path.starts_with("\\\\?\\GLOBALROOT");
}

std::string FileSystem::CurrentDirectory() const {
    std::lock_guard lock(mutex_);
    return currentDirectory_;
}

void FileSystem::SetCurrentDirectory(std::string windowsPath) {
    std::lock_guard lock(mutex_);
    currentDirectory_ = std::move(windowsPath);
}

namespace {

std::string FolderKey(std::string normal) {
    for (char& c : normal) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (normal.empty() || normal.back() != '\\') normal += '\\';
    return normal;
}

}  // namespace

namespace {

constexpr DWORD kShareRead = 0x1;
constexpr DWORD kShareWrite = 0x2;
constexpr DWORD kShareDelete = 0x4;

// What an access mask does, in FILE_SHARE_* bits.
DWORD Uses(DWORD access) {
    constexpr DWORD kGenericRead = 0x80000000, kGenericWrite = 0x40000000, kGenericAll = 0x10000000;
    constexpr DWORD kReadData = 0x1, kWriteData = 0x2, kAppendData = 0x4, kDelete = 0x00010000;
    DWORD uses = 0;
    if (access & (kGenericRead | kGenericAll | kReadData)) uses |= kShareRead;
    if (access & (kGenericWrite | kGenericAll | kWriteData | kAppendData)) uses |= kShareWrite;
    if (access & (kGenericAll | kDelete)) uses |= kShareDelete;
    return uses;
}

}  // namespace

DWORD FileSystem::OpenShared(std::string_view windowsPath, DWORD access, DWORD share, std::shared_ptr<void>* held) {
    held->reset();
    const DWORD uses = Uses(access);
    // An opener that neither reads, writes nor deletes takes no part in sharing.
    if (!uses) return ERROR_SUCCESS;
    if (!ShareFits(windowsPath, access, share)) return ERROR_SHARING_VIOLATION;
    std::string key = FolderKey(Normalize(windowsPath));
    std::lock_guard lock(*openersMutex_);
    auto entry = openers_->emplace(key, Opener{uses, share});
    // The registration may outlive the machine's file system in a handle still open.
    *held = std::shared_ptr<void>(nullptr, [mutex = openersMutex_, openers = openers_, entry](void*) {
        std::lock_guard lock(*mutex);
        openers->erase(entry);
    });
    return ERROR_SUCCESS;
}

bool FileSystem::ShareFits(std::string_view windowsPath, DWORD access, DWORD share) const {
    const DWORD uses = Uses(access);
    if (!uses) return true;
    std::string key = FolderKey(Normalize(windowsPath));
    std::lock_guard lock(*openersMutex_);
    auto [first, last] = openers_->equal_range(key);
    for (auto it = first; it != last; ++it)
        if ((uses & ~it->second.share) || (it->second.access & ~share)) return false;
    return true;
}

bool FileSystem::ReadOnly(const std::filesystem::path& hostPath) {
    std::error_code error;
    auto status = std::filesystem::status(hostPath, error);
    return !error && std::filesystem::is_regular_file(status) &&
           (status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none;
}

void FileSystem::SetWriteDenied(std::string_view windowsFolder, bool denied) {
    std::string key = FolderKey(Normalize(windowsFolder));
    std::lock_guard lock(mutex_);
    std::erase(writeDenied_, key);
    if (denied) writeDenied_.push_back(key);
}

bool FileSystem::WriteDenied(std::string_view windowsPath) const {
    std::string key = FolderKey(Normalize(windowsPath));
    std::lock_guard lock(mutex_);
    for (const std::string& folder : writeDenied_)
        if (key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0) return true;
    return false;
}

std::string FileSystem::Normalize(std::string_view path) const {
    if (path.empty() || IsDevicePath(path)) return {};
    if (path.starts_with("\\\\?\\")) path.remove_prefix(4);
    std::string drive;
    std::string rest;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
        rest = std::string(path.substr(2));
        if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) rest = "\\" + rest;  // "C:x" taken as "C:\x"
    } else if (path[0] == '\\' || path[0] == '/') {
        if (path.size() > 1 && (path[1] == '\\' || path[1] == '/')) return {};  // network names are not served
        drive = CurrentDirectory().substr(0, 2);
        rest = std::string(path);
    } else {
        std::string current = CurrentDirectory();
        drive = current.substr(0, 2);
        rest = current.substr(2) + "\\" + std::string(path);
    }
    std::vector<std::string> folded;
    for (auto& part : SplitParts(rest)) {
        if (part == ".") continue;
        if (part == "..") {
            if (!folded.empty()) folded.pop_back();
            continue;
        }
        folded.push_back(part);
    }
    std::string normal = drive + "\\";
    for (std::size_t i = 0; i < folded.size(); ++i) normal += (i ? "\\" : "") + folded[i];
    return normal;
}

std::string FileSystem::UsableNormal(std::string_view windowsPath) const {
    std::string normal = Normalize(windowsPath);
    for (char c : normal)
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' || (c != 0 && c < 32)) return {};
    return normal;
}

std::optional<std::filesystem::path> FileSystem::Resolve(std::string_view windowsPath) const {
    std::string normal = UsableNormal(windowsPath);
    if (normal.empty()) return std::nullopt;
    std::filesystem::path host = root_ / std::string(1, normal[0]);
    const std::vector<std::string> parts = SplitParts(normal.substr(3));

    // Names of the exact case win over their case variants, so the longest leading part of
    // the path that exists as given is taken whole; only the names after it need their
    // folder's listing.
    std::size_t given = parts.size();
    for (;; --given) {
        std::filesystem::path candidate = host;
        for (std::size_t i = 0; i < given; ++i) candidate /= parts[i];
        std::error_code error;
        if (given == 0 ||
            std::filesystem::symlink_status(candidate, error).type() != std::filesystem::file_type::not_found) {
            host = std::move(candidate);
            break;
        }
    }
    bool exists = true;
    for (std::size_t i = given; i < parts.size(); ++i) {
        const std::string& part = parts[i];
        if (exists) {
            // The name as given, else its first case variant.
            const std::string found = names_.Find(host, part);
            if (!found.empty()) {
                host /= found;
                continue;
            }
            exists = false;
        }
        host /= part;
    }
    return host;
}

namespace {

int OpenForReading(const std::filesystem::path& host) {
    int fd;
    do fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace

std::optional<std::string> FileSystem::ReadWhole(std::string_view windowsPath) const {
    const std::string normal = UsableNormal(windowsPath);
    if (normal.empty()) return std::nullopt;
    // Most paths name their file in its own letter case: try that before any look-up.
    std::filesystem::path host = root_ / std::string(1, normal[0]);
    for (const std::string& part : SplitParts(normal.substr(3))) host /= part;
    int fd = OpenForReading(host);
    if (fd < 0) {
        auto resolved = Resolve(windowsPath);
        if (!resolved || *resolved == host) return std::nullopt;
        fd = OpenForReading(*resolved);
        if (fd < 0) return std::nullopt;
    }
    std::string text(4096, '\0');
    std::size_t got = 0;
    bool failed = false;
    for (;;) {
        ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            failed = true;  // a folder, or a read error
            break;
        }
        got += static_cast<std::size_t>(n);
        // A regular file reads short only at its end, so that ends the reading without one more call.
        if (n == 0 || got < text.size()) break;
        text.resize(text.size() * 2);
    }
    ::close(fd);
    if (failed) return std::nullopt;
    text.resize(got);
    return text;
}

}  // namespace sim
