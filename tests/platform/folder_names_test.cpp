#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/sim/file_system.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

namespace fs = std::filesystem;

// A folder's names are listed once and then followed; these cases change the folders behind the
// machine's back, on the host, between look-ups.
class FolderNamesTest : public kvtest::SimTest {
protected:
    sim::FileSystem& files() { return machine().files(); }
    fs::path C() const { return drives() / "C"; }
    static void Touch(const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
    }
};

TEST_F(FolderNamesTest, HostChangesShowAtTheNextLookUp) {
    fs::create_directories(C() / "d");
    EXPECT_EQ(files().Resolve("C:\\d\\new.TXT"), C() / "d" / "new.TXT");  // missing: the name as given

    Touch(C() / "d" / "New.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\NEW.TXT"), C() / "d" / "New.txt");

    fs::remove(C() / "d" / "New.txt");
    Touch(C() / "d" / "nEw.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\new.txt"), C() / "d" / "nEw.txt");

    fs::rename(C() / "d" / "nEw.txt", C() / "d" / "Other.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\NEW.txt"), C() / "d" / "NEW.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\other.TXT"), C() / "d" / "Other.txt");

    fs::remove(C() / "d" / "Other.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\other.TXT"), C() / "d" / "other.TXT");
}

TEST_F(FolderNamesTest, ChangesMadeThroughTheMachineShowAtOnce) {
    ASSERT_TRUE(CreateDirectoryA("C:\\Data", nullptr));
    for (int i = 0; i < 50; ++i) {
        const std::string name = "C:\\Data\\Item" + std::to_string(i) + ".TXT";
        HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << name;
        CloseHandle(file);
        // The same name in other letters is the file just made, not a second one.
        const std::string lower = "c:\\data\\item" + std::to_string(i) + ".txt";
        EXPECT_EQ(CreateFileA(lower.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    }
    ASSERT_TRUE(MoveFileA("c:\\data\\item7.txt", "C:\\DATA\\Seven.txt"));
    EXPECT_EQ(files().Resolve("c:\\data\\ITEM7.TXT"), C() / "Data" / "ITEM7.TXT");
    EXPECT_EQ(files().Resolve("c:\\data\\SEVEN.TXT"), C() / "Data" / "Seven.txt");
    ASSERT_TRUE(DeleteFileA("c:\\data\\seven.TXT"));
    EXPECT_EQ(files().Resolve("c:\\data\\Seven.TXT"), C() / "Data" / "Seven.TXT");
}

TEST_F(FolderNamesTest, FolderMadeAgainOrRenamedIsListedAgain) {
    Touch(C() / "d" / "a.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\A.TXT"), C() / "d" / "a.txt");
    fs::remove_all(C() / "d");
    Touch(C() / "d" / "A.txt");
    EXPECT_EQ(files().Resolve("C:\\d\\a.TXT"), C() / "d" / "A.txt");

    // The parent renamed: the old path names a new folder, the old folder lives on under a new path.
    Touch(C() / "p" / "q" / "one.txt");
    EXPECT_EQ(files().Resolve("C:\\p\\q\\ONE.txt"), C() / "p" / "q" / "one.txt");
    fs::rename(C() / "p", C() / "r");
    Touch(C() / "p" / "q" / "Two.txt");
    EXPECT_EQ(files().Resolve("C:\\p\\q\\ONE.txt"), C() / "p" / "q" / "ONE.txt");
    EXPECT_EQ(files().Resolve("C:\\p\\q\\two.txt"), C() / "p" / "q" / "Two.txt");
    EXPECT_EQ(files().Resolve("C:\\r\\q\\one.TXT"), C() / "r" / "q" / "one.txt");
    Touch(C() / "r" / "q" / "Three.txt");
    EXPECT_EQ(files().Resolve("C:\\r\\q\\THREE.txt"), C() / "r" / "q" / "Three.txt");
    EXPECT_EQ(files().Resolve("C:\\p\\q\\THREE.txt"), C() / "p" / "q" / "THREE.txt");
}

}  // namespace
