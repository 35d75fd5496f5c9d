#include "platform/sim/file_system.h"

#include <cctype>
#include <vector>

namespace sim {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

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

std::optional<std::filesystem::path> FileSystem::Resolve(std::string_view windowsPath) const {
    std::string normal = Normalize(windowsPath);
    if (normal.empty()) return std::nullopt;
    for (char c : normal)
        if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*' || (c != 0 && c < 32))
            return std::nullopt;
    std::filesystem::path host = root_ / std::string(1, normal[0]);
    // Named in the case it has on disk: the walk below would find every part as it is. One look-up
    // in place of a folder listing per part (the settings file is read at every wake-up).
    {
        std::filesystem::path exact = host;
        for (auto& part : SplitParts(normal.substr(3))) exact /= part;
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(exact, error))) return exact;
    }
    bool exists = true;
    for (auto& part : SplitParts(normal.substr(3))) {
        if (exists) {
            std::error_code error;
            std::filesystem::path found;
            for (std::filesystem::directory_iterator it(host, error), end; !error && it != end; it.increment(error)) {
                std::string name = it->path().filename().string();
                if (name == part) {
                    found = it->path();
                    break;
                }
                if (found.empty() && SameName(name, part)) found = it->path();
            }
            if (!found.empty()) {
                host = found;
                continue;
            }
            exists = false;
        }
        host /= part;
    }
    return host;
}

}  // namespace sim
