#include "platform/sim/file_system.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/sim/machine.h"
#include "platform/sim/names.h"

namespace sim {

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Appends the parts of a normal Windows path ("a\\b" of "C:\\a\\b") to the host path of its drive.
void AppendParts(std::string& host, std::string_view parts) {
    if (parts.empty()) return;
    host += '/';
    const std::size_t start = host.size();
    host.append(parts);
    std::replace(host.begin() + static_cast<std::ptrdiff_t>(start), host.end(), '\\', '/');
}

std::filesystem::file_status StatusOf(const struct stat& status) {
    namespace fs = std::filesystem;
    fs::file_type type;
    switch (status.st_mode & S_IFMT) {
        case S_IFREG: type = fs::file_type::regular; break;
        case S_IFDIR: type = fs::file_type::directory; break;
        case S_IFLNK: type = fs::file_type::symlink; break;
        case S_IFCHR: type = fs::file_type::character; break;
        case S_IFBLK: type = fs::file_type::block; break;
        case S_IFIFO: type = fs::file_type::fifo; break;
        case S_IFSOCK: type = fs::file_type::socket; break;
        default: type = fs::file_type::unknown; break;
    }
    return fs::file_status(type, static_cast<fs::perms>(status.st_mode) & fs::perms::mask);
}

}  // namespace

FileSystem::FileSystem(Machine& machine, std::filesystem::path root)
    : machine_(machine), root_(std::move(root)), rootPrefix_((root_ / "").string()) {
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
    normal = LowerAscii(normal);
    if (normal.empty() || normal.back() != '\\') normal += '\\';
    return normal;
}

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
    std::string key = FolderKey(Normalize(windowsPath));
    std::lock_guard lock(*openersMutex_);
    if (!ShareFitsKey(key, uses, share)) return ERROR_SHARING_VIOLATION;
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
    return ShareFitsKey(key, uses, share);
}

bool FileSystem::ShareFitsKey(const std::string& key, DWORD uses, DWORD share) const {
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

void FileSystem::SetReadOnly(const std::filesystem::path& hostPath, bool readOnly, std::error_code& error) {
    namespace fs = std::filesystem;
    if (readOnly)
        fs::permissions(hostPath, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove, error);
    else
        fs::permissions(hostPath, fs::perms::owner_write, fs::perm_options::add, error);
}

void FileSystem::Tell(std::string_view what, std::string_view windowsPath, std::string_view toWindowsPath) {
    std::string text = std::string(what) + " " + Normalize(windowsPath);
    if (!toWindowsPath.empty()) text += " to " + Normalize(toWindowsPath);
    machine_.transcript().Add("file", std::move(text));
}

void FileSystem::SetWriteDenied(std::string_view windowsFolder, bool denied) {
    std::string key = FolderKey(Normalize(windowsFolder));
    std::lock_guard lock(mutex_);
    std::erase(writeDenied_, key);
    if (denied) writeDenied_.push_back(key);
}

bool FileSystem::WriteDenied(std::string_view windowsPath) const {
    {
        std::lock_guard lock(mutex_);
        if (writeDenied_.empty()) return false;
    }
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
    std::string relative;  // the current folder and the path, for a path without a root
    std::string_view rest;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) {
        drive = std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])))) + ":";
        rest = path.substr(2);  // "C:x" taken as "C:\x"
    } else if (path[0] == '\\' || path[0] == '/') {
        if (path.size() > 1 && (path[1] == '\\' || path[1] == '/')) return {};  // network names are not served
        drive = CurrentDirectory().substr(0, 2);
        rest = path;
    } else {
        std::string current = CurrentDirectory();
        drive = current.substr(0, 2);
        relative = current.substr(2) + "\\" + std::string(path);
        rest = relative;
    }
    // One pass over the parts, folding "." and ".." as they come.
    std::string normal = drive + "\\";
    const std::size_t top = normal.size();
    normal.reserve(top + rest.size());
    for (std::size_t at = 0; at < rest.size();) {
        if (IsSeparator(rest[at])) {
            ++at;
            continue;
        }
        std::size_t end = at;
        while (end < rest.size() && !IsSeparator(rest[end])) ++end;
        const std::string_view part(rest.data() + at, end - at);
        at = end;
        if (part == ".") continue;
        if (part == "..") {
            if (normal.size() > top) {
                const std::size_t last = normal.rfind('\\');  // the root's, or the last part's
                normal.erase(last < top ? top : last);
            }
            continue;
        }
        if (normal.size() > top) normal += '\\';
        normal.append(part);
    }
    return normal;
}

