// The package unpacker and the archive reader over arbitrary bytes: as a
// memory archive (listing, finding, extracting in chunks, with and without a
// password) and as a package file unpacked into a folder.
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <vector>

#include "config/UnZipPackage.h"
#include "config/Unzip.h"
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

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kvfuzz::StartMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(data, data + size);
    ReadMemoryArchive(bytes, nullptr);
    ReadMemoryArchive(bytes, "pw");

    kvfuzz::WriteDriveFile("package.flz", data, size);
    UnZipPackage("C:\\unpacked\\", "C:\\package.flz");
    std::error_code ignored;
    std::filesystem::remove_all(kvfuzz::Root() / "C" / "unpacked", ignored);
    return 0;
}
