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
