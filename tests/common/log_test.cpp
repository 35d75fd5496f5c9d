#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

namespace fs = std::filesystem;
using kvtest::SplitLines;

const char kLogPath[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";
const char kBackupPath[] = "C:\\Kavrion\\KvConfigService\\KvConfigService.logbk";
const std::string kStart = "---------------log start------------------\n";

class LogTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        machine().SetStartTime({2026, 12, 2, 8, 19, 36, 16, 123});
    }

    CLog& Log() { return *CLog::GetInstance(); }

    void StartLog(const std::string& path = kLogPath) {
        Log().SetPathAndRotate(path);
        Log().Enable(true);
    }

    // A file of `size` bytes that takes no room on the host.
    void MakeSparseFile(const std::string& windowsPath, std::uintmax_t size) {
        WriteFile(windowsPath, "");
        fs::resize_file(kvtest::HostPath(drives(), windowsPath), size);
    }

    std::uintmax_t SizeOf(const std::string& windowsPath) {
        return fs::file_size(kvtest::HostPath(drives(), windowsPath));
    }

    // The first `count` bytes, without reading a large file whole.
    std::string Head(const std::string& windowsPath, std::size_t count) {
        std::ifstream in(kvtest::HostPath(drives(), windowsPath), std::ios::binary);
        std::string head(count, '\0');
        in.read(head.data(), static_cast<std::streamsize>(count));
        head.resize(static_cast<std::size_t>(in.gcount()));
        return head;
    }

    bool Exists(const std::string& windowsPath) { return fs::exists(kvtest::HostPath(drives(), windowsPath)); }
};

TEST_F(LogTest, LineCarriesTagAndVirtualLocalTime) {
    StartLog();
    EXPECT_EQ(Log().WriteLog(4, "Config enter."), 13);
    Sleep(61500);
    EXPECT_EQ(Log().WriteLog(4, "Config done."), 12);
    // Opened in text mode, as Windows' runtime writes it: every line ends in CR LF on the drive.
    EXPECT_EQ(ReadFile(kLogPath), "---------------log start------------------\r\n"
                                  "[DETAIL] 12-08 19:36:16:123: Config enter.\r\n"
                                  "[DETAIL] 12-08 19:37:17:623: Config done.\r\n");
}

TEST_F(LogTest, TagsByType) {
    struct Case {
        int type;
        const char* line;
    };
    const std::vector<Case> cases = {
        {1, "[ERROR]  12-08 19:36:16:123: m\n"},
        {2, "[WARNING]  12-08 19:36:16:123: m\n"},
        {3, "[DETAIL] 12-08 19:36:16:123: m\n"},
        {4, "[DETAIL] 12-08 19:36:16:123: m\n"},
        {0, "[DETAIL] 12-08 19:36:16:123: m\n"},
        {-7, "[DETAIL] 12-08 19:36:16:123: m\n"},
    };
    StartLog();
    std::string expected = kStart;
    for (const auto& c : cases) {
        Log().WriteLog(c.type, "m");
        expected += c.line;
    }
    EXPECT_EQ(ReadText(kLogPath), expected);
}

TEST_F(LogTest, MessageIsWrittenUnchanged) {
    StartLog();
    const std::string percent = "100% done %s %d %n %%";
    EXPECT_EQ(Log().WriteLog(4, percent), static_cast<int>(percent.size()));
    EXPECT_EQ(Log().WriteLog(4, "ends in a line feed\n"), 20);
    EXPECT_EQ(Log().WriteLog(4, ""), 0);
    EXPECT_EQ(ReadText(kLogPath), kStart + "[DETAIL] 12-08 19:36:16:123: " + percent +
                                      "\n"
                                      "[DETAIL] 12-08 19:36:16:123: ends in a line feed\n\n"
                                      "[DETAIL] 12-08 19:36:16:123: \n");
}

TEST_F(LogTest, AppendsToAnExistingFileAfterANewStartLine) {
    WriteFile(kLogPath, "earlier\n");
    StartLog();
    Log().WriteLog(4, "a");
    EXPECT_EQ(ReadText(kLogPath), "earlier\n" + kStart + "[DETAIL] 12-08 19:36:16:123: a\n");
}

