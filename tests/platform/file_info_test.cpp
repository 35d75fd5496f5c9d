#include <cstring>
#include <string>

#include "platform/file_info.h"
#include "platform/file_mapping.h"
#include "platform/fileinfo.h"
#include "platform/files.h"
#include "platform/sync.h"
#include "platform/window.h"
#include "tests/support/sim_test.h"

namespace {

class FileInfoTest : public kvtest::SimTest {
protected:
    HANDLE Open(const char* path, DWORD access, DWORD disposition) {
        return CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
};

TEST_F(FileInfoTest, FilePointerMovesFromEachOrigin) {
    WriteFile("C:\\f.bin", "0123456789");
    HANDLE file = Open("C:\\f.bin", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetFilePointer(file, 4, nullptr, FILE_BEGIN), 4u);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_CURRENT), 6u);
    EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
    char byte = 0;
    DWORD got = 0;
    ASSERT_TRUE(::ReadFile(file, &byte, 1, &got, nullptr));
    EXPECT_EQ(byte, '7');
    LONG high = 0;
    EXPECT_EQ(SetFilePointer(file, 0, &high, FILE_CURRENT), 8u);
    EXPECT_EQ(high, 0);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    DWORD sizeHigh = 7;
    EXPECT_EQ(GetFileSize(file, &sizeHigh), 10u);
    EXPECT_EQ(sizeHigh, 0u);
    EXPECT_EQ(SetFilePointer(nullptr, 0, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    CloseHandle(file);
}

TEST_F(FileInfoTest, FileTimesAreSetAndRead) {
    WriteFile("C:\\t.txt", "times");
    SYSTEMTIME when{2023, 11, 0, 5, 6, 7, 8, 0};
    FILETIME time{};
    ASSERT_TRUE(SystemTimeToFileTime(&when, &time));
    HANDLE file = Open("C:\\t.txt", GENERIC_WRITE, OPEN_EXISTING);
    ASSERT_TRUE(SetFileTime(file, &time, &time, &time));
    CloseHandle(file);
    file = Open("C:\\t.txt", GENERIC_READ, OPEN_EXISTING);
    BY_HANDLE_FILE_INFORMATION info{};
    ASSERT_TRUE(GetFileInformationByHandle(file, &info));
    EXPECT_EQ(info.nFileSizeLow, 5u);
    EXPECT_EQ(info.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(info.ftLastWriteTime.dwLowDateTime, time.dwLowDateTime);
    EXPECT_EQ(info.ftLastWriteTime.dwHighDateTime, time.dwHighDateTime);
    EXPECT_EQ(info.ftLastAccessTime.dwLowDateTime, time.dwLowDateTime);
    EXPECT_FALSE(SetFileTime(file, nullptr, nullptr, &time));  // opened for reading only
    CloseHandle(file);
}

TEST_F(FileInfoTest, TimeConversions) {
    SYSTEMTIME epoch{1970, 1, 0, 1, 0, 0, 0, 0};
    FILETIME time{};
    ASSERT_TRUE(SystemTimeToFileTime(&epoch, &time));
    EXPECT_EQ((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime, 116444736000000000ULL);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&time, &back));
    EXPECT_EQ(back.wYear, 1970);
    EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
    FILETIME universal{};
    ASSERT_TRUE(LocalFileTimeToFileTime(&time, &universal));
    EXPECT_EQ(universal.dwLowDateTime, time.dwLowDateTime);
    for (SYSTEMTIME bad : {SYSTEMTIME{2023, 2, 0, 29, 0, 0, 0, 0}, SYSTEMTIME{2024, 13, 0, 1, 0, 0, 0, 0},
                           SYSTEMTIME{2024, 1, 0, 0, 0, 0, 0, 0}, SYSTEMTIME{2024, 1, 0, 1, 24, 0, 0, 0},
                           SYSTEMTIME{1600, 1, 0, 1, 0, 0, 0, 0}})
        EXPECT_FALSE(SystemTimeToFileTime(&bad, &time)) << bad.wYear << "-" << bad.wMonth << "-" << bad.wDay;
    SYSTEMTIME leap{2024, 2, 0, 29, 23, 59, 58, 999};
    ASSERT_TRUE(SystemTimeToFileTime(&leap, &time));
    ASSERT_TRUE(FileTimeToSystemTime(&time, &back));
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
    EXPECT_EQ(back.wMilliseconds, 999);
}

TEST_F(FileInfoTest, CurrentDirectoryNeedsRoomForItsTerminator) {
    char small[4];
    DWORD needed = GetCurrentDirectoryA(sizeof small, small);
    EXPECT_EQ(needed, std::strlen("C:\\Windows\\System32") + 1);
    std::string buffer(needed, 'x');
    EXPECT_EQ(GetCurrentDirectoryA(needed, buffer.data()), needed - 1);
    EXPECT_STREQ(buffer.c_str(), "C:\\Windows\\System32");
}

TEST_F(FileInfoTest, MoveReplacesOnlyWhenAskedAndNeverAFolder) {
    WriteFile("C:\\a.txt", "a");
    WriteFile("C:\\b.txt", "b");
    EXPECT_FALSE(MoveFileExA("C:\\a.txt", "C:\\b.txt", 0));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_TRUE(MoveFileExA("C:\\a.txt", "C:\\B.TXT", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadFile("C:\\b.txt"), "a");
    EXPECT_EQ(GetFileAttributesA("C:\\a.txt"), INVALID_FILE_ATTRIBUTES);
    ASSERT_TRUE(CreateDirectoryA("C:\\dir", nullptr));
    EXPECT_FALSE(MoveFileExA("C:\\b.txt", "C:\\dir", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(MoveFileExA("C:\\none.txt", "C:\\c.txt", MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(FileInfoTest, PageFileMappingOutlivesItsHandleUntilUnmapped) {
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    ASSERT_NE(mapping, nullptr);
    auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 4096));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view[4095], 0);
    CloseHandle(mapping);
    std::memcpy(view, "still here", 11);
    EXPECT_STREQ(view, "still here");
    EXPECT_TRUE(UnmapViewOfFile(view));
    EXPECT_FALSE(UnmapViewOfFile(view));
    EXPECT_EQ(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 0, nullptr), nullptr);
    EXPECT_EQ(MapViewOfFile(nullptr, FILE_MAP_ALL_ACCESS, 0, 0, 0), nullptr);
    EXPECT_NE(GetDesktopWindow(), nullptr);
}

}  // namespace
