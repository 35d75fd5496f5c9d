#include "common/FileHelpers.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/CLog.h"
#include "config/UnZipPackage.h"
#include "platform/crt.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/process_control.h"
#include "platform/sync.h"
#include "platform/system_info.h"

namespace {

void Log(int type, const std::string& text) { CLog::GetInstance()->WriteLog(type, text); }

bool IsDotEntry(const char* name) { return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0; }

}  // namespace

int CopyFileInDir(const std::string& destination, const std::string& source) {
    Log(4, "CopyFileInDir enter.");
    Log(4, source);
    Log(4, destination);
    if (destination.empty() || source.empty()) {
        Log(1, "CopyFileInDir failed.");
        return -1;
    }
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((source + "\\*.*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return -3;
    bool allCopied = true;
    do {
        const std::string from = source + "\\" + entry.cFileName;
        const std::string to = destination + "\\" + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsDotEntry(entry.cFileName)) continue;
            // A subfolder missing at the destination would fail every file in it.
            if (!PathIsDirectoryA(to.c_str())) CreateDirectoryA(to.c_str(), nullptr);
            if (CopyFileInDir(to, from) != 1) allCopied = false;
        } else {
            Log(4, from);
            if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
                Log(1, "CopyFile faild");
                allCopied = false;
            }
        }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return allCopied ? 1 : -2;
}

bool BackupFolder(const std::string& folder) {
    const std::string backup = folder + "bk";
    if (IsPathAccessible(backup)) DeleteFolderTree(backup);
    if (IsPathAccessible(folder) && !MoveFileA(folder.c_str(), backup.c_str())) {
        char text[64];
        std::snprintf(text, sizeof text, "rename failed,error code=%0X", static_cast<unsigned>(GetLastError()));
        Log(1, text);
        return false;
    }
    return true;
}

bool DeleteFolderTree(const std::string& folder) {
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((folder + "\\*.*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotEntry(entry.cFileName)) continue;
            const std::string path = folder + "\\" + entry.cFileName;
            if (IsFolderNotEmpty(path)) {
                Log(4, path);
                DeleteFolderTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    if (RemoveDirectoryA(folder.c_str())) return true;
    Log(1, "Delete dir failed");
    Log(1, folder);
    return false;
}

void CreateFolderChain(std::string path) {
    for (char& c : path)
        if (c == '/') c = '\\';
    for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
}

int RunProcessAndWait(const std::string& executable, const std::string& commandLine) {
    const std::size_t cut = executable.rfind('\\');
    const std::string folder = cut == std::string::npos ? std::string() : executable.substr(0, cut);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(executable.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
        Log(1, "Create process failed");
        return -999;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return static_cast<int>(exitCode);
}

bool IsFolderNotEmpty(const std::string& path) {
    WIN32_FIND_DATAA entry{};
    HANDLE find = FindFirstFileA((path + "//*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    return true;
}

bool IsExistingFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPathAccessible(const std::string& path) { return _access(path.c_str(), 0) == 0; }

bool Is64BitWindows() {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ||
           info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64;
}

bool UnZipPackageFromParts(const std::string& packageFolder, const std::string& packageName,
                           const std::string& destinationBase, const std::string& destinationName) {
    const std::string package = packageFolder + packageName;
    const std::string destination = destinationBase + destinationName + "\\";
    if (!IsFileExist(package)) {
        Log(1, "Unzip Package not exist.");
        Log(1, package);
        return false;
    }
    CreateFolderChain(destination);
    return UnZipPackage(destination, package);
}