TEST_F(LogTest, MissingFoldersAreCreatedAtTheFirstOpening) {
    const std::string path = "C:\\Deep\\Er\\Still\\Log.txt";
    StartLog(path);
    EXPECT_TRUE(fs::is_directory(kvtest::HostPath(drives(), "C:\\Deep\\Er\\Still")));
    EXPECT_EQ(ReadText(path), kStart);
}

TEST_F(LogTest, NothingIsOpenedBeforeEnabling) {
    Log().SetPathAndRotate(kLogPath);
    EXPECT_EQ(Log().WriteLog(4, "too early"), 0);
    EXPECT_FALSE(Exists(kLogPath));
}

TEST_F(LogTest, UncreatableFolderDropsLinesWithoutBlocking) {
    WriteFile("C:\\Blocked", "a file where the folder should be");
    const std::string path = "C:\\Blocked\\Logs\\x.log";
    StartLog(path);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Log().WriteLog(1, "dropped"), 0);
    EXPECT_EQ(machine().clock().Now(), 0);

    // Once the obstacle is gone, the periodic close and reopen brings the log back.
    fs::remove(kvtest::HostPath(drives(), "C:\\Blocked"));
    EXPECT_EQ(Log().WriteLog(4, "still dropped"), 0);
    Log().Close();
    Log().SetPathAndRotate(path);
    EXPECT_EQ(Log().WriteLog(4, "back"), 4);
    EXPECT_EQ(ReadText(path), kStart + "[DETAIL] 12-08 19:36:16:123: back\n");
}

TEST_F(LogTest, ReopenAfterCloseStartsWithANewStartLine) {
    StartLog();
    Log().WriteLog(4, "one");
    Log().Close();
    Log().Close();  // closing twice is harmless
    Log().SetPathAndRotate(kLogPath);
    Log().WriteLog(4, "two");
    EXPECT_EQ(ReadText(kLogPath), kStart + "[DETAIL] 12-08 19:36:16:123: one\n" + kStart +
                                      "[DETAIL] 12-08 19:36:16:123: two\n");
}

TEST_F(LogTest, FileOfTheLimitSizeStaysInPlace) {
    MakeSparseFile(kLogPath, CLog::kRotateSize);
    StartLog();
    Log().WriteLog(4, "x");
    EXPECT_FALSE(Exists(kBackupPath));
    // Two lines, each ending in CR LF.
    EXPECT_EQ(SizeOf(kLogPath), static_cast<std::uintmax_t>(CLog::kRotateSize) + kStart.size() + 31 + 2);
}

TEST_F(LogTest, OneByteMoreMovesTheFileToTheBackup) {
    MakeSparseFile(kLogPath, CLog::kRotateSize + 1);
    WriteFile(kBackupPath, "older backup");
    StartLog();
    Log().WriteLog(4, "x");
    EXPECT_EQ(SizeOf(kBackupPath), static_cast<std::uintmax_t>(CLog::kRotateSize) + 1);
    EXPECT_EQ(ReadText(kLogPath), kStart + "[DETAIL] 12-08 19:36:16:123: x\n");
    EXPECT_TRUE(machine().transcript().Contains("file", "deleted C:\\Kavrion\\KvConfigService\\KvConfigService.logbk"));
}

TEST_F(LogTest, PeriodicReopeningRotatesAGrownFile) {
    StartLog();
    Log().WriteLog(4, "before");
    fs::resize_file(kvtest::HostPath(drives(), kLogPath), CLog::kRotateSize + 10);
    Log().Close();
    Log().SetPathAndRotate(kLogPath);
    EXPECT_TRUE(Exists(kBackupPath));
    Log().WriteLog(4, "after");
    EXPECT_EQ(ReadText(kLogPath), kStart + "[DETAIL] 12-08 19:36:16:123: after\n");
}

TEST_F(LogTest, FileHeldOpenByTheWriterIsNotMoved) {
    StartLog();
    Log().WriteLog(4, "before");
    fs::resize_file(kvtest::HostPath(drives(), kLogPath), CLog::kRotateSize + 10);
    Log().SetPathAndRotate(kLogPath);  // without a Close first
    EXPECT_FALSE(Exists(kBackupPath));
    EXPECT_EQ(Log().WriteLog(4, "after"), 5);
    EXPECT_GT(SizeOf(kLogPath), static_cast<std::uintmax_t>(CLog::kRotateSize));
}

