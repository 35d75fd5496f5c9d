#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "modem/CAtExecute.h"
#include "modem/CMbnDeviceServiceMgr.h"
#include "tests/modem/modem_fixture.h"

namespace {

using kvtest::ModemTest;

class AtExecuteTest : public ModemTest {
protected:
    void TearDown() override {
        CMbnDeviceServiceMgr::GetInstance()->Release();
        ModemTest::TearDown();
    }
    std::vector<std::string> Sent() const {
        std::vector<std::string> sent;
        for (const sim::ModemCommand& command : const_cast<AtExecuteTest*>(this)->modem().Commands())
            if (command.serviceId == sim::kAtServiceId) sent.push_back(command.bytes);
        return sent;
    }
    CAtExecute at;
};

TEST_F(AtExecuteTest, CommandIsSentWithASecondCrLfAndLoggedWithItsReply) {
    modem().SetReply("AT+GTTAS=1,2\r\n\r\n", sim::ModemReply::Text("\r\n+GTTAS: 1, 2\r\n\r\nOK\r\n"));
    std::string reply = "old";
    EXPECT_EQ(at.ExecuteAtCommand("AT+GTTAS=1,2\r\n", reply), 0);
    EXPECT_EQ(reply, "\r\n+GTTAS:1,2\r\n\r\nOK\r\n");
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+GTTAS=1,2\r\n\r\n"}));
    std::string log = Log();
    std::size_t command = log.find(": strCommand:\n");
    ASSERT_NE(command, std::string::npos);
    EXPECT_LT(command, log.find(": response\n"));
}

TEST_F(AtExecuteTest, CommandEndsAtItsFirstZeroByte) {
    std::string reply;
    EXPECT_EQ(at.ExecuteAtCommand(std::string("AT+A?\r\n\0AT+B?", 13), reply), 0);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+A?\r\n\r\n"}));
}

TEST_F(AtExecuteTest, FailedExchangeEmptiesTheReplyAndIsNonZero) {
    modem().SetDefaultReply(sim::ModemReply::Error());
    std::string reply = "old";
    EXPECT_EQ(at.ExecuteAtCommand("AT+X\r\n", reply), CAtExecute::kExchangeFailed);
    EXPECT_EQ(reply, "");
    EXPECT_EQ(CountLogged("strCommand:"), 1u);
    EXPECT_EQ(CountLogged("response"), 1u);
}

struct RetryCase {
    int retries;
    int delay;
    std::size_t attempts;
    std::int64_t sleptMs;
};

TEST_F(AtExecuteTest, RetryMakesRetriesPlusTwoAttemptsAndSleepsAfterEachFailure) {
    modem().RemoveInterfaces();
    const RetryCase cases[] = {
        {3, 3, 5, 15000}, {11, 3, 5, 15000}, {-1, 3, 5, 15000}, {0, 3, 2, 6000},
        {10, 0, 12, 0},   {1, 11, 3, 9000},  {1, -1, 3, 9000},  {2, 10, 4, 40000},
    };
    std::size_t attemptsBefore = 0;
    for (const RetryCase& c : cases) {
        std::int64_t start = Now();
        std::string reply = "old";
        EXPECT_EQ(at.ExecuteAtCommandRetry(c.retries, c.delay, "AT+X\r\n", reply), CAtExecute::kExchangeFailed);
        EXPECT_EQ(reply, "");
        std::size_t attempts = CountLogged("strCommand:");
        EXPECT_EQ(attempts - attemptsBefore, c.attempts) << c.retries << "," << c.delay;
        attemptsBefore = attempts;
        EXPECT_EQ(Now() - start, c.sleptMs) << c.retries << "," << c.delay;
    }
}

TEST_F(AtExecuteTest, RetryStopsAtTheFirstSuccessWithoutSleeping) {
    std::string reply;
    EXPECT_EQ(at.ExecuteAtCommandRetry(3, 3, "AT+X\r\n", reply), 0);
    EXPECT_EQ(reply, "\r\nOK\r\n");
    EXPECT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Now(), 100);  // the channel's own pause before the command
}

TEST_F(AtExecuteTest, RetryAgainstASilentModemSleepsAfterEveryTimeOut) {
    modem().SetDefaultReply(sim::ModemReply::Silence());
    std::string reply;
    EXPECT_EQ(at.ExecuteAtCommandRetry(3, 3, "AT+X\r\n", reply), CAtExecute::kExchangeFailed);
    EXPECT_EQ(Sent().size(), 5u);
}

