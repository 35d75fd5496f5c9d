#include "platform/shell.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"

namespace fs = std::filesystem;

namespace {

// The names of a zero-separated list that ends in an empty name.
std::vector<std::string> NameList(LPCSTR list) {
    std::vector<std::string> names;
    if (!list) return names;
    while (*list) {
        std::string name(list);
        list += name.size() + 1;
        names.push_back(std::move(name));
    }
    return names;
}

int DeleteNames(sim::Machine& machine, const std::vector<std::string>& names) {
    if (names.empty()) return static_cast<int>(ERROR_INVALID_PARAMETER);
    int result = 0;
    for (const auto& name : names) {
        auto host = machine.files().Resolve(name);
        std::error_code error;
        if (!host || !fs::exists(*host, error)) {
            result = static_cast<int>(ERROR_FILE_NOT_FOUND);
            continue;
        }
        machine.files().NoteDeleted(*host);
        fs::remove_all(*host, error);
        if (error) {
            result = static_cast<int>(ERROR_ACCESS_DENIED);
            continue;
        }
        machine.transcript().Add("file", "deleted " + name);
    }
    return result;
}

int RenameName(sim::Machine& machine, const std::vector<std::string>& from, const std::vector<std::string>& to,
               FILEOP_FLAGS flags) {
    if (from.size() != 1 || to.size() != 1) return static_cast<int>(ERROR_INVALID_PARAMETER);
    auto source = machine.files().Resolve(from[0]);
    auto target = machine.files().Resolve(to[0]);
    std::error_code error;
    if (!source || !target || !fs::exists(*source, error)) return static_cast<int>(ERROR_FILE_NOT_FOUND);
    if (fs::equivalent(*source, *target, error)) return 0;
    if (fs::exists(*target, error)) {
        if (!(flags & FOF_NOCONFIRMATION) || fs::is_directory(*target, error) || fs::is_directory(*source, error))
            return static_cast<int>(ERROR_ALREADY_EXISTS);
        machine.files().NoteDeleted(*target);
        fs::remove(*target, error);
        if (error) return static_cast<int>(ERROR_ACCESS_DENIED);
    }
    if (!fs::is_directory(target->parent_path(), error)) return static_cast<int>(ERROR_PATH_NOT_FOUND);
    return static_cast<int>(machine.files().Move(*source, *target));
}

}  // namespace

int SHFileOperationA(LPSHFILEOPSTRUCTA operation) {
    sim::Machine* machine = sim::Machine::Current();
    if (!machine || !operation) return static_cast<int>(ERROR_INVALID_PARAMETER);
    operation->fAnyOperationsAborted = FALSE;
    switch (operation->wFunc) {
        case FO_DELETE:
            return DeleteNames(*machine, NameList(operation->pFrom));
        case FO_RENAME:
            return RenameName(*machine, NameList(operation->pFrom), NameList(operation->pTo), operation->fFlags);
        default:
            return static_cast<int>(ERROR_INVALID_FUNCTION);
    }
}
