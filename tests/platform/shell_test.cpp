#include <filesystem>
#include <string>

#include "platform/fileinfo.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "platform/system.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

constexpr FILEOP_FLAGS kQuiet = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;

class ShellTest : public SimTest {
protected:
    int Operate(UINT function, const std::string& from, const std::string& to, FILEOP_FLAGS flags = kQuiet) {
        std::string fromList = from + '\0';
        std::string toList = to + '\0';
        SHFILEOPSTRUCTA operation{};
        operation.wFunc = function;
        operation.pFrom = fromList.c_str();
        operation.pTo = to.empty() ? nullptr : toList.c_str();
        operation.fFlags = flags;
        return SHFileOperationA(&operation);
    }
    bool Exists(const std::string& path) { return std::filesystem::exists(kvtest::HostPath(drives(), path)); }
};

TEST_F(ShellTest, QuietFlagsHaveTheirWindowsValue) { EXPECT_EQ(kQuiet, 0x614); }

TEST_F(ShellTest, DeleteRemovesAFolderWithEverythingInIt) {
    WriteFile("C:\\Data\\Fls\\a\\b.bin", "b");
    WriteFile("C:\\Data\\Fls\\c.bin", "c");
    EXPECT_EQ(Operate(FO_DELETE, "c:\\data\\FLS\\", ""), 0);
    EXPECT_FALSE(Exists("C:\\Data\\Fls"));
    EXPECT_TRUE(Exists("C:\\Data"));
    EXPECT_TRUE(machine().transcript().Contains("file", "deleted c:\\data\\FLS\\"));
}

TEST_F(ShellTest, DeleteOfEveryNameInTheList) {
    WriteFile("C:\\Data\\a.log", "a");
    WriteFile("C:\\Data\\b.log", "b");
    std::string list = std::string("C:\\Data\\a.log") + '\0' + "C:\\Data\\b.log";
    EXPECT_EQ(Operate(FO_DELETE, list, ""), 0);
    EXPECT_FALSE(Exists("C:\\Data\\a.log"));
    EXPECT_FALSE(Exists("C:\\Data\\b.log"));
}

TEST_F(ShellTest, DeleteOfAMissingNameFails) {
    EXPECT_NE(Operate(FO_DELETE, "C:\\Data\\none.log", ""), 0);
    EXPECT_FALSE(machine().transcript().Contains("file", "none.log"));
}

TEST_F(ShellTest, RenameReplacesAnExistingFileWithoutConfirmation) {
    WriteFile("C:\\Logs\\a.log", "new");
    WriteFile("C:\\Logs\\a_bk.log", "old");
    EXPECT_NE(Operate(FO_RENAME, "C:\\Logs\\a.log", "C:\\Logs\\a_bk.log", FOF_SILENT), 0);
    EXPECT_EQ(ReadFile("C:\\Logs\\a_bk.log"), "old");
    EXPECT_EQ(Operate(FO_RENAME, "C:\\Logs\\a.log", "C:\\Logs\\a_bk.log"), 0);
    EXPECT_FALSE(Exists("C:\\Logs\\a.log"));
    EXPECT_EQ(ReadFile("C:\\Logs\\a_bk.log"), "new");
    EXPECT_NE(Operate(FO_RENAME, "C:\\Logs\\a.log", "C:\\Logs\\b.log"), 0);
}

TEST_F(ShellTest, SystemDirectoryAndItsSizeRule) {
    char buffer[MAX_PATH] = {};
    EXPECT_EQ(GetSystemDirectoryA(buffer, MAX_PATH), 19u);
    EXPECT_STREQ(buffer, "C:\\Windows\\System32");
    char small[5] = {'x', 0};
    EXPECT_EQ(GetSystemDirectoryA(small, sizeof small), 20u);
    EXPECT_STREQ(small, "x");
}

TEST_F(ShellTest, FileSizeGivesBothHalves) {
    WriteFile("C:\\Logs\\big.log", "");
    std::filesystem::resize_file(kvtest::HostPath(drives(), "C:\\Logs\\big.log"), 0x100000005ull);
    HANDLE file = CreateFileA("C:\\Logs\\big.log", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD high = 0;
    EXPECT_EQ(GetFileSize(file, &high), 5u);
    EXPECT_EQ(high, 1u);
    CloseHandle(file);
    EXPECT_EQ(GetFileSize(nullptr, &high), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
