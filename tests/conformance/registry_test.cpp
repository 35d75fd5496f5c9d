// The registry as Windows gives it: names without letter case, the value
// calls' sizes and errors, the 32-bit view, and change notifications.
#include <cstring>
#include <string>

#include "platform/windows.h"
#include "tests/conformance/host.h"

namespace conformance {
namespace {

constexpr DWORD kThreadAgnostic = 0x10000000;  // REG_NOTIFY_THREAD_AGNOSTIC

// An open key, closed with the object.
class CKey {
public:
    CKey() = default;
    ~CKey() { Close(); }
    CKey(const CKey&) = delete;
    CKey& operator=(const CKey&) = delete;
    HKEY* Out() {
        Close();
        return &m_key;
    }
    HKEY get() const { return m_key; }
    void Close() {
        if (m_key) RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

class RegistryTest : public ConformanceTest {
protected:
    std::string Below(const std::string& name) const { return m_hostKey + (name.empty() ? "" : "\\" + name); }
    void SetUp() override {
        ConformanceTest::SetUp();
        m_hostKey = host().Key();
    }
    LSTATUS Create(const std::string& name, REGSAM access, CKey* key, DWORD* disposition = nullptr) {
        return RegCreateKeyExA(host().Root(), Below(name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                               nullptr, key->Out(), disposition);
    }
    LSTATUS Open(const std::string& name, REGSAM access, CKey* key) {
        return RegOpenKeyExA(host().Root(), Below(name).c_str(), 0, access, key->Out());
    }
    static LSTATUS SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    static LSTATUS GetDword(HKEY key, const char* name, DWORD* value) {
        DWORD size = sizeof *value;
        return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    }
    // Writes a value through a key opened for the purpose, as another writer would.
    void WriteFromElsewhere(const std::string& name, const char* value, DWORD data) {
        CKey writer;
        ASSERT_EQ(Create(name, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
        ASSERT_EQ(SetDword(writer.get(), value, data), ERROR_SUCCESS);
    }
    static bool Signalled(HANDLE event, DWORD wait = 0) { return WaitForSingleObject(event, wait) == WAIT_OBJECT_0; }

    std::string m_hostKey;
};

TEST_F(RegistryTest, KeyAndValueNamesIgnoreLetterCase) {
    CKey key;
    ASSERT_EQ(Create("Control\\DeviceState", KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "DeviceMode", 3), ERROR_SUCCESS);
    for (const char* path : {"control\\devicestate", "CONTROL\\DEVICESTATE", "Control\\deviceSTATE"}) {
        SCOPED_TRACE(path);
        CKey other;
        ASSERT_EQ(Open(path, KEY_READ, &other), ERROR_SUCCESS);
        for (const char* name : {"DeviceMode", "devicemode", "DEVICEMODE"}) {
            DWORD value = 0;
            EXPECT_EQ(GetDword(other.get(), name, &value), ERROR_SUCCESS) << name;
            EXPECT_EQ(value, 3u);
        }
    }
    // Another spelling writes the same value.
    ASSERT_EQ(SetDword(key.get(), "DEVICEMODE", 5), ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(GetDword(key.get(), "devicemode", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 5u);
    DWORD disposition = 0;
    CKey again;
    ASSERT_EQ(Create("CONTROL\\devicestate", KEY_READ, &again, &disposition), ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
}

TEST_F(RegistryTest, MissingKeysAndValuesAreFileNotFound) {
    CKey key;
    EXPECT_EQ(Open("Missing", KEY_READ, &key), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key.get(), nullptr);
    ASSERT_EQ(Open("", KEY_READ, &key), ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(GetDword(key.get(), "Missing", &value), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, QueryReportsTypeAndSizeAndMoreDataForASmallBuffer) {
    CKey key;
    ASSERT_EQ(Create("Values", KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Number", 0x01020304), ERROR_SUCCESS);
    const char text[] = "hello";
    ASSERT_EQ(RegSetValueExA(key.get(), "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
              ERROR_SUCCESS);

    // Without a buffer: the type and the size needed.
    DWORD type = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, sizeof text);

    // Too small: ERROR_MORE_DATA, the size needed, and the type still reported.
    BYTE small[2] = {0xEE, 0xEE};
    type = 0;
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Number", nullptr, &type, small, &size),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    type = 0;
    size = 3;
    char buffer[8] = {};
    EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, sizeof text);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    // Large enough: the data and its own size.
    DWORD number = 0;
    size = 8;
    BYTE wide[8] = {};
    EXPECT_EQ(RegQueryValueExA(key.get(), "Number", nullptr, &type, wide, &size), ERROR_SUCCESS);
    std::memcpy(&number, wide, sizeof number);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(number, 0x01020304u);
}

TEST_F(RegistryTest, TextWrittenWithoutItsTerminatorIsStoredWithOne) {
    CKey key;
    ASSERT_EQ(Create("Values", KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const char text[] = "abc";  // the byte after the three counted is a zero
    ASSERT_EQ(RegSetValueExA(key.get(), "Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 3), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    size = 3;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 4u);
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key.get(), "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(std::string(buffer, 4), std::string("abc\0", 4));
}

TEST_F(RegistryTest, CreatingBelowAKeyNeedsTheRightToCreateSubkeys) {
    KV_SKIP_UNDER_WINE("a key is made below a handle that lacks KEY_CREATE_SUB_KEY");
    CKey parent;
    ASSERT_EQ(Open("", KEY_NOTIFY, &parent), ERROR_SUCCESS);
    CKey child;
    EXPECT_EQ(RegCreateKeyExA(parent.get(), "Child", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              child.Out(), nullptr),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open("Child", KEY_READ, &child), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(RegistryTest, AnExistingKeyOpensBelowAHandleOfAnyRights) {
    CKey made;
    ASSERT_EQ(Create("Child", KEY_READ, &made), ERROR_SUCCESS);
    CKey parent;
    ASSERT_EQ(Open("", KEY_NOTIFY, &parent), ERROR_SUCCESS);
    CKey child;
    EXPECT_EQ(RegOpenKeyExA(parent.get(), "child", 0, KEY_READ, child.Out()), ERROR_SUCCESS);
}

TEST_F(RegistryTest, AHandleRefusesWhatItWasNotOpenedFor) {
    CKey key;
    ASSERT_EQ(Create("Values", KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Number", 1), ERROR_SUCCESS);
    CKey reader;
    ASSERT_EQ(Open("Values", KEY_READ, &reader), ERROR_SUCCESS);
    EXPECT_EQ(SetDword(reader.get(), "Number", 2), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    CKey writer;
    ASSERT_EQ(Open("Values", KEY_SET_VALUE, &writer), ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(GetDword(writer.get(), "Number", &value), static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    EXPECT_EQ(RegNotifyChangeKeyValue(reader.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE), ERROR_SUCCESS);
    EXPECT_EQ(RegNotifyChangeKeyValue(writer.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    CloseHandle(event);
}

// ---- The 32-bit view

class RegistryViewTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        if (host().MachineKey().empty()) GTEST_SKIP() << "HKEY_LOCAL_MACHINE\\SOFTWARE is not writable here";
        m_name = host().MachineKey().substr(host().MachineKey().find('\\') + 1);
    }
    std::string m_name;
};

TEST_F(RegistryViewTest, TheThirtyTwoBitViewRedirectsSoftwareToWow6432Node) {
    CKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + m_name).c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, key.Out(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "Bits", 32), ERROR_SUCCESS);

    CKey seen;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("software\\wow6432node\\" + m_name).c_str(), 0,
                            KEY_READ | KEY_WOW64_64KEY, seen.Out()),
              ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(GetDword(seen.get(), "bits", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 32u);
    // The 64-bit view of the same name is another key, not made.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\" + m_name).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                            seen.Out()),
              static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    // Naming the redirected key in the 32-bit view reaches it too.
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, ("SOFTWARE\\WOW6432Node\\" + m_name).c_str(), 0,
                            KEY_READ | KEY_WOW64_32KEY, seen.Out()),
              ERROR_SUCCESS);
}

// ---- Change notifications

class RegistryNotifyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        m_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_EQ(Create("Watched\\Child", KEY_ALL_ACCESS, &m_child), ERROR_SUCCESS);
        ASSERT_EQ(Open("Watched", KEY_NOTIFY | KEY_QUERY_VALUE, &m_watched), ERROR_SUCCESS);
    }
    void TearDown() override {
        m_child.Close();
        m_watched.Close();
        CloseHandle(m_event);
        RegistryTest::TearDown();
    }
    LSTATUS Arm(BOOL subtree = TRUE, DWORD filter = REG_NOTIFY_CHANGE_LAST_SET) {
        return RegNotifyChangeKeyValue(m_watched.get(), subtree, filter, m_event, TRUE);
    }
    // Arms the watch on a thread of its own that then ends; the arming's result.
    LSTATUS ArmOnAThreadThatEnds(DWORD filter);

    HANDLE m_event = nullptr;
    CKey m_watched;
    CKey m_child;
};

TEST_F(RegistryNotifyTest, ANotificationFiresOnceAndMustBeArmedAgain) {
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event));
    WriteFromElsewhere("Watched", "Posture", 1);
    EXPECT_TRUE(Signalled(m_event, 5000));
    WriteFromElsewhere("Watched", "Posture", 2);
    EXPECT_FALSE(Signalled(m_event, 200));
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    WriteFromElsewhere("Watched", "Posture", 3);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, AWatchOverTheSubtreeSeesAChildKeysValues) {
    ASSERT_EQ(Arm(TRUE), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(m_child.get(), "Sensor1", 7), ERROR_SUCCESS);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, AWatchOfTheKeyAloneIgnoresAChildKey) {
    ASSERT_EQ(Arm(FALSE), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(m_child.get(), "Sensor1", 8), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event, 200));
    WriteFromElsewhere("Watched", "Posture", 1);  // the key itself still fires the watch
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, AWatchOnValuesIgnoresANewSubkey) {
    ASSERT_EQ(Arm(TRUE, REG_NOTIFY_CHANGE_LAST_SET), ERROR_SUCCESS);
    CKey made;
    ASSERT_EQ(Create("Watched\\New", KEY_READ, &made), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event, 200));
}

TEST_F(RegistryNotifyTest, AWatchOnNamesSeesANewSubkey) {
    ASSERT_EQ(Arm(TRUE, REG_NOTIFY_CHANGE_NAME), ERROR_SUCCESS);
    CKey made;
    ASSERT_EQ(Create("Watched\\New", KEY_READ, &made), ERROR_SUCCESS);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, ArmingTheSameHandleAgainTakesTheNewScopeAndFilter) {
    KV_SKIP_UNDER_WINE("arming a handle again keeps the scope and filter of its first arming");
    ASSERT_EQ(Arm(TRUE, REG_NOTIFY_CHANGE_LAST_SET), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(m_child.get(), "Sensor1", 7), ERROR_SUCCESS);
    ASSERT_TRUE(Signalled(m_event, 5000));
    ASSERT_EQ(Arm(FALSE, REG_NOTIFY_CHANGE_LAST_SET), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(m_child.get(), "Sensor1", 8), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event, 200));
    ASSERT_EQ(Arm(TRUE, REG_NOTIFY_CHANGE_NAME), ERROR_SUCCESS);
    CKey made;
    ASSERT_EQ(Create("Watched\\New", KEY_READ, &made), ERROR_SUCCESS);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

struct CWrite {
    HKEY root;
    std::string path;
};

DWORD WriteOnAnotherThread(LPVOID parameter) {
    auto* write = static_cast<CWrite*>(parameter);
    HKEY key = nullptr;
    if (RegOpenKeyExA(write->root, write->path.c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return 1;
    DWORD value = 4;
    LSTATUS status = RegSetValueExA(key, "Posture", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? 0 : 2;
}

TEST_F(RegistryNotifyTest, AnyWriterFiresTheWatch) {
    // Through the watched handle itself.
    CKey same;
    ASSERT_EQ(Open("Watched", KEY_ALL_ACCESS, &same), ERROR_SUCCESS);
    ASSERT_EQ(RegNotifyChangeKeyValue(same.get(), TRUE, REG_NOTIFY_CHANGE_LAST_SET, m_event, TRUE), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(same.get(), "Posture", 9), ERROR_SUCCESS);
    EXPECT_TRUE(Signalled(m_event, 5000));

    // From another thread through a handle of its own.
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    CWrite write{host().Root(), Below("Watched\\Child")};
    HANDLE thread = CreateThread(nullptr, 0, &WriteOnAnotherThread, &write, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 99;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 0u);
    CloseHandle(thread);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, ClosingTheWatchedHandleFiresTheWatch) {
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    m_watched.Close();
    EXPECT_TRUE(Signalled(m_event, 5000));
}

TEST_F(RegistryNotifyTest, ArmingResetsAnEventThatIsAlreadySignalled) {
    ASSERT_TRUE(SetEvent(m_event));
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event));
    WriteFromElsewhere("Watched", "Posture", 1);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

struct CArm {
    HKEY key;
    HANDLE event;
    DWORD filter;
    LSTATUS status;
};

DWORD ArmAndEnd(LPVOID parameter) {
    auto* arm = static_cast<CArm*>(parameter);
    arm->status = RegNotifyChangeKeyValue(arm->key, TRUE, arm->filter, arm->event, TRUE);
    return 0;
}

LSTATUS RegistryNotifyTest::ArmOnAThreadThatEnds(DWORD filter) {
    CArm arm{m_watched.get(), m_event, filter, -1};
    HANDLE thread = CreateThread(nullptr, 0, &ArmAndEnd, &arm, 0, nullptr);
    if (!thread) return -1;
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
    return arm.status;
}

TEST_F(RegistryNotifyTest, AWatchEndsWithTheThreadThatArmedIt) {
    KV_SKIP_UNDER_WINE("the watch outlives the thread that armed it, whose end does not set the event");
    ASSERT_EQ(ArmOnAThreadThatEnds(REG_NOTIFY_CHANGE_LAST_SET), ERROR_SUCCESS);
    // The thread's end completes the watch: the event is set, and no change is watched any more.
    EXPECT_TRUE(Signalled(m_event, 5000));
    WriteFromElsewhere("Watched", "Posture", 1);
    EXPECT_FALSE(Signalled(m_event, 200));
}

TEST_F(RegistryNotifyTest, AThreadAgnosticWatchOutlivesItsThread) {
    ASSERT_EQ(ArmOnAThreadThatEnds(REG_NOTIFY_CHANGE_LAST_SET | kThreadAgnostic), ERROR_SUCCESS);
    EXPECT_FALSE(Signalled(m_event, 200));
    WriteFromElsewhere("Watched", "Posture", 1);
    EXPECT_TRUE(Signalled(m_event, 5000));
}

}  // namespace
}  // namespace conformance
