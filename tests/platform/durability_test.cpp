// What Windows refuses to do with a read-only file, what a power loss keeps of the data written
// before it, and a drive that fills up.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/crt.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/shell.h"
#include "platform/sim/file_system.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

namespace fs = std::filesystem;

class DurabilityTest : public kvtest::SimTest {
public:
    sim::FileSystem& files() { return machine().files(); }
    bool Exists(const std::string& path) { return fs::exists(kvtest::HostPath(drives(), path)); }

    // A file written through the calls, left open or closed, flushed or not.
    HANDLE Write(const char* path, const std::string& data, DWORD disposition = CREATE_ALWAYS, DWORD attributes = 0) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr);
        EXPECT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr));
        return file;
    }
    void WriteClosed(const char* path, const std::string& data, bool flush) {
        HANDLE file = Write(path, data);
        if (flush) {
            EXPECT_TRUE(FlushFileBuffers(file));
        }
        CloseHandle(file);
    }
    int Shell(UINT function, const std::string& from, const std::string& to) {
        const std::string fromList = from + '\0';
        const std::string toList = to + '\0';
        SHFILEOPSTRUCTA operation{};
        operation.wFunc = function;
        operation.pFrom = fromList.c_str();
        operation.pTo = toList.c_str();
        operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
        return SHFileOperationA(&operation);
    }
    // Power lost now, and the drive folder as the next start finds it.
    void PowerLoss() {
        files().PowerOff();
        files().DropWriteBack();
    }
};

// --- Read-only files ---

struct RefusalCase {
    const char* name;
    std::function<bool()> call;  // true when the call succeeded
};

