#include <filesystem>
#include <string>
#include <vector>

#include "common/CLog.h"
#include "config/UnZipPackage.h"
#include "config/Unzip.h"
#include "config/ZipTime.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"
#include "tests/support/zip_bytes.h"

namespace {

using ziptest::BuildZip;
using ziptest::ExtraField;
using ziptest::Le32;
using ziptest::RawItem;

const std::string kFolder = "C:\\Kavrion\\KvConfigService\\KavrConfigFiles\\";
const std::string kPackage = "C:\\Kavrion\\Firmware\\KavrConfigFiles.flz";
const std::string kLog = "C:\\Kavrion\\KvConfigService\\KvConfigService.log";

class UnZipPackageTest : public kvtest::SimTest {
protected:
    void SetUp() override {
        SimTest::SetUp();
        // The log writer outlives a test's machine: let go of the last test's file first.
        CLog::GetInstance()->Close();
        CLog::GetInstance()->SetPathAndRotate(kLog);
        CLog::GetInstance()->Enable(true);
    }
    void TearDown() override {
        CLog::GetInstance()->Close();
        SimTest::TearDown();
    }

    bool Exists(const std::string& path) { return std::filesystem::exists(kvtest::HostPath(drives(), path)); }
    bool IsFolder(const std::string& path) {
        return std::filesystem::is_directory(kvtest::HostPath(drives(), path));
    }
    // Names left in a folder, to catch temporary files left behind.
    std::vector<std::string> Names(const std::string& folder) {
        std::vector<std::string> names;
        for (auto& item : std::filesystem::directory_iterator(kvtest::HostPath(drives(), folder)))
            names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::string Log() { return ReadText(kLog); }
};

TEST_F(UnZipPackageTest, MissingPackageIsFalseWithItsTwoLines) {
    WriteFile("C:\\Kavrion\\Firmware\\other.txt", "x");
    EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
    EXPECT_FALSE(Exists(kFolder));
    std::string log = Log();
    std::size_t first = log.find(kPackage + " file is not exist error=2");
    std::size_t second = log.find("unZip file not exist.");
    ASSERT_NE(first, std::string::npos) << log;
    ASSERT_NE(second, std::string::npos) << log;
    EXPECT_LT(first, second);
}

TEST_F(UnZipPackageTest, FileThatIsNoArchiveIsFalse) {
    WriteFile(kPackage, "this is not a zip archive at all");
    EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
    EXPECT_FALSE(Exists(kFolder));
    std::string log = Log();
    EXPECT_NE(log.find("GetZipItem failed."), std::string::npos) << log;
}

TEST_F(UnZipPackageTest, EmptyArchiveIsTrueAndWritesNothing) {
    WriteFile(kPackage, BuildZip({}));
    EXPECT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_FALSE(Exists(kFolder));
}

TEST_F(UnZipPackageTest, FoldersAndNestedFilesAreCreated) {
    RawItem folder = RawItem("dir/").Attributes(0x10);
    RawItem a = RawItem("dir/a.txt", "alpha").Deflated();
    RawItem b = RawItem("dir\\sub\\b.txt", std::string(70000, 'b')).Deflated();
    RawItem c = RawItem("new\\deep\\c.ini", "[Setting]\r\n");  // no folder item before it
    WriteFile(kPackage, BuildZip({folder, a, b, c}));
    EXPECT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_TRUE(IsFolder(kFolder + "dir"));
    EXPECT_EQ(ReadFile(kFolder + "dir\\a.txt"), "alpha");
    EXPECT_EQ(ReadFile(kFolder + "dir\\sub\\b.txt"), std::string(70000, 'b'));
    EXPECT_EQ(ReadFile(kFolder + "new\\deep\\c.ini"), "[Setting]\r\n");
    EXPECT_EQ(Names(kFolder + "dir"), (std::vector<std::string>{"a.txt", "sub"}));
}

TEST_F(UnZipPackageTest, FolderIsKnownByItsAttributeOrByItsTrailingSeparator) {
    struct Case {
        const char* what;
        std::uint32_t folderAttributes;
    };
    const Case cases[] = {{"directory attribute", 0x10}, {"trailing separator alone", 0}};
    int run = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = kFolder + "run" + std::to_string(run++) + "\\";
        RawItem slash = RawItem("dir/").Host(0x0014, c.folderAttributes);
        RawItem backslash = RawItem("dir\\sub\\").Host(0x0014, c.folderAttributes);
        RawItem empty = RawItem("empty/").Host(0x0014, c.folderAttributes);
        RawItem file = RawItem("dir\\sub\\a.txt", "alpha").Deflated();
        WriteFile(kPackage, BuildZip({slash, backslash, empty, file}));

        ZipHandle* handle = OpenZip(kPackage.c_str(), nullptr);
        ASSERT_NE(handle, nullptr);
        for (int i = 0; i < 3; ++i) {
            ZipEntry entry{};
            ASSERT_EQ(GetZipItem(handle, i, &entry), ZIP_OK);
            EXPECT_TRUE(entry.attributes & FILE_ATTRIBUTE_DIRECTORY) << entry.name;
        }
        CloseZip(handle);

        EXPECT_TRUE(UnZipPackage(folder, kPackage));
        EXPECT_TRUE(IsFolder(folder + "dir\\sub"));
        EXPECT_TRUE(IsFolder(folder + "empty"));
        EXPECT_EQ(ReadFile(folder + "dir\\sub\\a.txt"), "alpha");
        EXPECT_EQ(Names(folder), (std::vector<std::string>{"dir", "empty"}));
        EXPECT_EQ(Names(folder + "dir"), std::vector<std::string>{"sub"});
    }
}

TEST_F(UnZipPackageTest, GuardedNamesLandInsideTheFolder) {
    const char* names[] = {"c:\\evil.txt", "\\evil.txt", "/evil.txt", "ok\\..\\evil.txt", "c:\\x\\..\\evil.txt",
                           "a/b/../evil.txt"};
    int run = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string folder = kFolder + "run" + std::to_string(run++) + "\\";
        WriteFile(kPackage, BuildZip({RawItem(name, "inside")}));
        EXPECT_TRUE(UnZipPackage(folder, kPackage));
        EXPECT_EQ(ReadFile(folder + "evil.txt"), "inside");
        EXPECT_EQ(Names(folder), std::vector<std::string>{"evil.txt"});
    }
    EXPECT_FALSE(Exists("C:\\evil.txt"));
    EXPECT_FALSE(Exists("C:\\x"));
}

