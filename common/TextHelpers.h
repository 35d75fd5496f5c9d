// Small text helpers: letter case and numbers at the start of a text.
#pragma once

#include <climits>
#include <string>

// Lower-cases the letters A to Z; every other byte stays.
std::string ToLowerCopy(std::string text);
// Equal once A to Z are lower-cased.
bool StrEqualNoCase(const std::string& a, const std::string& b);

// How ParseNumber reads a number. The defaults read as strtol does, held within the int range.
struct CNumberRules {
    int base = 10;                        // 2 to 16; 16 passes over an "0x" or "0X" before a digit
    const char* blanks = " \t\n\v\f\r";  // passed over before the sign
    bool plusSign = true;                 // "+" may stand where "-" can
    bool wholeText = false;               // nothing may follow the digits
    long long lowest = INT_MIN;
    long long highest = INT_MAX;
    bool saturate = true;                 // beyond the range: the nearest bound; otherwise no number
};

// The number at the start of `text`: blanks, an optional sign, then digits. False, with `value`
// untouched, when there is no digit or the rules refuse what stands there.
bool ParseNumber(const std::string& text, const CNumberRules& rules, long long& value);