std::string FileSystem::UsableNormal(std::string_view windowsPath) const {
    std::string normal = Normalize(windowsPath);
    for (char c : normal)
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' || (c != 0 && c < 32)) return {};
    return normal;
}

std::optional<std::filesystem::path> FileSystem::Resolve(std::string_view windowsPath,
                                                         std::optional<std::filesystem::file_status>* seen) const {
    if (seen) seen->reset();
    std::string normal = UsableNormal(windowsPath);
    if (normal.empty()) return std::nullopt;
    std::string host = HostOfNormal(normal);
    // The host path is built and probed as one text: its parts start after the separators
    // that follow the drive's folder.
    std::vector<std::size_t> separators;
    for (std::size_t at = rootPrefix_.size() + 1; at < host.size(); ++at)
        if (host[at] == '/') separators.push_back(at);
    const std::size_t count = separators.size();
    auto prefixEnd = [&](std::size_t parts) { return parts < count ? separators[parts] : host.size(); };

    // Names of the exact case win over their case variants, so the longest leading part of
    // the path that exists as given is taken whole; only the names after it need their
    // folder's listing.
    struct stat status {};
    bool statusOfGiven = false;  // `status` is the host's own of the leading part taken
    int wholeError = 0;          // what the host said of the whole path as given
    std::size_t given = count;
    for (; given > 0; --given) {
        const std::size_t end = prefixEnd(given);
        const char kept = host[end];
        host[end] = '\0';
        const int result = ::lstat(host.c_str(), &status);
        const int error = result == 0 ? 0 : errno;
        host[end] = kept;
        if (given == count) wholeError = error;
        if (error == 0) statusOfGiven = true;
        // Only a name the host does not have counts as missing (as std::filesystem counts it).
        if (error != ENOENT && error != ENOTDIR) break;
    }
    if (given == count) {
        if (seen && statusOfGiven && !S_ISLNK(status.st_mode)) *seen = StatusOf(status);
        return std::filesystem::path(std::move(host));
    }
    bool asGiven = true;
    for (std::size_t i = given; i < count; ++i) {
        const std::size_t start = separators[i] + 1;
        const std::string part = host.substr(start, prefixEnd(i + 1) - start);
        // The folder found just now need not be looked at again to be listed.
        const bool known = i == given && statusOfGiven && S_ISDIR(status.st_mode);
        const std::string found = names_.Find(host.substr(0, separators[i]), part, known ? &status : nullptr);
        if (found.empty()) break;  // missing: this name and those after it keep the case given
        if (found != part) {
            host.replace(start, found.size(), found);  // a case variant is as long as the name
            asGiven = false;
        }
    }
    // The whole path as given was looked at first: that answers for the path given back.
    if (seen && asGiven && (wholeError == ENOENT || wholeError == ENOTDIR))
        *seen = std::filesystem::file_status(std::filesystem::file_type::not_found);
    return std::filesystem::path(std::move(host));
}

