#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/crt.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;
namespace fs = std::filesystem;

class FilesTest : public SimTest {
protected:
    sim::FileSystem& files() { return machine().files(); }

    // Host entries directly in a host folder.
    int EntriesIn(const std::string& windowsFolder) {
        int count = 0;
        for ([[maybe_unused]] auto& entry : fs::directory_iterator(kvtest::HostPath(drives(), windowsFolder))) ++count;
        return count;
    }

    std::string ReadAll(const char* path) {
        HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<error " + std::to_string(GetLastError()) + ">";
        std::string text;
        char buffer[7];
        DWORD got = 0;
        while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
        CloseHandle(file);
        return text;
    }
};

TEST_F(FilesTest, NormalizeFoldsDotsAndSeparators) {
    struct Case {
        const char* path;
        const char* normal;
    } cases[] = {
        {"C:\\Kavrion\\KvCfgService\\..\\KvConfigService\\kvwwanConfig.ini",
         "C:\\Kavrion\\KvConfigService\\kvwwanConfig.ini"},
        {"c:/a/./b//c/", "C:\\a\\b\\c"},
        {"C:\\..\\..\\x", "C:\\x"},
        {"C:\\a\\b\\..\\..", "C:\\"},
        {"\\x\\y", "C:\\x\\y"},
        {"rel\\file.txt", "C:\\Windows\\System32\\rel\\file.txt"},
        {"..\\up.txt", "C:\\Windows\\up.txt"},
        {"\\\\?\\C:\\long\\name", "C:\\long\\name"},
        {"\\??\\KVControl", ""},
        {"\\\\server\\share", ""},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(files().Normalize(c.path), c.normal) << c.path;
}

TEST_F(FilesTest, ExistingPathsResolveWhateverTheirLetterCase) {
    WriteFile("C:\\Kavrion\\FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml", "<x/>");
    const char* spellings[] = {
        "C:\\Kavrion\\FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml",
        "C:\\Kavrion\\FwSwitchbin\\SarAntData\\WwanDeviceIdImageMappingTable.xml",
        "c:\\KAVRION\\fwswitchbin\\sarantdata\\wwandeviceidimagemappingtable.XML",
        "C:/Kavrion/KvCfgService/../FwSwitchBin/SarAntData/WwanDeviceIdImageMappingTable.xml",
    };
    const auto host = kvtest::HostPath(drives(), "C:\\Kavrion\\FwSwitchBin\\SarAntData\\WwanDeviceIdImageMappingTable.xml");
    for (const char* path : spellings) {
        SCOPED_TRACE(path);
        EXPECT_EQ(files().Resolve(path), host);
        EXPECT_TRUE(PathFileExistsA(path));
        EXPECT_FALSE(PathIsDirectoryA(path));
        EXPECT_EQ(ReadAll(path), "<x/>");
        EXPECT_EQ(files().ReadWhole(path), "<x/>");
    }
    EXPECT_TRUE(PathIsDirectoryA("c:\\kavrion\\FWSWITCHBIN"));
    EXPECT_EQ(GetFileAttributesA("C:\\Kavrion\\FwSwitchbin") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesA("C:\\Kavrion\\nothing"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(GetFileAttributesA("C:\\Kavrion\\nothing\\x"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FilesTest, ReadWholeReadsEverySizeWholeAndRefusesWhatIsNoFile) {
    // Around the size of the first read, where a short read has to mean the end.
    for (std::size_t size : {0u, 1u, 4095u, 4096u, 4097u, 8192u, 20000u}) {
        std::string content(size, 'x');
        for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>('a' + i % 26);
        WriteFile("C:\\Data\\Sized.ini", content);
        EXPECT_EQ(files().ReadWhole("c:\\data\\SIZED.INI"), content) << size;
    }
    ASSERT_TRUE(CreateDirectoryA("C:\\Data\\Folder", nullptr));
    for (const char* path : {"C:\\Data\\Folder", "C:\\Data\\missing.ini", "C:\\Data\\x?.ini", "\\??\\KVControl", ""})
        EXPECT_EQ(files().ReadWhole(path), std::nullopt) << path;
}

TEST_F(FilesTest, TwoSpellingsOfOneFolderReachTheSameFolder) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Kavrion", nullptr));
    ASSERT_TRUE(CreateDirectoryA("C:\\Kavrion\\FwSwitchBin", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\Kavrion\\FwSwitchbin", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_EQ(_mkdir("C:\\KAVRION\\fwswitchbin"), -1);
    EXPECT_EQ(errno, EEXIST);

    HANDLE file = CreateFileA("C:\\Kavrion\\FwSwitchbin\\WWANFirmwareFlash.dll", GENERIC_WRITE, 0, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    ASSERT_TRUE(::WriteFile(file, "MZ", 2, &put, nullptr));
    CloseHandle(file);
    EXPECT_EQ(EntriesIn("C:\\Kavrion"), 1);
    EXPECT_EQ(ReadFile("C:\\Kavrion\\FwSwitchBin\\WWANFirmwareFlash.dll"), "MZ");
}

TEST_F(FilesTest, CreateFileDispositionsAndErrors) {
    struct Case {
        const char* what;
        DWORD disposition;
        bool fileExists;
        bool folderExists;
        bool opens;
        DWORD error;
        const char* contentAfter;  // null: no file afterwards
    } cases[] = {
        {"create new, missing", CREATE_NEW, false, true, true, ERROR_SUCCESS, ""},
        {"create new, exists", CREATE_NEW, true, true, false, ERROR_FILE_EXISTS, "old"},
        {"create new, no folder", CREATE_NEW, false, false, false, ERROR_PATH_NOT_FOUND, nullptr},
        {"create always, missing", CREATE_ALWAYS, false, true, true, ERROR_SUCCESS, ""},
        {"create always, exists", CREATE_ALWAYS, true, true, true, ERROR_ALREADY_EXISTS, ""},
        {"open existing, exists", OPEN_EXISTING, true, true, true, ERROR_SUCCESS, "old"},
        {"open existing, missing", OPEN_EXISTING, false, true, false, ERROR_FILE_NOT_FOUND, nullptr},
        {"open existing, no folder", OPEN_EXISTING, false, false, false, ERROR_PATH_NOT_FOUND, nullptr},
        {"open always, exists", OPEN_ALWAYS, true, true, true, ERROR_ALREADY_EXISTS, "old"},
        {"open always, missing", OPEN_ALWAYS, false, true, true, ERROR_SUCCESS, ""},
        {"truncate existing, exists", TRUNCATE_EXISTING, true, true, true, ERROR_SUCCESS, ""},
        {"truncate existing, missing", TRUNCATE_EXISTING, false, true, false, ERROR_FILE_NOT_FOUND, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = "C:\\case" + std::to_string(n++);
        const std::string path = folder + "\\File.txt";
        if (c.folderExists) {
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
        }
        if (c.fileExists) WriteFile(path, "old");
        SetLastError(12345);
        HANDLE file = CreateFileA(("C:\\CASE" + std::to_string(n - 1) + "\\file.TXT").c_str(),
                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, c.disposition, 0, nullptr);
        EXPECT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        EXPECT_EQ(GetLastError(), c.error);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        EXPECT_EQ(PathFileExistsA(path.c_str()) != FALSE, c.contentAfter != nullptr);
        if (c.contentAfter) {
            EXPECT_EQ(ReadAll(path.c_str()), c.contentAfter);
        }
        if (c.folderExists) {
            EXPECT_EQ(EntriesIn(folder), c.contentAfter ? 1 : 0);
        }
    }
    EXPECT_EQ(CreateFileA("C:\\case0", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);  // a folder
}

TEST_F(FilesTest, ReadAndWriteThroughOneHandle) {
    HANDLE file = CreateFileA("C:\\rw.bin", GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD count = 0;
    ASSERT_TRUE(::WriteFile(file, "abc", 3, &count, nullptr));
    EXPECT_EQ(count, 3u);
    char buffer[8] = {};
    EXPECT_TRUE(::ReadFile(file, buffer, sizeof buffer, &count, nullptr));  // at the end: nothing, no failure
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(::WriteFile(file, "de", 2, &count, nullptr));
    CloseHandle(file);
    EXPECT_EQ(ReadFile("C:\\rw.bin"), "abcde");

    HANDLE reader = CreateFileA("C:\\rw.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(::WriteFile(reader, "x", 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(reader);
    HANDLE writer = CreateFileA("C:\\rw.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(::ReadFile(writer, buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(writer);
    EXPECT_FALSE(::ReadFile(reinterpret_cast<HANDLE>(0x4321), buffer, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(FilesTest, DeleteFile) {
    WriteFile("C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe", "old");
    EXPECT_TRUE(DeleteFileA("C:\\Kavrion\\kvconfigservice\\kvwwanconfigservice.exe"));
    EXPECT_FALSE(PathFileExistsA("C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe"));
    EXPECT_TRUE(machine().transcript().Contains("file", "deleted C:\\Kavrion\\kvconfigservice\\kvwwanconfigservice.exe"));
    struct Case {
        const char* path;
        DWORD error;
    } cases[] = {
        {"C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe", ERROR_FILE_NOT_FOUND},
        {"C:\\Kavrion\\Missing\\x.exe", ERROR_PATH_NOT_FOUND},
        {"C:\\Kavrion\\KvConfigService", ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
        EXPECT_EQ(GetLastError(), c.error) << c.path;
    }
    EXPECT_EQ(machine().transcript().Count("file", "deleted"), 1u);
}

TEST_F(FilesTest, MoveFile) {
    WriteFile("C:\\Log\\KvConfigService.log", "log");
    WriteFile("C:\\Log\\Other.log", "other");
    ASSERT_TRUE(MoveFileA("C:\\log\\kvconfigservice.LOG", "C:\\Log\\KvConfigService.logbk"));
    EXPECT_EQ(ReadFile("C:\\Log\\KvConfigService.logbk"), "log");
    EXPECT_FALSE(PathFileExistsA("C:\\Log\\KvConfigService.log"));
    struct Case {
        const char* from;
        const char* to;
        DWORD error;
    } cases[] = {
        {"C:\\Log\\Missing.log", "C:\\Log\\New.log", ERROR_FILE_NOT_FOUND},
        {"C:\\Nowhere\\Missing.log", "C:\\Log\\New.log", ERROR_PATH_NOT_FOUND},
        {"C:\\Log\\Other.log", "C:\\Log\\KVCONFIGSERVICE.LOGBK", ERROR_ALREADY_EXISTS},
        {"C:\\Log\\Other.log", "C:\\Nowhere\\Other.log", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(MoveFileA(c.from, c.to)) << c.from << " -> " << c.to;
        EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(ReadFile("C:\\Log\\Other.log"), "other");
    // A new letter case for the same name is a rename, not a clash.
    EXPECT_TRUE(MoveFileA("C:\\Log\\Other.log", "C:\\Log\\OTHER.LOG"));
    EXPECT_EQ(EntriesIn("C:\\Log"), 2);
    EXPECT_TRUE(fs::exists(kvtest::HostPath(drives(), "C:\\Log\\OTHER.LOG")));
}

TEST_F(FilesTest, MoveOverAFileGivesItsBytesBackToAFullDrive) {
    auto write = [](const char* path, const std::string& data) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const BOOL wrote = ::WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
        CloseHandle(file);
        return wrote == TRUE;
    };
    files().SetFreeSpace(8);
    ASSERT_TRUE(write("C:\\old.bin", "12345678"));
    ASSERT_TRUE(write("C:\\new.bin", ""));
    EXPECT_FALSE(write("C:\\more.bin", "x"));
    ASSERT_TRUE(MoveFileExA("C:\\new.bin", "C:\\old.bin", MOVEFILE_REPLACE_EXISTING));
    EXPECT_TRUE(write("C:\\more.bin", "abcdefgh"));
    EXPECT_FALSE(write("C:\\last.bin", "x"));
}

TEST_F(FilesTest, CreateDirectoryAndMkdir) {
    EXPECT_TRUE(CreateDirectoryA("C:\\Kavrion", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\kavrion", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    EXPECT_FALSE(CreateDirectoryA("C:\\Kavrion\\A\\B", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_TRUE(CreateDirectoryA("C:\\Kavrion\\A\\", nullptr));

    EXPECT_EQ(_mkdir("C:\\kavrion\\a\\B"), 0);
    EXPECT_TRUE(PathIsDirectoryA("C:\\Kavrion\\A\\B"));
    EXPECT_EQ(EntriesIn("C:\\Kavrion"), 1);
    errno = 0;
    EXPECT_EQ(_mkdir("C:\\Kavrion\\A\\B"), -1);
    EXPECT_EQ(errno, EEXIST);
    errno = 0;
    EXPECT_EQ(_mkdir("C:\\Kavrion\\X\\Y"), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST_F(FilesTest, AccessTellsWhatExists) {
    WriteFile("C:\\Kavrion\\KvConfigService\\KvConfigService.log", "x");
    EXPECT_EQ(_access("C:\\kavrion\\kvconfigservice\\kvconfigservice.log", 0), 0);
    EXPECT_EQ(_access("C:\\Kavrion\\KvConfigService", 0), 0);
    EXPECT_EQ(_access("C:\\Kavrion\\KvConfigService\\KvConfigService.log", 6), 0);
    errno = 0;
    EXPECT_EQ(_access("C:\\Kavrion\\Missing", 0), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(_access(nullptr, 0), -1);
}

TEST_F(FilesTest, FsopenAppendsToTheFileWhateverTheCase) {
    WriteFile("C:\\Kavrion\\KvConfigService\\KvConfigService.log", "one\n");
    std::FILE* log = _fsopen("C:\\KAVRION\\kvconfigservice\\kvconfigservice.log", "a+t", _SH_DENYNO);
    ASSERT_NE(log, nullptr);
    std::fprintf(log, "two\n");
    std::fflush(log);
    std::fseek(log, 0, SEEK_END);
    EXPECT_EQ(std::ftell(log), 9);
    std::fclose(log);
    EXPECT_EQ(ReadFile("C:\\Kavrion\\KvConfigService\\KvConfigService.log"), "one\ntwo\r\n");
    EXPECT_EQ(EntriesIn("C:\\Kavrion\\KvConfigService"), 1);

    std::FILE* fresh = _fsopen("C:\\Kavrion\\KvConfigService\\New.log", "a", _SH_DENYWR);
    ASSERT_NE(fresh, nullptr);
    std::fclose(fresh);
    EXPECT_TRUE(PathFileExistsA("C:\\Kavrion\\KvConfigService\\New.log"));

    EXPECT_EQ(_fsopen("C:\\Kavrion\\KvConfigService\\Missing.log", "r", _SH_DENYNO), nullptr);
    EXPECT_EQ(_fsopen("C:\\Kavrion\\NoFolder\\x.log", "a", _SH_DENYNO), nullptr);
    EXPECT_EQ(_fsopen("C:\\Kavrion\\KvConfigService", "a", _SH_DENYNO), nullptr);
    EXPECT_EQ(_fsopen("\\??\\KVControl", "a", _SH_DENYNO), nullptr);
}

TEST_F(FilesTest, ModuleFileNameIsTheMachinesExecutable) {
    machine().SetExecutablePath("C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    char path[520] = {};
    EXPECT_EQ(GetModuleFileNameA(nullptr, path, sizeof path), std::strlen("C:\\Kavrion\\KvCfgService\\KvCfgService.exe"));
    EXPECT_STREQ(path, "C:\\Kavrion\\KvCfgService\\KvCfgService.exe");
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 8u);
    EXPECT_STREQ(small, "C:\\Kavr");
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
