#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/sim/registry_store.h"
#include "tests/config/xmltable_support.h"

namespace {

using xmltable::kControlKey;
using xmltable::kControlKeyFull;
using xmltable::LogLine;

class RegistryValueTest : public xmltable::XmlTableTest {
protected:
    sim::Registry& Registry() { return machine().registry(); }
};

TEST_F(RegistryValueTest, AbsentSarIndexFailsWithTheExactLines) {
    Registry().SetDword(kControlKeyFull, "DeviceMode", 3);
    DWORD value = 77;
    EXPECT_EQ(reader.GetRegKeyValue(kControlKey, "SARIndex", value), 1);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(Log(), (std::vector<LogLine>{{4, "GetRegKeyValue enter."},
                                           {4, kControlKey},
                                           {4, "SARIndex"},
                                           {1, "RegQueryValueEx error"},
                                           {4, "GetRegKeyValue done."}}));
}

TEST_F(RegistryValueTest, DwordReadTakesExactlyFourBytes) {
    struct Case {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
        int result;
        DWORD value;
    };
    const std::vector<Case> cases = {
        {"four bytes", REG_DWORD, {7, 0, 0, 0}, 0, 7},
        {"all bits", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, 0, 0xFFFFFFFFu},
        {"binary of four bytes is no number", REG_BINARY, {2, 1, 0, 0}, 1, 99},
        {"text of four bytes is no number", REG_SZ, {'7', '7', '7', 0}, 1, 99},
        {"qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 1, 99},
        {"three bytes", REG_DWORD, {1, 2, 3}, 1, 99},
        {"one byte", REG_DWORD, {5}, 1, 99},
        {"empty", REG_DWORD, {}, 1, 99},
    };
    for (const Case& c : cases) {
        Registry().SetValue(kControlKeyFull, "DeviceMode", c.type, c.data);
        DWORD value = 99;
        EXPECT_EQ(reader.GetRegKeyValue(kControlKey, "DeviceMode", value), c.result) << c.name;
        EXPECT_EQ(value, c.value) << c.name;
    }
}

// Every value of the control key is read as a number only when it is stored
// as one; any other type fails the read and names the type it found.
TEST_F(RegistryValueTest, DwordReadOfAnotherTypeFailsAndNamesIt) {
    struct Type {
        DWORD type;
        const char* name;
        std::vector<BYTE> data;  // four bytes where the type allows it
    };
    const Type types[] = {
        {REG_SZ, "REG_SZ", {'7', '7', '7', 0}},
        {REG_BINARY, "REG_BINARY", {3, 0, 0, 0}},
        {REG_QWORD, "REG_QWORD", {3, 0, 0, 0, 0, 0, 0, 0}},
        {REG_DWORD, nullptr, {3, 0, 0, 0}},
    };
    for (const char* value : {"NewPackageFlag", "DeviceMode", "SARIndex", "Sensor1", "Sensor2", "Sensor3"}) {
        for (const Type& t : types) {
            SCOPED_TRACE(std::string(value) + " as " + (t.name ? t.name : "REG_DWORD"));
            Registry().SetValue(kControlKeyFull, value, t.type, t.data);
            CLog::GetInstance()->Close();
            WriteFile(xmltable::kLogPath, "");
            DWORD read = 42;
            std::vector<LogLine> expected = {{4, "GetRegKeyValue enter."}, {4, kControlKey}, {4, value}};
            if (t.name) {
                EXPECT_EQ(reader.GetRegKeyValue(kControlKey, value, read), 1);
                EXPECT_EQ(read, 42u);
                expected.push_back({1, "RegQueryValueEx error"});
                expected.push_back({1, std::string("RegQueryValueEx type ") + t.name + " is not REG_DWORD"});
            } else {
                EXPECT_EQ(reader.GetRegKeyValue(kControlKey, value, read), 0);
                EXPECT_EQ(read, 3u);
            }
            expected.push_back({4, "GetRegKeyValue done."});
            EXPECT_EQ(Log(), expected);
        }
    }
}

TEST_F(RegistryValueTest, QwordDeviceModeLogsQueryError) {
    Registry().SetQword(kControlKeyFull, "DeviceMode", 2);
    DWORD value = 0;
    EXPECT_EQ(reader.GetRegKeyValue(kControlKey, "DeviceMode", value), 1);
    EXPECT_EQ(TypeOf("RegQueryValueEx error"), 1);
}

TEST_F(RegistryValueTest, MissingKeyFailsToOpen) {
    DWORD value = 5;
    std::string text = "old";
    EXPECT_EQ(reader.GetRegKeyValue("SYSTEM\\NoSuchKey", "DeviceMode", value), 1);
    EXPECT_EQ(reader.GetRegKeyValue("SYSTEM\\NoSuchKey", "DeviceMode", text), 1);
    EXPECT_EQ(value, 5u);
    EXPECT_EQ(text, "");
    EXPECT_EQ(Log(), (std::vector<LogLine>{{4, "GetRegKeyValue enter."},
                                           {4, "SYSTEM\\NoSuchKey"},
                                           {4, "DeviceMode"},
                                           {1, "RegOpenKeyEx error"},
                                           {4, "GetRegKeyValue done."},
                                           {4, "GetRegKeyValue enter."},
                                           {1, "RegOpenKeyEx error"},
                                           {4, "GetRegKeyValue done."}}));
}

TEST_F(RegistryValueTest, TextReadIsBoundedTo124Characters) {
    auto bytes = [](const std::string& text, bool zero) {
        std::vector<BYTE> data(text.begin(), text.end());
        if (zero) data.push_back(0);
        return data;
    };
    const std::string t124(124, 'a');
    const std::string t125(125, 'b');
    struct Case {
        const char* name;
        std::vector<BYTE> data;
        int result;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"124 with zero", bytes(t124, true), 0, t124},
        {"124 without zero", bytes(t124, false), 0, t124},
        {"125 with zero", bytes(t125, true), 1, ""},
        {"125 without zero fills the buffer", bytes(t125, false), 1, ""},
        {"short", bytes("SKU_A1", true), 0, "SKU_A1"},
        {"up to the first zero", bytes(std::string("AB\0CD", 5), true), 0, "AB"},
        {"empty", bytes("", true), 0, ""},
    };
    for (const Case& c : cases) {
        Registry().SetValue("HKLM\\SYSTEM\\HardwareConfig\\Current", "SystemSKU", REG_SZ, c.data);
        std::string text = "previous";
        EXPECT_EQ(reader.GetRegKeyValue("SYSTEM\\HardwareConfig\\Current", "SystemSKU", text), c.result) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
}

TEST_F(RegistryValueTest, TextReadFailureLogs) {
    Registry().SetString("HKLM\\SYSTEM\\HardwareConfig\\Current", "SystemSKU", std::string(125, 'x'));
    std::string text;
    EXPECT_EQ(reader.GetRegKeyValue("SYSTEM\\HardwareConfig\\Current", "SystemSKU", text), 1);
    EXPECT_EQ(Log(), (std::vector<LogLine>{
                         {4, "GetRegKeyValue enter."}, {1, "RegQueryValueEx error"}, {4, "GetRegKeyValue done."}}));
}

TEST_F(RegistryValueTest, SoftwarePathsReadAndWriteTheWow6432NodeBranch) {
    Registry().SetString("HKLM\\SOFTWARE\\Razav\\FwFlashService", "WwanDeviceConfigurationID", "native");
    Registry().SetString("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "WwanDeviceConfigurationID", "wow");
    Registry().SetDword("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "Flag", 4);
    std::string text;
    EXPECT_EQ(reader.GetRegKeyValue("SOFTWARE\\Razav\\FwFlashService", "WwanDeviceConfigurationID", text), 0);
    EXPECT_EQ(text, "wow");
    DWORD value = 0;
    EXPECT_EQ(reader.GetRegKeyValue("SOFTWARE\\Razav\\FwFlashService", "Flag", value), 0);
    EXPECT_EQ(value, 4u);

    EXPECT_EQ(reader.SetRegKeyValue("SOFTWARE\\Razav\\FwFlashService", "Flag", 2, REG_DWORD), 0);
    EXPECT_EQ(Registry().GetDword("HKLM\\SOFTWARE\\WOW6432Node\\Razav\\FwFlashService", "Flag"), 2u);
    EXPECT_FALSE(Registry().ValueExists("HKLM\\SOFTWARE\\Razav\\FwFlashService", "Flag"));
}

TEST_F(RegistryValueTest, DwordWriteUnderTheControlKey) {
    Registry().SetDword(kControlKeyFull, "NewPackageFlag", 1);
    EXPECT_EQ(reader.SetRegKeyValue(kControlKey, "NewPackageFlag", 0, REG_DWORD), 0);
    auto value = Registry().GetValue(kControlKeyFull, "NewPackageFlag");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_DWORD);
    EXPECT_EQ(value->data, (std::vector<BYTE>{0, 0, 0, 0}));
    EXPECT_EQ(Log(), (std::vector<LogLine>{{4, kControlKey}, {4, "NewPackageFlag"}, {4, "SetRegKeyValue done."}}));
    EXPECT_TRUE(machine().transcript().Contains("registry", std::string("set ") + kControlKeyFull +
                                                                "\\NewPackageFlag = dword:0"));
}

TEST_F(RegistryValueTest, WriteUnderMissingKeyFailsAndCreatesNothing) {
    EXPECT_EQ(reader.SetRegKeyValue("SYSTEM\\CurrentControlSet\\Services\\Missing", "Flag", 1, REG_DWORD), 1);
    EXPECT_EQ(reader.SetRegKeyValueString("SYSTEM\\CurrentControlSet\\Services\\Missing", "Text", "x"), 1);
    EXPECT_FALSE(Registry().KeyExists("HKLM\\SYSTEM\\CurrentControlSet\\Services\\Missing"));
    EXPECT_EQ(Log(), (std::vector<LogLine>{{4, "SYSTEM\\CurrentControlSet\\Services\\Missing"},
                                           {4, "Flag"},
                                           {1, "RegOpenKeyEx error"},
                                           {4, "SetRegKeyValue done."},
                                           {4, "SYSTEM\\CurrentControlSet\\Services\\Missing"},
                                           {4, "Text"},
                                           {4, "x"},
                                           {1, "RegOpenKeyEx error"}}));
}

TEST_F(RegistryValueTest, TextWriteKeepsItsTerminatingZero) {
    const char key[] = "SYSTEM\\CurrentControlSet\\Control\\Kavrion\\KavrConfigSrv";
    Registry().CreateKey(std::string("HKLM\\") + key);
    EXPECT_EQ(reader.SetRegKeyValueString(key, "RegulatoryID", "BodySAR"), 0);
    auto value = Registry().GetValue(std::string("HKLM\\") + key, "RegulatoryID");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, REG_SZ);
    EXPECT_EQ(value->data, (std::vector<BYTE>{'B', 'o', 'd', 'y', 'S', 'A', 'R', 0}));
    std::string text;
    EXPECT_EQ(reader.GetRegKeyValue(key, "RegulatoryID", text), 0);
    EXPECT_EQ(text, "BodySAR");
}

}  // namespace
