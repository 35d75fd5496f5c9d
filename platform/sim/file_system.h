// The simulated machine: the drives, a host folder holding one folder per drive
// letter ("C" for C:\). Windows paths resolve into it case-insensitively, as
// Windows names files.
#pragma once

#include <cstdint>
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
#include "platform/sim/hidden.h"
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

    HiddenMutex mutex;  // one call at a time on the stream
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
    // or an unusable name. `seen`, when given, gets the host path's status as
    // std::filesystem::status gives it, when the look-up learnt it on the way (the path
    // exists as given, or is missing), else none.
    std::optional<std::filesystem::path> Resolve(std::string_view windowsPath,
                                                 std::optional<std::filesystem::file_status>* seen = nullptr) const;

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
    // Sets or clears that, as the host's write permission.
    static void SetReadOnly(const std::filesystem::path& hostPath, bool readOnly, std::error_code& error);

    // The transcript's "file" line of a change: "<what> <path>", or "<what> <path> to <other path>",
    // the paths normalised.
    void Tell(std::string_view what, std::string_view windowsPath, std::string_view toWindowsPath = {});

    // A folder whose files cannot be created or opened for writing (access denied), as when its
    // permissions are taken away; false gives them back. Files open already stay writable.
    void SetWriteDenied(std::string_view windowsFolder, bool denied);
    bool WriteDenied(std::string_view windowsPath) const;

    // --- What reaches the disk ---
    // As strict as NTFS: a file's data is durable only once FlushFileBuffers has written it.
    // Closing its handle makes nothing durable, and a move, with MOVEFILE_WRITE_THROUGH or
    // without, makes only the move durable, not the data. Metadata is durable at once: a file
    // made exists (empty) after a power loss, a deletion, an attribute and a move stay done, and
    // a moved file takes its durable data to its new name. The registry keeps every write at
    // once too. Durable metadata and registry are a choice (Windows may still lose such a
    // change at a power loss): the service is safe in either order, since it flushes each file
    // before its move and its flag write, a lost move leaves the old file whole, and a lost flag
    // write only means unpacking again. A power loss puts every file back to what is durable.
    // The layer's calls tell each change before they make it (Note...).
    void NoteWrite(const std::filesystem::path& host);  // a file about to be made, emptied or written
    void NoteMade(const std::filesystem::path& host);   // a file about to be made where there is none
    void NoteFlushed(const FileObject& file);
    void NoteDeleted(const std::filesystem::path& host);  // a file, or a folder with all it holds
    // Renames `from` (a file or a folder) to `to`, replacing it, and keeps the write-back's
    // account; 0, or the Windows error.
    DWORD Move(const std::filesystem::path& from, const std::filesystem::path& to);
    // A handle open for writing: its writes and flushes follow its file through moves, and stop
    // counting once the file is deleted.
    void AddWriter(const std::shared_ptr<FileObject>& file);
    // Files whose content on disk is not yet all durable.
    std::size_t PendingWriteBack() const;
    // Everything written so far is durable, as once the system has written its cache back.
    void WriteBackAll();

    // Power lost: from now on no change reaches the drives (ERROR_NOT_READY), and DropWriteBack
    // puts every file back to its durable state once no thread runs any more.
    void PowerOff();
    bool PoweredOff() const;
    void DropWriteBack();

    // --- Free space ---
    // The bytes files may still grow by from now on (none: no limit). A write that would grow
    // them further fails whole with ERROR_DISK_FULL; deleting, emptying or replacing a file
    // gives its bytes back.
    void SetFreeSpace(std::optional<std::uint64_t> bytes);
    bool SpaceLimited() const;
    // 0 when a write growing a file by `growth` bytes may go ahead (the space is taken, the
    // write-back told), else the error it meets: a stream's file by its path, a handle's by the
    // handle.
    DWORD BeginWrite(const std::filesystem::path& host, std::uint64_t growth);
    DWORD BeginWrite(const FileObject& file, std::uint64_t growth);
    void GiveSpaceBack(std::uint64_t bytes);

    // Virtual milliseconds each change through the file calls costs (making, writing, flushing,
    // moving, deleting a file, setting its attributes): 0 unless set, so a stop or a power loss
    // can fall between two of them. BeginChange sleeps that long on the calling thread, then
    // gives 0, or ERROR_NOT_READY once the power is off.
    void SetChangeCost(DWORD ms);
    DWORD BeginChange();

private:
    // Normalize's result, empty also for a name holding a character Windows refuses.
    std::string UsableNormal(std::string_view windowsPath) const;
    // The host path of a normal path, each name as given.
    std::string HostOfNormal(const std::string& normal) const;

    Machine& machine_;
    std::filesystem::path root_;
    std::string rootPrefix_;  // root_ with a separator after it
    mutable FolderNames names_;
    mutable HiddenMutex mutex_;
    std::string currentDirectory_ = "C:\\Windows\\System32";
    std::vector<std::string> writeDenied_;  // normalised, lower case, each ending in a backslash
    struct Opener {
        DWORD access;  // the FILE_SHARE_* bits of what it does
        DWORD share;
    };
    std::shared_ptr<HiddenMutex> openersMutex_ = std::make_shared<HiddenMutex>();
    std::shared_ptr<std::multimap<std::string, Opener>> openers_ =
        std::make_shared<std::multimap<std::string, Opener>>();  // by lower-case normal path

    void NoteWriteLocked(const std::string& key);
    DWORD TakeSpaceLocked(std::uint64_t growth);
    bool ShareFitsKey(const std::string& key, DWORD uses, DWORD share) const;
    // The host path a handle's file has now; empty once it is deleted.
    std::string WriterKeyLocked(const FileObject& file) const;

    // What a power loss would leave at each host path whose disk content is not all durable:
    // the durable content, or none for no file.
    std::map<std::string, std::optional<std::string>> writeBack_;
    struct Writer {
        std::string key;  // empty once its file is deleted
        std::weak_ptr<FileObject> file;
    };
    std::vector<Writer> writers_;
    bool poweredOff_ = false;
    std::optional<std::uint64_t> freeSpace_;
    DWORD changeCost_ = 0;
};

// How many bytes a write of `size` bytes at offset `at` of the open host file `fd` makes it grow
// by; all of them for a negative offset (an append) or a file whose length is unknown.
std::uint64_t WriteGrowth(int fd, std::int64_t at, std::uint64_t size);

// A C stream over a host file whose writes go through the machine's rules (free space, power,
// write-back), as the runtime's file calls give them; null with errno set when it cannot open.
std::FILE* OpenHostStream(const std::filesystem::path& host, const std::string& mode);

}  // namespace sim
