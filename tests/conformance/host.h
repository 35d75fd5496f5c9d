// The machine the Windows behaviour is checked on: the simulated one, or a
// real Windows (Wine included). Each test gets a fresh folder and a fresh
// registry key, both removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/windows.h"

namespace conformance {

class CHost {
public:
    CHost();
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    // An empty folder of this test, without a trailing backslash.
    const std::string& Folder() const { return m_folder; }
    // A key of this test, below Root(), that exists and is empty.
    HKEY Root() const { return m_root; }
    const std::string& Key() const { return m_key; }
    // A key path of this test below HKEY_LOCAL_MACHINE\SOFTWARE (not created),
    // where the 32-bit view redirects; empty when this process may not write there.
    const std::string& MachineKey() const { return m_machineKey; }
    // Whether the Windows underneath is Wine.
    bool UnderWine() const { return m_wine; }

private:
    std::string m_folder;
    HKEY m_root = nullptr;
    std::string m_key;
    std::string m_machineKey;
    bool m_wine = false;
    struct CState;
    std::unique_ptr<CState> m_state;
};

class ConformanceTest : public ::testing::Test {
protected:
    void SetUp() override { m_host = std::make_unique<CHost>(); }
    void TearDown() override { m_host.reset(); }

    CHost& host() { return *m_host; }
    // A path in the test's folder.
    std::string PathOf(const std::string& name) const { return m_host->Folder() + "\\" + name; }

    // A file's bytes as they are on the drive, or "(error <n>)".
    static std::string ReadWhole(const std::string& path) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "(error " + std::to_string(GetLastError()) + ")";
        std::string content;
        char buffer[256];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) content.append(buffer, got);
        CloseHandle(file);
        return content;
    }
    // Writes `content` as the whole file, through one handle made with `disposition`.
    static void WriteWhole(const std::string& path, const std::string& content, DWORD disposition = CREATE_ALWAYS,
                           DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition, attributes, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path << " error " << GetLastError();
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
        EXPECT_EQ(written, content.size());
        CloseHandle(file);
    }

private:
    std::unique_ptr<CHost> m_host;
};

// Skips the rest of the test under Wine, naming where Wine departs from Windows.
#define KV_SKIP_UNDER_WINE(reason) \
    do {                           \
        if (host().UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << (reason); \
    } while (0)

}  // namespace conformance
