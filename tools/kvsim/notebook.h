// The parts of a notebook folder that every kvsim command reads: the drives, the registry and
// the modem, and the scratch copy of the drives a run works on.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/modemfile/modem_description.h"
#include "tools/kvsim/input_error.h"

namespace sim {
class Machine;
}

namespace kvsim {

std::optional<std::string> ReadText(const std::filesystem::path& file);
// A file the service wrote in text mode (its log), as a text-mode reader gives it: each CR LF as
// a line feed. Empty when it cannot be read.
std::string ReadWrittenText(const std::filesystem::path& file);

// A fresh host folder, removed with the object.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// From this call on, SIGINT or SIGTERM removes every scratch folder that still exists, then ends
// the process with 128 + the signal's number.
void RemoveScratchFoldersOnSignal();

struct Notebook {
    std::filesystem::path folder;
    std::filesystem::path drives;
    std::filesystem::path registryFile;
    std::optional<std::string> registryText;  // none: no registry.reg
    std::filesystem::path modemFile;
    std::optional<std::string> modemText;     // none: no modem.txt
    modemfile::ModemDescription modem;        // modem.txt as LoadMachine read it
};

// The folder and its drives/ must exist; registry.reg and modem.txt are read when present.
// False with the error naming the file.
bool ReadNotebook(const std::filesystem::path& folder, Notebook& notebook, InputError& error);

// Copies the drives to `hostDrives` (the run changes files); "" or why it failed.
std::string CopyDrives(const Notebook& notebook, const std::filesystem::path& hostDrives);

// Loads the registry and the modem into the machine; "" or the error naming file and line.
std::string LoadMachine(sim::Machine& machine, Notebook& notebook);

// At the end of a run: a warning for each `reply` line of modem.txt that no command matched, as
// a reply typed without its line end, which lets the default answer instead.
void WarnOfUnmatchedReplies(sim::Machine& machine, const Notebook& notebook, std::vector<std::string>& warnings);

}  // namespace kvsim