std::string FileSystem::HostOfNormal(const std::string& normal) const {
    std::string host;
    host.reserve(rootPrefix_.size() + normal.size());
    host = rootPrefix_;
    host += normal[0];
    AppendParts(host, std::string_view(normal).substr(3));
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
    const std::filesystem::path host = HostOfNormal(normal);
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

// --- What reaches the disk ---

namespace {

// A path with no empty, "." or ".." name is its own normal form: most are, and folding one costs
// more than the look-up it serves.
bool LexicallyNormal(const std::string& path) {
    if (path.empty() || path.back() == '/') return false;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::size_t length = end - start;
        if ((length == 0 && start != 0) || (length == 1 && path[start] == '.') ||
            (length == 2 && path[start] == '.' && path[start + 1] == '.'))
            return false;
        start = end + 1;
    }
    return true;
}

std::string KeyOf(const std::filesystem::path& host) {
    const std::string& text = host.native();
    return LexicallyNormal(text) ? text : host.lexically_normal().string();
}

// `key` is the path `at` or lies below it.
bool Within(const std::string& key, const std::string& at) {
    return key.compare(0, at.size(), at) == 0 && (key.size() == at.size() || key[at.size()] == '/');
}

std::optional<std::string> HostContent(const std::filesystem::path& host) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(host, error)) return std::nullopt;
    std::ifstream in(host, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// The bytes of a file, or of every file in a folder.
std::uint64_t HostSize(const std::filesystem::path& host) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::is_directory(host, error)) {
        std::uint64_t size = 0;
        for (auto it = fs::recursive_directory_iterator(host, error); !error && it != fs::recursive_directory_iterator();
             it.increment(error))
            if (it->is_regular_file(error)) size += HostSize(it->path());
        return size;
    }
    if (!fs::is_regular_file(host, error)) return 0;
    const std::uintmax_t size = fs::file_size(host, error);
    return error ? 0 : size;
}

}  // namespace

void FileSystem::NoteWriteLocked(const std::string& key) {
    if (writeBack_.count(key)) return;
    // A new file's name is durable at once, its data not: a power loss leaves it empty.
    writeBack_[key] = HostContent(key).value_or(std::string());
}

std::string FileSystem::WriterKeyLocked(const FileObject& file) const {
    for (const Writer& writer : writers_)
        if (writer.file.lock().get() == &file) return writer.key;
    return KeyOf(file.hostPath);
}

void FileSystem::NoteWrite(const std::filesystem::path& host) {
    std::lock_guard lock(mutex_);
    NoteWriteLocked(KeyOf(host));
}

void FileSystem::NoteMade(const std::filesystem::path& host) {
    std::lock_guard lock(mutex_);
    writeBack_.try_emplace(KeyOf(host), std::string());
}

void FileSystem::NoteFlushed(const FileObject& file) {
    std::lock_guard lock(mutex_);
    writeBack_.erase(WriterKeyLocked(file));
}

void FileSystem::NoteDeleted(const std::filesystem::path& host) {
    const std::uint64_t size = HostSize(host);
    const std::string key = KeyOf(host);
    std::lock_guard lock(mutex_);
    std::erase_if(writeBack_, [&](const auto& entry) { return Within(entry.first, key); });
    for (Writer& writer : writers_)
        if (Within(writer.key, key)) writer.key.clear();
    if (freeSpace_) *freeSpace_ += size;
}

void FileSystem::AddWriter(const std::shared_ptr<FileObject>& file) {
    std::lock_guard lock(mutex_);
    std::erase_if(writers_, [](const Writer& writer) { return writer.file.expired(); });
    writers_.push_back(Writer{KeyOf(file->hostPath), file});
}

