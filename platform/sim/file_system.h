// The simulated machine: the drives, a host folder holding one folder per drive
// letter ("C" for C:\). Windows paths resolve into it case-insensitively, as
// Windows names files.
#pragma once

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/sim/folder_names.h"
#include "platform/sim/objects.h"
#include "platform/types.h"

namespace sim {

class Machine;

// An open file behind a HANDLE from CreateFileA.
class FileObject : public Object {
public:
    FileObject(std::FILE* stream, std::filesystem::path hostPath, std::string windowsPath, DWORD access)
        : stream(stream), hostPath(std::move(hostPath)), windowsPath(std::move(windowsPath)), access(access) {}
    ~FileObject() override {
        if (stream) std::fclose(stream);
    }
    FileObject(const FileObject&) = delete;
    FileObject& operator=(const FileObject&) = delete;

    std::mutex mutex;  // one call at a time on the stream
    std::FILE* stream;
    const std::filesystem::path hostPath;
    const std::string windowsPath;
    const DWORD access;
    std::shared_ptr<void> sharing;  // the handle's place among the file's openers
};

class FileSystem {
public:
    FileSystem(Machine& machine, std::filesystem::path root);

    const std::filesystem::path& Root() const { return root_; }

    // The host path a Windows path names: "C:\A\b.txt" or "c:/a/B.TXT" both
    // reach <root>/C/a/b.txt when that file exists under any letter case; the
    // parts that do not exist keep the case given. A path without a drive is
    // relative to the current folder. Empty for a device ("\??\...", "\\.\...")
    // or an unusable name.
    std::optional<std::filesystem::path> Resolve(std::string_view windowsPath) const;

    // The Windows path, made absolute and with "." and ".." folded; empty when unusable.
    std::string Normalize(std::string_view windowsPath) const;

    // The whole content of the file a Windows path names, or none when it cannot be read
    // (missing, a folder, a read error).
    std::optional<std::string> ReadWhole(std::string_view windowsPath) const;

    static bool IsDevicePath(std::string_view windowsPath);

    std::string CurrentDirectory() const;
    void SetCurrentDirectory(std::string windowsPath);

    // Share modes, checked as Windows checks them: an opener that reads, writes
    // or deletes must be shared that by every handle open on the file, and must
    // itself share what those handles do. OpenShared registers the opener for
    // as long as `*held` lives; ERROR_SHARING_VIOLATION when it does not fit.
    DWORD OpenShared(std::string_view windowsPath, DWORD access, DWORD share, std::shared_ptr<void>* held);
    bool ShareFits(std::string_view windowsPath, DWORD access, DWORD share) const;

    // A file Windows would show as FILE_ATTRIBUTE_READONLY (its owner may not write it).
    static bool ReadOnly(const std::filesystem::path& hostPath);

    // A folder whose files cannot be created or opened for writing (access denied), as when its
    // permissions are taken away; false gives them back. Files open already stay writable.
    void SetWriteDenied(std::string_view windowsFolder, bool denied);
    bool WriteDenied(std::string_view windowsPath) const;

private:
    // Normalize's result, empty also for a name holding a character Windows refuses.
    std::string UsableNormal(std::string_view windowsPath) const;

    [[maybe_unused]] Machine& machine_;
    std::filesystem::path root_;
    mutable FolderNames names_;
    mutable std::mutex mutex_;
    std::string currentDirectory_ = "C:\\Windows\\System32";
    std::vector<std::string> writeDenied_;  // normalised, lower case, each ending in a backslash
    struct Opener {
        DWORD access;  // the FILE_SHARE_* bits of what it does
        DWORD share;
    };
    std::shared_ptr<std::mutex> openersMutex_ = std::make_shared<std::mutex>();
    std::shared_ptr<std::multimap<std::string, Opener>> openers_ =
        std::make_shared<std::multimap<std::string, Opener>>();  // by lower-case normal path
};

}  // namespace sim
