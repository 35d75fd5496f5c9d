#include <gtest/gtest.h>

#include "platform/registry.h"
#include "platform/service.h"
#include "tools/kvsim/scenario.h"

namespace {

using kvsim::InputError;
using kvsim::ParseScenario;
using kvsim::ScenarioEvent;

TEST(ScenarioParse, ReadsTimesVerbsAndValues) {
    const char text[] =
        "# posture change, then stop\n"
        "\n"
        "2s set HKLM\\SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl DeviceMode dword 2\r\n"
        "  2.5s  SET  HKEY_LOCAL_MACHINE\\SOFTWARE\\X \"Some Name\" sz \"two words\"  # trailing comment\n"
        "1500ms set HKLM\\K Flag dword 0xFFFFFFFF\n"
        "10s control stop\n"
        "11s control 128\n";
    InputError error;
    auto scenario = ParseScenario(text, "scenario.txt", error);
    ASSERT_TRUE(scenario) << error.Text();
    ASSERT_EQ(scenario->events.size(), 5u);

    const ScenarioEvent& set = scenario->events[0];
    EXPECT_EQ(set.line, 3);
    EXPECT_EQ(set.timeMs, 2000);
    EXPECT_EQ(set.kind, ScenarioEvent::Kind::SetValue);
    EXPECT_EQ(set.keyPath, "SYSTEM\\CurrentControlSet\\Services\\KAVRION\\KVControl");
    EXPECT_EQ(set.valueName, "DeviceMode");
    EXPECT_EQ(set.valueType, REG_DWORD);
    EXPECT_EQ(set.dwordValue, 2u);

    const ScenarioEvent& text2 = scenario->events[1];
    EXPECT_EQ(text2.timeMs, 2500);
    EXPECT_EQ(text2.keyPath, "SOFTWARE\\X");
    EXPECT_EQ(text2.valueName, "Some Name");
    EXPECT_EQ(text2.valueType, REG_SZ);
    EXPECT_EQ(text2.textValue, "two words");

    EXPECT_EQ(scenario->events[2].timeMs, 1500);
    EXPECT_EQ(scenario->events[2].dwordValue, 0xFFFFFFFFu);

    EXPECT_EQ(scenario->events[3].kind, ScenarioEvent::Kind::Control);
    EXPECT_EQ(scenario->events[3].control, SERVICE_CONTROL_STOP);
    EXPECT_EQ(scenario->events[3].timeMs, 10000);
    EXPECT_EQ(scenario->events[4].control, 128u);
}

struct BadLine {
    const char* text;
    int line;
    const char* fragment;
};

void PrintTo(const BadLine& bad, std::ostream* out) { *out << bad.fragment; }

class ScenarioParseErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(ScenarioParseErrors, NameFileAndLine) {
    const BadLine& bad = GetParam();
    InputError error;
    EXPECT_FALSE(ParseScenario(bad.text, "nb/scenario.txt", error));
    EXPECT_EQ(error.file, "nb/scenario.txt");
    EXPECT_EQ(error.line, bad.line);
    EXPECT_NE(error.message.find(bad.fragment), std::string::npos) << error.message;
    EXPECT_EQ(error.Text().rfind("nb/scenario.txt:" + std::to_string(bad.line) + ": ", 0), 0u) << error.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScenarioParseErrors,
    ::testing::Values(BadLine{"# ok\n2s sett HKLM\\K V dword 1\n", 2, "unknown verb 'sett'"},
                      BadLine{"two set HKLM\\K V dword 1\n", 1, "is not a time"},
                      BadLine{"2 control stop\n", 1, "is not a time"},
                      BadLine{"2.1234s control stop\n", 1, "is not a time"},
                      BadLine{"-2s control stop\n", 1, "is not a time"},
                      BadLine{"2s\n", 1, "needs a verb"},
                      BadLine{"1s control stop\n2s control halt\n", 2, "unknown control 'halt'"},
                      BadLine{"2s control\n", 1, "expected: <time> control"},
                      BadLine{"2s set HKCU\\K V dword 1\n", 1, "must begin with HKLM"},
                      BadLine{"2s set HKLM\\K V dword\n", 1, "expected: <time> set"},
                      BadLine{"2s set HKLM\\K V dword 4294967296\n", 1, "not a 32-bit number"},
                      BadLine{"2s set HKLM\\K V dword 0x1G\n", 1, "not a 32-bit number"},
                      BadLine{"2s set HKLM\\K V qword 1\n", 1, "unknown value type 'qword'"},
                      BadLine{"2s set HKLM\\K \"V dword 1\n", 1, "double quote is not closed"}));

}  // namespace
