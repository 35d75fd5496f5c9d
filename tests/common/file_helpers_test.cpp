#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "common/FileHelpers.h"
#include "config/ZipWriter.h"
#include "platform/sim/programs.h"
#include "platform/windows.h"
#include "tests/support/sim_test.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

class FileHelpersTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        CLog::GetInstance()->SetPathAndRotate("C:\\Logs\\kv.log");
        CLog::GetInstance()->Enable(true);
    }
    // The log's lines as "<type> <message>", type 1 for errors and 4 otherwise.
    Lines Log() const {
        Lines lines;
        std::istringstream in(ReadText("C:\\Logs\\kv.log"));
        for (std::string line; std::getline(in, line);) {
            std::size_t at = line.find(": ");
            if (line.starts_with("[") && at != std::string::npos)
                lines.push_back((line.starts_with("[ERROR]") ? "1 " : "4 ") + line.substr(at + 2));
        }
        return lines;
    }
    bool Contains(const Lines& lines, const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    bool Exists(const std::string& windowsPath) const { return fs::exists(kvtest::HostPath(drives(), windowsPath)); }
    void MakeFolder(const std::string& windowsPath) { fs::create_directories(kvtest::HostPath(drives(), windowsPath)); }
};

TEST_F(FileHelpersTest, CopyFileInDirRefusesEmptyArgumentsAndUnlistableSources) {
    EXPECT_EQ(CopyFileInDir("", "C:\\Src"), -1);
    EXPECT_EQ(CopyFileInDir("C:\\Dst", ""), -1);
    EXPECT_EQ(Log(), (Lines{"4 CopyFileInDir enter.", "4 C:\\Src", "4 ", "1 CopyFileInDir failed.",
                            "4 CopyFileInDir enter.", "4 ", "4 C:\\Dst", "1 CopyFileInDir failed."}));
    MakeFolder("C:\\Dst");
    EXPECT_EQ(CopyFileInDir("C:\\Dst", "C:\\Missing"), -3);
    Lines log = Log();
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(Lines(log.end() - 3, log.end()), (Lines{"4 CopyFileInDir enter.", "4 C:\\Missing", "4 C:\\Dst"}));
}

TEST_F(FileHelpersTest, CopyFileInDirCreatesMissingSubfoldersAndCopiesEverything) {
    WriteFile("C:\\Src\\top.txt", "top");
    WriteFile("C:\\Src\\Sub\\inner.txt", "inner");
    WriteFile("C:\\Src\\Sub\\Deeper\\deep.txt", "deep");
    WriteFile("C:\\Dst\\top.txt", "stale");
    EXPECT_EQ(CopyFileInDir("C:\\Dst", "C:\\Src"), 1);
    EXPECT_EQ(ReadFile("C:\\Dst\\top.txt"), "top");
    EXPECT_EQ(ReadFile("C:\\Dst\\Sub\\inner.txt"), "inner");
    EXPECT_EQ(ReadFile("C:\\Dst\\Sub\\Deeper\\deep.txt"), "deep");
    Lines log = Log();
    EXPECT_TRUE(Contains(log, "4 C:\\Src\\top.txt"));
    EXPECT_TRUE(Contains(log, "4 C:\\Src\\Sub\\Deeper\\deep.txt"));
    EXPECT_FALSE(Contains(log, "1 CopyFile faild"));
}

TEST_F(FileHelpersTest, CopyFileInDirReportsFilesThatWereNotCopied) {
    WriteFile("C:\\Src\\a.txt", "a");
    WriteFile("C:\\Src\\b.txt", "b");
    WriteFile("C:\\Src\\Sub\\c.txt", "c");
    MakeFolder("C:\\Dst\\a.txt");  // a folder where the file should go
    EXPECT_EQ(CopyFileInDir("C:\\Dst", "C:\\Src"), -2);
    EXPECT_EQ(ReadFile("C:\\Dst\\b.txt"), "b");
    EXPECT_EQ(ReadFile("C:\\Dst\\Sub\\c.txt"), "c");
    EXPECT_TRUE(Contains(Log(), "1 CopyFile faild"));

    // A failure inside a subfolder counts, and so does a destination that does not exist.
    MakeFolder("C:\\Dst2\\Sub\\c.txt");
    EXPECT_EQ(CopyFileInDir("C:\\Dst2", "C:\\Src"), -2);
    EXPECT_EQ(ReadFile("C:\\Dst2\\a.txt"), "a");
    EXPECT_EQ(CopyFileInDir("C:\\Nowhere", "C:\\Src"), -2);
    EXPECT_FALSE(Exists("C:\\Nowhere"));
}

