#include "platform/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr std::int64_t kTicksPerSecond = 10000000LL;

std::shared_ptr<sim::FileObject> FileOf(HANDLE handle) {
    sim::Machine* machine = sim::Machine::Current();
    auto file = machine ? machine->handles().Get<sim::FileObject>(handle) : nullptr;
    if (!file) SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

std::uint64_t TicksOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(std::uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

FILETIME FileTimeOf(const struct timespec& time) {
    std::int64_t ticks = (static_cast<std::int64_t>(time.tv_sec) + kSecondsFrom1601To1970) * kTicksPerSecond +
                         time.tv_nsec / 100;
    return FileTimeOf(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

struct timespec TimespecOf(const FILETIME& time) {
    std::int64_t ticks = static_cast<std::int64_t>(TicksOf(time) & 0x7FFFFFFFFFFFFFFFULL);
    struct timespec result{};
    result.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond - kSecondsFrom1601To1970);
    result.tv_nsec = static_cast<long>(ticks % kTicksPerSecond) * 100;
    return result;
}

const struct timespec& Earlier(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec) ? a : b;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : days[month - 1];
}

}  // namespace

DWORD SetFilePointer(HANDLE handle, LONG distanceToMove, PLONG distanceToMoveHigh, DWORD moveMethod) {
    auto file = FileOf(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    std::int64_t distance = distanceToMoveHigh
                                ? static_cast<std::int64_t>((static_cast<std::uint64_t>(
                                                                 static_cast<DWORD>(*distanceToMoveHigh))
                                                             << 32) |
                                                            static_cast<DWORD>(distanceToMove))
                                : distanceToMove;
    std::lock_guard lock(file->mutex);
    // Every write is flushed at once, so nothing waits in the stream; a flush here would only
    // throw away what it has read ahead, which a seek within it can still use.
    off_t base = 0;
    switch (moveMethod) {
        case FILE_BEGIN:
            break;
        case FILE_CURRENT:
            base = ftello(file->stream);
            break;
        case FILE_END: {
            struct stat status{};
            int descriptor = fileno(file->stream);
            if (descriptor < 0 || fstat(descriptor, &status) != 0) {
                SetLastError(ERROR_SEEK);
                return INVALID_SET_FILE_POINTER;
            }
            base = status.st_size;
            break;
        }
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_SET_FILE_POINTER;
    }
    if (base < 0) {  // a stream that has no position (a pipe)
        SetLastError(ERROR_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t target = static_cast<std::int64_t>(base) + distance;
    if (target < 0) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (fseeko(file->stream, static_cast<off_t>(target), SEEK_SET) != 0) {
        SetLastError(ERROR_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceToMoveHigh) *distanceToMoveHigh = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(target);
}

BOOL SetFileTime(HANDLE handle, const FILETIME* creationTime, const FILETIME* lastAccessTime,
                 const FILETIME* lastWriteTime) {
    auto file = FileOf(handle);
    if (!file) return FALSE;
    if (!(file->access & (GENERIC_WRITE | GENERIC_ALL))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    (void)creationTime;  // the host keeps no settable creation time
    std::lock_guard lock(file->mutex);
    std::fflush(file->stream);
    int descriptor = fileno(file->stream);
    if (descriptor < 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (lastAccessTime) times[0] = TimespecOf(*lastAccessTime);
    if (lastWriteTime) times[1] = TimespecOf(*lastWriteTime);
    if (futimens(descriptor, times) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}

BOOL GetFileInformationByHandle(HANDLE handle, LPBY_HANDLE_FILE_INFORMATION information) {
    auto file = FileOf(handle);
    if (!file) return FALSE;
    if (!information) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard lock(file->mutex);
    std::fflush(file->stream);
    int descriptor = fileno(file->stream);
    struct stat status{};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    BY_HANDLE_FILE_INFORMATION result{};
    result.dwFileAttributes = S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (!(status.st_mode & S_IWUSR)) result.dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
    // The host keeps no creation time everywhere; the last change stands in.
    result.ftCreationTime = FileTimeOf(Earlier(status.st_mtim, status.st_ctim));
    result.ftLastAccessTime = FileTimeOf(status.st_atim);
    result.ftLastWriteTime = FileTimeOf(status.st_mtim);
    result.dwVolumeSerialNumber = static_cast<DWORD>(status.st_dev);
    result.nFileSizeHigh = static_cast<DWORD>(static_cast<std::uint64_t>(status.st_size) >> 32);
    result.nFileSizeLow = static_cast<DWORD>(status.st_size);
    result.nNumberOfLinks = static_cast<DWORD>(status.st_nlink);
    result.nFileIndexHigh = static_cast<DWORD>(static_cast<std::uint64_t>(status.st_ino) >> 32);
    result.nFileIndexLow = static_cast<DWORD>(status.st_ino);
    *information = result;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// The simulated notebook keeps its local time in UTC (GetSystemTime equals
// GetLocalTime), so local and universal file times are the same.
BOOL LocalFileTimeToFileTime(const FILETIME* localFileTime, LPFILETIME fileTime) {
    if (!localFileTime || !fileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *fileTime = *localFileTime;
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, LPFILETIME fileTime) {
    if (!systemTime || !fileTime) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const SYSTEMTIME& t = *systemTime;
    if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
        t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
        t.wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *fileTime = FileTimeOf(static_cast<std::uint64_t>(sim::SystemTimeToMs(t)) * 10000ULL);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, LPSYSTEMTIME systemTime) {
    if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *systemTime = sim::MsToSystemTime(static_cast<std::int64_t>(TicksOf(*fileTime) / 10000ULL));
    return TRUE;
}

DWORD GetCurrentDirectoryA(DWORD bufferLength, LPSTR buffer) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    std::string current = machine->files().CurrentDirectory();
    if (!buffer || current.size() + 1 > bufferLength) return static_cast<DWORD>(current.size() + 1);
    std::memcpy(buffer, current.c_str(), current.size() + 1);
    return static_cast<DWORD>(current.size());
}

BOOL MoveFileExA(LPCSTR existingFileName, LPCSTR newFileName, DWORD flags) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!existingFileName || !*existingFileName || !newFileName || !*newFileName) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    std::optional<fs::file_status> fromStatus;
    std::optional<fs::file_status> toStatus;
    auto from = machine->files().Resolve(existingFileName, &fromStatus);
    auto to = machine->files().Resolve(newFileName, &toStatus);
    if (!from || !to) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    std::error_code error;
    if (!(fromStatus ? fs::exists(*fromStatus) : fs::exists(*from, error))) {
        SetLastError(fs::is_directory(from->parent_path(), error) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (toStatus ? fs::exists(*toStatus) : fs::exists(*to, error)) {
        if (!(flags & MOVEFILE_REPLACE_EXISTING)) {
            SetLastError(ERROR_ALREADY_EXISTS);
            return FALSE;
        }
        // Neither a folder nor a read-only file is replaced.
        if (fs::is_directory(*to, error) || fs::is_directory(*from, error) ||
            (sim::FileSystem::ReadOnly(*to) && !fs::equivalent(*from, *to, error))) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    } else if (!fs::is_directory(to->parent_path(), error)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    DWORD refused = machine->files().BeginChange();
    // Every move here is durable at once, so MOVEFILE_WRITE_THROUGH adds nothing: it never
    // makes the moved file's data durable.
    if (!refused) refused = machine->files().Move(*from, *to);
    if (refused) {
        SetLastError(refused);
        return FALSE;
    }
    machine->files().Tell("renamed", existingFileName, newFileName);
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
