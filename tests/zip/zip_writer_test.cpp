#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "config/CZipWriter.h"
#include "config/Unzip.h"
#include "config/ZipWriter.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"
#include "tests/support/zip_bytes.h"

namespace {

using ziptest::ParsedItem;
using ziptest::ParseZip;

// A host stream that cannot seek, as a pipe: writes go to `sink`, reads come
// from `source`.
struct StreamState {
    std::string sink;
    std::string source;
    std::size_t read = 0;
};

ssize_t StreamWrite(void* cookie, const char* data, size_t size) {
    static_cast<StreamState*>(cookie)->sink.append(data, size);
    return static_cast<ssize_t>(size);
}

ssize_t StreamRead(void* cookie, char* data, size_t size) {
    auto* state = static_cast<StreamState*>(cookie);
    size_t count = std::min(size, state->source.size() - state->read);
    std::memcpy(data, state->source.data() + state->read, count);
    state->read += count;
    return static_cast<ssize_t>(count);
}

class ZipWriterTest : public kvtest::SimTest {
protected:
    // An unseekable handle on the machine.
    HANDLE StreamHandle(StreamState* state, DWORD access) {
        cookie_io_functions_t functions{StreamRead, StreamWrite, nullptr, nullptr};
        std::FILE* stream = fopencookie(state, access & GENERIC_WRITE ? "w" : "r", functions);
        return machine().handles().Add(std::make_shared<sim::FileObject>(stream, drives() / "stream", "", access));
    }

    // Builds an archive in memory with `add` and returns its bytes.
    template <class Add>
    std::string InMemory(const char* password, Add add) {
        std::string block(1 << 20, '\0');
        ZipHandle* zip = CreateZipMemory(block.data(), static_cast<DWORD>(block.size()), password);
        EXPECT_NE(zip, nullptr);
        add(zip);
        void* data = nullptr;
        DWORD length = 0;
        EXPECT_EQ(GetZipMemory(zip, &data, &length), ZIP_OK);
        EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);
        return block.substr(0, length);
    }

    // Every item of the archive through the unpacker, as name=content lines.
    static std::string Unpacked(const std::string& archive, const char* password = nullptr) {
        std::string copy = archive;
        ZipHandle* handle = OpenZipMemory(copy.data(), static_cast<DWORD>(copy.size()), password);
        if (!handle) return "(not an archive)";
        ZipEntry entry{};
        GetZipItem(handle, -1, &entry);
        std::string out;
        for (int i = 0, count = entry.index; i < count; ++i) {
            GetZipItem(handle, i, &entry);
            std::string data(static_cast<std::size_t>(entry.uncompressedSize) + 1, '\0');
            DWORD result = UnzipItemToMemory(handle, i, data.data(), static_cast<DWORD>(data.size()));
            data.resize(static_cast<std::size_t>(entry.uncompressedSize));
            out += std::string(entry.name) + "=" + (result == ZIP_OK ? data : "(failed)") + "\n";
        }
        CloseZip(handle);
        return out;
    }

    // Debian's unzip, testing the archive as a host file; empty when it is not installed.
    std::string UnzipTest(const std::string& archive, const std::string& password = "") {
        if (std::system("command -v unzip >/dev/null 2>&1") != 0) return "";
        WriteFile("C:\\check.zip", archive);
        std::string command = "unzip -t " + (password.empty() ? std::string() : "-P " + password + " ") + "'" +
                              kvtest::HostPath(drives(), "C:\\check.zip").string() + "' 2>&1";
        std::string output;
        std::FILE* pipe = popen(command.c_str(), "r");
        char line[512];
        while (pipe && std::fgets(line, sizeof line, pipe)) output += line;
        int status = pipe ? pclose(pipe) : -1;
        return output + (status == 0 ? "EXIT 0" : "EXIT FAILED");
    }
};

const std::string kText = "Line of text for the archive, repeated so that deflate has work.\r\n";