DWORD FileSystem::Move(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::string fromKey = KeyOf(from);
    const std::string toKey = KeyOf(to);
    // What the move replaces gives its bytes back; they are counted only under a limit.
    const std::uint64_t replaced = fromKey == toKey || !SpaceLimited() ? 0 : HostSize(to);
    std::lock_guard lock(mutex_);
    if (poweredOff_) return ERROR_NOT_READY;
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (error) return ERROR_ACCESS_DENIED;
    if (fromKey != toKey) {
        // The move is durable at once: what it replaced is gone for good, and what moved keeps
        // its account under the new name.
        std::erase_if(writeBack_, [&](const auto& entry) { return Within(entry.first, toKey); });
        std::map<std::string, std::optional<std::string>> moved;
        for (auto it = writeBack_.begin(); it != writeBack_.end();) {
            if (!Within(it->first, fromKey)) {
                ++it;
                continue;
            }
            moved[toKey + it->first.substr(fromKey.size())] = std::move(it->second);
            it = writeBack_.erase(it);
        }
        writeBack_.merge(moved);
        for (Writer& writer : writers_) {
            if (Within(writer.key, toKey))
                writer.key.clear();
            else if (Within(writer.key, fromKey))
                writer.key = toKey + writer.key.substr(fromKey.size());
        }
    }
    if (freeSpace_) *freeSpace_ += replaced;
    return 0;
}

std::size_t FileSystem::PendingWriteBack() const {
    std::lock_guard lock(mutex_);
    return writeBack_.size();
}

void FileSystem::WriteBackAll() {
    std::lock_guard lock(mutex_);
    writeBack_.clear();
}

void FileSystem::PowerOff() {
    std::lock_guard lock(mutex_);
    poweredOff_ = true;
}

bool FileSystem::PoweredOff() const {
    std::lock_guard lock(mutex_);
    return poweredOff_;
}

void FileSystem::DropWriteBack() {
    std::lock_guard lock(mutex_);
    namespace fs = std::filesystem;
    for (const auto& [key, durable] : writeBack_) {
        const fs::path host(key);
        std::error_code error;
        if (!durable) {
            if (!fs::is_directory(host, error)) fs::remove(host, error);
            continue;
        }
        fs::create_directories(host.parent_path(), error);
        // Attributes are durable at once: a read-only file stays so with its old data.
        const bool readOnly = ReadOnly(host);
        const fs::perms perms = readOnly ? fs::status(host, error).permissions() : fs::perms::none;
        if (readOnly) SetReadOnly(host, false, error);
        {
            std::ofstream out(host, std::ios::binary | std::ios::trunc);
            out << *durable;
        }
        if (readOnly) fs::permissions(host, perms, fs::perm_options::replace, error);
    }
    writeBack_.clear();
}

// --- Free space ---

void FileSystem::SetFreeSpace(std::optional<std::uint64_t> bytes) {
    std::lock_guard lock(mutex_);
    freeSpace_ = bytes;
}

bool FileSystem::SpaceLimited() const {
    std::lock_guard lock(mutex_);
    return freeSpace_.has_value();
}

DWORD FileSystem::TakeSpaceLocked(std::uint64_t growth) {
    if (poweredOff_) return ERROR_NOT_READY;
    if (freeSpace_) {
        if (growth > *freeSpace_) return ERROR_DISK_FULL;
        *freeSpace_ -= growth;
    }
    return 0;
}

DWORD FileSystem::BeginWrite(const std::filesystem::path& host, std::uint64_t growth) {
    std::lock_guard lock(mutex_);
    if (DWORD error = TakeSpaceLocked(growth)) return error;
    NoteWriteLocked(KeyOf(host));
    return 0;
}

DWORD FileSystem::BeginWrite(const FileObject& file, std::uint64_t growth) {
    std::lock_guard lock(mutex_);
    if (DWORD error = TakeSpaceLocked(growth)) return error;
    // A deleted file's data reaches no name.
    if (const std::string key = WriterKeyLocked(file); !key.empty()) NoteWriteLocked(key);
    return 0;
}

void FileSystem::GiveSpaceBack(std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    if (freeSpace_) *freeSpace_ += bytes;
}

void FileSystem::SetChangeCost(DWORD ms) {
    std::lock_guard lock(mutex_);
    changeCost_ = ms;
}

DWORD FileSystem::BeginChange() {
    DWORD cost;
    {
        std::lock_guard lock(mutex_);
        cost = changeCost_;
    }
    if (cost) machine_.clock().Sleep(cost);
    return PoweredOff() ? ERROR_NOT_READY : 0;
}

