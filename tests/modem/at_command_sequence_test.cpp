// A command sequence sends in order, stops at the first command that fails
// and returns that command's result, logging its line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modem/CAtCommandSequence.h"
#include "modem/CAtExecute.h"
#include "tests/modem/modem_fixture.h"

namespace {

class AtCommandSequenceTest : public kvtest::ModemTest {
protected:
    std::vector<std::string> Sent() {
        std::vector<std::string> sent;
        for (const auto& command : modem().Commands())
            if (command.serviceId == sim::kAtServiceId) sent.push_back(command.bytes);
        return sent;
    }
};

TEST_F(AtCommandSequenceTest, SendsEveryCommandInOrder) {
    CAtCommandSequence sequence;
    sequence.Add("AT+A=1\r\n").Add("AT+B=2\r\n", "B failed").Add("AT+C\r\n");
    EXPECT_EQ(sequence.Size(), 3u);
    EXPECT_EQ(sequence.Send(), 0);
    EXPECT_EQ(sequence.FailedIndex(), -1);
    EXPECT_EQ(Sent(), (std::vector<std::string>{"AT+A=1\r\n\r\n", "AT+B=2\r\n\r\n", "AT+C\r\n\r\n"}));
    EXPECT_FALSE(Logged("B failed"));
}

TEST_F(AtCommandSequenceTest, StopsAtTheFirstFailureWithItsResultAndLine) {
    modem().SetReply("AT+FAIL\r\n\r\n", sim::ModemReply::Error());
    std::string reply;
    int failure = CAtExecute().ExecuteAtCommandRetry(CAtCommandSequence::kRetries, CAtCommandSequence::kDelaySeconds,
                                                     "AT+FAIL\r\n", reply);
    ASSERT_NE(failure, 0);
    std::size_t attempts = Sent().size();
    std::int64_t start = Now();

    struct Case {
        CAtCommandSequence sequence;
        const char* line;
    };
    Case cases[2];
    cases[0].sequence.Add("AT+A\r\n").Add("AT+FAIL\r\n", "Step failed!").Add("AT+C\r\n", "C failed");
    cases[0].line = "Step failed!";
    cases[1].sequence.Add("AT+A\r\n").Add("AT+FAIL\r\n", [](int result) {
        return "Step-retValue=" + std::to_string(result);
    });
    cases[1].line = nullptr;
    for (auto& c : cases) {
        std::size_t before = Sent().size();
        EXPECT_EQ(c.sequence.Send(), failure);
        EXPECT_EQ(c.sequence.FailedIndex(), 1);
        std::vector<std::string> sent = Sent();
        // The first command once, then the failing one as often as the executor tries it.
        EXPECT_EQ(sent.size() - before, 1 + attempts);
        EXPECT_EQ(sent[before], "AT+A\r\n\r\n");
        EXPECT_EQ(sent.back(), "AT+FAIL\r\n\r\n");
    }
    EXPECT_TRUE(Logged("Step failed!"));
    EXPECT_TRUE(Logged("Step-retValue=" + std::to_string(failure)));
    EXPECT_FALSE(Logged("C failed"));
    // Retries sleep on the virtual clock only.
    EXPECT_GT(Now(), start);
}

TEST_F(AtCommandSequenceTest, SendOneKeepsTheReply) {
    modem().SetReply("AT+Q?\r\n\r\n", sim::ModemReply::Text("\r\n+Q: 1, 2\r\n\r\nOK\r\n"));
    std::string reply;
    EXPECT_EQ(CAtCommandSequence::SendOne("AT+Q?\r\n", reply), 0);
    EXPECT_EQ(reply.find(' '), std::string::npos);
    EXPECT_NE(reply.find("+Q:1,2"), std::string::npos);
    EXPECT_EQ(CAtCommandSequence().Send(), 0);
}

}  // namespace