std::string Many(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST_F(ZipWriterTest, RoundTripThroughTheUnpackerAndUnzip) {
    WriteFile("C:\\src\\table.ini", Many(kText, 500));
    WriteFile("C:\\src\\empty.txt", "");
    ZipHandle* zip = CreateZip("C:\\out\\..\\pack.zip", nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddZipFolder(zip, "cfg"), ZIP_OK);
    EXPECT_EQ(AddZipItem(zip, "cfg\\table.ini", "C:\\src\\table.ini"), ZIP_OK);
    EXPECT_EQ(AddZipItem(zip, "empty.txt", "C:\\src\\empty.txt"), ZIP_OK);
    EXPECT_EQ(AddZipItemMemory(zip, "cfg/inner.zip", "PK-not-really", 13), ZIP_OK);
    HANDLE source = CreateFileA("C:\\src\\table.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(AddZipItemHandle(zip, "again.ini", source), ZIP_OK);
    CloseHandle(source);
    EXPECT_EQ(AddZipItem(zip, "missing.txt", "C:\\src\\missing.txt"), ZIP_NO_FILE);
    EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);

    std::string archive = ReadFile("C:\\pack.zip");
    EXPECT_EQ(Unpacked(archive), "cfg/=\ncfg/table.ini=" + Many(kText, 500) +
                                     "\nempty.txt=\ncfg/inner.zip=PK-not-really\nagain.ini=" + Many(kText, 500) + "\n");
    std::string check = UnzipTest(archive);
    if (check.empty()) GTEST_SKIP() << "unzip is not installed";
    EXPECT_NE(check.find("No errors detected"), std::string::npos) << check;
    EXPECT_NE(check.find("EXIT 0"), std::string::npos) << check;
}

TEST_F(ZipWriterTest, PasswordArchivePassesUnzip) {
    std::string archive = InMemory("pw123", [](ZipHandle* zip) {
        std::string big = Many(kText, 100);
        EXPECT_EQ(AddZipItemMemory(zip, "deflated.txt", big.data(), static_cast<DWORD>(big.size())), ZIP_OK);
        EXPECT_EQ(AddZipItemMemory(zip, "stored.gz", "gzip?", 5), ZIP_OK);
        EXPECT_EQ(AddZipFolder(zip, "folder"), ZIP_OK);
    });
    EXPECT_EQ(Unpacked(archive, "pw123"), "deflated.txt=" + Many(kText, 100) + "\nstored.gz=gzip?\nfolder/=\n");
    std::string check = UnzipTest(archive, "pw123");
    if (check.empty()) GTEST_SKIP() << "unzip is not installed";
    EXPECT_NE(check.find("No errors detected"), std::string::npos) << check;
}

TEST_F(ZipWriterTest, NamesUseSlashesAndFoldersEndInOne) {
    std::string archive = InMemory(nullptr, [](ZipHandle* zip) {
        EXPECT_EQ(AddZipItemMemory(zip, "docs\\readme.txt", "r", 1), ZIP_OK);
        EXPECT_EQ(AddZipFolder(zip, "docs"), ZIP_OK);
        EXPECT_EQ(AddZipFolder(zip, "more/"), ZIP_OK);
        EXPECT_EQ(AddZipItemMemory(zip, "", "r", 1), ZIP_ARGS);
        EXPECT_EQ(AddZipItemMemory(zip, std::string(260, 'n').c_str(), "r", 1), ZIP_ARGS);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].name, "docs/readme.txt");
    EXPECT_EQ(items[1].name, "docs/");
    EXPECT_EQ(items[1].external, 0x41C00010u);
    EXPECT_EQ(items[1].compressedSize, 0u);
    EXPECT_EQ(items[1].uncompressedSize, 0u);
    EXPECT_EQ(items[1].method, 0);
    EXPECT_EQ(items[2].name, "more/");

    std::string copy = archive;
    ZipHandle* handle = OpenZipMemory(copy.data(), static_cast<DWORD>(copy.size()), nullptr);
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(handle, 1, &entry), ZIP_OK);
    EXPECT_EQ(entry.attributes, static_cast<std::uint32_t>(FILE_ATTRIBUTE_DIRECTORY));
    CloseZip(handle);
}

TEST_F(ZipWriterTest, CompressedKindsAreStored) {
    struct Case {
        const char* name;
        bool stored;
    };
    const Case cases[] = {{"a.ZIP", true},   {"b.tgz", true},   {"c.Z", true},     {"d.zoo", true},
                          {"e.arc", true},   {"f.LZH", true},   {"g.arj", true},   {"h.gz", true},
                          {"d.txt", false},  {"noext", false},  {"x.zip.txt", false}, {"y.z", true},
                          {"dir.zip/f", false}};
    for (const Case& c : cases) EXPECT_EQ(HasZipSuffix(c.name), c.stored) << c.name;
    std::string archive = InMemory(nullptr, [&](ZipHandle* zip) {
        for (const Case& c : cases) EXPECT_EQ(AddZipItemMemory(zip, c.name, "some data", 9), ZIP_OK);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), std::size(cases));
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i].method, cases[i].stored ? 0 : 8) << items[i].name;
}

