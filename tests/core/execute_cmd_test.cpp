#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/CStateWork.h"
#include "platform/sync.h"
#include "tests/core/road_fixture.h"

namespace {

using roadtest::RoadTest;

struct ResponseCase {
    const char* name;
    const char* reply;
    bool ok;
};

void PrintTo(const ResponseCase& c, std::ostream* out) { *out << c.name; }

class ResponseTest : public ::testing::TestWithParam<ResponseCase> {};

TEST_P(ResponseTest, EmptyOrErrorInAnyLetterCaseFails) {
    EXPECT_EQ(IsAtResponseOk(GetParam().reply), GetParam().ok);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResponseTest,
    ::testing::Values(ResponseCase{"Empty", "", false}, ResponseCase{"Ok", "\r\nOK\r\n", true},
                      ResponseCase{"ValueAndOk", "\r\n+BODYSAREN:1\r\n\r\nOK\r\n", true},
                      ResponseCase{"ErrorInCapitals", "\r\nERROR\r\n", false},
                      ResponseCase{"MixedCaseInsideALongerAnswer", "\r\n+CME:ErRoR10\r\nOK\r\n", false},
                      ResponseCase{"ZeroIsNoConcernHere", "0", true}),
    [](const auto& info) { return std::string(info.param.name); });

class ExecuteCmdTest : public RoadTest {
protected:
    void SetUp() override {
        RoadTest::SetUp();
        modem().AddInterface();
        work_.InitPath();
    }
    CStateWork work_;
};

struct ExchangeCase {
    const char* name;
    sim::ModemReply reply;
    bool accepted;
    const char* result;  // the reply the caller gets when accepted
};

void PrintTo(const ExchangeCase& c, std::ostream* out) { *out << c.name; }

class Exchange : public ExecuteCmdTest, public ::testing::WithParamInterface<ExchangeCase> {};

TEST_P(Exchange, ReplyComesBackWithoutBlanksOrTheCommandFails) {
    const ExchangeCase& c = GetParam();
    modem().SetReply("AT+bodysaren?\r\n", c.reply);
    std::string reply = "untouched";
    EXPECT_EQ(work_.ExecuteCmd("AT+bodysaren?", reply), c.accepted);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+bodysaren?\r\n"}));
    if (c.accepted) {
        EXPECT_EQ(reply, c.result);
        EXPECT_FALSE(Logged("ExecuteCmd"));
    } else {
        EXPECT_EQ(reply, "untouched");
        EXPECT_TRUE(LoggedAsError("ExecuteCmd"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Exchange,
    ::testing::Values(
        ExchangeCase{"BlanksRemoved", sim::ModemReply::Text("\r\n+BODYSAREN: 1\r\n\r\nOK\r\n"), true,
                     "\r\n+BODYSAREN:1\r\n\r\nOK\r\n"},
        ExchangeCase{"OnlyBlanksAreRemoved", sim::ModemReply::Text(" a\tb c "), true, "a\tbc"},
        ExchangeCase{"Error", sim::ModemReply::Error(), false, ""},
        ExchangeCase{"ErrorInsideAnAnswer", sim::ModemReply::Text("\r\n+CME Error: 3\r\n"), false, ""},
        ExchangeCase{"Empty", sim::ModemReply::Text(""), false, ""},
        ExchangeCase{"OnlyBlanks", sim::ModemReply::Text("   "), false, ""},
        ExchangeCase{"Silence", sim::ModemReply::Silence(), false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExecuteCmdTest, EachCommandWaits100MsAndRunsOnAChannelOfItsOwn) {
    std::string reply;
    EXPECT_EQ(work_.FreeMBIM(), 0);
    ASSERT_TRUE(work_.ExecuteCmd("AT+A?", reply));
    EXPECT_EQ(reply, "\r\nOK\r\n");
    ASSERT_TRUE(work_.ExecuteCmd("AT+B?", reply));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+A?\r\n", "AT+B?\r\n"}));

    std::vector<std::int64_t> times;
    for (const sim::TranscriptEntry& entry : machine().transcript().Entries())
        if (entry.party == "modem") times.push_back(entry.time);
    EXPECT_EQ(times, (std::vector<std::int64_t>{100, 200}));

    EXPECT_EQ(CountLogged("Check MBIM enter"), 2u);
    // The second command freed the first one's channel; the last one stays until freed.
    EXPECT_EQ(CountLogged("FreeMBIM enter."), 1u);
    EXPECT_EQ(work_.FreeMBIM(), 1);
    EXPECT_EQ(work_.FreeMBIM(), 0);
    EXPECT_EQ(CountLogged("FreeMBIM enter."), 2u);
}

TEST_F(ExecuteCmdTest, CommandTextsEndingInCrLfAreSentWithASecondOne) {
    std::string reply;
    ASSERT_TRUE(work_.ExecuteCmd("AT+BODYSAREN=1\r\n", reply));
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+BODYSAREN=1\r\n\r\n"}));
}

TEST_F(ExecuteCmdTest, WithoutAModemInterfaceNothingIsSent) {
    modem().RemoveInterfaces();
    std::string reply = "untouched";
    EXPECT_FALSE(work_.ExecuteCmd("AT+bodysaren?", reply));
    EXPECT_EQ(reply, "untouched");
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(LoggedInOrder({"Check MBIM enter", "FreeMBIM enter.", "MBIM not exist"}));
    EXPECT_FALSE(Logged("ExecuteCmd"));
    // The channel that found no interface is gone already.
    EXPECT_EQ(work_.FreeMBIM(), 0);
}

TEST_F(ExecuteCmdTest, TheLastChannelGoesWithItsOwner) {
    std::size_t before = sim::LiveComObjects();
    {
        CStateWork shortLived;
        std::string reply;
        ASSERT_TRUE(shortLived.ExecuteCmd("AT+A?", reply));
        EXPECT_GT(sim::LiveComObjects(), before);
    }
    machine().clock().Settle();
    EXPECT_EQ(sim::LiveComObjects(), before);
    EXPECT_EQ(sim::LiveBstrs(), 0u);
    EXPECT_EQ(sim::LiveSafeArrays(), 0u);
}

struct MccCase {
    const char* provider;
    const char* mcc;
};

class GetMccTest : public RoadTest, public ::testing::WithParamInterface<MccCase> {};

TEST_P(GetMccTest, FirstThreeCharactersOfTheProviderId) {
    CStateWork work;
    work.SetSimChangeEvent(GetParam().provider, "");
    EXPECT_EQ(work.GetMcc(), GetParam().mcc);
    EXPECT_TRUE(Logged(std::string("mcc:") + GetParam().mcc));
}

INSTANTIATE_TEST_SUITE_P(Cases, GetMccTest,
                         ::testing::Values(MccCase{"46001", "460"}, MccCase{"310410", "310"}, MccCase{"31", "31"},
                                           MccCase{"", ""}));

}  // namespace
