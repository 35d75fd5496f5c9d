#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "common/TextHelpers.h"

namespace {

TEST(TextHelpers, LowerCaseOnlyAToZ) {
    EXPECT_TRUE(StrEqualNoCase("ABC", "abc"));
    EXPECT_TRUE(StrEqualNoCase("Kv-Cfg_1", "kV-cFG_1"));
    EXPECT_FALSE(StrEqualNoCase("abc", "abcd"));
    EXPECT_FALSE(StrEqualNoCase("\xC4", "\xE4"));  // letters outside A to Z stay as they are
    EXPECT_FALSE(StrEqualNoCase("[", "{"));
    EXPECT_TRUE(StrEqualNoCase("", ""));
    EXPECT_EQ(ToLowerCopy("AZaz@[`{\xC4"), "azaz@[`{\xC4");
}

// The rule sets the system's readers use.
const CNumberRules kStrtolInt{};
const CNumberRules kPosture{.blanks = "", .lowest = -1000000, .highest = 1000000};
const CNumberRules kTableNumber{.blanks = " \t", .lowest = -0x7FFFFFFFLL, .highest = 0x7FFFFFFFLL, .saturate = false};
const CNumberRules kStrtollHex{.base = 16, .lowest = LLONG_MIN, .highest = LLONG_MAX};
const CNumberRules kWholeInt{.blanks = "", .plusSign = false, .wholeText = true, .saturate = false};
const CNumberRules kBinary{.base = 2, .blanks = " \t", .saturate = false};

TEST(TextHelpers, ParseNumberByTheCallersRules) {
    struct Case {
        const char* name;
        const CNumberRules& rules;
        std::string text;
        bool read;
        long long value;  // when read
    };
    const std::vector<Case> cases = {
        {"digits", kStrtolInt, "42", true, 42},
        {"stops at the first other byte", kStrtolInt, "12ab", true, 12},
        {"every C blank, then a sign", kStrtolInt, " \t\n\v\f\r-7", true, -7},
        {"a plus sign", kStrtolInt, "+9", true, 9},
        {"no digit", kStrtolInt, "x1", false, 0},
        {"a sign alone", kStrtolInt, "-", false, 0},
        {"empty", kStrtolInt, "", false, 0},
        {"a blank after the sign ends it", kStrtolInt, "- 1", false, 0},
        {"int upper bound", kStrtolInt, "2147483647", true, INT_MAX},
        {"saturates above", kStrtolInt, "2147483648", true, INT_MAX},
        {"int lower bound", kStrtolInt, "-2147483648", true, INT_MIN},
        {"saturates below", kStrtolInt, "-99999999999999999999999", true, INT_MIN},
        {"no hexadecimal in base 10", kStrtolInt, "0x10", true, 0},

        {"no blanks before a posture", kPosture, " 3", false, 0},
        {"posture saturates", kPosture, "12345678", true, 1000000},
        {"negative posture saturates", kPosture, "-12345678", true, -1000000},

        {"blank and tab only", kTableNumber, " \t5", true, 5},
        {"a line feed is no blank here", kTableNumber, "\n5", false, 0},
        {"too large is no number", kTableNumber, "2147483648", false, 0},
        {"the int's lowest is no number", kTableNumber, "-2147483648", false, 0},
        {"largest", kTableNumber, "-2147483647", true, -2147483647},

        {"hexadecimal", kStrtollHex, "ff", true, 255},
        {"upper case and 0X", kStrtollHex, " 0XAbc", true, 0xABC},
        {"0x without a digit is the 0", kStrtollHex, "0xg", true, 0},
        {"negative", kStrtollHex, "-0x10", true, -16},
        {"64-bit top", kStrtollHex, "7fffffffffffffff", true, LLONG_MAX},
        {"saturates at the 64-bit top", kStrtollHex, "8000000000000000", true, LLONG_MAX},
        {"64-bit bottom", kStrtollHex, "-8000000000000000", true, LLONG_MIN},
        {"saturates at the 64-bit bottom", kStrtollHex, "-ffffffffffffffffff", true, LLONG_MIN},

        {"whole text", kWholeInt, "-12", true, -12},
        {"something after the digits", kWholeInt, "12 ", false, 0},
        {"no plus", kWholeInt, "+12", false, 0},
        {"no blanks", kWholeInt, " 12", false, 0},
        {"int lowest", kWholeInt, "-2147483648", true, INT_MIN},
        {"beyond the int", kWholeInt, "2147483648", false, 0},

        {"binary", kBinary, "+101", true, 5},
        {"binary stops at a 2", kBinary, "1102", true, 6},
        {"no binary digit", kBinary, "2", false, 0},
        {"binary beyond the int", kBinary, "10000000000000000000000000000000", false, 0},
        {"binary int lowest", kBinary, "-10000000000000000000000000000000", true, INT_MIN},
    };
    for (const Case& c : cases) {
        long long value = -123;
        EXPECT_EQ(ParseNumber(c.text, c.rules, value), c.read) << c.name;
        EXPECT_EQ(value, c.read ? c.value : -123) << c.name;
    }
}

}  // namespace
