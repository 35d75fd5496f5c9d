// The simulated machine's libraries: the DLLs a test or notebook declares, their
// loads and the calls of their exports.
#include <algorithm>

#include "platform/sim/file_system.h"
#include "platform/sim/machine.h"
#include "platform/sim/programs.h"
#include "platform/sim/names.h"

namespace sim {

namespace {

constexpr std::uintptr_t kFirstBase = 0x7FF810000000;
constexpr std::uintptr_t kBaseStep = 0x100000;

std::string FileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

void Programs::DeclareLibrary(Library library) {
    std::lock_guard lock(mutex_);
    const std::string key = LowerAscii(machine_.files().Normalize(library.path));
    libraries_.erase(std::remove_if(libraries_.begin(), libraries_.end(),
                                    [&](const Library& l) { return LowerAscii(machine_.files().Normalize(l.path)) == key; }),
                     libraries_.end());
    libraries_.push_back(std::move(library));
}

void Programs::RemoveLibrary(const std::string& path) {
    std::lock_guard lock(mutex_);
    const std::string key = LowerAscii(machine_.files().Normalize(path));
    libraries_.erase(std::remove_if(libraries_.begin(), libraries_.end(),
                                    [&](const Library& l) { return LowerAscii(machine_.files().Normalize(l.path)) == key; }),
                     libraries_.end());
}

const Library* Programs::FindLibraryLocked(const std::string& name) const {
    if (name.empty()) return nullptr;
    std::vector<std::string> candidates;
    if (name.find_first_of("\\/:") != std::string::npos) {
        candidates.push_back(machine_.files().Normalize(name));
    } else {
        for (const std::string& folder :
             {FolderOf(machine_.ExecutablePath()), std::string("C:\\Windows\\System32"), std::string("C:\\Windows")})
            candidates.push_back(folder + "\\" + name);
    }
    for (const std::string& candidate : candidates)
        for (const Library& library : libraries_)
            if (LowerAscii(machine_.files().Normalize(library.path)) == LowerAscii(candidate)) return &library;
    return nullptr;
}

Programs::LoadedLibrary* Programs::LoadedLocked(HMODULE module) {
    const auto base = reinterpret_cast<std::uintptr_t>(module);
    for (LoadedLibrary& loaded : loaded_)
        if (loaded.base == base && loaded.loads > 0) return &loaded;
    return nullptr;
}

HMODULE Programs::LoadLibrary(const std::string& name, DWORD* error) {
    HMODULE module = nullptr;
    std::string path;
    {
        std::lock_guard lock(mutex_);
        if (const Library* library = FindLibraryLocked(name)) {
            path = library->path;
            const std::string key = LowerAscii(machine_.files().Normalize(path));
            auto it = std::find_if(loaded_.begin(), loaded_.end(), [&](const LoadedLibrary& l) {
                return LowerAscii(machine_.files().Normalize(l.path)) == key;
            });
            if (it == loaded_.end()) {
                LoadedLibrary entry;
                entry.path = path;
                entry.base = kFirstBase + kBaseStep * loaded_.size();
                loaded_.push_back(entry);
                it = loaded_.end() - 1;
            }
            ++it->loads;
            module = reinterpret_cast<HMODULE>(it->base);
        }
    }
    if (error) *error = module ? ERROR_SUCCESS : ERROR_MOD_NOT_FOUND;
    machine_.transcript().Add("library", "LoadLibraryA " + name +
                                             (module ? std::string() : " failed (" + std::to_string(ERROR_MOD_NOT_FOUND) + ")"));
    return module;
}

int Programs::ExportSlot(HMODULE module, const std::string& exportName, DWORD* error) {
    int slot = -1;
    DWORD problem = ERROR_SUCCESS;
    std::string libraryName = "?";
    {
        std::lock_guard lock(mutex_);
        LoadedLibrary* loaded = LoadedLocked(module);
        const Library* library = loaded ? FindLibraryLocked(loaded->path) : nullptr;
        if (!loaded) {
            problem = ERROR_INVALID_HANDLE;
        } else {
            libraryName = FileNameOf(loaded->path);
            if (!library || !library->exports.count(exportName)) {
                problem = ERROR_PROC_NOT_FOUND;
            } else {
                const std::string key = LowerAscii(machine_.files().Normalize(loaded->path));
                for (std::size_t i = 0; i < slots_.size(); ++i)
                    if (LowerAscii(machine_.files().Normalize(slots_[i].libraryPath)) == key &&
                        slots_[i].exportName == exportName)
                        slot = static_cast<int>(i);
                if (slot < 0) {
                    if (slots_.size() < static_cast<std::size_t>(kExportSlots)) {
                        slots_.push_back({loaded->path, exportName});
                        slot = static_cast<int>(slots_.size() - 1);
                    } else {
                        problem = ERROR_NOT_ENOUGH_MEMORY;
                    }
                }
            }
        }
    }
    if (error) *error = problem;
    machine_.transcript().Add("library", "GetProcAddress " + libraryName + " " + exportName +
                                             (problem ? " failed (" + std::to_string(problem) + ")" : std::string()));
    return slot;
}

std::intptr_t Programs::CallExport(int slot) {
    std::function<std::intptr_t()> body;
    std::string name;
    bool loaded = false;
    {
        std::lock_guard lock(mutex_);
        if (slot < 0 || static_cast<std::size_t>(slot) >= slots_.size()) return 0;
        const ExportSlotEntry& entry = slots_[static_cast<std::size_t>(slot)];
        name = FileNameOf(entry.libraryPath) + "!" + entry.exportName;
        const std::string key = LowerAscii(machine_.files().Normalize(entry.libraryPath));
        for (const LoadedLibrary& l : loaded_)
            if (LowerAscii(machine_.files().Normalize(l.path)) == key && l.loads > 0) loaded = true;
        if (loaded)
            if (const Library* library = FindLibraryLocked(entry.libraryPath)) {
                auto it = library->exports.find(entry.exportName);
                if (it != library->exports.end()) body = it->second;
            }
    }
    if (!loaded) {
        // On Windows the call would land in freed memory.
        machine_.transcript().Add("library", "call " + name + " after the library was freed");
        return 0;
    }
    // The export runs without the lock: it may itself call into the machine.
    const std::intptr_t result = body ? body() : 0;
    machine_.transcript().Add("library", "call " + name + " -> " + std::to_string(result));
    return result;
}

bool Programs::FreeLibrary(HMODULE module) {
    std::string name;
    bool freed = false;
    {
        std::lock_guard lock(mutex_);
        if (LoadedLibrary* loaded = LoadedLocked(module)) {
            --loaded->loads;
            name = loaded->path;
            freed = true;
        }
    }
    machine_.transcript().Add("library", freed ? "FreeLibrary " + name
                                               : "FreeLibrary failed (" + std::to_string(ERROR_INVALID_HANDLE) + ")");
    return freed;
}

int Programs::LoadCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    const std::string key = LowerAscii(machine_.files().Normalize(path));
    for (const LoadedLibrary& loaded : loaded_)
        if (LowerAscii(machine_.files().Normalize(loaded.path)) == key) return loaded.loads;
    return 0;
}

}  // namespace sim
