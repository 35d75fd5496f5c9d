// One simulated machine for a whole fuzzing process, over a scratch folder removed at exit; the
// inputs become files on its C: drive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "platform/sim/machine.h"
#include "platform/sim/modem.h"

namespace kvfuzz {

inline std::filesystem::path& Root() {
    static std::filesystem::path root;
    return root;
}

inline sim::Machine& StartMachine() {
    static sim::Machine* machine = [] {
        Root() = std::filesystem::temp_directory_path() / ("kvfuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(Root() / "C");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(Root(), ignored);
        });
        return new sim::Machine(Root());
    }();
    return *machine;
}

// The machine records every modem command and transcript line; a fuzzing process runs for as
// long as it is asked to, so each input starts with both records empty.
inline void ForgetRecords() {
    sim::Machine& machine = StartMachine();
    machine.modem().ClearCommands();
    machine.transcript().Clear();
}

// Writes the bytes to the file of the C: drive named by `relative` ("a/b.xml" is C:\a\b.xml).
inline void WriteDriveFile(const std::string& relative, const void* data, std::size_t size) {
    const std::filesystem::path host = Root() / "C" / relative;
    std::error_code ignored;
    std::filesystem::create_directories(host.parent_path(), ignored);
    std::ofstream file(host, std::ios::binary | std::ios::trunc);
    file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace kvfuzz