TEST_F(FileHelpersTest, BackupFolderReplacesAnOlderBackup) {
    WriteFile("C:\\Cfg\\Files\\now.ini", "now");
    WriteFile("C:\\Cfg\\Filesbk\\Old\\old.ini", "old");
    EXPECT_TRUE(BackupFolder("C:\\Cfg\\Files"));
    EXPECT_FALSE(Exists("C:\\Cfg\\Files"));
    EXPECT_EQ(ReadFile("C:\\Cfg\\Filesbk\\now.ini"), "now");
    EXPECT_FALSE(Exists("C:\\Cfg\\Filesbk\\Old"));
}

TEST_F(FileHelpersTest, BackupFolderOfAMissingFolderChangesNothing) {
    WriteFile("C:\\Cfg\\Filesbk\\keep.ini", "keep");
    EXPECT_TRUE(BackupFolder("C:\\Cfg\\Missing"));
    EXPECT_EQ(ReadFile("C:\\Cfg\\Filesbk\\keep.ini"), "keep");
    EXPECT_FALSE(Exists("C:\\Cfg\\Missingbk"));
}

TEST_F(FileHelpersTest, BackupFolderReportsAFailedRename) {
    WriteFile("C:\\Cfg\\Files\\now.ini", "now");
    WriteFile("C:\\Cfg\\Filesbk", "a file in the backup's place");
    EXPECT_FALSE(BackupFolder("C:\\Cfg\\Files"));
    EXPECT_TRUE(Contains(Log(), "1 rename failed,error code=B7"));
    EXPECT_EQ(ReadFile("C:\\Cfg\\Files\\now.ini"), "now");
}

TEST_F(FileHelpersTest, DeleteFolderTreeRemovesInnermostFirstAndLogsEachSubfolder) {
    WriteFile("C:\\T\\a.txt", "");
    WriteFile("C:\\T\\A\\b.txt", "");
    WriteFile("C:\\T\\A\\B\\c.txt", "");
    MakeFolder("C:\\T\\Empty");
    EXPECT_TRUE(DeleteFolderTree("C:\\T"));
    EXPECT_FALSE(Exists("C:\\T"));
    std::vector<std::string> folders;
    for (const auto& entry : machine().transcript().Entries())
        if (entry.text.starts_with("removed folder ")) folders.push_back(entry.text.substr(15));
    EXPECT_EQ(folders, (std::vector<std::string>{"C:\\T\\A\\B", "C:\\T\\A", "C:\\T\\Empty", "C:\\T"}));
    EXPECT_EQ(Log(), (Lines{"4 C:\\T\\A", "4 C:\\T\\A\\B", "4 C:\\T\\Empty"}));
}

TEST_F(FileHelpersTest, DeleteFolderTreeOfAMissingFolderFails) {
    EXPECT_FALSE(DeleteFolderTree("C:\\Missing"));
    EXPECT_EQ(Log(), (Lines{"1 Delete dir failed", "1 C:\\Missing"}));
}

TEST_F(FileHelpersTest, CreateFolderChainCreatesEveryFolderBeforeASeparator) {
    MakeFolder("D:\\");
    struct Case {
        const char* path;
        std::vector<const char*> created;
        const char* notCreated;
    } cases[] = {
        {"D:/a/b/c", {"D:\\a", "D:\\a\\b"}, "D:\\a\\b\\c"},
        {"D:\\x\\y\\z\\", {"D:\\x", "D:\\x\\y", "D:\\x\\y\\z"}, "D:\\x\\y\\z\\w"},
    };
    for (const auto& c : cases) {
        CreateFolderChain(c.path);
        for (const char* folder : c.created) EXPECT_TRUE(PathIsDirectoryA(folder)) << c.path << ": " << folder;
        EXPECT_FALSE(Exists(c.notCreated)) << c.path;
    }
}