TEST_F(DurabilityTest, ReadOnlyFileRefusesWhatWindowsRefuses) {
    WriteFile("C:\\ro.txt", "kept");
    WriteFile("C:\\other.txt", "other");
    ASSERT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesA("C:\\ro.txt") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    const std::vector<RefusalCase> cases = {
        {"DeleteFileA", [] { return DeleteFileA("C:\\ro.txt") != FALSE; }},
        {"MoveFileExA over it",
         [] { return MoveFileExA("C:\\other.txt", "C:\\ro.txt", MOVEFILE_REPLACE_EXISTING) != FALSE; }},
        {"MoveFileExA over it, write-through",
         [] {
             return MoveFileExA("C:\\other.txt", "C:\\RO.TXT", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) !=
                    FALSE;
         }},
        {"CreateFileA for writing",
         [] {
             HANDLE file = CreateFileA("C:\\ro.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
             if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
             return file != INVALID_HANDLE_VALUE;
         }},
        {"CreateFileA CREATE_ALWAYS",
         [] {
             HANDLE file = CreateFileA("C:\\ro.txt", GENERIC_READ, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
             if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
             return file != INVALID_HANDLE_VALUE;
         }},
    };
    for (const RefusalCase& c : cases) {
        SetLastError(0);
        EXPECT_FALSE(c.call()) << c.name;
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED) << c.name;
    }
    for (const char* mode : {"a", "a+", "w", "r+"}) {
        errno = 0;
        EXPECT_EQ(_fsopen("C:\\ro.txt", mode, _SH_DENYNO), nullptr) << mode;
        EXPECT_EQ(errno, EACCES) << mode;
    }
    EXPECT_EQ(ReadFile("C:\\ro.txt"), "kept");
    EXPECT_EQ(ReadFile("C:\\other.txt"), "other");

    // Reading it, and moving it itself, stay allowed; without the attribute it goes.
    HANDLE reader = CreateFileA("C:\\ro.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    EXPECT_TRUE(MoveFileExA("C:\\ro.txt", "C:\\ro2.txt", 0));
    EXPECT_EQ(GetFileAttributesA("C:\\ro2.txt") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetFileAttributesA("C:\\ro2.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileA("C:\\ro2.txt"));
}

TEST_F(DurabilityTest, FileCreatedReadOnlyIsWrittenThroughItsHandleOnly) {
    HANDLE file = Write("C:\\made.txt", "data", CREATE_NEW, FILE_ATTRIBUTE_READONLY);
    CloseHandle(file);
    EXPECT_EQ(ReadFile("C:\\made.txt"), "data");
    EXPECT_EQ(GetFileAttributesA("C:\\made.txt") & FILE_ATTRIBUTE_READONLY, FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(DeleteFileA("C:\\made.txt"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(SetFileAttributesA("C:\\missing.txt", FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// --- Power loss ---

struct PowerCase {
    const char* name;
    std::function<void(DurabilityTest&)> act;
    std::optional<std::string> target;     // C:\t.txt after the power loss (none: no file)
    std::optional<std::string> temporary;  // C:\t.txt.tmp after it
};

class PowerLossTest : public DurabilityTest, public ::testing::WithParamInterface<PowerCase> {};

TEST_P(PowerLossTest, KeepsOnlyWhatWasDurable) {
    WriteFile("C:\\t.txt", "old");
    const PowerCase& c = GetParam();
    c.act(*this);
    PowerLoss();
    EXPECT_EQ(Exists("C:\\t.txt") ? std::optional<std::string>(ReadFile("C:\\t.txt")) : std::nullopt, c.target);
    EXPECT_EQ(Exists("C:\\t.txt.tmp") ? std::optional<std::string>(ReadFile("C:\\t.txt.tmp")) : std::nullopt,
              c.temporary);
    EXPECT_EQ(files().PendingWriteBack(), 0u);
}

constexpr DWORD kReplace = MOVEFILE_REPLACE_EXISTING;
constexpr DWORD kThrough = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;

INSTANTIATE_TEST_SUITE_P(
    Moments, PowerLossTest,
    ::testing::Values(
        PowerCase{"Untouched", [](DurabilityTest&) {}, "old", std::nullopt},
        PowerCase{"NewFileNotFlushedIsEmpty",
                  [](DurabilityTest& t) { t.WriteClosed("C:\\t.txt.tmp", "new", false); }, "old", ""},
        PowerCase{"NewFileFlushed", [](DurabilityTest& t) { t.WriteClosed("C:\\t.txt.tmp", "new", true); }, "old",
                  "new"},
        PowerCase{"OverwrittenNotFlushedKeepsOld",
                  [](DurabilityTest& t) { t.WriteClosed("C:\\t.txt", "newer", false); }, "old", std::nullopt},
        PowerCase{"OverwrittenFlushed", [](DurabilityTest& t) { t.WriteClosed("C:\\t.txt", "newer", true); },
                  "newer", std::nullopt},
        PowerCase{"MovedWithoutItsDataHoldsNone",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt.tmp", "new", false);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kReplace));
                  },
                  "", std::nullopt},
        PowerCase{"RenamedAfterFlush",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt.tmp", "new", true);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kReplace));
                  },
                  "new", std::nullopt},
        PowerCase{"ClosedThenMovedWriteThroughMovesNoData",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt.tmp", "new", false);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kThrough));
                  },
                  "", std::nullopt},
        PowerCase{"FlushedThenMovedWriteThrough",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt.tmp", "new", true);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kThrough));
                  },
                  "new", std::nullopt},
        PowerCase{"FlushedKeepsNothingWrittenAfter",
                  [](DurabilityTest& t) {
                      HANDLE file = t.Write("C:\\t.txt.tmp", "new");
                      EXPECT_TRUE(FlushFileBuffers(file));
                      DWORD written = 0;
                      EXPECT_TRUE(::WriteFile(file, " more", 5, &written, nullptr));
                      CloseHandle(file);
                  },
                  "old", "new"},
        PowerCase{"MovedOverUnflushedData",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt", "newer", false);
                      t.WriteClosed("C:\\t.txt.tmp", "new", true);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kReplace));
                  },
                  "new", std::nullopt},
        PowerCase{"FlushedUnderItsNewName",
                  [](DurabilityTest& t) {
                      HANDLE file = t.Write("C:\\t.txt.tmp", "new", CREATE_NEW);
                      CloseHandle(file);
                      file = CreateFileA("C:\\t.txt.tmp", GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                         0, nullptr);
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kThrough));
                      DWORD written = 0;
                      EXPECT_TRUE(::WriteFile(file, "N", 1, &written, nullptr));
                      EXPECT_TRUE(FlushFileBuffers(file));
                      CloseHandle(file);
                  },
                  "New", std::nullopt},
        PowerCase{"CopiedNotFlushedIsEmpty",
                  [](DurabilityTest&) { EXPECT_TRUE(CopyFileA("C:\\t.txt", "C:\\t.txt.tmp", TRUE)); }, "old",
                  ""},
        PowerCase{"MovedWriteThroughWhileOpen",
                  [](DurabilityTest&) {
                      HANDLE file = CreateFileA("C:\\t.txt.tmp", GENERIC_WRITE,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                                CREATE_NEW, 0, nullptr);
                      DWORD written = 0;
                      EXPECT_TRUE(::WriteFile(file, "new", 3, &written, nullptr));
                      EXPECT_TRUE(MoveFileExA("C:\\t.txt.tmp", "C:\\t.txt", kThrough));
                      CloseHandle(file);
                  },
                  "", std::nullopt},
        PowerCase{"MoveFileAWithoutItsData",
                  [](DurabilityTest& t) {
                      EXPECT_TRUE(DeleteFileA("C:\\t.txt"));
                      t.WriteClosed("C:\\t.txt.tmp", "new", false);
                      EXPECT_TRUE(MoveFileA("C:\\t.txt.tmp", "C:\\t.txt"));
                  },
                  "", std::nullopt},
        PowerCase{"Deleted", [](DurabilityTest&) { EXPECT_TRUE(DeleteFileA("C:\\t.txt")); }, std::nullopt,
                  std::nullopt},
        PowerCase{"DeletedWithUnflushedData",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt", "newer", false);
                      EXPECT_EQ(t.Shell(FO_DELETE, "C:\\t.txt", ""), 0);
                  },
                  std::nullopt, std::nullopt},
        PowerCase{"RenamedByShellWithoutItsData",
                  [](DurabilityTest& t) {
                      t.WriteClosed("C:\\t.txt", "newer", false);
                      EXPECT_EQ(t.Shell(FO_RENAME, "C:\\t.txt", "C:\\t.txt.tmp"), 0);
                  },
                  std::nullopt, "old"},
        PowerCase{"StreamLinesNotFlushedToDisk",
                  [](DurabilityTest&) {
                      std::FILE* log = _fsopen("C:\\t.txt", "a+", _SH_DENYNO);
                      ASSERT_NE(log, nullptr);
                      std::fputs(" and more", log);
                      std::fflush(log);  // to the system's cache only
                      std::fclose(log);
                  },
                  "old", std::nullopt}),
    [](const ::testing::TestParamInfo<PowerCase>& info) { return std::string(info.param.name); });

