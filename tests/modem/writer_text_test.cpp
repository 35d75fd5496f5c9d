// Texts the table writers put into AT commands: what may travel inside one,
// and the OEM table version comparison and record.
#include <gtest/gtest.h>

#include <string>

#include "modem/CAtText.h"
#include "modem/COemTableVersion.h"

namespace {

TEST(AtText, RefusesLineBreaksQuotesAndControlCharacters) {
    struct Case {
        std::string text;
        bool safe;
    };
    const Case cases[] = {
        {"23", true},
        {"", true},
        {"0001.0002.ab", true},
        {"a b", true},
        {std::string("\xe9t\xe9"), true},
        {"23\r\nAT+RESET", false},
        {"23\n", false},
        {"\r", false},
        {"2\"3", false},
        {"\t", false},
        {std::string("a\0b", 3), false},
        {"\x7f", false},
        {"\x1b", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CAtText::IsSafe(c.text), c.safe) << c.text;
    }
    EXPECT_TRUE(CAtText::AreValuesSafe({{"a\nb", "1"}, {"b", "2"}}));
    EXPECT_FALSE(CAtText::AreValuesSafe({{"a", "1"}, {"b", "2\n"}}));
    EXPECT_EQ(CAtText::Upper("boardx_310-\xe9z"), "BOARDX_310-\xe9Z");
    EXPECT_EQ(CAtText::Upper("ab.z-Q1\xe9"), "AB.Z-Q1\xe9");
}

// How a refusal line shows a value: every byte that would break the line or
// hide itself escaped, a long value cut.
TEST(AtText, PrintableValueForTheLog) {
    struct Case {
        std::string value;
        std::string printable;
    };
    const Case cases[] = {
        {"23", "23"},
        {"23\r\nAT+RESET", "23\\r\\nAT+RESET"},
        {"2\"3\t", "2\\\"3\\t"},
        {"a\\b", "a\\\\b"},
        {std::string("\0\x1b\x7f", 3), "\\x00\\x1b\\x7f"},
        {"\xe9t\xe9", "\xe9t\xe9"},
        {std::string(60, '7'), std::string(60, '7')},
        {std::string(61, '7'), std::string(60, '7') + "..."},
    };
    for (const auto& c : cases) EXPECT_EQ(CAtText::Printable(c.value), c.printable) << c.printable;
    // Without a log the checks still answer.
    EXPECT_TRUE(CAtText::IsSafe("f.ini", "K", "1"));
    EXPECT_FALSE(CAtText::IsSafe("f.ini", "K", "1\n"));
    EXPECT_FALSE(CAtText::IsSendable("f.ini", "K", "1", std::string(4096, 'x')));
    EXPECT_TRUE(CAtText::IsSendable("f.ini", "K", "1", std::string(4095, 'x')));
    EXPECT_FALSE(CAtText::Fits("f.ini", std::string(4096, 'x')));
}

TEST(OemTableVersion, ComparesUpperCased) {
    struct Case {
        const char* file;
        const char* modem;
        bool changed;
    };
    const Case cases[] = {
        {"abc.1", "ABC.1", false}, {"ABC.1", "abc.1", false}, {"0001.0002", "0001.0002", false},
        {"0001.0002", "0001.0003", true}, {"", "", false},   {"x", "", true},
        {"\xe9", "\xc9", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(COemTableVersion::IsChanged(c.file, c.modem), c.changed) << c.file << " / " << c.modem;
    }
}

TEST(OemTableVersion, RecordCommand) {
    EXPECT_EQ(COemTableVersion::RecordCommand(1, COemTableVersion::Quote("0001.0002")),
              "At+SETOEMTABLEVER=1,\"0001.0002\"\r\n");
    EXPECT_EQ(COemTableVersion::RecordCommand(3, COemTableVersion::Quote(COemTableVersion::kZeroVersion)),
              "At+SETOEMTABLEVER=3,\"0000.0000.000000.0000.0000.000\"\r\n");
}

}  // namespace
