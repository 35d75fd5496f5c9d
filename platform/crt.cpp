#include "platform/crt.h"

#include <cerrno>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace {
std::optional<fs::path> Resolve(const char* path) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !path || !*path) return std::nullopt;
    return machine->files().Resolve(path);
}
bool WriteDenied(const char* path) {
    sim::Machine* machine = sim::Machine::Current();
    return machine && machine->files().WriteDenied(path);
}
}  // namespace

std::FILE* _fsopen(const char* fileName, const char* mode, int) {
    auto host = Resolve(fileName);
    if (!host || !mode) {
        errno = ENOENT;
        return nullptr;
    }
    std::string hostMode;
    for (const char* c = mode; *c; ++c)
        if (*c != 't') hostMode += *c;  // no text translation on the host
    std::error_code error;
    if (fs::is_directory(*host, error)) {
        errno = EACCES;
        return nullptr;
    }
    if (hostMode.find_first_of("wa+") != std::string::npos && WriteDenied(fileName)) {
        errno = EACCES;
        return nullptr;
    }
    const bool existed = fs::exists(*host, error);
    std::FILE* file = sim::OpenHostStream(*host, hostMode);
    if (file && hostMode.find_first_of("wa+") != std::string::npos)
        sim::Machine::Current()->transcript().Add(
            "file", (!existed ? "created " : hostMode[0] == 'w' ? "emptied " : "opened to write ") +
                        sim::Machine::Current()->files().Normalize(fileName));
    return file;
}

int _mkdir(const char* dirName) {
    auto host = Resolve(dirName);
    std::error_code error;
    if (!host) {
        errno = ENOENT;
        return -1;
    }
    if (fs::exists(*host, error)) {
        errno = EEXIST;
        return -1;
    }
    if (!fs::is_directory(host->parent_path(), error) || !fs::create_directory(*host, error)) {
        errno = ENOENT;
        return -1;
    }
    sim::Machine::Current()->files().Tell("created folder", dirName);
    return 0;
}

int _access(const char* path, int mode) {
    auto host = Resolve(path);
    std::error_code error;
    if (!host || !fs::exists(*host, error)) {
        errno = ENOENT;
        return -1;
    }
    auto perms = fs::status(*host, error).permissions();
    if ((mode & 2) && (perms & fs::perms::owner_write) == fs::perms::none) {
        errno = EACCES;
        return -1;
    }
    return 0;
}