// A moved folder takes the account of every file in it along.
TEST_F(DurabilityTest, MovedFolderKeepsWhatItsFilesHeldDurably) {
    ASSERT_TRUE(CreateDirectoryA("C:\\d", nullptr));
    WriteClosed("C:\\d\\flushed.txt", "one", true);
    WriteClosed("C:\\d\\written.txt", "two", false);
    ASSERT_TRUE(MoveFileA("C:\\d", "C:\\e"));
    PowerLoss();
    EXPECT_FALSE(Exists("C:\\d"));
    EXPECT_EQ(ReadFile("C:\\e\\flushed.txt"), "one");
    EXPECT_EQ(ReadFile("C:\\e\\written.txt"), "");
}

TEST_F(DurabilityTest, NothingChangesOnceThePowerIsOff) {
    WriteFile("C:\\t.txt", "old");
    files().PowerOff();
    EXPECT_EQ(CreateFileA("C:\\n.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_FALSE(DeleteFileA("C:\\t.txt"));
    EXPECT_EQ(GetLastError(), ERROR_NOT_READY);
    EXPECT_EQ(_fsopen("C:\\t.txt", "a", _SH_DENYNO), nullptr);
    files().DropWriteBack();
    EXPECT_FALSE(Exists("C:\\n.txt"));
    EXPECT_EQ(ReadFile("C:\\t.txt"), "old");
}

// --- A full drive ---

TEST_F(DurabilityTest, FullDriveRefusesWritesThatGrowFiles) {
    files().SetFreeSpace(10);
    HANDLE file = CreateFileA("C:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 99;
    EXPECT_FALSE(::WriteFile(file, "01234567890", 11, &written, nullptr));  // one byte too many: nothing written
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(written, 0u);
    EXPECT_TRUE(::WriteFile(file, "0123456789", 10, &written, nullptr));
    EXPECT_FALSE(::WriteFile(file, "x", 1, &written, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    // Over bytes the file already has, no space is needed.
    EXPECT_NE(SetFilePointer(file, 2, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(::WriteFile(file, "ab", 2, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(ReadFile("C:\\f.bin"), "01ab456789");

    // A deleted file gives its bytes back.
    EXPECT_TRUE(DeleteFileA("C:\\f.bin"));
    file = CreateFileA("C:\\g.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_TRUE(::WriteFile(file, "0123456789", 10, &written, nullptr));
    CloseHandle(file);
    files().SetFreeSpace(std::nullopt);
    file = CreateFileA("C:\\g.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(SetFilePointer(file, 0, nullptr, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_TRUE(::WriteFile(file, "more", 4, &written, nullptr));
    CloseHandle(file);
    EXPECT_EQ(ReadFile("C:\\g.bin"), "0123456789more");
}

TEST_F(DurabilityTest, FullDriveDropsStreamWritesUntilSpaceReturns) {
    std::FILE* log = _fsopen("C:\\log.txt", "a+", _SH_DENYNO);
    ASSERT_NE(log, nullptr);
    std::fputs("one\n", log);
    EXPECT_EQ(std::fflush(log), 0);
    files().SetFreeSpace(3);
    std::fputs("two\n", log);
    EXPECT_NE(std::fflush(log), 0);
    files().SetFreeSpace(std::nullopt);
    std::fputs("three\n", log);
    EXPECT_EQ(std::fflush(log), 0);
    std::fclose(log);
    EXPECT_EQ(ReadFile("C:\\log.txt"), "one\r\nthree\r\n");
}

}  // namespace