TEST_F(ZipWriterTest, SeekableOutputWithoutPasswordRewritesTheLocalHeader) {
    std::string archive = InMemory(nullptr, [](ZipHandle* zip) {
        EXPECT_EQ(AddZipItemMemory(zip, "deflated.txt", kText.data(), static_cast<DWORD>(kText.size())), ZIP_OK);
        EXPECT_EQ(AddZipItemMemory(zip, "stored.zip", "abc", 3), ZIP_OK);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].centralFlags, 2);
    EXPECT_EQ(items[0].localFlags, 2);
    EXPECT_EQ(items[1].centralFlags, 0);
    EXPECT_EQ(items[1].localFlags, 0);
    for (const ParsedItem& item : items) {
        EXPECT_FALSE(item.dataDescriptor) << item.name;
        EXPECT_EQ(item.localCompressedSize, item.compressedSize) << item.name;
    }
    EXPECT_EQ(items[1].compressedSize, 3u);
}

TEST_F(ZipWriterTest, PasswordGivesFlagsNineHeaderAndDescriptor) {
    std::string archive = InMemory("pw", [](ZipHandle* zip) {
        EXPECT_EQ(AddZipItemMemory(zip, "deflated.txt", kText.data(), static_cast<DWORD>(kText.size())), ZIP_OK);
        EXPECT_EQ(AddZipItemMemory(zip, "stored.zip", "abc", 3), ZIP_OK);
        EXPECT_EQ(AddZipFolder(zip, "folder"), ZIP_OK);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(items[i].centralFlags, 9) << items[i].name;
        EXPECT_EQ(items[i].localFlags, 9) << items[i].name;
        EXPECT_TRUE(items[i].dataDescriptor) << items[i].name;
    }
    EXPECT_EQ(items[1].compressedSize, 15u);  // 12-byte encryption header + 3
    EXPECT_EQ(items[1].localCompressedSize, 15u);
    EXPECT_EQ(items[2].centralFlags, 0);  // folders are never encrypted
    EXPECT_EQ(items[2].compressedSize, 0u);
}

TEST_F(ZipWriterTest, UnseekableOutputGivesFlagsEightAndDescriptors) {
    StreamState state;
    HANDLE output = StreamHandle(&state, GENERIC_WRITE);
    ZipHandle* zip = CreateZipHandle(output, nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddZipItemMemory(zip, "deflated.txt", kText.data(), static_cast<DWORD>(kText.size())), ZIP_OK);
    EXPECT_EQ(AddZipItemMemory(zip, "stored.zip", "abc", 3), ZIP_OK);
    EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);
    CloseHandle(output);
    auto items = ParseZip(state.sink);
    ASSERT_EQ(items.size(), 2u);
    for (const ParsedItem& item : items) {
        EXPECT_EQ(item.centralFlags, 8) << item.name;
        EXPECT_EQ(item.localFlags, 8) << item.name;
        EXPECT_TRUE(item.dataDescriptor) << item.name;
    }
    EXPECT_EQ(Unpacked(state.sink), "deflated.txt=" + kText + "\nstored.zip=abc\n");
    std::string check = UnzipTest(state.sink);
    if (check.empty()) GTEST_SKIP() << "unzip is not installed";
    EXPECT_NE(check.find("No errors detected"), std::string::npos) << check;
}

