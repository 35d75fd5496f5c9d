#include "tools/kvsim/notebook.h"

#include <fstream>
#include <random>
#include <sstream>

#include "platform/sim/machine.h"
#include "platform/sim/modem.h"
#include "platform/sim/registry_store.h"

namespace fs = std::filesystem;

namespace kvsim {

std::optional<std::string> ReadText(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

ScratchFolder::ScratchFolder() {
    std::random_device device;
    std::mt19937_64 random(device());
    for (;;) {
        path_ = fs::temp_directory_path() / ("kvsim-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(path_, error)) break;
    }
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool ReadNotebook(const fs::path& folder, Notebook& notebook, InputError& error) {
    std::error_code ignored;
    if (!fs::is_directory(folder, ignored)) {
        error = InputError{folder.string(), 0, "no such notebook folder"};
        return false;
    }
    notebook.folder = folder;
    notebook.drives = folder / "drives";
    if (!fs::is_directory(notebook.drives, ignored)) {
        error = InputError{notebook.drives.string(), 0, "missing: the notebook's drives (drives/C/ is C:\\)"};
        return false;
    }
    notebook.registryFile = folder / "registry.reg";
    if (fs::exists(notebook.registryFile, ignored)) {
        notebook.registryText = ReadText(notebook.registryFile);
        if (!notebook.registryText) {
            error = InputError{notebook.registryFile.string(), 0, "unreadable"};
            return false;
        }
    }
    notebook.modemFile = folder / "modem.txt";
    if (fs::exists(notebook.modemFile, ignored)) {
        notebook.modemText = ReadText(notebook.modemFile);
        if (!notebook.modemText) {
            error = InputError{notebook.modemFile.string(), 0, "unreadable"};
            return false;
        }
    }
    return true;
}

std::string CopyDrives(const Notebook& notebook, const fs::path& hostDrives) {
    std::error_code error;
    fs::copy(notebook.drives, hostDrives, fs::copy_options::recursive, error);
    return error ? "cannot copy " + notebook.drives.string() + ": " + error.message() : "";
}

std::string LoadMachine(sim::Machine& machine, const Notebook& notebook) {
    if (notebook.registryText) {
        std::string problem = machine.registry().LoadRegText(*notebook.registryText, notebook.registryFile.string());
        if (!problem.empty()) return problem;
    }
    if (notebook.modemText) return machine.modem().LoadModemText(*notebook.modemText, notebook.modemFile.string());
    return "";
}

}  // namespace kvsim