struct DeviceModeCase {
    const char* name;
    std::function<void(sim::Modem&)> answer;
    const char* posture;
};

TEST_F(AtExecuteTest, DeviceModeNamesThePosture) {
    auto mode = [](int number) { return [number](sim::Modem& m) { m.SetDeviceMode(number, 1, 2); }; };
    const DeviceModeCase cases[] = {
        {"0", mode(0), "Lowest Power"}, {"1", mode(1), "Full Power"}, {"2", mode(2), "Lid close"},
        {"3", mode(3), "Clameshell"},   {"4", mode(4), "flat"},       {"7", mode(7), "tablet"},
        {"8", mode(8), "book"},         {"9", mode(9), "Lowest Power"}, {"-1", mode(-1), "Lowest Power"},
        {"huge", mode(2147483647), "Lowest Power"},
        {"short", [](sim::Modem& m) { m.SetDeviceModeReply(sim::ModemReply::Text("\x05")); }, "Lowest Power"},
        {"none", [](sim::Modem& m) { m.SetDeviceModeReply(sim::ModemReply::Silence()); }, "Lowest Power"},
    };
    for (const DeviceModeCase& c : cases) {
        c.answer(modem());
        std::string posture = "old";
        at.GetDeviceMode(posture);
        EXPECT_EQ(posture, c.posture) << c.name;
    }
}

TEST_F(AtExecuteTest, DeviceModeWithoutAModemIsLowestPower) {
    modem().RemoveInterfaces();
    std::string posture;
    at.GetDeviceMode(posture);
    EXPECT_EQ(posture, "Lowest Power");
}

// One query sender against one modem reply; outputs start as "kept".
struct QueryCase {
    const char* name;
    int query;  // index into the senders below
    sim::ModemReply reply;
    int result;
    const char* first;
    const char* second;
};

void PrintTo(const QueryCase& c, std::ostream* out) { *out << c.name; }

struct Sender {
    const char* command;
    std::function<int(CAtExecute&, std::string&, std::string&)> call;
};