TEST_F(UnZipPackageTest, NamesThatStillClimbOutAreSkippedAndFail) {
    const char* names[] = {"..\\x.txt", "a\\..\\..\\x.txt", "a/../../x.txt", "../x.txt", "...\\x.txt",
                           "a\\.. \\x.txt", "c:", "..", "a\\x:y.txt"};
    int run = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string folder = kFolder + "run" + std::to_string(run++) + "\\";
        RawItem bad = RawItem(name, "escaped");
        RawItem good = RawItem("good.txt", "fine");
        WriteFile(kPackage, BuildZip({bad, good}));
        EXPECT_FALSE(UnZipPackage(folder, kPackage));
        EXPECT_EQ(ReadFile(folder + "good.txt"), "fine");
        EXPECT_EQ(Names(folder), std::vector<std::string>{"good.txt"});
        EXPECT_FALSE(Exists(kFolder + "x.txt"));
        EXPECT_FALSE(Exists("C:\\Kavrion\\x.txt"));
    }
}

TEST_F(UnZipPackageTest, ExistingFileIsReplaced) {
    WriteFile(kFolder + "a.txt", "the old text, longer than the new one");
    WriteFile(kPackage, BuildZip({RawItem("a.txt", "new").Deflated()}));
    EXPECT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "a.txt"), "new");
    EXPECT_EQ(Names(kFolder), std::vector<std::string>{"a.txt"});
}

