// Libraries of the simulated machine: loads, exports and their calls.
#include <gtest/gtest.h>

#include "platform/library.h"
#include "platform/sim/programs.h"
#include "tests/support/sim_test.h"

namespace {

const char kDll[] = "C:\\Kavrion\\FwSwitchbin\\WWANFirmwareFlash.dll";

class LibraryTest : public kvtest::SimTest {
protected:
    void Declare(std::intptr_t result) {
        sim::Library library;
        library.path = kDll;
        library.exports["SetWwanConfigID"] = [this, result] {
            ++calls;
            return result;
        };
        machine().programs().DeclareLibrary(library);
    }
    int calls = 0;
};

TEST_F(LibraryTest, ExportIsCalledThroughItsAddress) {
    Declare(7);
    HMODULE module = LoadLibraryA("c:\\kavrion\\FWSWITCHBIN\\wwanfirmwareflash.dll");
    ASSERT_NE(module, nullptr);
    FARPROC proc = GetProcAddress(module, "SetWwanConfigID");
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc(), 7);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(GetProcAddress(module, "SetWwanConfigID"), proc);
    EXPECT_TRUE(machine().transcript().Contains("library", "call WWANFirmwareFlash.dll!SetWwanConfigID -> 7"));
}

TEST_F(LibraryTest, MissingLibraryAndExportFail) {
    EXPECT_EQ(LoadLibraryA(kDll), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    Declare(1);
    HMODULE module = LoadLibraryA(kDll);
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "setwwanconfigid"), nullptr);  // export names keep their case
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(machine().transcript().Contains("library", "LoadLibraryA " + std::string(kDll) + " failed (126)"));
    EXPECT_TRUE(machine().transcript().Contains("library", "GetProcAddress WWANFirmwareFlash.dll setwwanconfigid failed (127)"));
}

TEST_F(LibraryTest, LoadsAreCountedAndFreed) {
    Declare(1);
    HMODULE first = LoadLibraryA(kDll);
    HMODULE second = LoadLibraryA(kDll);
    EXPECT_EQ(first, second);
    EXPECT_EQ(machine().programs().LoadCount(kDll), 2);
    FARPROC proc = GetProcAddress(first, "SetWwanConfigID");
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_NE(GetProcAddress(first, "SetWwanConfigID"), nullptr);
    EXPECT_TRUE(FreeLibrary(first));
    EXPECT_EQ(machine().programs().LoadCount(kDll), 0);
    EXPECT_FALSE(FreeLibrary(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetProcAddress(first, "SetWwanConfigID"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // A call through an address kept past the last free reaches nothing.
    EXPECT_EQ(proc(), 0);
    EXPECT_EQ(calls, 0);
}

TEST_F(LibraryTest, BareNameIsFoundBesideTheExecutable) {
    sim::Library library;
    library.path = "C:\\Kavrion\\KvCfgService\\helper.dll";
    library.exports["Run"] = [] { return std::intptr_t{3}; };
    machine().programs().DeclareLibrary(library);
    HMODULE module = LoadLibraryA("HELPER.DLL");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(GetProcAddress(module, "Run")(), 3);
}

TEST_F(LibraryTest, DistinctExportsHaveDistinctAddresses) {
    sim::Library library;
    library.path = kDll;
    library.exports["A"] = [] { return std::intptr_t{1}; };
    library.exports["B"] = [] { return std::intptr_t{2}; };
    machine().programs().DeclareLibrary(library);
    HMODULE module = LoadLibraryA(kDll);
    FARPROC a = GetProcAddress(module, "A");
    FARPROC b = GetProcAddress(module, "B");
    ASSERT_NE(a, b);
    EXPECT_EQ(a(), 1);
    EXPECT_EQ(b(), 2);
}

}  // namespace
