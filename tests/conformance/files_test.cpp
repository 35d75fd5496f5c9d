// Files as Windows names and shares them: names without letter case, the
// errors for what is missing, share modes, and read-only files.
#include <string>

#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

class FilesTest : public ConformanceTest {
protected:
    HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING,
                DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        return CreateFileA(path.c_str(), access, share, nullptr, disposition, attributes, nullptr);
    }
    void Write(const std::string& path, const std::string& content, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        WriteWhole(path, content, CREATE_NEW, attributes);
    }
    std::string Read(const std::string& path) { return ReadWhole(path); }
};

TEST_F(FilesTest, NamesIgnoreLetterCase) {
    ASSERT_TRUE(CreateDirectoryA(PathOf("FwSwitchBin").c_str(), nullptr));
    Write(PathOf("FwSwitchBin\\Table.BIN"), "bytes");
    EXPECT_EQ(Read(PathOf("fwswitchbin\\table.bin")), "bytes");
    EXPECT_EQ(Read(PathOf("FwSwitchbin\\TABLE.bin")), "bytes");
    EXPECT_EQ(GetFileAttributesA(PathOf("FWSWITCHBIN").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(CreateDirectoryA(PathOf("fwswitchbin").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE again = Open(PathOf("FWSWITCHBIN\\table.bin"), GENERIC_WRITE, 0, CREATE_NEW);
    EXPECT_EQ(again, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_TRUE(DeleteFileA(PathOf("fwSWITCHbin\\TABLE.BIN").c_str()));
    EXPECT_EQ(GetFileAttributesA(PathOf("FwSwitchBin\\Table.BIN").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(FilesTest, AMissingFileIsTwoAndAMissingFolderThree) {
    SetLastError(0);
    EXPECT_EQ(Open(PathOf("none.ini"), GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open(PathOf("nowhere\\none.ini"), GENERIC_READ, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesA(PathOf("none.ini").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileA(PathOf("none.ini").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(FilesTest, AMissingDeviceIsTwo) {
    for (const char* device : {"\\??\\KVControl", "\\\\.\\KVControl"}) {
        SCOPED_TRACE(device);
        SetLastError(0);
        EXPECT_EQ(Open(device, GENERIC_READ | GENERIC_WRITE, 0), INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    }
}

TEST_F(FilesTest, ASecondOpenerMustFitTheShareModes) {
    const std::string path = PathOf("shared.txt");
    Write(path, "x");
    struct Case {
        DWORD firstAccess;
        DWORD firstShare;
        DWORD secondAccess;
        DWORD secondShare;
        bool opens;
    } cases[] = {
        {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {GENERIC_READ, FILE_SHARE_WRITE, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, false},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
        {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},  // the second does not share writing
        {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
        {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE,
         FILE_SHARE_READ | FILE_SHARE_WRITE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.firstAccess << "/" << c.firstShare << " then "
                                        << c.secondAccess << "/" << c.secondShare);
        HANDLE first = Open(path, c.firstAccess, c.firstShare);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        SetLastError(0);
        HANDLE second = Open(path, c.secondAccess, c.secondShare);
        if (c.opens) {
            EXPECT_NE(second, INVALID_HANDLE_VALUE);
        } else {
            EXPECT_EQ(second, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
        }
        if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
        CloseHandle(first);
    }
    // Every handle closed: the file opens exclusively again.
    HANDLE alone = Open(path, GENERIC_READ | GENERIC_WRITE, 0);
    EXPECT_NE(alone, INVALID_HANDLE_VALUE);
    CloseHandle(alone);
}

TEST_F(FilesTest, AFileOpenWithoutDeleteSharingCannotBeDeleted) {
    const std::string path = PathOf("held.txt");
    Write(path, "x");
    HANDLE held = Open(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_TRUE(DeleteFileA(path.c_str()));
}

class ReadOnlyFileTest : public FilesTest {
protected:
    void SetUp() override {
        FilesTest::SetUp();
        m_path = PathOf("locked.bin");
        Write(m_path, "kept", FILE_ATTRIBUTE_READONLY);  // the handle that makes it may still write
    }
    std::string m_path;
};

TEST_F(ReadOnlyFileTest, ItIsShownReadOnlyAndReads) {
    EXPECT_EQ(GetFileAttributesA(m_path.c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Read(m_path), "kept");
}

TEST_F(ReadOnlyFileTest, ItCannotBeDeleted) {
    SetLastError(0);
    EXPECT_FALSE(DeleteFileA(m_path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Read(m_path), "kept");
}

TEST_F(ReadOnlyFileTest, ItCannotBeReplaced) {
    KV_SKIP_UNDER_WINE("MoveFileExA with MOVEFILE_REPLACE_EXISTING replaces a read-only file");
    Write(PathOf("new.bin"), "new");
    SetLastError(0);
    EXPECT_FALSE(MoveFileExA(PathOf("new.bin").c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Read(m_path), "kept");
    EXPECT_EQ(Read(PathOf("new.bin")), "new");
}

TEST_F(ReadOnlyFileTest, ItCannotBeCopiedOver) {
    KV_SKIP_UNDER_WINE(
        "run as root (as in CI) it copies over a read-only file: it keeps the attribute as a Unix permission, "
        "which root passes");
    Write(PathOf("new.bin"), "new");
    SetLastError(0);
    EXPECT_FALSE(CopyFileA(PathOf("new.bin").c_str(), m_path.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Read(m_path), "kept");
}

TEST_F(ReadOnlyFileTest, ItsCopyIsReadOnly) {
    EXPECT_TRUE(CopyFileA(m_path.c_str(), PathOf("copy.bin").c_str(), TRUE));
    EXPECT_EQ(GetFileAttributesA(PathOf("copy.bin").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Read(PathOf("copy.bin")), "kept");
}

TEST_F(ReadOnlyFileTest, ItCannotBeOpenedForWritingNorTruncated) {
    KV_SKIP_UNDER_WINE(
        "run as root (as in CI) it opens a read-only file for writing: it keeps the attribute as a Unix "
        "permission, which root passes");
    struct Case {
        DWORD access;
        DWORD disposition;
    } cases[] = {{GENERIC_WRITE, OPEN_EXISTING},
                 {GENERIC_WRITE, OPEN_ALWAYS},
                 {GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING},
                 {GENERIC_WRITE, CREATE_ALWAYS},
                 {GENERIC_WRITE, TRUNCATE_EXISTING}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.access << " disposition " << c.disposition);
        SetLastError(0);
        HANDLE file = Open(m_path, c.access, 0, c.disposition);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    EXPECT_EQ(Read(m_path), "kept");
}

TEST_F(ReadOnlyFileTest, ItMayItselfBeMovedAndStaysReadOnly) {
    EXPECT_TRUE(MoveFileExA(m_path.c_str(), PathOf("moved.bin").c_str(), 0));
    EXPECT_EQ(GetFileAttributesA(PathOf("moved.bin").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Read(PathOf("moved.bin")), "kept");
}

}  // namespace
}  // namespace conformance
