#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "platform/sync.h"
#include "tests/support/sim_test.h"

namespace {

using kvtest::SimTest;

constexpr const char* kControl = "SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
constexpr const char* kControlFull = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl";
constexpr REGSAM kRead32 = KEY_READ | KEY_WOW64_32KEY;    // 0x20219
constexpr REGSAM kWrite32 = KEY_WRITE | KEY_WOW64_32KEY;  // 0x20206

class RegistryTest : public SimTest {
protected:
    sim::Registry& reg() { return machine().registry(); }

    HKEY Open(const std::string& path, REGSAM access, LSTATUS* status = nullptr) {
        HKEY key = nullptr;
        LSTATUS result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &key);
        if (status) *status = result;
        return key;
    }

    LSTATUS SetDword(HKEY key, const char* name, DWORD value) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

    // The DWORD read as the registry accessors read it: 4 bytes, type not asked.
    LSTATUS GetDword(HKEY key, const char* name, DWORD* value) {
        DWORD size = sizeof *value;
        return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    }
};

TEST_F(RegistryTest, MissingKeyAndValueAreFileNotFound) {
    LSTATUS status = 0;
    HKEY key = Open("SYSTEM\\Missing", KEY_READ, &status);
    EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(key, nullptr);

    reg().CreateKey(kControlFull);
    key = Open(kControl, kRead32, &status);
    ASSERT_EQ(status, ERROR_SUCCESS);
    DWORD value = 0;
    EXPECT_EQ(GetDword(key, "SARIndex", &value), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryTest, KeyAndValueNamesIgnoreLetterCase) {
    ASSERT_EQ(reg().SetDword(kControlFull, "DeviceMode", 3), "");
    const char* spellings[] = {"SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl",
                               "system\\currentcontrolset\\services\\kavrion\\kvcontrol",
                               "SYSTEM\\CURRENTCONTROLSET\\SERVICES\\Kavrion\\KvControl"};
    for (const char* path : spellings) {
        SCOPED_TRACE(path);
        HKEY key = Open(path, kRead32);
        ASSERT_NE(key, nullptr);
        for (const char* name : {"DeviceMode", "devicemode", "DEVICEMODE"}) {
            DWORD value = 0;
            EXPECT_EQ(GetDword(key, name, &value), ERROR_SUCCESS) << name;
            EXPECT_EQ(value, 3u);
        }
        RegCloseKey(key);
    }
    // A write under another spelling replaces the value and keeps its name.
    HKEY key = Open("system\\CURRENTCONTROLSET\\services\\kavrion\\KVCONTROL", kWrite32);
    ASSERT_EQ(SetDword(key, "DEVICEMODE", 5), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(reg().GetDword(kControlFull, "devicemode"), 5u);
    EXPECT_TRUE(machine().transcript().Contains("registry", std::string("set ") + kControlFull + "\\DeviceMode = dword:5"));
    EXPECT_TRUE(reg().KeyExists("HKEY_LOCAL_MACHINE\\system\\currentcontrolset\\services\\kavrion\\kvcontrol"));
}

TEST_F(RegistryTest, ThirtyTwoBitViewRedirectsSoftwareOnly) {
    reg().SetString("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "WwanDeviceConfigurationID", "32bit");
    reg().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "BaseBoardProduct", "system");
    reg().SetString("HKLM\\HARDWARE\\DESCRIPTION\\System\\BIOS", "BaseBoardProduct", "bios");
    struct Case {
        const char* path;
        REGSAM access;
        LSTATUS status;
        const char* text;
    } cases[] = {
        {"SOFTWARE\\Razav\\FwFlashService", kRead32, ERROR_SUCCESS, "32bit"},
        {"software\\razav\\fwflashservice", kRead32, ERROR_SUCCESS, "32bit"},
        {"SOFTWARE\\Razav\\FwFlashService", KEY_READ, ERROR_FILE_NOT_FOUND, nullptr},
        {"SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", kRead32, ERROR_SUCCESS, "32bit"},  // not doubled
        {"Software\\wow6432node\\Razav\\FwFlashService", kRead32, ERROR_SUCCESS, "32bit"},
        {"SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", KEY_READ, ERROR_SUCCESS, "32bit"},
        {"SYSTEM\\HardwareConfig\\Current", kRead32, ERROR_SUCCESS, "system"},
        {"SYSTEM\\HardwareConfig\\Current", KEY_READ, ERROR_SUCCESS, "system"},
        {"HARDWARE\\DESCRIPTION\\System\\BIOS", kRead32, ERROR_SUCCESS, "bios"},
        {"HARDWARE\\DESCRIPTION\\System\\BIOS", KEY_READ, ERROR_SUCCESS, "bios"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " access " + std::to_string(c.access));
        LSTATUS status = 0;
        HKEY key = Open(c.path, c.access, &status);
        ASSERT_EQ(status, c.status);
        if (!c.text) continue;
        char text[125] = {};
        DWORD size = sizeof text;
        const char* name = std::strstr(c.path, "Razav") || std::strstr(c.path, "razav") ? "WwanDeviceConfigurationID"
                                                                                        : "BaseBoardProduct";
        EXPECT_EQ(RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
        EXPECT_STREQ(text, c.text);
        RegCloseKey(key);
    }
}

TEST_F(RegistryTest, CreateInThirtyTwoBitViewLandsUnderWow6432Node) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Kv\\Test", 0, nullptr, 0, kWrite32, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ASSERT_EQ(SetDword(key, "Flag", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(reg().GetDword("HKLM\\SOFTWARE\\WOW6432Node\\Kv\\Test", "Flag"), 1u);
    EXPECT_FALSE(reg().KeyExists("HKLM\\SOFTWARE\\Kv"));
}

TEST_F(RegistryTest, QueryReportsTypeAndSizeAndFailsWhenTooSmall) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"Dword", REG_DWORD, {3, 0, 0, 0}},
        {"Qword", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Text", REG_SZ, {'F', 'C', 'C', 0}},
        {"Expand", REG_EXPAND_SZ, {'%', 'A', '%', 0}},
        {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"Binary", REG_BINARY, {0xde, 0xad}},
    };
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kControl, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DWORD size = static_cast<DWORD>(c.data.size());
        ASSERT_EQ(RegSetValueExA(key, c.name, 0, c.type, c.data.data(), size), ERROR_SUCCESS);

        DWORD type = 99, got = 0;
        EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, nullptr, &got), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(got, size);

        std::vector<BYTE> buffer(size + 4, 0xEE);
        got = static_cast<DWORD>(buffer.size());
        type = 99;
        EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &got), ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(got, size);
        EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + size), c.data);

        got = size - 1;
        type = 99;
        EXPECT_EQ(RegQueryValueExA(key, c.name, nullptr, &type, buffer.data(), &got),
                  static_cast<LSTATUS>(ERROR_MORE_DATA));
        EXPECT_EQ(type, c.type);
        EXPECT_EQ(got, size);
    }
    // A DWORD read of an 8-byte value fails.
    DWORD value = 0;
    EXPECT_EQ(GetDword(key, "Qword", &value), static_cast<LSTATUS>(ERROR_MORE_DATA));
    RegCloseKey(key);
}

