// The names in the host folders that a Windows path had to be searched in for a letter-case
// variant. A folder is listed once; the host's change notifications keep its names current
// from then on, whoever changes it, so a folder of n files costs one listing, not one per look-up.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/sim/hidden.h"

namespace sim {

class FolderNames {
public:
    FolderNames() = default;
    ~FolderNames();
    FolderNames(const FolderNames&) = delete;
    FolderNames& operator=(const FolderNames&) = delete;

    // The entry of `folder` named `name` exactly, else its first case variant; empty when none
    // (or when the folder cannot be read). `known` is the folder's status when the caller has
    // just taken it (and found a folder, not a link), which spares taking it again.
    std::string Find(const std::string& folder, const std::string& name, const struct stat* known = nullptr);

private:
    struct Folder {
        int watch = -1;
        dev_t device = 0;
        ino_t inode = 0;
        std::unordered_map<std::string, std::vector<std::string>> byLower;  // names by their lower case
    };

    static std::string ListAndFind(const std::string& folder, const std::string& name);
    static void Add(Folder& folder, const std::string& name);
    static void Remove(Folder& folder, const std::string& name);
    Folder* Watched(const std::string& key, dev_t device, ino_t inode);
    void Drain();
    void Forget(const std::string& key);
    void ForgetAll();

    HiddenMutex mutex_;
    int notify_ = -1;
    bool unavailable_ = false;                  // no notifications on this host: list every time
    std::unordered_map<std::string, Folder> folders_;  // by host path
    std::unordered_map<int, std::string> byWatch_;
};

}  // namespace sim
