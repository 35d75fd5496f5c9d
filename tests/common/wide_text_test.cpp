#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/WideText.h"
#include "tests/support/sim_test.h"

namespace {

class WideTextTest : public kvtest::SimTest {};

TEST_F(WideTextTest, AnsiToWideReadsTheAnsiCodePage) {
    struct Case {
        const char* name;
        std::string text;
        WideString wide;
    };
    const std::vector<Case> cases = {
        {"empty", "", u""},
        {"ASCII", "AT+GTTAS=1", u"AT+GTTAS=1"},
        {"Latin-1 letter", "caf\xE9", u"caf\u00E9"},
        {"the code page's own range", "\x80\x9F", u"\u20AC\u0178"},
        {"zeros are text", std::string("a\0b", 3), WideString(u"a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(AnsiToWide(c.text), c.wide) << c.name;
}

TEST_F(WideTextTest, WideToUtf8WritesUtf8) {
    struct Case {
        const char* name;
        WideString wide;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"empty", u"", ""},
        {"ASCII", u"460011", "460011"},
        {"two bytes", u"\u00E9", "\xC3\xA9"},
        {"three bytes", u"\u20AC", "\xE2\x82\xAC"},
        {"a surrogate pair is one character", u"\U0001F600", "\xF0\x9F\x98\x80"},
        {"a lone surrogate becomes the replacement character", WideString(1, WCHAR(0xD800)), "\xEF\xBF\xBD"},
        {"zeros are text", WideString(u"a\0b", 3), std::string("a\0b", 3)},
    };
    for (const Case& c : cases) EXPECT_EQ(WideToUtf8(c.wide), c.text) << c.name;
}

TEST_F(WideTextTest, AnsiThroughWideToUtf8) {
    EXPECT_EQ(WideToUtf8(AnsiToWide("Se\xF1or \x80")), "Se\xC3\xB1or \xE2\x82\xAC");
}

}  // namespace