TEST_F(ZipWriterTest, StoredStreamOfUnknownSizeNeedsASeekBack) {
    struct Case {
        const char* what;
        bool seekableOutput;
        const char* password;
        DWORD announced;
        DWORD result;
    };
    const Case cases[] = {
        {"unseekable output", false, nullptr, 0, ZIP_NO_CHANGE},
        {"password", true, "pw", 0, ZIP_NO_CHANGE},
        {"seekable, no password", true, nullptr, 0, ZIP_OK},
        {"announced size", false, nullptr, 5, ZIP_OK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StreamState input;
        input.source = "12345";
        HANDLE source = StreamHandle(&input, GENERIC_READ);
        StreamState sink;
        HANDLE output = c.seekableOutput ? nullptr : StreamHandle(&sink, GENERIC_WRITE);
        std::string block(4096, '\0');
        ZipHandle* zip = c.seekableOutput ? CreateZipMemory(block.data(), 4096, c.password)
                                          : CreateZipHandle(output, c.password);
        ASSERT_NE(zip, nullptr);
        EXPECT_EQ(c.announced ? AddZipItemHandleSized(zip, "s.zip", source, c.announced)
                              : AddZipItemHandle(zip, "s.zip", source),
                  c.result);
        void* data = nullptr;
        DWORD length = 0;
        GetZipMemory(zip, &data, &length);
        std::string archive = c.seekableOutput ? block.substr(0, length) : sink.sink;
        if (c.result == ZIP_OK) {
            EXPECT_EQ(Unpacked(archive), "s.zip=12345\n");
            auto items = ParseZip(archive);
            ASSERT_EQ(items.size(), 1u);
            EXPECT_EQ(items[0].external, 0x80000000u);
        } else {
            EXPECT_EQ(Unpacked(archive), "");  // the failed item is not listed
        }
        CloseZipWriter(zip);
        CloseHandle(source);
        if (output) CloseHandle(output);
    }
}

TEST_F(ZipWriterTest, MemoryBlockMayBeFilledButNotExceeded) {
    auto build = [](ZipHandle* zip) {
        return AddZipItemMemory(zip, "a.txt", kText.data(), static_cast<DWORD>(kText.size()));
    };
    std::string exact = InMemory(nullptr, [&](ZipHandle* zip) { EXPECT_EQ(build(zip), ZIP_OK); });

    std::string block(exact.size(), '\0');
    ZipHandle* zip = CreateZipMemory(block.data(), static_cast<DWORD>(block.size()), nullptr);
    ASSERT_EQ(build(zip), ZIP_OK);
    void* data = nullptr;
    DWORD length = 0;
    EXPECT_EQ(GetZipMemory(zip, &data, &length), ZIP_OK);
    EXPECT_EQ(length, exact.size());
    EXPECT_EQ(data, block.data());
    CloseZipWriter(zip);
    EXPECT_EQ(Unpacked(block), "a.txt=" + kText + "\n");

    std::string small(100, '\0');
    zip = CreateZipMemory(small.data(), 100, nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(build(zip), ZIP_MEMORY_SIZE);
    EXPECT_EQ(AddZipItemMemory(zip, "b", "b", 1), ZIP_FAILED);
    char text[80];
    FormatZipWriterMessage(ZIP_LAST_RESULT, text, sizeof text);
    EXPECT_STREQ(text, "Caller: there was a previous error");
    EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);  // the failed item is left out
    EXPECT_EQ(Unpacked(small), "");

    EXPECT_EQ(CreateZipMemory(small.data(), 0, nullptr), nullptr);
    FormatZipWriterMessage(ZIP_LAST_RESULT, text, sizeof text);
    EXPECT_STREQ(text, "Caller: not enough space allocated for memory zipfile");
}

TEST_F(ZipWriterTest, PageFileBlockWhenNoneIsGiven) {
    ZipHandle* zip = CreateZipMemory(nullptr, 65536, nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddZipItemMemory(zip, "m.txt", "mapped", 6), ZIP_OK);
    void* data = nullptr;
    DWORD length = 0;
    ASSERT_EQ(GetZipMemory(zip, &data, &length), ZIP_OK);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(Unpacked(std::string(static_cast<char*>(data), length)), "m.txt=mapped\n");
    EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);
}

TEST_F(ZipWriterTest, GetZipMemoryOfAFileEndsTheArchive) {
    ZipHandle* zip = CreateZip("C:\\f.zip", nullptr);
    ASSERT_NE(zip, nullptr);
    EXPECT_EQ(AddZipItemMemory(zip, "x.txt", "x", 1), ZIP_OK);
    void* data = reinterpret_cast<void*>(1);
    DWORD length = 0;
    EXPECT_EQ(GetZipMemory(zip, &data, &length), ZIP_NOT_MEMORY);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(AddZipItemMemory(zip, "y.txt", "y", 1), ZIP_ENDED);
    EXPECT_EQ(CloseZipWriter(zip), ZIP_OK);
    std::string archive = ReadFile("C:\\f.zip");
    EXPECT_EQ(archive.size(), length);
    EXPECT_EQ(Unpacked(archive), "x.txt=x\n");

    data = reinterpret_cast<void*>(1);
    length = 7;
    EXPECT_EQ(GetZipMemory(nullptr, &data, &length), ZIP_ARGS);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(length, 0u);
}

