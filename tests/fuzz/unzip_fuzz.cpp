// The package unpacker and the archive reader over arbitrary bytes: as a
// memory archive (listing, finding, extracting in chunks, with and without a
// password) and as a package file unpacked into a folder, where nothing may be
// written outside that folder.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "config/UnZipPackage.h"
#include "config/Unzip.h"
#include "platform/sim/file_system.h"
#include "tests/fuzz/fuzz_machine.h"

namespace {

void ReadMemoryArchive(std::vector<std::uint8_t>& bytes, const char* password) {
    ZipHandle* handle = OpenZipMemory(bytes.data(), static_cast<DWORD>(bytes.size()), password);
    if (!handle) return;
    ZipEntry entry{};
    if (GetZipItem(handle, -1, &entry) == ZIP_OK) {
        const int count = entry.index < 32 ? entry.index : 32;
        char chunk[1024];
        for (int i = count - 1; i >= -1; --i) {
            if (GetZipItem(handle, i, &entry) != ZIP_OK) continue;
            for (int piece = 0; piece < 64; ++piece)
                if (UnzipItemToMemory(handle, i, chunk, sizeof chunk) != ZIP_MORE) break;
            int found = 0;
            FindZipItem(handle, entry.name, true, &found, &entry);
        }
    }
    char text[8];
    FormatZipMessage(ZIP_LAST_RESULT, text, sizeof text);
    CloseZip(handle);
}

bool Below(std::string path, const std::string& folder) {
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    path += '\\';  // the folder itself is made too
    return path.compare(0, folder.size(), folder) == 0;
}

// Every file and folder the unpacking left is the package or below the destination, on the host...
void CheckHostTree() {
    const std::filesystem::path drive = kvfuzz::Root() / "C";
    const std::filesystem::path package = drive / "package.flz";
    const std::filesystem::path destination = drive / "unpacked";
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(kvfuzz::Root(), error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        const std::filesystem::path& path = it->path();
        if (path == drive || path == package || path == destination) continue;
        const std::filesystem::path relative = path.lexically_relative(destination);
        if (relative.empty() || *relative.begin() == "..") __builtin_trap();
    }
}

// Where the package's members go, as the unpacker names them: the destination followed by each
// member's name, normalised as the transcript prints paths.
std::vector<std::string> MemberPaths(sim::Machine& machine, const std::string& folder, const char* package) {
    std::vector<std::string> paths;
    ZipHandle* handle = OpenZip(package, nullptr);
    ZipEntry entry{};
    if (GetZipItem(handle, -1, &entry) == ZIP_OK) {
        const int count = entry.index;
        for (int i = 0; i < count; ++i)
            if (GetZipItem(handle, i, &entry) == ZIP_OK) paths.push_back(machine.files().Normalize(folder + entry.name));
    }
    if (handle) CloseZip(handle);
    return paths;
}

// ...and every file event of the transcript names a path below it, once "." and ".." are folded.
// A name may hold " to ", so a rename is read against the members' paths: its target is one of
// them, and every member path the line can end with must lie below the destination.
void CheckFileEvents(const std::string& folder, const char* package) {
    sim::Machine& machine = kvfuzz::StartMachine();
    const std::string destination = "c:\\unpacked\\";
    const std::vector<std::string> members = MemberPaths(machine, folder, package);
    for (const std::string& text : machine.transcript().Lines("file")) {
        if (text.rfind("renamed ", 0) == 0) {
            bool read = false;
            for (const std::string& member : members) {
                const std::string ending = " to " + member;
                if (text.size() <= 8 + ending.size() || !text.ends_with(ending)) continue;
                read = true;
                if (!Below(member, destination)) __builtin_trap();
            }
            if (!read) __builtin_trap();  // renamed to something that is no member
            continue;
        }
        std::string path;
        if (std::size_t to = text.find(" bytes to "); to != std::string::npos && text.rfind("wrote ", 0) == 0)
            path = text.substr(to + 10);
        else if (text.rfind("created folder ", 0) == 0)
            path = text.substr(15);
        else if (text.rfind("created ", 0) == 0 || text.rfind("emptied ", 0) == 0)
            path = text.substr(8);
        else
            continue;  // deletions, and what the reader alone does
        if (!Below(machine.files().Normalize(path), destination)) __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kvfuzz::ForgetRecords();
    std::vector<std::uint8_t> bytes(data, data + size);
    ReadMemoryArchive(bytes, nullptr);
    ReadMemoryArchive(bytes, "pw");

    kvfuzz::WriteDriveFile("package.flz", data, size);
    const std::string folder = "C:\\unpacked\\";
    const char* package = "C:\\package.flz";
    UnZipPackage(folder, package);
    CheckHostTree();
    CheckFileEvents(folder, package);
    std::error_code ignored;
    std::filesystem::remove_all(kvfuzz::Root() / "C" / "unpacked", ignored);
    return 0;
}
