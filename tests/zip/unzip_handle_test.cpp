#include <cstring>
#include <string>
#include <vector>

#include "config/Unzip.h"
#include "config/ZipWriter.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"
#include "tests/support/zip_bytes.h"

namespace {

using ziptest::BuildZip;
using ziptest::RawItem;

class UnzipHandleTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        archive_ = BuildZip({RawItem("Dir/A.txt", "first item"),
                             RawItem("b.bin", Pattern(1536)).Deflated(),
                             RawItem("c.txt", "third")});
        handle_ = OpenZipMemory(archive_.data(), static_cast<DWORD>(archive_.size()), nullptr);
        ASSERT_NE(handle_, nullptr);
    }
    void TearDown() override {
        if (handle_) CloseZip(handle_);
        SimTest::TearDown();
    }
    static std::string Pattern(std::size_t size) {
        std::string data(size, '\0');
        for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>((i * 7 + i / 300) & 0xFF);
        return data;
    }
    static std::string LastText() {
        char text[80];
        FormatZipMessage(ZIP_LAST_RESULT, text, sizeof text);
        return text;
    }

    std::string archive_;
    ZipHandle* handle_ = nullptr;
};

TEST_F(UnzipHandleTest, IndexMinusOneGivesTheCountAndBadIndexesAreRefused) {
    ZipEntry entry{};
    std::strcpy(entry.name, "stale");
    ASSERT_EQ(GetZipItem(handle_, -1, &entry), ZIP_OK);
    EXPECT_EQ(entry.index, 3);
    EXPECT_STREQ(entry.name, "");
    EXPECT_EQ(entry.uncompressedSize, 0);
    EXPECT_EQ(GetZipItem(handle_, -2, &entry), ZIP_ARGS);
    EXPECT_EQ(GetZipItem(handle_, 3, &entry), ZIP_ARGS);
    EXPECT_EQ(LastText(), "Caller: faulty arguments");
    char buffer[16];
    for (int index : {-1, -2, 3}) {
        SCOPED_TRACE(index);
        EXPECT_EQ(UnzipItemToMemory(handle_, index, buffer, sizeof buffer), ZIP_ARGS);
        EXPECT_EQ(UnzipItem(handle_, index, "C:\\out.txt"), ZIP_ARGS);
    }
    EXPECT_EQ(GetFileAttributesA("C:\\out.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(UnzipHandleTest, EntryDescribesTheItem) {
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(handle_, 1, &entry), ZIP_OK);
    EXPECT_EQ(entry.index, 1);
    EXPECT_STREQ(entry.name, "b.bin");
    EXPECT_EQ(entry.uncompressedSize, 1536);
    EXPECT_EQ(entry.compressedSize, static_cast<int>(ziptest::RawDeflate(Pattern(1536)).size()));
    EXPECT_EQ(entry.attributes, static_cast<std::uint32_t>(FILE_ATTRIBUTE_ARCHIVE));
}

TEST_F(UnzipHandleTest, SameIndexTwiceReturnsTheCachedEntry) {
    ZipEntry first{}, second{};
    ASSERT_EQ(GetZipItem(handle_, 0, &first), ZIP_OK);
    std::memset(archive_.data(), 0, 30);  // the item's local header is gone now
    ASSERT_EQ(GetZipItem(handle_, 0, &second), ZIP_OK);
    EXPECT_EQ(std::memcmp(&first, &second, sizeof first), 0);
    ASSERT_EQ(GetZipItem(handle_, 2, &second), ZIP_OK);
    EXPECT_EQ(GetZipItem(handle_, 0, &second), ZIP_CORRUPT);  // read again, and found damaged
}

TEST_F(UnzipHandleTest, FindHonoursLetterCaseUnlessIgnored) {
    int index = 99;
    ZipEntry entry{};
    EXPECT_EQ(FindZipItem(handle_, "dir/a.TXT", false, &index, &entry), ZIP_NOT_FOUND);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(entry.index, -1);
    EXPECT_EQ(FindZipItem(handle_, "dir/a.TXT", true, &index, &entry), ZIP_OK);
    EXPECT_EQ(index, 0);
    EXPECT_STREQ(entry.name, "Dir/A.txt");
    EXPECT_EQ(FindZipItem(handle_, "c.txt", false, &index, nullptr), ZIP_OK);
    EXPECT_EQ(index, 2);
    EXPECT_EQ(FindZipItem(handle_, "b.bin", false, nullptr, nullptr), ZIP_OK);
    EXPECT_EQ(FindZipItem(handle_, std::string(300, 'x').c_str(), false, &index, nullptr), ZIP_ARGS);
}

TEST_F(UnzipHandleTest, MemoryExtractionComesInChunks) {
    std::string out;
    char chunk[600];
    DWORD result;
    int calls = 0;
    do {
        std::memset(chunk, 0, sizeof chunk);
        result = UnzipItemToMemory(handle_, 1, chunk, sizeof chunk);
        ++calls;
        std::size_t got = std::min<std::size_t>(sizeof chunk, 1536 - out.size());
        out.append(chunk, got);
        if (result == ZIP_MORE) {
            EXPECT_EQ(LastText(), "Still more data to unzip");
        }
    } while (result == ZIP_MORE && calls < 10);
    EXPECT_EQ(result, ZIP_OK);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(out, Pattern(1536));
}

TEST_F(UnzipHandleTest, MemoryExtractionClosesTheItemOnlyAfterAnEmptyRead) {
    const std::string data = Pattern(1536);
    std::string archive = BuildZip({RawItem("b.bin", data).Deflated(), RawItem("empty.txt"),
                                    RawItem("bad.txt", std::string(1000, 'q')).BadCrc()});
    struct Step {
        int index;
        DWORD length;
        DWORD result;
        std::size_t from;   // where in the item the bytes handed out start
        std::size_t bytes;  // how many the buffer must hold
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"pieces, then nothing, then from the start again",
         {{0, 600, ZIP_MORE, 0, 600}, {0, 600, ZIP_MORE, 600, 600}, {0, 600, ZIP_OK, 1200, 336},
          {0, 600, ZIP_OK, 0, 0}, {0, 600, ZIP_MORE, 0, 600}}},
        {"the whole item at once", {{0, 4096, ZIP_OK, 0, 1536}, {0, 4096, ZIP_OK, 0, 0}, {0, 4096, ZIP_OK, 0, 1536}}},
        {"a length of 0 before reading", {{0, 0, ZIP_FLATE, 0, 0}, {0, 4096, ZIP_OK, 0, 1536}}},
        {"a length of 0 between pieces", {{0, 1000, ZIP_MORE, 0, 1000}, {0, 0, ZIP_FLATE, 0, 0},
                                          {0, 1000, ZIP_MORE, 0, 1000}}},
        {"a length of 0 after the last piece", {{0, 1536, ZIP_OK, 0, 1536}, {0, 0, ZIP_OK, 0, 0},
                                                {0, 600, ZIP_MORE, 0, 600}}},
        {"an empty item", {{1, 600, ZIP_OK, 0, 0}, {1, 0, ZIP_OK, 0, 0}}},
        {"a bad CRC shows at the last piece", {{2, 600, ZIP_MORE, 0, 600}, {2, 600, ZIP_CORRUPT, 0, 400}}},
        {"another item closes the open one", {{0, 600, ZIP_MORE, 0, 600}, {1, 600, ZIP_OK, 0, 0},
                                              {0, 600, ZIP_MORE, 0, 600}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ZipHandle* handle = OpenZipMemory(archive.data(), static_cast<DWORD>(archive.size()), nullptr);
        ASSERT_NE(handle, nullptr);
        int number = 0;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(number++);
            std::string buffer(4096, '\xAA');
            EXPECT_EQ(UnzipItemToMemory(handle, step.index, buffer.data(), step.length), step.result);
            const std::string& item = step.index == 0 ? data : std::string(1000, 'q');
            if (step.result != ZIP_CORRUPT) {
                EXPECT_EQ(buffer.substr(0, step.bytes), item.substr(step.from, step.bytes));
            }
            EXPECT_EQ(buffer.substr(step.bytes), std::string(4096 - step.bytes, '\xAA'));
        }
        CloseZip(handle);
    }
}

// An extraction checks the item it reads, not the entry fetched last.
TEST_F(UnzipHandleTest, ExtractionChecksTheItemItReadsWhateverWasFetchedBefore) {
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(handle_, 2, &entry), ZIP_OK);
    char buffer[32] = {};
    EXPECT_EQ(UnzipItemToMemory(handle_, 0, buffer, sizeof buffer), ZIP_OK);
    EXPECT_STREQ(buffer, "first item");
    ASSERT_EQ(GetZipItem(handle_, 1, &entry), ZIP_OK);
    EXPECT_EQ(UnzipItem(handle_, 2, "C:\\third.txt"), ZIP_OK);
    EXPECT_EQ(ReadFile("C:\\third.txt"), "third");
}