TEST_F(UnZipPackageTest, UncreatableDestinationIsSkippedAndTheNextWritten) {
    std::filesystem::create_directories(kvtest::HostPath(drives(), kFolder + "a.txt"));
    RawItem a = RawItem("a.txt", "blocked");
    RawItem b = RawItem("b.txt", "written");
    WriteFile(kPackage, BuildZip({a, b}));
    EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
    EXPECT_TRUE(IsFolder(kFolder + "a.txt"));
    EXPECT_EQ(ReadFile(kFolder + "b.txt"), "written");
    EXPECT_EQ(Names(kFolder), (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(UnZipPackageTest, DamagedMemberLeavesTheGoodFileAndNoTemporary) {
    struct Case {
        const char* what;
        RawItem item;
    };
    std::string broken = ziptest::BuildZip({RawItem("a.txt", std::string(5000, 'z')).Deflated()});
    // Garble the deflate stream in the middle of the data.
    for (std::size_t i = 60; i < 80; ++i) broken[i] = static_cast<char>(0xFF);
    const Case cases[] = {
        {"stored, bad CRC", RawItem("a.txt", "bad").BadCrc()},
        {"deflated, bad CRC", RawItem("a.txt", std::string(3000, 'q')).Deflated().BadCrc()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFile(kFolder + "a.txt", "good");
        WriteFile(kPackage, BuildZip({c.item}));
        EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
        EXPECT_EQ(ReadFile(kFolder + "a.txt"), "good");
        EXPECT_EQ(Names(kFolder), std::vector<std::string>{"a.txt"});
    }
    SCOPED_TRACE("broken deflate stream");
    WriteFile(kPackage, broken);
    EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "a.txt"), "good");
    EXPECT_EQ(Names(kFolder), std::vector<std::string>{"a.txt"});
}

std::int64_t Seconds(const FILETIME& time) { return FileTimeToTimeT(time); }

TEST_F(UnZipPackageTest, ExtendedTimestampGivesTheTimesElseTheDosTime) {
    const std::int32_t write = 1700000000, access = 1700000100, creation = 1600000000;
    RawItem stamped = RawItem("stamped.txt", "t").Extra(ExtraField("xy", "ignored") +
                                  ExtraField("UT", std::string(1, '\x07') + Le32(write) + Le32(access) + Le32(creation)));
    RawItem plain = RawItem("plain.txt", "p");
    // Flags announce three times, the data holds one.
    RawItem shortField = RawItem("short.txt", "s").Extra(ExtraField("UT", std::string(1, '\x07') + Le32(write)));
    // The field announces more data than the extra field holds.
    RawItem overlong = RawItem("overlong.txt", "o").Extra(ExtraField("UT", std::string(1, '\x03') + Le32(write), 40));
    WriteFile(kPackage, BuildZip({stamped, plain, shortField, overlong}));

    // 2024-05-17 10:20:30, read as local time (the notebook keeps UTC).
    SYSTEMTIME dosTime{2024, 5, 0, 17, 10, 20, 30, 0};
    FILETIME dos{};
    ASSERT_TRUE(SystemTimeToFileTime(&dosTime, &dos));

    ZipHandle* handle = OpenZip(kPackage.c_str(), nullptr);
    ASSERT_NE(handle, nullptr);
    ZipEntry entry{};
    ASSERT_EQ(GetZipItem(handle, 0, &entry), ZIP_OK);
    EXPECT_EQ(Seconds(entry.writeTime), write);
    EXPECT_EQ(Seconds(entry.accessTime), access);
    EXPECT_EQ(Seconds(entry.creationTime), creation);
    ASSERT_EQ(GetZipItem(handle, 1, &entry), ZIP_OK);
    EXPECT_EQ(Seconds(entry.writeTime), Seconds(dos));
    EXPECT_EQ(Seconds(entry.accessTime), Seconds(dos));
    EXPECT_EQ(Seconds(entry.creationTime), Seconds(dos));
    ASSERT_EQ(GetZipItem(handle, 2, &entry), ZIP_OK);
    EXPECT_EQ(Seconds(entry.writeTime), write);
    EXPECT_EQ(Seconds(entry.accessTime), Seconds(dos));
    EXPECT_EQ(Seconds(entry.creationTime), Seconds(dos));
    ASSERT_EQ(GetZipItem(handle, 3, &entry), ZIP_OK);
    EXPECT_EQ(Seconds(entry.writeTime), write);
    EXPECT_EQ(Seconds(entry.accessTime), Seconds(dos));
    CloseZip(handle);

    // The unpacked files carry the write and access times.
    EXPECT_TRUE(UnZipPackage(kFolder, kPackage));
    struct Expect {
        std::string name;
        std::int64_t write, access;
    };
    for (const Expect& e : {Expect{"stamped.txt", write, access}, Expect{"plain.txt", Seconds(dos), Seconds(dos)}}) {
        SCOPED_TRACE(e.name);
        HANDLE file = CreateFileA((kFolder + e.name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        BY_HANDLE_FILE_INFORMATION info{};
        ASSERT_TRUE(GetFileInformationByHandle(file, &info));
        EXPECT_EQ(Seconds(info.ftLastWriteTime), e.write);
        EXPECT_EQ(Seconds(info.ftLastAccessTime), e.access);
        CloseHandle(file);
    }
}

TEST_F(UnZipPackageTest, AttributesFollowTheHostSystem) {
    struct Case {
        std::uint16_t versionMadeBy;
        std::uint32_t external;
        std::uint32_t attributes;
    };
    const Case cases[] = {
        {0x0014, 0x21, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},          // DOS
        {0x0B17, 0x06, FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},             // NTFS
        {0x031E, 0x81A40000, FILE_ATTRIBUTE_ARCHIVE},                              // Unix rw-r--r--
        {0x031E, 0x81240000, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY},    // Unix r--r--r--
        {0x031E, 0x41ED0000, FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_DIRECTORY},   // Unix folder
    };
    std::vector<RawItem> items;
    for (const Case& c : cases)
        items.push_back(RawItem("f" + std::to_string(items.size())).Host(c.versionMadeBy, c.external));
    std::string archive = BuildZip(items);
    ZipHandle* handle = OpenZipMemory(archive.data(), static_cast<DWORD>(archive.size()), nullptr);
    ASSERT_NE(handle, nullptr);
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        ZipEntry entry{};
        ASSERT_EQ(GetZipItem(handle, i, &entry), ZIP_OK);
        EXPECT_EQ(entry.attributes, cases[i].attributes) << i;
    }
    CloseZip(handle);
}

constexpr std::uint32_t kDosReadOnly = 0x21;  // archive and read-only, as a DOS host stores them

bool IsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}

TEST_F(UnZipPackageTest, ReadOnlyItemIsReadOnlyInPlaceAndReplacedNextTime) {
    WriteFile(kPackage, BuildZip({RawItem("ro.xml", "first").Attributes(kDosReadOnly)}));
    ASSERT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "ro.xml"), "first");
    EXPECT_TRUE(IsReadOnly(kFolder + "ro.xml"));

    // The next package replaces the read-only file and makes the new one read-only again.
    WriteFile(kPackage, BuildZip({RawItem("ro.xml", "second").Deflated().Attributes(kDosReadOnly)}));
    ASSERT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "ro.xml"), "second");
    EXPECT_TRUE(IsReadOnly(kFolder + "ro.xml"));
    EXPECT_EQ(Names(kFolder), std::vector<std::string>{"ro.xml"});

    // And a package whose item is no longer read-only leaves a writable file.
    WriteFile(kPackage, BuildZip({RawItem("ro.xml", "third")}));
    ASSERT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "ro.xml"), "third");
    EXPECT_FALSE(IsReadOnly(kFolder + "ro.xml"));
}