TEST_F(LogTest, LineLoggedBetweenCloseAndRotationLeavesTheBackupAlone) {
    StartLog();
    WriteFile(kBackupPath, "older backup");
    Log().WriteLog(4, "before");
    fs::resize_file(kvtest::HostPath(drives(), kLogPath), CLog::kRotateSize + 10);
    Log().Close();
    EXPECT_EQ(Log().WriteLog(4, "between"), 7);  // opens the file again
    Log().SetPathAndRotate(kLogPath);
    EXPECT_EQ(ReadFile(kBackupPath), "older backup");
    EXPECT_FALSE(machine().transcript().Contains("file", "deleted C:\\Kavrion\\KvConfigService\\KvConfigService.logbk"));
}

struct WriterArgs {
    int lines;
};

DWORD WriteLines(LPVOID parameter) {
    auto* args = static_cast<WriterArgs*>(parameter);
    for (int i = 0; i < args->lines; ++i) CLog::GetInstance()->WriteLog(4, "line " + std::to_string(i));
    return 0;
}

TEST_F(LogTest, ReopeningWhileAnotherThreadLogsLosesNoLine) {
    StartLog("C:\\Logs\\a.log");
    WriterArgs args{400};
    HANDLE writer = CreateThread(nullptr, 0, WriteLines, &args, 0, nullptr);
    for (int round = 0; round < 20; ++round) {
        Log().Close();
        Log().SetPathAndRotate(round % 2 ? "C:\\Logs\\a.log" : "C:\\Logs\\b.log");
    }
    ASSERT_EQ(WaitForSingleObject(writer, INFINITE), WAIT_OBJECT_0);
    CloseHandle(writer);

    int written = 0;
    for (const char* path : {"C:\\Logs\\a.log", "C:\\Logs\\b.log"}) {
        for (const auto& line : SplitLines(ReadText(path))) {
            if (line + "\n" == kStart) continue;
            ASSERT_EQ(line.rfind("[DETAIL] 12-08 19:36:16:123: line ", 0), 0u) << line;
            ++written;
        }
    }
    EXPECT_EQ(written, args.lines);
}

struct PacedArgs {
    int lines;
    DWORD pauseMs;
};

DWORD WritePaced(LPVOID parameter) {
    auto* args = static_cast<PacedArgs*>(parameter);
    for (int i = 0; i < args->lines; ++i) {
        CLog::GetInstance()->WriteLog(4, "line " + std::to_string(i));
        Sleep(args->pauseMs);
    }
    return 0;
}

TEST_F(LogTest, ReopenMovesAGrownFileToTheBackupWhileAnotherThreadLogs) {
    StartLog();
    WriteFile(kBackupPath, "older backup");
    Log().WriteLog(4, "old");
    fs::resize_file(kvtest::HostPath(drives(), kLogPath), CLog::kRotateSize + 10);
    PacedArgs args{20, 100};
    HANDLE writer = CreateThread(nullptr, 0, WritePaced, &args, 0, nullptr);
    Sleep(1050);  // lines 0 to 10 are written
    Log().Reopen(kLogPath);
    ASSERT_EQ(WaitForSingleObject(writer, INFINITE), WAIT_OBJECT_0);
    CloseHandle(writer);

    ASSERT_TRUE(Exists(kBackupPath));
    const std::string old = "---------------log start------------------\r\n[DETAIL] 12-08 19:36:16:123: old\r\n";
    EXPECT_EQ(Head(kBackupPath, old.size()), old);
    EXPECT_GT(SizeOf(kBackupPath), static_cast<std::uintmax_t>(CLog::kRotateSize));
    const std::vector<std::string> lines = SplitLines(ReadText(kLogPath));
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0] + "\n", kStart);
    EXPECT_EQ(lines[1], "[DETAIL] 12-08 19:36:17:223: line 11");
    EXPECT_EQ(lines[9], "[DETAIL] 12-08 19:36:18:023: line 19");
}

}  // namespace