TEST_F(UnzipHandleTest, MemoryExtractionChecksTheCrc) {
    std::string damaged = BuildZip({RawItem("a", "abc").BadCrc()});
    ZipHandle* handle = OpenZipMemory(damaged.data(), static_cast<DWORD>(damaged.size()), nullptr);
    ASSERT_NE(handle, nullptr);
    char buffer[16];
    EXPECT_EQ(UnzipItemToMemory(handle, 0, buffer, sizeof buffer), ZIP_CORRUPT);
    CloseZip(handle);
}

TEST_F(UnzipHandleTest, ExtractionToAHandleAndBelowTheBaseFolder) {
    HANDLE file = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_EQ(::WriteFile(file, "head:", 5, nullptr, nullptr), TRUE);
    EXPECT_EQ(UnzipItemToHandle(handle_, 2, file), ZIP_OK);
    CloseHandle(file);
    EXPECT_EQ(ReadFile("C:\\out.bin"), "head:third");

    EXPECT_EQ(SetUnzipBaseDir(handle_, "C:\\base"), ZIP_OK);
    EXPECT_EQ(UnzipItem(handle_, 0, "x\\y/a.txt"), ZIP_OK);
    EXPECT_EQ(ReadFile("C:\\base\\x\\y\\a.txt"), "first item");
}