TEST_F(RegistryTest, TextOf124CharactersFitsA125ByteBufferAnd125DoNot) {
    reg().SetString(kControlFull, "Fits", std::string(124, 'x'));
    reg().SetString(kControlFull, "TooLong", std::string(125, 'x'));
    HKEY key = Open(kControl, kRead32);
    char text[125] = {};
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "Fits", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(std::string(text), std::string(124, 'x'));
    size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(key, "TooLong", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
              static_cast<LSTATUS>(ERROR_MORE_DATA));
    EXPECT_EQ(size, 126u);
    RegCloseKey(key);
}

TEST_F(RegistryTest, AccessMasksGrantWhatTheyName) {
    reg().SetDword(kControlFull, "DeviceMode", 1);
    struct Case {
        REGSAM access;
        bool query, set, notify;
    } cases[] = {
        {KEY_ALL_ACCESS, true, true, true},
        {kRead32, true, false, true},
        {kWrite32, false, true, false},
        {KEY_READ | KEY_WOW64_32KEY | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, true, true, true},
    };
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.access);
        HKEY key = Open(kControl, c.access);
        ASSERT_NE(key, nullptr);
        DWORD value = 0;
        EXPECT_EQ(GetDword(key, "DeviceMode", &value), c.query ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
        EXPECT_EQ(SetDword(key, "DeviceMode", 2), c.set ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
        EXPECT_EQ(RegNotifyChangeKeyValue(key, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event, TRUE),
                  c.notify ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
        RegCloseKey(key);
    }
    CloseHandle(event);
}

TEST_F(RegistryTest, OpeningForWriteCreatesNothing) {
    LSTATUS status = 0;
    EXPECT_EQ(Open("SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv", kWrite32, &status), nullptr);
    EXPECT_EQ(status, static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(reg().KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion"));
}

TEST_F(RegistryTest, CreateKeyMakesTheWholePathAndReportsDisposition) {
    const REGSAM access = KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE;
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv", 0,
                              nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const char text[] = "CE_SA";
    ASSERT_EQ(RegSetValueExA(key, "RegulatoryID", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 6), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "system\\currentcontrolset\\control\\kavrion", 0, nullptr, 0, access,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    auto value = reg().GetValue("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv", "RegulatoryID");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_SZ);
    EXPECT_EQ(value->data.size(), 6u);
    EXPECT_EQ(reg().GetString("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv", "RegulatoryID"),
              "CE_SA");

    // Below an open key, creating needs KEY_CREATE_SUB_KEY on it.
    HKEY parent = Open("SYSTEM\\CurrentControlSet\\Control\\Kavrion", KEY_READ);
    EXPECT_EQ(RegCreateKeyExA(parent, "New", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              static_cast<LSTATUS>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(RegCreateKeyExA(parent, "KavrConfigSrv", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    RegCloseKey(key);
    RegCloseKey(parent);
}

TEST_F(RegistryTest, BadHandlesAreRefused) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
              static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM", 0, KEY_READ, nullptr),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(RegistryTest, WritesAreRecordedInTheTranscript) {
    reg().CreateKey(kControlFull);
    HKEY key = Open(kControl, kWrite32);
    SetDword(key, "NewPackageFlag", 0);
    const char text[] = "FF";
    RegSetValueExA(key, "SARIndex", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), 2);
    RegCloseKey(key);
    reg().SetDword(kControlFull, "DeviceMode", 7, "scenario");
    reg().SetDword(kControlFull, "Sensor1", 1);  // unrecorded set-up

    auto lines = machine().transcript().Entries();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].party, "registry");
    EXPECT_EQ(lines[0].text, std::string("set ") + kControlFull + "\\NewPackageFlag = dword:0");
    EXPECT_EQ(lines[1].text, std::string("set ") + kControlFull + "\\SARIndex = \"FF\"");
    EXPECT_EQ(lines[2].party, "scenario");
    EXPECT_EQ(lines[2].text, std::string("set ") + kControlFull + "\\DeviceMode = dword:7");
}

TEST(RegistryFormat, DataIsShownByType) {
    using sim::Registry;
    struct Case {
        DWORD type;
        std::vector<BYTE> data;
        const char* text;
    } cases[] = {
        {REG_DWORD, {0x10, 0x27, 0, 0}, "dword:10000"},
        {REG_DWORD, {1, 2, 3}, "hex(4):01,02,03"},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, "qword:1"},
        {REG_SZ, {'a', '"', '\\', 0}, "\"a\\\"\\\\\""},
        {REG_SZ, {'n', 'o', 'z'}, "\"noz\""},
        {REG_EXPAND_SZ, {'%', 'x', '%', 0}, "expand:\"%x%\""},
        {REG_MULTI_SZ, {'a', 0, 'b', 0, 0}, "multi:\"a\",\"b\""},
        {REG_BINARY, {0xab, 0x01}, "hex:ab,01"},
        {REG_NONE, {}, "hex(0):"},
    };
    for (const auto& c : cases) EXPECT_EQ(Registry::FormatData(c.type, c.data), c.text);
}

// ---- change notifications

class NotifyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        reg().SetDword(kControlFull, "DeviceMode", 0);
        reg().SetDword(std::string(kControlFull) + "\\Sub", "Value", 0);
        reg().SetDword("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Other", "DeviceMode", 0);
        event_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        // As the worker holds it: full access, default view.
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kControl, 0, KEY_ALL_ACCESS, &control_), ERROR_SUCCESS);
    }
    void TearDown() override {
        RegCloseKey(control_);
        CloseHandle(event_);
        RegistryTest::TearDown();
    }
    LSTATUS Arm(BOOL subtree = TRUE, DWORD filter = REG_NOTIFY_CHANGE_LAST_SET) {
        return RegNotifyChangeKeyValue(control_, subtree, filter, event_, TRUE);
    }
    bool Fired() { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }
    void WriteThrough(const std::string& path, REGSAM access, const char* name) {
        HKEY key = Open(path, access);
        ASSERT_NE(key, nullptr) << path;
        ASSERT_EQ(SetDword(key, name, 9), ERROR_SUCCESS);
        RegCloseKey(key);
    }

    HANDLE event_ = nullptr;
    HKEY control_ = nullptr;
};