TEST_F(UnZipPackageTest, FailedReadOnlyItemLeavesNoTemporaryAndTheOldFile) {
    WriteFile(kFolder + "ro.xml", "good");
    ASSERT_TRUE(SetFileAttributesA((kFolder + "ro.xml").c_str(), FILE_ATTRIBUTE_READONLY));
    const RawItem cases[] = {RawItem("ro.xml", "bad").BadCrc().Attributes(kDosReadOnly),
                             RawItem("ro.xml", std::string(3000, 'q')).Deflated().BadCrc().Attributes(kDosReadOnly)};
    for (const RawItem& item : cases) {
        SCOPED_TRACE(item.deflate ? "deflated" : "stored");
        WriteFile(kPackage, BuildZip({item}));
        EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
        EXPECT_EQ(ReadFile(kFolder + "ro.xml"), "good");
        EXPECT_TRUE(IsReadOnly(kFolder + "ro.xml"));
        EXPECT_EQ(Names(kFolder), std::vector<std::string>{"ro.xml"});
    }
}

struct FullCase {
    const char* name;
    std::uint64_t freeBytes;
    std::size_t itemBytes;
    bool deflate;
};

class UnzipFullDriveTest : public UnZipPackageTest, public ::testing::WithParamInterface<FullCase> {};

