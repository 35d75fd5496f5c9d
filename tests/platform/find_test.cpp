#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/windows.h"
#include "tests/support/sim_test.h"

namespace {

class FindTest : public kvtest::SimTest {
protected:
    // Every name a listing gives, in order; empty with the error when it cannot start.
    std::vector<std::string> List(const std::string& pattern, DWORD* error = nullptr) {
        std::vector<std::string> names;
        WIN32_FIND_DATAA data{};
        HANDLE find = FindFirstFileA(pattern.c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) {
            if (error) *error = GetLastError();
            return names;
        }
        do names.push_back(data.cFileName);
        while (FindNextFileA(find, &data));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        EXPECT_TRUE(FindClose(find));
        return names;
    }
};

using Names = std::vector<std::string>;

TEST_F(FindTest, ListsDotEntriesThenNamesForAFolderButNotForARoot) {
    WriteFile("C:\\Box\\b.txt", "1");
    WriteFile("C:\\Box\\A.ini", "22");
    WriteFile("C:\\Box\\Sub\\c.txt", "");
    WriteFile("C:\\Box\\noext", "");
    EXPECT_EQ(List("C:\\Box\\*.*"), (Names{".", "..", "A.ini", "b.txt", "noext", "Sub"}));
    EXPECT_EQ(List("c:\\BOX\\*"), (Names{".", "..", "A.ini", "b.txt", "noext", "Sub"}));
    EXPECT_EQ(List("C:\\Box//*"), (Names{".", "..", "A.ini", "b.txt", "noext", "Sub"}));
    EXPECT_EQ(List("C:\\*.*"), (Names{"Box"}));
    std::filesystem::create_directories(drives() / "C" / "Empty");
    EXPECT_EQ(List("C:\\Empty\\*.*"), (Names{".", ".."}));
}

TEST_F(FindTest, MatchesNamePatternsWithoutRegardToCase) {
    WriteFile("C:\\Box\\one.TXT", "");
    WriteFile("C:\\Box\\two.txt", "");
    WriteFile("C:\\Box\\three.ini", "");
    WriteFile("C:\\Box\\readme", "");
    struct Case {
        const char* pattern;
        Names names;
    } cases[] = {
        {"C:\\Box\\*.txt", {"one.TXT", "two.txt"}},
        {"C:\\Box\\t??.*", {"two.txt"}},
        {"C:\\Box\\readme.*", {"readme"}},
        {"C:\\Box\\THREE.INI", {"three.ini"}},
    };
    for (const auto& c : cases) EXPECT_EQ(List(c.pattern), c.names) << c.pattern;
}

TEST_F(FindTest, ReportsWhyAListingCannotStart) {
    WriteFile("C:\\Box\\file.txt", "x");
    struct Case {
        const char* pattern;
        DWORD error;
    } cases[] = {
        {"C:\\Missing\\*.*", ERROR_PATH_NOT_FOUND},
        {"C:\\Box\\file.txt//*", ERROR_DIRECTORY},
        {"C:\\Box\\*.dll", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        DWORD error = 0;
        EXPECT_TRUE(List(c.pattern, &error).empty()) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }
}

TEST_F(FindTest, DescribesFoldersAndFiles) {
    WriteFile("C:\\Box\\data.bin", "12345");
    std::filesystem::create_directories(drives() / "C" / "Box" / "Sub");
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA("C:\\Box\\data.bin", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(find);
    find = FindFirstFileA("C:\\Box\\s*", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "Sub");
    EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    FindClose(find);
}

TEST_F(FindTest, ListingIsTakenWhenItStarts) {
    WriteFile("C:\\Box\\a.txt", "");
    WriteFile("C:\\Box\\b.txt", "");
    WIN32_FIND_DATAA data{};
    HANDLE find = FindFirstFileA("C:\\Box\\*.txt", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(DeleteFileA("C:\\Box\\b.txt"));
    ASSERT_TRUE(FindNextFileA(find, &data));
    EXPECT_STREQ(data.cFileName, "b.txt");
    EXPECT_FALSE(FindNextFileA(find, &data));
    EXPECT_TRUE(FindClose(find));
    EXPECT_FALSE(FindClose(find));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FindTest, CopiesAFileReplacingOrKeepingTheOldOne) {
    WriteFile("C:\\Src\\a.txt", "new");
    WriteFile("C:\\Dst\\a.txt", "old");
    EXPECT_FALSE(CopyFileA("C:\\src\\A.TXT", "C:\\Dst\\a.txt", TRUE));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadFile("C:\\Dst\\a.txt"), "old");
    EXPECT_TRUE(CopyFileA("C:\\src\\A.TXT", "C:\\Dst\\a.txt", FALSE));
    EXPECT_EQ(ReadFile("C:\\Dst\\a.txt"), "new");
    EXPECT_TRUE(CopyFileA("C:\\Src\\a.txt", "C:\\Dst\\b.txt", TRUE));
    EXPECT_EQ(ReadFile("C:\\Dst\\b.txt"), "new");
    EXPECT_EQ(ReadFile("C:\\Src\\a.txt"), "new");
}

TEST_F(FindTest, CopyFailsWithTheWindowsErrors) {
    WriteFile("C:\\Src\\a.txt", "x");
    std::filesystem::create_directories(drives() / "C" / "Dst" / "Folder");
    struct Case {
        const char* from;
        const char* to;
        DWORD error;
    } cases[] = {
        {"C:\\Src\\missing.txt", "C:\\Dst\\m.txt", ERROR_FILE_NOT_FOUND},
        {"C:\\NoSrc\\a.txt", "C:\\Dst\\m.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\Src\\a.txt", "C:\\NoDst\\a.txt", ERROR_PATH_NOT_FOUND},
        {"C:\\Src\\a.txt", "C:\\Dst\\Folder", ERROR_ACCESS_DENIED},
        {"C:\\Src", "C:\\Dst\\copy", ERROR_ACCESS_DENIED},
        {"C:\\Src\\a.txt", "C:\\SRC\\A.txt", ERROR_SHARING_VIOLATION},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(CopyFileA(c.from, c.to, FALSE)) << c.from << " -> " << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(ReadFile("C:\\Src\\a.txt"), "x");
}

TEST_F(FindTest, RemovesOnlyAnEmptyFolder) {
    WriteFile("C:\\Box\\Full\\a.txt", "");
    WriteFile("C:\\Box\\file.txt", "");
    std::filesystem::create_directories(drives() / "C" / "Box" / "Empty");
    struct Case {
        const char* path;
        DWORD error;
    } cases[] = {
        {"C:\\Box\\Full", ERROR_DIR_NOT_EMPTY},
        {"C:\\Box\\file.txt", ERROR_DIRECTORY},
        {"C:\\Box\\Missing", ERROR_FILE_NOT_FOUND},
        {"C:\\NoBox\\Missing", ERROR_PATH_NOT_FOUND},
        {"C:\\", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(RemoveDirectoryA(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_TRUE(RemoveDirectoryA("c:\\box\\EMPTY"));
    EXPECT_FALSE(std::filesystem::exists(drives() / "C" / "Box" / "Empty"));
    EXPECT_TRUE(machine().transcript().Contains("file", "removed folder c:\\box\\EMPTY"));
}

TEST_F(FindTest, NativeProcessorIsTheMachines) {
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
    machine().SetNativeProcessorArchitecture(PROCESSOR_ARCHITECTURE_ARM64);
    GetNativeSystemInfo(&info);
    EXPECT_EQ(info.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_ARM64);
}

}  // namespace
