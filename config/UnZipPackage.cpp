#include "config/UnZipPackage.h"

#include <string_view>

#include "common/CLog.h"
#include "config/Unzip.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/sync.h"

namespace {

// A name that the name guard left still climbing out of the destination
// (a ".." part, a drive, a rooted name) is not unpacked.
bool StaysInside(std::string_view name) {
    if (name.empty() || name[0] == '\\' || name[0] == '/' || name.find(':') != std::string_view::npos) return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("\\/", start);
        if (end == std::string_view::npos) end = name.size();
        std::string_view part = name.substr(start, end - start);
        // Windows drops trailing dots and blanks, so "..." or ".. " also climb.
        if (part.size() >= 2 && part.find_first_not_of(". ") == std::string_view::npos) return false;
        start = end + 1;
    }
    return true;
}

// The files an interrupted unpacking left beside their targets (power lost
// before one took its name) go before the package is unpacked again.
void RemoveLeftovers(const std::string& folder) {
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((folder + "*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveLeftovers(folder + name + "\\");
        else if (IsUnzipTemporaryName(name.c_str()))
            DeleteFileA((folder + name).c_str());
    } while (FindNextFileA(find, &entry));
    FindClose(find);
}

}  // namespace

bool IsFileExist(std::string path) {
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        CLog::GetInstance()->WriteLog(1, path + " file is not exist error=" + std::to_string(error));
        return false;
    }
    return true;
}

bool UnZipPackage(std::string folder, std::string packagePath) {
    if (!IsFileExist(packagePath)) {
        CLog::GetInstance()->WriteLog(1, "unZip file not exist.");
        return false;
    }
    ZipHandle* handle = OpenZip(packagePath.c_str(), nullptr);
    // Closed on every way out, also when the thread is ended in the middle of an item.
    struct CloseAtEnd {
        ZipHandle* handle;
        ~CloseAtEnd() {
            if (handle) CloseZip(handle);
        }
    } closeAtEnd{handle};
    ZipEntry entry{};
    if (GetZipItem(handle, -1, &entry) != ZIP_OK) {
        CLog::GetInstance()->WriteLog(1, "GetZipItem failed.");
        return false;  // not a readable archive: the package waits for the next start
    }
    const int count = entry.index;
    RemoveLeftovers(folder);
    bool complete = true;
    for (int i = 0; i < count; ++i) {
        if (GetZipItem(handle, i, &entry) != ZIP_OK || !StaysInside(entry.name)) {
            complete = false;
            continue;
        }
        const std::string destination = folder + entry.name;
        if (destination.size() >= MAX_PATH || UnzipItem(handle, i, destination.c_str()) != ZIP_OK) complete = false;
    }
    return complete;
}