std::uint64_t WriteGrowth(int fd, std::int64_t at, std::uint64_t size) {
    struct stat status{};
    if (at < 0 || ::fstat(fd, &status) != 0) return size;
    const std::uint64_t end = static_cast<std::uint64_t>(at) + size;
    const auto length = static_cast<std::uint64_t>(status.st_size);
    return end > length ? end - length : 0;
}

// --- Streams of the runtime's file calls ---

namespace {

struct HostStream {
    int fd = -1;
    std::filesystem::path host;
    bool append = false;
};

ssize_t StreamRead(void* cookie, char* buffer, std::size_t size) {
    auto* stream = static_cast<HostStream*>(cookie);
    ssize_t got;
    do got = ::read(stream->fd, buffer, size);
    while (got < 0 && errno == EINTR);
    return got;
}

ssize_t StreamWrite(void* cookie, const char* buffer, std::size_t size) {
    auto* stream = static_cast<HostStream*>(cookie);
    const std::uint64_t growth = WriteGrowth(stream->fd, stream->append ? -1 : ::lseek(stream->fd, 0, SEEK_CUR), size);
    if (Machine* machine = Machine::Current()) {
        if (DWORD error = machine->files().BeginWrite(stream->host, growth)) {
            errno = error == ERROR_DISK_FULL ? ENOSPC : EIO;
            return -1;  // nothing of it is written; the stream drops it
        }
    }
    std::size_t put = 0;
    while (put < size) {
        const ssize_t n = ::write(stream->fd, buffer + put, size - put);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return put ? static_cast<ssize_t>(put) : -1;
        put += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(put);
}

int StreamSeek(void* cookie, off64_t* offset, int whence) {
    auto* stream = static_cast<HostStream*>(cookie);
    const off64_t at = ::lseek64(stream->fd, *offset, whence);
    if (at < 0) return -1;
    *offset = at;
    return 0;
}

int StreamClose(void* cookie) {
    auto* stream = static_cast<HostStream*>(cookie);
    const int result = ::close(stream->fd);
    delete stream;
    return result;
}

}  // namespace

std::FILE* OpenHostStream(const std::filesystem::path& host, const std::string& mode) {
    const bool plus = mode.find('+') != std::string::npos;
    const char kind = mode.empty() ? 'r' : mode[0];
    if (kind == 'r' && !plus) return std::fopen(host.c_str(), "rb");
    int flags = O_CLOEXEC | (plus ? O_RDWR : kind == 'r' ? O_RDONLY : O_WRONLY);
    if (kind == 'w') flags |= O_CREAT | O_TRUNC;
    if (kind == 'a') flags |= O_CREAT | O_APPEND;
    if (kind != 'r' && kind != 'w' && kind != 'a') {
        errno = EINVAL;
        return nullptr;
    }
    std::error_code error;
    const bool exists = std::filesystem::exists(host, error);
    if (exists && FileSystem::ReadOnly(host)) {
        errno = EACCES;  // a read-only file opens for reading only
        return nullptr;
    }
    if (!exists && kind == 'r') {
        errno = ENOENT;
        return nullptr;
    }
    if (Machine* machine = Machine::Current()) {
        if (machine->files().PoweredOff()) {
            errno = EIO;
            return nullptr;
        }
        if (kind == 'w') machine->files().GiveSpaceBack(HostSize(host));
        if (kind == 'w' || !exists) machine->files().NoteWrite(host);
    }
    int fd;
    do fd = ::open(host.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    auto* stream = new HostStream{fd, host, kind == 'a'};
    std::FILE* file = fopencookie(stream, mode.c_str(), {StreamRead, StreamWrite, StreamSeek, StreamClose});
    if (!file) {
        ::close(fd);
        delete stream;
    }
    return file;
}

}  // namespace sim
