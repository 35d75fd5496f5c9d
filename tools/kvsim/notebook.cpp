#include "tools/kvsim/notebook.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <thread>

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

std::string ReadWrittenText(const fs::path& file) {
    std::string text = ReadText(file).value_or("");
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n') lines.push_back(text[i]);
    return lines;
}

namespace {

// The scratch folders alive, for the clean-up a termination signal starts.
class ScratchFolders {
public:
    static ScratchFolders& Instance() {
        static ScratchFolders folders;
        return folders;
    }
    void Add(const fs::path& folder) {
        std::lock_guard lock(mutex_);
        folders_.insert(folder);
    }
    void Remove(const fs::path& folder) {
        std::lock_guard lock(mutex_);
        folders_.erase(folder);
    }
    // The simulated machine may still be making files in them: try again until each is gone.
    void RemoveAll() {
        std::lock_guard lock(mutex_);
        for (const fs::path& folder : folders_) {
            std::error_code error;
            for (int attempt = 0; attempt < 20 && fs::exists(folder, error); ++attempt) fs::remove_all(folder, error);
        }
    }

    static volatile std::sig_atomic_t signal;

private:
    std::mutex mutex_;
    std::set<fs::path> folders_;
};

volatile std::sig_atomic_t ScratchFolders::signal = 0;

extern "C" void NoteSignal(int number) { ScratchFolders::signal = number; }

}  // namespace

void RemoveScratchFoldersOnSignal() {
    std::signal(SIGINT, NoteSignal);
    std::signal(SIGTERM, NoteSignal);
    // A handler may only note the signal; a thread of its own does the removing.
    std::thread([] {
        while (ScratchFolders::signal == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ScratchFolders::Instance().RemoveAll();
        std::_Exit(128 + ScratchFolders::signal);
    }).detach();
}

ScratchFolder::ScratchFolder() {
    std::random_device device;
    std::mt19937_64 random(device());
    for (;;) {
        path_ = fs::temp_directory_path() / ("kvsim-" + std::to_string(random()));
        std::error_code error;
        if (fs::create_directory(path_, error)) break;
    }
    ScratchFolders::Instance().Add(path_);
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    ScratchFolders::Instance().Remove(path_);
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

std::string LoadMachine(sim::Machine& machine, Notebook& notebook) {
    if (notebook.registryText) {
        std::string problem = machine.registry().LoadRegText(*notebook.registryText, notebook.registryFile.string());
        if (!problem.empty()) return problem;
    }
    if (notebook.modemText) {
        std::string problem =
            modemfile::ParseModemText(*notebook.modemText, notebook.modemFile.string(), notebook.modem);
        if (!problem.empty()) return problem;
        machine.modem().Apply(notebook.modem);
    }
    return "";
}

void WarnOfUnmatchedReplies(sim::Machine& machine, const Notebook& notebook, std::vector<std::string>& warnings) {
    for (std::string& unmatched : machine.modem().UnmatchedReplies(notebook.modem, notebook.modemFile.string()))
        warnings.push_back(std::move(unmatched));
}

}  // namespace kvsim