TEST_F(ZipWriterTest, WriterHandleChecksAndMessages) {
    EXPECT_EQ(AddZipFolder(nullptr, "x"), ZIP_ARGS);
    EXPECT_EQ(CloseZipWriter(nullptr), ZIP_ARGS);
    std::string archive = ziptest::BuildZip({});
    ZipHandle* reader = OpenZipMemory(archive.data(), static_cast<DWORD>(archive.size()), nullptr);
    ASSERT_NE(reader, nullptr);
    EXPECT_FALSE(IsZipWriterHandle(reader));
    EXPECT_EQ(AddZipFolder(reader, "x"), ZIP_MIXED);
    EXPECT_EQ(CloseZipWriter(reader), ZIP_MIXED);
    CloseZip(reader);
    char text[64];
    EXPECT_EQ(FormatZipWriterMessage(ZIP_PASSWORD, text, sizeof text), 23u);
    EXPECT_STREQ(text, "unknown zip result code");
    FormatZipWriterMessage(ZIP_NO_CHANGE, text, sizeof text);
    EXPECT_STREQ(text, "Zip-bug: tried to change mind, but not allowed");
    EXPECT_EQ(CreateZip("C:\\no\\such\\folder\\x.zip", nullptr), nullptr);
    FormatZipWriterMessage(ZIP_LAST_RESULT, text, sizeof text);
    EXPECT_STREQ(text, "Couldn't create/open file");
}

TEST_F(ZipWriterTest, FileFactsGiveTimesAttributesAndDosTime) {
    WriteFile("C:\\src\\timed.txt", "timed");
    SYSTEMTIME when{2025, 3, 0, 4, 12, 34, 57, 0};
    FILETIME time{};
    ASSERT_TRUE(SystemTimeToFileTime(&when, &time));
    HANDLE file = CreateFileA("C:\\src\\timed.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    ASSERT_TRUE(SetFileTime(file, nullptr, &time, &time));
    CloseHandle(file);
    std::string archive = InMemory(nullptr, [](ZipHandle* zip) {
        EXPECT_EQ(AddZipItem(zip, "timed.txt", "C:\\src\\timed.txt"), ZIP_OK);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].dosDateTime & 0xFFFF, 12u << 11 | 34u << 5 | 28u);
    EXPECT_EQ(items[0].dosDateTime >> 16, (2025u - 1980) << 9 | 3u << 5 | 4u);
    EXPECT_EQ(items[0].external, 0x80000000u | 0x01000000u | 0x00800000u | FILE_ATTRIBUTE_ARCHIVE);

    std::string copy = archive;
    ZipHandle* handle = OpenZipMemory(copy.data(), static_cast<DWORD>(copy.size()), nullptr);
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(entry.writeTime.dwLowDateTime, time.dwLowDateTime);  // from the extended timestamp
    EXPECT_EQ(entry.writeTime.dwHighDateTime, time.dwHighDateTime);
    EXPECT_EQ(entry.attributes, static_cast<std::uint32_t>(FILE_ATTRIBUTE_ARCHIVE));
    CloseZip(handle);
}

TEST_F(ZipWriterTest, ExecutableMarkFollowsTheHeaderItNames) {
    std::string image(200, '\0');
    image[0] = '\xAD';
    image[1] = 'T';
    image[36] = 100;
    image[100] = 'P';
    image[101] = 'E';
    WriteFile("C:\\src\\image.bin", image);
    WriteFile("C:\\src\\plain.bin", std::string(200, 'p'));
    std::string archive = InMemory(nullptr, [](ZipHandle* zip) {
        EXPECT_EQ(AddZipItem(zip, "image.bin", "C:\\src\\image.bin"), ZIP_OK);
        EXPECT_EQ(AddZipItem(zip, "plain.bin", "C:\\src\\plain.bin"), ZIP_OK);
    });
    auto items = ParseZip(archive);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].external & 0x00400000u, 0x00400000u);
    EXPECT_EQ(items[1].external & 0x00400000u, 0u);
    EXPECT_EQ(Unpacked(archive), "image.bin=" + image + "\nplain.bin=" + std::string(200, 'p') + "\n");
}

}  // namespace