TEST_F(NotifyTest, FiresOnceForTheNextMatchingWrite) {
    const std::string control = kControl;
    struct Case {
        const char* what;
        BOOL subtree;
        DWORD filter;
        std::function<void()> write;
        bool fires;
    } cases[] = {
        {"another handle, 32-bit view", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { WriteThrough(control, kWrite32, "DeviceMode"); }, true},
        {"another handle, default view", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { WriteThrough(control, KEY_WRITE, "Sensor1"); }, true},
        {"the watching handle itself", TRUE, REG_NOTIFY_CHANGE_LAST_SET, [&] { SetDword(control_, "SARIndex", 1); },
         true},
        {"a subkey, subtree watched", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { WriteThrough(control + "\\Sub", kWrite32, "Value"); }, true},
        {"a subkey, key only", FALSE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { WriteThrough(control + "\\Sub", kWrite32, "Value"); }, false},
        {"the key, key only", FALSE, REG_NOTIFY_CHANGE_LAST_SET, [&] { WriteThrough(control, kWrite32, "DeviceMode"); },
         true},
        {"an outside write", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { reg().SetDword(kControlFull, "DeviceMode", 4, "scenario"); }, true},
        {"an outside write, other spelling", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { reg().SetDword("hkey_local_machine\\system\\currentcontrolset\\services\\kavrion\\kvcontrol\\sub",
                              "value", 4); },
         true},
        {"another key", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { WriteThrough("SYSTEM\\CurrentControlSet\\Services\\Other", kWrite32, "DeviceMode"); }, false},
        {"the parent key", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { reg().SetDword("HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION", "DeviceMode", 1); }, false},
        {"a value write, names watched", TRUE, REG_NOTIFY_CHANGE_NAME,
         [&] { WriteThrough(control, kWrite32, "DeviceMode"); }, false},
        {"a new subkey, names watched", TRUE, REG_NOTIFY_CHANGE_NAME,
         [&] { reg().CreateKey(std::string(kControlFull) + "\\Sub\\New"); }, true},
        {"a new subkey, values watched", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { reg().CreateKey(std::string(kControlFull) + "\\Other"); }, false},
        {"an outside value deletion", TRUE, REG_NOTIFY_CHANGE_LAST_SET,
         [&] { reg().DeleteValue(kControlFull, "Sensor1"); }, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_FALSE(Fired());
        ASSERT_EQ(Arm(c.subtree, c.filter), ERROR_SUCCESS);
        c.write();
        EXPECT_EQ(Fired(), c.fires);
        if (c.fires) {
            // One-shot: a second write without arming again signals nothing.
            c.write();
            EXPECT_FALSE(Fired());
        } else {
            // Still armed: the next matching change fires it.
            reg().CreateKey(std::string(kControlFull) + "\\Sub\\Trigger");
            reg().SetDword(kControlFull, "Trigger", 1);
            reg().DeleteKey(std::string(kControlFull) + "\\Sub\\Trigger");
            EXPECT_TRUE(Fired());
        }
    }
}

TEST_F(NotifyTest, WatchOverSoftwareSeesWritesThroughTheOtherView) {
    reg().CreateKey("HKLM\\SOFTWARE\\WOW6432Node\\Kv");
    HKEY watched = Open("SOFTWARE\\WOW6432Node\\Kv", KEY_ALL_ACCESS);
    ASSERT_EQ(RegNotifyChangeKeyValue(watched, TRUE, REG_NOTIFY_CHANGE_LAST_SET, event_, TRUE), ERROR_SUCCESS);
    WriteThrough("SOFTWARE\\Kv", kWrite32, "Flag");
    EXPECT_TRUE(Fired());
    RegCloseKey(watched);
}

TEST_F(NotifyTest, OutsideWriteAtTwoSecondsEndsAFiveSecondWait) {
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    machine().clock().At(2000, [this] { reg().SetDword(kControlFull, "DeviceMode", 2, "scenario"); });
    EXPECT_EQ(WaitForSingleObject(event_, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(machine().clock().Now(), 2000);
    EXPECT_EQ(WaitForSingleObject(event_, 5000), WAIT_TIMEOUT);
    EXPECT_EQ(machine().clock().Now(), 7000);
}

TEST_F(NotifyTest, ClosingTheHandleCompletesItsNotification) {
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    RegCloseKey(control_);
    control_ = nullptr;
    EXPECT_TRUE(Fired());
}

TEST_F(NotifyTest, RefusesABadEventOrFilter) {
    EXPECT_EQ(RegNotifyChangeKeyValue(control_, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, TRUE),
              static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(RegNotifyChangeKeyValue(control_, TRUE, 0, event_, TRUE), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
}

TEST_F(NotifyTest, DeletedKeyStaysDeletedForItsHandlesAndComesBackAsANewKey) {
    ASSERT_EQ(Arm(), ERROR_SUCCESS);
    EXPECT_TRUE(reg().DeleteKey(kControlFull, "scenario"));
    EXPECT_TRUE(machine().transcript().Contains("scenario", std::string("delete ") + kControlFull + "\\"));
    EXPECT_TRUE(Fired());  // the armed notification completes with the deletion
    EXPECT_FALSE(reg().KeyExists(std::string(kControlFull) + "\\Sub"));

    DWORD value = 0;
    EXPECT_EQ(GetDword(control_, "DeviceMode", &value), static_cast<LSTATUS>(ERROR_KEY_DELETED));
    EXPECT_EQ(SetDword(control_, "DeviceMode", 1), static_cast<LSTATUS>(ERROR_KEY_DELETED));
    EXPECT_EQ(Arm(), static_cast<LSTATUS>(ERROR_KEY_DELETED));
    HKEY below = nullptr;
    EXPECT_EQ(RegOpenKeyExA(control_, "Sub", 0, KEY_READ, &below), static_cast<LSTATUS>(ERROR_KEY_DELETED));

    // Created again: a new key, which the old handle does not reach.
    reg().SetDword(kControlFull, "DeviceMode", 6);
    EXPECT_EQ(GetDword(control_, "DeviceMode", &value), static_cast<LSTATUS>(ERROR_KEY_DELETED));
    EXPECT_FALSE(Fired());
    HKEY fresh = Open(kControl, kRead32);
    ASSERT_NE(fresh, nullptr);
    EXPECT_EQ(GetDword(fresh, "DeviceMode", &value), ERROR_SUCCESS);
    EXPECT_EQ(value, 6u);
    RegCloseKey(fresh);
    EXPECT_EQ(RegCloseKey(control_), ERROR_SUCCESS);
    control_ = nullptr;
}

TEST_F(NotifyTest, SynchronousNotificationWaitsInVirtualTime) {
    machine().clock().At(3000, [this] { reg().SetDword(kControlFull, "DeviceMode", 2, "scenario"); });
    EXPECT_EQ(RegNotifyChangeKeyValue(control_, TRUE, REG_NOTIFY_CHANGE_LAST_SET, nullptr, FALSE), ERROR_SUCCESS);
    EXPECT_EQ(machine().clock().Now(), 3000);
}

// ---- .reg files

class RegFileTest : public RegistryTest {};

const char kSample[] =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "; the control driver's key\r\n"
    "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl]\r\n"
    "\"DeviceMode\"=dword:0000000a\r\n"
    "\"Path\"=\"C:\\\\Kavrion\\\\\\\"q\\\"\"\r\n"
    "@=\"default\"\r\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"Blob\"=hex:de,ad,\\\r\n"
    "  be,ef\r\n"
    "\"Expand\"=hex(2):25,00,41,00,25,00,00,00\r\n"
    "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    "\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService]\r\n"
    "\"WwanDeviceConfigurationID\"=\"KV-0001\"\r\n"
    "\"Gone\"=\"x\"\r\n"
    "\"Gone\"=-\r\n"
    "[HKLM\\SYSTEM\\Temp\\Child]\r\n"
    "\"x\"=dword:1\r\n"
    "[-HKEY_LOCAL_MACHINE\\SYSTEM\\Temp]\r\n";

TEST_F(RegFileTest, LoadsEveryValueForm) {
    ASSERT_EQ(reg().LoadRegText(kSample, "sample.reg"), "");
    const std::string control = kControlFull;
    EXPECT_EQ(reg().GetDword(control, "devicemode"), 10u);
    EXPECT_EQ(reg().GetString(control, "Path"), "C:\\Kavrion\\\"q\"");
    EXPECT_EQ(reg().GetString(control, ""), "default");
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    } cases[] = {
        {"Big", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"Blob", REG_BINARY, {0xde, 0xad, 0xbe, 0xef}},
        {"Expand", REG_EXPAND_SZ, {'%', 'A', '%', 0}},  // UTF-16 in the file, 8-bit in the machine
        {"Multi", REG_MULTI_SZ, {'a', 0, 'b', 0, 0}},
        {"DeviceMode", REG_DWORD, {10, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto value = reg().GetValue(control, c.name);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, c.type);
        EXPECT_EQ(value->data, c.data);
    }
    EXPECT_EQ(reg().GetString("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "WwanDeviceConfigurationID"),
              "KV-0001");
    EXPECT_FALSE(reg().ValueExists("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "Gone"));
    EXPECT_FALSE(reg().KeyExists("HKLM\\SYSTEM\\Temp"));
    EXPECT_TRUE(machine().transcript().Entries().empty());  // loading is set-up, not a write
}

TEST_F(RegFileTest, SavedFileLoadsBackToTheSameRegistry) {
    ASSERT_EQ(reg().LoadRegText(kSample, "sample.reg"), "");
    reg().SetValue(kControlFull, "NoZero", REG_SZ, {'a', 'b'});
    reg().SetValue(kControlFull, "Lines", REG_SZ, {'a', '\n', 'b', 0});
    reg().SetValue(kControlFull, "Odd", REG_DWORD, {1, 2});
    reg().SetValue(kControlFull, "Long", REG_BINARY, std::vector<BYTE>(100, 0x5a));
    const auto file = temp_.path() / "saved.reg";
    ASSERT_EQ(reg().SaveRegFile(file), "");
    const std::string exported = reg().ExportRegText();
    EXPECT_TRUE(exported.starts_with("Windows Registry Editor Version 5.00\r\n\r\n"));
    EXPECT_NE(exported.find("\"DeviceMode\"=dword:0000000a\r\n"), std::string::npos);
    EXPECT_NE(exported.find("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl]\r\n"),
              std::string::npos);
    EXPECT_NE(exported.find("\"Path\"=\"C:\\\\Kavrion\\\\\\\"q\\\"\"\r\n"), std::string::npos);

    sim::Registry copy(machine());
    ASSERT_EQ(copy.LoadRegFile(file), "");
    EXPECT_EQ(copy.ExportRegText(), exported);
    for (const char* name : {"NoZero", "Lines", "Odd", "Long", "Expand", "Multi", "Big", ""}) {
        SCOPED_TRACE(name);
        auto original = reg().GetValue(kControlFull, name);
        auto loaded = copy.GetValue(kControlFull, name);
        ASSERT_TRUE(original && loaded);
        EXPECT_EQ(loaded->type, original->type);
        EXPECT_EQ(loaded->data, original->data);
    }
}

TEST_F(RegFileTest, BadInputNamesFileAndLine) {
    const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\K]\n";
    struct Case {
        std::string text;
        const char* error;
    } cases[] = {
        {"REGEDIT5\n", "nb.reg:1: not a registry file"},
        {"", "nb.reg:1: empty file"},
        {"Windows Registry Editor Version 5.00\n\"a\"=dword:1\n", "nb.reg:2: a value before the first [key]"},
        {head + "\"a\"=dword:xyz\n", "nb.reg:4: dword needs 1 to 8 hexadecimal digits"},
        {head + "\"a\"=dword:123456789\n", "nb.reg:4: dword needs"},
        {head + "\"a\"=\"open\n", "nb.reg:4: the text has no closing quote"},
        {head + "\"a=1\n", "nb.reg:4: the value name has no closing quote"},
        {head + "\"a\" dword:1\n", "nb.reg:4: expected '='"},
        {head + "\"a\"=hex:01,zz\n", "nb.reg:4: bad byte \"zz\""},
        {head + "\"a\"=hex(2):41\n", "nb.reg:4: text in hex form needs an even number of bytes"},
        {head + "\"a\"=text\n", "nb.reg:4: unrecognised value data"},
        {head + "\"a\"=\"x\" junk\n", "nb.reg:4: unexpected text after the value"},
        {head + "garbage\n", "nb.reg:4: expected [key]"},
        {head + "[HKEY_CURRENT_USER\\Software]\n", "nb.reg:4: not a key path under HKEY_LOCAL_MACHINE"},
        {head + "[HKEY_LOCAL_MACHINE\\SYSTEM\n", "nb.reg:4: a key line must end with ']'"},
        {head + "\n\"a\"=hex:01,\\\n", "nb.reg:5: the line goes on past the end of the file"},
        {head + "[-HKEY_LOCAL_MACHINE\\SYSTEM\\K]\n\"a\"=dword:1\n", "nb.reg:5: a value under a deleted key"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error = reg().LoadRegText(c.text, "nb.reg");
        EXPECT_TRUE(error.starts_with(c.error)) << error;
    }
    EXPECT_EQ(reg().LoadRegFile(temp_.path() / "missing.reg"), (temp_.path() / "missing.reg").string() + ": cannot be read");
}

TEST_F(RegFileTest, AcceptsTheEditorsUtf16AndTheOlderFormat) {
    std::string narrow =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\K]\r\n\"Name\"=\"Wert\"\r\n";
    std::string wide = "\xFF\xFE";
    for (char c : narrow) {
        wide += c;
        wide += '\0';
    }
    ASSERT_EQ(reg().LoadRegText(wide, "wide.reg"), "");
    EXPECT_EQ(reg().GetString("HKLM\\SYSTEM\\K", "name"), "Wert");

    // In the older format text in hex form is 8-bit already.
    ASSERT_EQ(reg().LoadRegText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SYSTEM\\K]\n\"E\"=hex(2):41,42,00\n", "old.reg"), "");
    auto value = reg().GetValue("HKLM\\SYSTEM\\K", "E");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, (std::vector<BYTE>{'A', 'B', 0}));
}

TEST_F(RegFileTest, PartyApiRejectsPathsOutsideLocalMachine) {
    EXPECT_NE(reg().SetDword("HKCU\\Software\\X", "a", 1), "");
    EXPECT_NE(reg().SetDword("SYSTEM\\X", "a", 1), "");
    EXPECT_FALSE(reg().GetValue("SYSTEM\\X", "a"));
    EXPECT_FALSE(reg().DeleteKey("HKLM"));
    EXPECT_FALSE(reg().DeleteKey("HKLM\\SYSTEM\\Nothing"));
    EXPECT_FALSE(reg().DeleteValue("HKLM\\SYSTEM", "Nothing"));
}

}  // namespace