TEST_F(FileHelpersTest, ExistenceTests) {
    WriteFile("C:\\Box\\file.txt", "x");
    MakeFolder("C:\\Box\\Empty");
    struct Case {
        const char* path;
        bool notEmpty, existingFile, accessible;
    } cases[] = {
        {"C:\\Box\\Empty", true, false, true},
        {"C:\\Box", true, false, true},
        {"C:\\box\\FILE.txt", false, true, true},
        {"C:\\Box\\missing", false, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsFolderNotEmpty(c.path), c.notEmpty) << c.path;
        EXPECT_EQ(IsExistingFile(c.path), c.existingFile) << c.path;
        EXPECT_EQ(IsPathAccessible(c.path), c.accessible) << c.path;
    }
}

TEST_F(FileHelpersTest, Is64BitWindowsByNativeProcessor) {
    struct Case {
        WORD architecture;
        bool is64;
    } cases[] = {{PROCESSOR_ARCHITECTURE_AMD64, true},
                 {PROCESSOR_ARCHITECTURE_IA64, true},
                 {PROCESSOR_ARCHITECTURE_ARM64, false},
                 {PROCESSOR_ARCHITECTURE_INTEL, false}};
    for (const auto& c : cases) {
        machine().SetNativeProcessorArchitecture(c.architecture);
        EXPECT_EQ(Is64BitWindows(), c.is64) << c.architecture;
    }
}

TEST_F(FileHelpersTest, RunProcessAndWaitGivesTheExitCode) {
    MakeFolder("C:\\Tools");
    sim::Program program;
    program.path = "C:\\Tools\\flash.exe";
    program.exitCode = 3;
    machine().programs().Declare(program);
    EXPECT_EQ(RunProcessAndWait("C:\\Tools\\flash.exe", "flash.exe /q"), 3);
    EXPECT_TRUE(machine().transcript().Contains("process", "run C:\\Tools\\flash.exe with flash.exe /q"));
    EXPECT_FALSE(Contains(Log(), "1 Create process failed"));
}

TEST_F(FileHelpersTest, RunProcessAndWaitOfAMissingProgram) {
    MakeFolder("C:\\Tools");
    EXPECT_EQ(RunProcessAndWait("C:\\Tools\\missing.exe", "missing.exe"), -999);
    EXPECT_EQ(Log(), (Lines{"1 Create process failed"}));
    // The working folder is the program's: without it nothing starts.
    sim::Program program;
    program.path = "C:\\Gone\\tool.exe";
    machine().programs().Declare(program);
    EXPECT_EQ(RunProcessAndWait("C:\\Gone\\tool.exe", "tool.exe"), -999);
}

TEST_F(FileHelpersTest, UnZipPackageFromPartsUnpacksIntoTheJoinedFolder) {
    MakeFolder("C:\\Pkg");
    ZipHandle* zip = CreateZip("C:\\Pkg\\conf.flz", nullptr);
    ASSERT_NE(zip, nullptr);
    const std::string ini = "[Setting]\r\nSarType=1\r\n";
    ASSERT_EQ(AddZipItemMemory(zip, "Sub/table.ini", ini.data(), static_cast<DWORD>(ini.size())), ZIP_OK);
    ASSERT_EQ(CloseZipWriter(zip), ZIP_OK);
    EXPECT_TRUE(UnZipPackageFromParts("C:\\Pkg\\", "conf.flz", "C:\\Out\\", "Deep\\Set"));
    EXPECT_EQ(ReadFile("C:\\Out\\Deep\\Set\\Sub\\table.ini"), ini);
}

TEST_F(FileHelpersTest, UnZipPackageFromPartsOfAMissingPackage) {
    EXPECT_FALSE(UnZipPackageFromParts("C:\\Pkg\\", "missing.flz", "C:\\Out\\", "Set"));
    EXPECT_FALSE(Exists("C:\\Out"));
    Lines log = Log();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "1 C:\\Pkg\\missing.flz file is not exist error=3");
    EXPECT_EQ(Lines(log.begin() + 1, log.end()), (Lines{"1 Unzip Package not exist.", "1 C:\\Pkg\\missing.flz"}));
}

}  // namespace