const Sender kSenders[] = {
    {"AT+bodysaron?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryBodySarOn(a); }},
    {"AT+BODYSAR?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryBodySar(a); }},
    {"AT+GTTASCFG?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryTasCfg(a); }},
    {"AT+GTTAS?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryTas(a); }},
    {"AT+gtfdcar?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryFdCar(a); }},
    {"AT+gtlockcar?\r\n", [](CAtExecute& at, std::string& a, std::string& b) { return at.QueryLockCar(a, b); }},
    {"AT+GTTASEN?\r\n", [](CAtExecute& at, std::string& a, std::string&) { return at.QueryTasEnable(a); }},
};
enum { BodySarOn, BodySar, TasCfg, Tas, FdCar, LockCar, TasEnable };

class QuerySender : public AtExecuteTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QuerySender, ChecksTheReplyAndTakesItsValue) {
    const QueryCase& c = GetParam();
    const Sender& sender = kSenders[c.query];
    // Only the sender's own command is answered as the case says.
    modem().SetDefaultReply(sim::ModemReply::Error());
    modem().SetReply(std::string(sender.command) + "\r\n", c.reply);
    std::string first = "kept", second = "kept";
    EXPECT_EQ(sender.call(at, first, second), c.result);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(Sent().size(), 1u);
}

using R = sim::ModemReply;
const int kFailed = CAtExecute::kExchangeFailed;

INSTANTIATE_TEST_SUITE_P(
    Cases, QuerySender,
    ::testing::Values(
        QueryCase{"BodySarOnWhole", BodySarOn, R::Text("\r\n+BODYSARON: 1\r\n\r\nOK\r\n"), 0,
                  "\r\n+BODYSARON:1\r\n\r\nOK\r\n", "kept"},
        QueryCase{"BodySarWhole", BodySar, R::Text("\r\n+BODYSAR: 1,2\r\n\r\nOK\r\n"), 0,
                  "\r\n+BODYSAR:1,2\r\n\r\nOK\r\n", "kept"},
        QueryCase{"BodySarWithoutCapitalK", BodySar, R::Text("\r\n+BODYSAR:1\r\nok\r\n"), 4, "kept", "kept"},
        QueryCase{"BodySarFailedExchangeEmpties", BodySar, R::Error(), kFailed, "", "kept"},
        QueryCase{"TasCfgWhole", TasCfg, R::Text("+GTTASCFG:1\r\nOK"), 0, "+GTTASCFG:1\r\nOK", "kept"},
        QueryCase{"TasWithoutCapitalK", Tas, R::Text("\r\n+GTTAS:1\r\n"), 4, "kept", "kept"},
        QueryCase{"FdCarValueAfterColon", FdCar, R::Text("\r\n+GTFDCAR: 310410\r\n\r\nOK\r\n"), 0, "310410",
                  "kept"},
        QueryCase{"FdCarEmptyValue", FdCar, R::Text("\r\n+GTFDCAR:\r\n\r\nOK\r\n"), 0, "", "kept"},
        QueryCase{"FdCarWithoutOk", FdCar, R::Text("\r\n+GTFDCAR:1\r\n"), 4, "kept", "kept"},
        QueryCase{"FdCarWithoutColon", FdCar, R::Text("\r\n1\r\n\r\nOK\r\n"), 4, "kept", "kept"},
        QueryCase{"FdCarWithoutEndMark", FdCar, R::Text("\r\n+GTFDCAR:1\r\nOK\r\n"), 4, "kept", "kept"},
        QueryCase{"FdCarColonAtTheEnd", FdCar, R::Text("OK+GTFDCAR:"), 4, "kept", "kept"},
        QueryCase{"FdCarEndMarkBeforeColon", FdCar, R::Text("\r\n\r\nOK\r\n+GTFDCAR:1"), 4, "kept", "kept"},
        QueryCase{"FdCarFailedExchange", FdCar, R::Error(), kFailed, "kept", "kept"},
        QueryCase{"LockCarBothValues", LockCar, R::Text("\r\n+GTLOCKCAR: 1, 20\r\n\r\nOK\r\n"), 0, "1", "20"},
        QueryCase{"LockCarSecondToTheEnd", LockCar, R::Text("+GTLOCKCAR:0,5\r\nOK"), 0, "0", "5\r\nOK"},
        QueryCase{"LockCarCommaFirst", LockCar, R::Text(",1\r\n\r\nOK\r\n"), 4, "kept", "kept"},
        QueryCase{"LockCarWithoutComma", LockCar, R::Text("\r\n+GTLOCKCAR:1\r\n\r\nOK\r\n"), 4, "kept", "kept"},
        QueryCase{"LockCarWithoutOk", LockCar, R::Text("\r\n+GTLOCKCAR:1,2\r\n"), 4, "kept", "kept"},
        QueryCase{"LockCarEndMarkBeforeComma", LockCar, R::Text("\r\n\r\nOK\r\n1,2"), 4, "kept", "kept"},
        QueryCase{"LockCarFailedExchange", LockCar, R::Error(), kFailed, "kept", "kept"},
        QueryCase{"TasEnableOneCharacter", TasEnable, R::Text("\r\n+GTTASEN: 1\r\n\r\nOK\r\n"), 0, "1", "kept"},
        QueryCase{"TasEnableWithoutColon", TasEnable, R::Text("\r\nOK\r\n"), 4, "kept", "kept"},
        QueryCase{"TasEnableColonAtTheEnd", TasEnable, R::Text("OK:"), 4, "kept", "kept"},
        QueryCase{"TasEnableWithoutCapitalK", TasEnable, R::Text("\r\n+GTTASEN:1\r\n"), 4, "kept", "kept"},
        QueryCase{"TasEnableFailedExchange", TasEnable, R::Error(), kFailed, "kept", "kept"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AtExecuteFindNthChar, PositionOfTheNthOccurrence) {
    struct Case {
        const char* text;
        int n;
        int position;
    } cases[] = {{"a,b,c", 1, 1}, {"a,b,c", 2, 3}, {"a,b,c", 3, -1}, {"a,b,c", 0, -1},
                 {"a,b,c", -1, -1}, {",,", 2, 1}, {"", 1, -1}};
    CAtExecute at;
    for (const Case& c : cases) EXPECT_EQ(at.FindNthChar(c.text, ',', c.n), c.position) << c.text << " " << c.n;
}

}  // namespace
