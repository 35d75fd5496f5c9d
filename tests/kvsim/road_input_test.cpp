// The notebook input of the main road: registration changes in the scenario, older services.
#include <gtest/gtest.h>

#include <string>

#include "tools/kvsim/scenario.h"
#include "tools/kvsim/services_file.h"

namespace {

using kvsim::InputError;

TEST(RegisterVerb, NamesTheNewProvider) {
    InputError error;
    auto scenario = kvsim::ParseScenario("5s register 20801\n6.5s REGISTER \"\"\n", "scenario.txt", error);
    ASSERT_TRUE(scenario) << error.Text();
    ASSERT_EQ(scenario->events.size(), 2u);
    EXPECT_EQ(scenario->events[0].kind, kvsim::ScenarioEvent::Kind::Register);
    EXPECT_EQ(scenario->events[0].timeMs, 5000);
    EXPECT_EQ(scenario->events[0].providerId, "20801");
    EXPECT_EQ(scenario->events[0].Describe(), "register 20801");
    EXPECT_EQ(scenario->events[1].providerId, "");
}

TEST(RegisterVerb, TakesFiveOrSixDigitsOrNone) {
    InputError error;
    auto scenario = kvsim::ParseScenario("1s register 20801\n2s register 310410\n3s register \"\"\n", "scenario.txt", error);
    ASSERT_TRUE(scenario) << error.Text();
    ASSERT_EQ(scenario->events.size(), 3u);
    EXPECT_EQ(scenario->events[1].providerId, "310410");
}

class RegisterVerbErrors : public ::testing::TestWithParam<const char*> {};

TEST_P(RegisterVerbErrors, NameTheLineAndWhatAProviderIdIs) {
    InputError error;
    EXPECT_FALSE(kvsim::ParseScenario(std::string("1s control interrogate\n5s register ") + GetParam() + "\n",
                                      "scenario.txt", error));
    std::string id = GetParam();
    if (id.front() == '"') id = id.substr(1, id.size() - 2);
    EXPECT_EQ(error.Text(), "scenario.txt:2: '" + id +
                                "' is not a provider ID: 5 or 6 digits, the MCC and the MNC (as 20801), or \"\" for none");
}

INSTANTIATE_TEST_SUITE_P(Cases, RegisterVerbErrors,
                         ::testing::Values("abc", "GERMANY", "2080", "2080123", "3104101234567", "2080x", "-20801",
                                           "\"208 01\"", "\"\xd9\xa3" "20801\""));

TEST(RegisterVerb, NeedsExactlyOneProvider) {
    for (const char* line : {"5s register\n", "5s register 208 01\n"}) {
        InputError error;
        EXPECT_FALSE(kvsim::ParseScenario(line, "scenario.txt", error)) << line;
        EXPECT_EQ(error.Text(), "scenario.txt:1: expected: <time> register <provider id> (MCC and MNC, as 46001)");
    }
}

TEST(ServicesFile, OneServiceALine) {
    const char text[] =
        "# older services\n"
        "\n"
        "\"Kavrion WWAN Config Service\" \"C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe\" stops-after 3\r\n"
        "Other \"C:\\o.exe\" stopped  # comment\n"
        "Third \"C:\\t.exe\" refuses-stop\n"
        "Fourth \"C:\\f.exe\" hangs-stopping\n";
    InputError error;
    auto services = kvsim::ParseServices(text, "services.txt", error);
    ASSERT_TRUE(services) << error.Text();
    ASSERT_EQ(services->size(), 4u);
    EXPECT_EQ((*services)[0].line, 3);
    EXPECT_EQ((*services)[0].name, "Kavrion WWAN Config Service");
    EXPECT_EQ((*services)[0].binaryPath, "C:\\Kavrion\\KvConfigService\\KvWwanConfigService.exe");
    EXPECT_EQ((*services)[0].behaviour, sim::ServiceBehaviour::StopsAfterPolls);
    EXPECT_EQ((*services)[0].pendingPolls, 3);
    EXPECT_EQ((*services)[1].behaviour, sim::ServiceBehaviour::Stopped);
    EXPECT_EQ((*services)[2].behaviour, sim::ServiceBehaviour::RefusesStop);
    EXPECT_EQ((*services)[3].behaviour, sim::ServiceBehaviour::HangsStopping);
}

struct BadLine {
    const char* text;
    std::string message;
};

class ServicesFileErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(ServicesFileErrors, NameTheFileAndLine) {
    InputError error;
    EXPECT_FALSE(kvsim::ParseServices(std::string("# first\n") + GetParam().text, "services.txt", error));
    EXPECT_EQ(error.Text(), std::string("services.txt:2: ") + GetParam().message);
}

const char kUsage[] =
    "expected: \"<service name>\" \"<executable>\" stops-after <n> | stopped | refuses-stop | hangs-stopping";

std::string RelativePath(const char* path) {
    return std::string("the executable '") + path +
           "' is not a full Windows path (a drive letter, a colon and a backslash, as C:\\Kavrion\\x.exe)";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServicesFileErrors,
    ::testing::Values(BadLine{"A \"C:\\a.exe\"\n", kUsage}, BadLine{"\"\" \"C:\\a.exe\" stopped\n", kUsage},
                      BadLine{"A \"C:\\a.exe\" stopped now\n", kUsage},
                      BadLine{"A \"C:\\a.exe\" stops-after\n",
                              "stops-after needs the number of status queries that still show STOP_PENDING"},
                      BadLine{"A \"C:\\a.exe\" stops-after -1\n",
                              "stops-after needs the number of status queries that still show STOP_PENDING"},
                      BadLine{"A \"C:\\a.exe\" stops-after 3 4\n", kUsage},
                      BadLine{"A \"C:\\a.exe\" sleeps\n",
                              "unknown answer to a stop 'sleeps' (known: stops-after <n>, stopped, refuses-stop, "
                              "hangs-stopping)"},
                      BadLine{"\"A C:\\a.exe stopped\n", "a double quote is not closed"},
                      BadLine{"A KvWwanConfigService.exe stopped\n", RelativePath("KvWwanConfigService.exe")},
                      BadLine{"A \"Kavrion\\a.exe\" stopped\n", RelativePath("Kavrion\\a.exe")},
                      BadLine{"A \"\\Kavrion\\a.exe\" stopped\n", RelativePath("\\Kavrion\\a.exe")},
                      BadLine{"A \"C:a.exe\" stopped\n", RelativePath("C:a.exe")},
                      BadLine{"A \"1:\\a.exe\" stopped\n", RelativePath("1:\\a.exe")},
                      BadLine{"A \"C:\\\" stopped\n", RelativePath("C:\\")}));

}  // namespace