TEST_F(UnzipHandleTest, ArchiveBehindAHandleStartsAtItsPosition) {
    WriteFile("C:\\joined.bin", "PREFIX" + archive_);
    HANDLE file = CreateFileA("C:\\joined.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    ZipHandle* handle = OpenZipHandle(file, nullptr);
    ASSERT_NE(handle, nullptr);
    char buffer[32] = {};
    EXPECT_EQ(UnzipItemToMemory(handle, 2, buffer, sizeof buffer - 1), ZIP_OK);
    EXPECT_STREQ(buffer, "third");
    EXPECT_EQ(CloseZip(handle), ZIP_OK);
    CloseHandle(file);  // the caller's handle stays the caller's
}

TEST_F(UnzipHandleTest, OpenFailuresLeaveNoHandle) {
    EXPECT_EQ(OpenZip("C:\\missing.zip", nullptr), nullptr);
    EXPECT_EQ(LastText(), "Couldn't create/open file");
    std::string text = "not an archive";
    EXPECT_EQ(OpenZipMemory(text.data(), static_cast<DWORD>(text.size()), nullptr), nullptr);
    EXPECT_EQ(FormatZipMessage(ZIP_LAST_RESULT, nullptr, 0), std::strlen("Couldn't create/open file"));
    std::string cut = archive_.substr(0, archive_.size() - 22);  // no end record
    EXPECT_EQ(OpenZipMemory(cut.data(), static_cast<DWORD>(cut.size()), nullptr), nullptr);
}

TEST_F(UnzipHandleTest, HandleChecksTellNullFromTheWrongKind) {
    ZipEntry entry{};
    EXPECT_EQ(CloseZip(nullptr), ZIP_ARGS);
    EXPECT_EQ(GetZipItem(nullptr, 0, &entry), ZIP_ARGS);
    EXPECT_FALSE(IsUnzipHandle(nullptr));
    EXPECT_TRUE(IsUnzipHandle(handle_));
    ZipHandle* writer = CreateZip("C:\\w.zip", nullptr);
    ASSERT_NE(writer, nullptr);
    EXPECT_FALSE(IsUnzipHandle(writer));
    EXPECT_EQ(CloseZip(writer), ZIP_MIXED);
    EXPECT_EQ(GetZipItem(writer, 0, &entry), ZIP_MIXED);
    EXPECT_EQ(SetUnzipBaseDir(writer, "C:\\"), ZIP_MIXED);
    EXPECT_EQ(LastText(), "Caller: mixing creation and opening of zip");
    EXPECT_EQ(CloseZipWriter(writer), ZIP_OK);
}

TEST_F(UnzipHandleTest, MessagesAreCutToTheBuffer) {
    char text[40];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(FormatZipMessage(ZIP_NOT_FOUND, text, 5), 29u);
    EXPECT_STREQ(text, "File");
    EXPECT_EQ(text[5], 'x');
    EXPECT_EQ(FormatZipMessage(0x123, text, sizeof text), 23u);
    EXPECT_STREQ(text, "unknown zip result code");
    EXPECT_EQ(FormatZipMessage(ZIP_PASSWORD, text, sizeof text), 25u);
    EXPECT_STREQ(text, "Correct password required");
    EXPECT_EQ(FormatZipMessage(ZIP_FLATE, text, 0), 41u);
    EXPECT_EQ(GetZipItem(handle_, 7, nullptr), ZIP_ARGS);
    FormatZipMessage(ZIP_LAST_RESULT, text, sizeof text);
    EXPECT_STREQ(text, "Caller: faulty arguments");
}

TEST_F(UnzipHandleTest, PasswordIsCheckedBeforeInflating) {
    std::string block(4096, '\0');
    ZipHandle* writer = CreateZipMemory(block.data(), static_cast<DWORD>(block.size()), "secret");
    ASSERT_NE(writer, nullptr);
    const std::string text = "a secret text, a secret text, a secret text";
    ASSERT_EQ(AddZipItemMemory(writer, "s.txt", text.data(), static_cast<DWORD>(text.size())), ZIP_OK);
    ASSERT_EQ(AddZipItemMemory(writer, "s.zip", text.data(), static_cast<DWORD>(text.size())), ZIP_OK);  // stored
    void* data = nullptr;
    DWORD length = 0;
    ASSERT_EQ(GetZipMemory(writer, &data, &length), ZIP_OK);
    std::string archive(static_cast<char*>(data), length);
    CloseZipWriter(writer);

    struct Case {
        const char* password;
        DWORD result;
    };
    for (const Case& c : {Case{nullptr, ZIP_PASSWORD}, Case{"wrong", ZIP_PASSWORD}, Case{"secret", ZIP_OK}}) {
        SCOPED_TRACE(c.password ? c.password : "(none)");
        ZipHandle* handle = OpenZipMemory(archive.data(), length, c.password);
        ASSERT_NE(handle, nullptr);
        for (int index : {0, 1}) {
            SCOPED_TRACE(index);
            char out[128] = {};
            EXPECT_EQ(UnzipItemToMemory(handle, index, out, sizeof out - 1), c.result);
            if (c.result == ZIP_OK) {
                EXPECT_EQ(std::string(out), text);
            }
            EXPECT_EQ(UnzipItem(handle, index, index ? "C:\\s.zip" : "C:\\s.txt"), c.result);
        }
        CloseZip(handle);
    }
    EXPECT_EQ(ReadFile("C:\\s.txt"), text);
    EXPECT_EQ(ReadFile("C:\\s.zip"), text);
}

}  // namespace
