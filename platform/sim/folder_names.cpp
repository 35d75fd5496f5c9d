#include "platform/sim/folder_names.h"
#include "platform/sim/names.h"

#include <dirent.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace sim {

namespace {

constexpr std::uint32_t kChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

FolderNames::~FolderNames() {
    if (notify_ >= 0) ::close(notify_);
}

void FolderNames::Add(Folder& folder, const std::string& name) {
    std::vector<std::string>& names = folder.byLower[LowerAscii(name)];
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

void FolderNames::Remove(Folder& folder, const std::string& name) {
    auto entry = folder.byLower.find(LowerAscii(name));
    if (entry == folder.byLower.end()) return;
    std::erase(entry->second, name);
    if (entry->second.empty()) folder.byLower.erase(entry);
}

std::string FolderNames::ListAndFind(const std::string& folder, const std::string& name) {
    std::string found;
    if (DIR* listing = opendir(folder.c_str())) {
        const std::string lower = LowerAscii(name);
        while (dirent* entry = readdir(listing)) {
            if (name == entry->d_name) {
                found = name;
                break;
            }
            if (found.empty() && LowerAscii(entry->d_name) == lower) found = entry->d_name;
        }
        closedir(listing);
    }
    return found;
}

std::string FolderNames::Find(const std::string& folder, const std::string& name, const struct stat* known) {
    std::lock_guard lock(mutex_);
    if (notify_ < 0 && !unavailable_) {
        notify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        unavailable_ = notify_ < 0;
    }
    if (unavailable_) return ListAndFind(folder, name);
    Drain();
    struct stat info {};
    if (known)
        info = *known;
    else if (::stat(folder.c_str(), &info) != 0)
        return {};
    if (!S_ISDIR(info.st_mode)) return {};
    Folder* names = Watched(folder, info.st_dev, info.st_ino);
    if (!names) return ListAndFind(folder, name);
    auto variants = names->byLower.find(LowerAscii(name));
    if (variants == names->byLower.end()) return {};
    for (const std::string& variant : variants->second)
        if (variant == name) return variant;
    return variants->second.front();
}

// The folder's names, listed now when they are not known yet; null when the host will not watch it.
FolderNames::Folder* FolderNames::Watched(const std::string& key, dev_t device, ino_t inode) {
    auto known = folders_.find(key);
    if (known != folders_.end()) {
        if (known->second.device == device && known->second.inode == inode) return &known->second;
        Forget(key);  // another folder by that path now
    }
    // Watched before listing, so that no change falls between the two.
    const int watch = inotify_add_watch(notify_, key.c_str(), kChanges);
    if (watch < 0) return nullptr;
    // One folder has one watch: one known under another path (a parent renamed) is listed anew.
    if (auto other = byWatch_.find(watch); other != byWatch_.end()) {
        folders_.erase(other->second);
        byWatch_.erase(other);
    }
    Folder folder;
    folder.watch = watch;
    DIR* listing = opendir(key.c_str());
    struct stat listed {};
    if (!listing || fstat(dirfd(listing), &listed) != 0 || listed.st_dev != device || listed.st_ino != inode) {
        if (listing) closedir(listing);
        inotify_rm_watch(notify_, watch);
        return nullptr;
    }
    folder.device = device;
    folder.inode = inode;
    while (dirent* entry = readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
        Add(folder, entry->d_name);
    }
    closedir(listing);
    byWatch_[watch] = key;
    return &(folders_[key] = std::move(folder));
}

// Applies the changes reported since the last look-up. Changes made before a folder's listing
// may be reported after it; applied in order they still end in the folder's present names.
void FolderNames::Drain() {
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(notify_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        for (const char* at = buffer; at < buffer + got;) {
            inotify_event event;
            std::memcpy(&event, at, sizeof event);
            const char* name = at + sizeof event;
            at += sizeof event + event.len;
            if (event.mask & IN_Q_OVERFLOW) {
                ForgetAll();
                continue;
            }
            auto watch = byWatch_.find(event.wd);
            if (watch == byWatch_.end()) continue;
            if (event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
                const std::string key = watch->second;
                Forget(key);
                continue;
            }
            if (event.len == 0) continue;
            Folder& folder = folders_[watch->second];
            const std::string entry(name, strnlen(name, event.len));
            if (event.mask & (IN_CREATE | IN_MOVED_TO)) Add(folder, entry);
            if (event.mask & (IN_DELETE | IN_MOVED_FROM)) Remove(folder, entry);
        }
    }
}

void FolderNames::Forget(const std::string& key) {
    auto known = folders_.find(key);
    if (known == folders_.end()) return;
    inotify_rm_watch(notify_, known->second.watch);
    byWatch_.erase(known->second.watch);
    folders_.erase(known);
}

void FolderNames::ForgetAll() {
    for (auto& [key, folder] : folders_) inotify_rm_watch(notify_, folder.watch);
    folders_.clear();
    byWatch_.clear();
}

}  // namespace sim
