#include "platform/files.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/sim/call_support.h"
#include "platform/sim/driver.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sync.h"

namespace fs = std::filesystem;

namespace {

// The open file behind a handle opened with one of `access`; none, with the last error set, else.
std::shared_ptr<sim::FileObject> FileWith(HANDLE handle, DWORD access) {
    sim::Machine* machine = sim::MachineOrFail();
    auto file = machine ? machine->handles().Get<sim::FileObject>(handle) : nullptr;
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(file->access & access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return file;
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine || !fileName || size == 0) return 0;
    std::string path = machine->ExecutablePath();
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE) {
    sim::Machine* machine = sim::MachineOrFail();
    if (!machine) return INVALID_HANDLE_VALUE;
    if (fileName && sim::FileSystem::IsDevicePath(fileName)) {
        DWORD error = ERROR_FILE_NOT_FOUND;
        auto device = machine->driver().OpenDevice(fileName, &error);
        if (!device) {
            SetLastError(error);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(ERROR_SUCCESS);
        return machine->handles().Add(device);
    }
    fs::file_status status;
    auto host = sim::ResolveOrFail(fileName, &status);
    if (!host) return INVALID_HANDLE_VALUE;
    std::error_code error;
    if (fs::is_directory(status)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const bool exists = fs::exists(status);
    const bool write = (desiredAccess & (GENERIC_WRITE | GENERIC_ALL)) != 0;
    if ((write || (!exists && creationDisposition != OPEN_EXISTING)) && machine->files().WriteDenied(fileName)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // A read-only file opens for reading only; it is neither written, truncated nor replaced.
    const bool truncates = creationDisposition == CREATE_ALWAYS || creationDisposition == TRUNCATE_EXISTING;
    if (exists && (write || truncates) && creationDisposition != CREATE_NEW && sim::FileSystem::ReadOnly(*host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    const char* mode = nullptr;
    switch (creationDisposition) {
        case CREATE_NEW:
            if (exists) {
                SetLastError(ERROR_FILE_EXISTS);
                return INVALID_HANDLE_VALUE;
            }
            mode = "w+b";
            break;
        case CREATE_ALWAYS:
            mode = "w+b";
            break;
        case OPEN_EXISTING:
            if (!exists) {
                SetLastError(sim::MissingError(*host));
                return INVALID_HANDLE_VALUE;
            }
            mode = write ? "r+b" : "rb";
            break;
        case OPEN_ALWAYS:
            mode = exists ? (write ? "r+b" : "rb") : "w+b";
            break;
        case TRUNCATE_EXISTING:
            if (!exists) {
                SetLastError(sim::MissingError(*host));
                return INVALID_HANDLE_VALUE;
            }
            mode = "w+b";
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    std::shared_ptr<void> sharing;
    if (exists) {
        if (DWORD refused = machine->files().OpenShared(fileName, desiredAccess, shareMode, &sharing)) {
            SetLastError(refused);
            return INVALID_HANDLE_VALUE;
        }
    }
    const bool empties = exists && truncates;
    const bool creates = !exists && creationDisposition != OPEN_EXISTING;
    sim::FileSystem& files = machine->files();
    if (creates || empties) {
        if (DWORD refused = files.BeginChange()) {
            SetLastError(refused);
            return INVALID_HANDLE_VALUE;
        }
        if (empties) {
            std::error_code unknown;
            const std::uintmax_t size = fs::file_size(*host, unknown);
            if (!unknown) files.GiveSpaceBack(size);
            files.NoteWrite(*host);
        } else {
            files.NoteMade(*host);
        }
    }
    std::FILE* stream = std::fopen(host->c_str(), mode);
    if (!stream) {
        SetLastError(exists ? ERROR_ACCESS_DENIED : sim::MissingError(*host));
        return INVALID_HANDLE_VALUE;
    }
    if (!exists) {
        machine->files().OpenShared(fileName, desiredAccess, shareMode, &sharing);
        // A file made read-only still takes the writes of the handle that made it.
        if (flagsAndAttributes & FILE_ATTRIBUTE_READONLY) sim::FileSystem::SetReadOnly(*host, true, error);
    }
    auto file = std::make_shared<sim::FileObject>(stream, *host, machine->files().Normalize(fileName), desiredAccess);
    file->sharing = std::move(sharing);
    if (!exists || mode[0] == 'w') machine->transcript().Add("file", (exists ? "emptied " : "created ") + file->windowsPath);
    if (write) files.AddWriter(file);
    SetLastError(exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS)
                     ? ERROR_ALREADY_EXISTS
                     : ERROR_SUCCESS);
    return machine->handles().Add(file);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED) {
    if (bytesRead) *bytesRead = 0;
    auto file = FileWith(handle, GENERIC_READ | GENERIC_ALL);
    if (!file) return FALSE;
    std::lock_guard lock(file->mutex);
    // Every write is flushed at once, so a read needs no flush of its own.
    // The handle's lock already keeps the stream to one call at a time.
    std::size_t got = bytesToRead ? fread_unlocked(buffer, 1, bytesToRead, file->stream) : 0;
    if (bytesRead) *bytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED) {
    if (bytesWritten) *bytesWritten = 0;
    auto file = FileWith(handle, GENERIC_WRITE | GENERIC_ALL);
    if (!file) return FALSE;
    sim::Machine* machine = sim::Machine::Current();
    if (bytesToWrite) {
        if (DWORD refused = machine->files().BeginChange()) {
            SetLastError(refused);
            return FALSE;
        }
    }
    std::lock_guard lock(file->mutex);
    std::fseek(file->stream, 0, SEEK_CUR);  // a switch from reading to writing needs a positioning call
    if (bytesToWrite) {
        // Only a limit on free space asks how much of the write lands past the file's end.
        const std::uint64_t growth = machine->files().SpaceLimited()
                                         ? sim::WriteGrowth(fileno(file->stream), ftello(file->stream), bytesToWrite)
                                         : bytesToWrite;
        if (DWORD refused = machine->files().BeginWrite(*file, growth)) {
            SetLastError(refused);
            return FALSE;
        }
    }
    std::size_t put = bytesToWrite ? std::fwrite(buffer, 1, bytesToWrite, file->stream) : 0;
    std::fflush(file->stream);
    if (bytesWritten) *bytesWritten = static_cast<DWORD>(put);
    if (put) machine->transcript().AddFileWrite(file->windowsPath, put);
    if (put != bytesToWrite) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    auto host = sim::ResolveOrFail(fileName);
    if (!host) return FALSE;
    std::error_code error;
    if (fs::is_directory(*host, error)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (!fs::exists(*host, error)) {
        SetLastError(sim::MissingError(*host));
        return FALSE;
    }
    if (sim::FileSystem::ReadOnly(*host)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::FileSystem& files = sim::Machine::Current()->files();
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    if (!files.ShareFits(fileName, DELETE, kShareAll)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
    }
    if (DWORD refused = files.BeginChange()) {
        SetLastError(refused);
        return FALSE;
    }
    files.NoteDeleted(*host);
    if (!fs::remove(*host, error)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::Machine::Current()->transcript().Add("file", std::string("deleted ") + fileName);
    return TRUE;
}

BOOL MoveFileA(LPCSTR existingFileName, LPCSTR newFileName) {
    auto from = sim::ResolveOrFail(existingFileName);
    if (!from) return FALSE;
    auto to = sim::ResolveOrFail(newFileName);
    if (!to) return FALSE;
    std::error_code error;
    if (!fs::exists(*from, error)) {
        SetLastError(sim::MissingError(*from));
        return FALSE;
    }
    fs::path target = *to;
    if (fs::exists(*to, error)) {
        // The same file under a new letter case is a rename, not a clash.
        if (!fs::equivalent(*from, *to, error)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        std::string normal = sim::Machine::Current()->files().Normalize(newFileName);
        target = to->parent_path() / normal.substr(normal.rfind('\\') + 1);
    } else if (!fs::is_directory(to->parent_path(), error)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    sim::FileSystem& files = sim::Machine::Current()->files();
    DWORD refused = files.BeginChange();
    if (!refused) refused = files.Move(*from, target);
    if (refused) {
        SetLastError(refused);
        return FALSE;
    }
    files.Tell("renamed", existingFileName, newFileName);
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    auto host = sim::ResolveOrFail(pathName);
    if (!host) return FALSE;
    std::error_code error;
    if (fs::exists(*host, error)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (!fs::is_directory(host->parent_path(), error)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (!fs::create_directory(*host, error)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    sim::Machine::Current()->files().Tell("created folder", pathName);
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    fs::file_status status;
    auto host = sim::ResolveOrFail(fileName, &status);
    if (!host) return INVALID_FILE_ATTRIBUTES;
    if (!fs::exists(status)) {
        SetLastError(sim::MissingError(*host));
        return INVALID_FILE_ATTRIBUTES;
    }
    DWORD attributes = fs::is_directory(status) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes;
}

BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) {
    fs::file_status status;
    auto host = sim::ResolveOrFail(fileName, &status);
    if (!host) return FALSE;
    std::error_code error;
    if (!fs::exists(status)) {
        SetLastError(sim::MissingError(*host));
        return FALSE;
    }
    sim::FileSystem& files = sim::Machine::Current()->files();
    if (DWORD refused = files.BeginChange()) {
        SetLastError(refused);
        return FALSE;
    }
    // Of the attributes only read-only is kept (as the host's write permission); a folder keeps none.
    if (fs::is_directory(status)) return TRUE;
    const bool readOnly = (fileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    const fs::perms writable = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    const bool unchanged = readOnly ? (status.permissions() & writable) == fs::perms::none
                                    : (status.permissions() & fs::perms::owner_write) != fs::perms::none;
    if (unchanged) return TRUE;
    sim::FileSystem::SetReadOnly(*host, readOnly, error);
    if (error) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle) {
    auto file = FileWith(handle, GENERIC_WRITE | GENERIC_ALL);
    if (!file) return FALSE;
    sim::Machine* machine = sim::Machine::Current();
    if (DWORD refused = machine->files().BeginChange()) {
        SetLastError(refused);
        return FALSE;
    }
    std::lock_guard lock(file->mutex);
    std::fflush(file->stream);
    machine->files().NoteFlushed(*file);
    return TRUE;
}

BOOL PathFileExistsA(LPCSTR path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE; }

BOOL PathIsDirectoryA(LPCSTR path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_ATTRIBUTE_DIRECTORY
                                                                                              : FALSE;
}