TEST_P(UnzipFullDriveTest, MemberThatCannotBeWrittenFailsAndKeepsTheOldFile) {
    const FullCase& c = GetParam();
    WriteFile(kFolder + "a.xml", "old a");
    WriteFile(kFolder + "b.xml", "old b");
    WriteFile(kPackage, BuildZip({c.deflate ? RawItem("a.xml", std::string(c.itemBytes, 'a')).Deflated()
                                            : RawItem("a.xml", std::string(c.itemBytes, 'a')),
                                  RawItem("b.xml", "new b")}));
    machine().files().SetFreeSpace(c.freeBytes);
    EXPECT_FALSE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "a.xml"), "old a");
    EXPECT_EQ(Names(kFolder), (std::vector<std::string>{"a.xml", "b.xml"}));

    // With room again the same package unpacks whole.
    machine().files().SetFreeSpace(std::nullopt);
    EXPECT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(ReadFile(kFolder + "a.xml"), std::string(c.itemBytes, 'a'));
    EXPECT_EQ(ReadFile(kFolder + "b.xml"), "new b");
    EXPECT_EQ(Names(kFolder), (std::vector<std::string>{"a.xml", "b.xml"}));
}

INSTANTIATE_TEST_SUITE_P(Cases, UnzipFullDriveTest,
                         ::testing::Values(FullCase{"NoSpaceAtAll", 0, 100, false},
                                           FullCase{"OneByteShort", 0, 1, false},
                                           FullCase{"FullAfterTheFirstChunk", 16384, 40000, true},
                                           FullCase{"FullInTheLastChunk", 40000, 40001, true}),
                         [](const ::testing::TestParamInfo<FullCase>& info) { return std::string(info.param.name); });

TEST_F(UnZipPackageTest, LeftoversOfAnInterruptedUnpackingAreRemoved) {
    WriteFile(kFolder + "a.xml.~0", "");
    WriteFile(kFolder + "sub\\b.xml.~0", "half");
    WriteFile(kFolder + "sub\\b.xml.~12", "half");
    WriteFile(kFolder + "keep.~x", "not ours");
    WriteFile(kFolder + "keep.~123", "not ours");
    WriteFile(kPackage, BuildZip({RawItem("a.xml", "a"), RawItem("sub\\b.xml", "b")}));
    ASSERT_TRUE(UnZipPackage(kFolder, kPackage));
    EXPECT_EQ(Names(kFolder), (std::vector<std::string>{"a.xml", "keep.~123", "keep.~x", "sub"}));
    EXPECT_EQ(Names(kFolder + "sub"), std::vector<std::string>{"b.xml"});
    EXPECT_EQ(ReadFile(kFolder + "sub\\b.xml"), "b");
}

}  // namespace
