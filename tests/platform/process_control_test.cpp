#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/sim/programs.h"
#include "platform/sim/services.h"
#include "platform/windows.h"
#include "tests/support/sim_test.h"

namespace {

class ProcessControlTest : public kvtest::SimTest {
protected:
    void Declare(const std::string& path, DWORD exitCode, bool startFails = false, DWORD startError = 0) {
        sim::Program program;
        program.path = path;
        program.exitCode = exitCode;
        program.startFails = startFails;
        if (startError) program.startError = startError;
        machine().programs().Declare(program);
    }
    BOOL Run(const char* application, std::string commandLine, const char* folder, PROCESS_INFORMATION& info) {
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        return CreateProcessA(application, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &startup,
                              &info);
    }
    std::vector<std::string> Snapshot() {
        std::vector<std::string> names;
        HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        EXPECT_NE(snapshot, INVALID_HANDLE_VALUE);
        PROCESSENTRY32 entry{};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
            names.push_back(std::string(entry.szExeFile) + ":" + std::to_string(entry.th32ProcessID));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        CloseHandle(snapshot);
        return names;
    }
};

TEST_F(ProcessControlTest, CreateProcessRunsTheDeclaredProgramAndGivesItsExitCode) {
    std::filesystem::create_directories(drives() / "C" / "Tools");
    Declare("C:\\Tools\\flash.exe", 3);
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(Run("c:\\tools\\FLASH.exe", "flash.exe -x 1", "C:\\Tools", info));
    EXPECT_NE(info.dwProcessId, 0u);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(CloseHandle(info.hProcess));
    EXPECT_TRUE(CloseHandle(info.hThread));
    EXPECT_TRUE(machine().transcript().Contains("process", "run c:\\tools\\FLASH.exe with flash.exe -x 1"));
    EXPECT_EQ(machine().clock().Now(), 0);

    // Without an application name the command line's first word names the program.
    ASSERT_TRUE(Run(nullptr, "\"C:\\Tools\\flash.exe\" -y", nullptr, info));
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(machine().transcript().Contains("process", "run \"C:\\Tools\\flash.exe\" -y"));
    ASSERT_EQ(machine().programs().Runs().size(), 2u);
}

TEST_F(ProcessControlTest, CreateProcessFailures) {
    std::filesystem::create_directories(drives() / "C" / "Tools");
    Declare("C:\\Tools\\broken.exe", 0, true, ERROR_ACCESS_DENIED);
    Declare("C:\\Tools\\fine.exe", 0);
    struct Case {
        const char* application;
        const char* folder;
        DWORD error;
    } cases[] = {
        {"C:\\Tools\\missing.exe", "C:\\Tools", ERROR_FILE_NOT_FOUND},
        {"C:\\Tools\\broken.exe", "C:\\Tools", ERROR_ACCESS_DENIED},
        {"C:\\Tools\\fine.exe", "C:\\NoFolder", ERROR_DIRECTORY},
    };
    for (const auto& c : cases) {
        PROCESS_INFORMATION info{};
        EXPECT_FALSE(Run(c.application, "x", c.folder, info)) << c.application;
        EXPECT_EQ(GetLastError(), c.error) << c.application;
    }
    EXPECT_TRUE(machine().transcript().Contains("process", "run C:\\Tools\\missing.exe with x failed (2)"));
}

TEST_F(ProcessControlTest, SnapshotListsTheRunningProcessesByFileName) {
    DWORD a = machine().programs().Launch("C:\\Svc\\My.EXE");
    DWORD b = machine().programs().Launch("C:\\Other\\tool.exe");
    EXPECT_EQ(Snapshot(), (std::vector<std::string>{"[System Process]:0", "System:4", "My.EXE:" + std::to_string(a),
                                                    "tool.exe:" + std::to_string(b)}));
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry{};
    entry.dwSize = 8;
    EXPECT_FALSE(Process32First(snapshot, &entry));
    EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
    CloseHandle(snapshot);
}

TEST_F(ProcessControlTest, TerminateEndsAProcessOnce) {
    DWORD id = machine().programs().Launch("C:\\Svc\\my.exe");
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
    ASSERT_NE(process, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_TIMEOUT);
    ASSERT_TRUE(TerminateProcess(process, 1));
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 1u);
    EXPECT_FALSE(machine().programs().IsRunning(id));
    EXPECT_TRUE(machine().transcript().Contains("process", "terminated C:\\Svc\\my.exe (" + std::to_string(id) + ") exit 1"));
    EXPECT_FALSE(TerminateProcess(process, 2));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(process);
    EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, id), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(ProcessControlTest, OpenAndTerminateRefusals) {
    DWORD guarded = machine().programs().Launch("C:\\Svc\\guard.exe", true);
    struct Case {
        DWORD id;
        DWORD error;
    } cases[] = {{0, ERROR_INVALID_PARAMETER}, {4, ERROR_ACCESS_DENIED}, {12345, ERROR_INVALID_PARAMETER}};
    for (const auto& c : cases) {
        EXPECT_EQ(OpenProcess(PROCESS_ALL_ACCESS, FALSE, c.id), nullptr) << c.id;
        EXPECT_EQ(GetLastError(), c.error) << c.id;
    }
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, guarded);
    ASSERT_NE(process, nullptr);
    EXPECT_FALSE(TerminateProcess(process, 1));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(machine().programs().IsRunning(guarded));
    CloseHandle(process);
}

TEST_F(ProcessControlTest, AWaitOnAProcessEndsWhenItIsTerminated) {
    DWORD id = machine().programs().Launch("C:\\Svc\\my.exe");
    machine().clock().At(3000, [id] {
        HANDLE other = OpenProcess(PROCESS_TERMINATE, FALSE, id);
        TerminateProcess(other, 7);
        CloseHandle(other);
    });
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
    EXPECT_EQ(WaitForSingleObject(process, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(machine().clock().Now(), 3000);
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(code, 7u);
    CloseHandle(process);
}

}  // namespace
