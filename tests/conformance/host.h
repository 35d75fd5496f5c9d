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

private:
    std::unique_ptr<CHost> m_host;
};

// Skips the rest of the test under Wine, naming where Wine departs from Windows.
#define KV_SKIP_UNDER_WINE(reason) \
    do {                           \
        if (host().UnderWine()) GTEST_SKIP() << "Wine differs from Windows: " << (reason); \
    } while (0)

}  // namespace conformance
