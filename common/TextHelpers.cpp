#include "common/TextHelpers.h"

#include <algorithm>
#include <string_view>

namespace {

int DigitValue(char c, int base) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'z') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') digit = c - 'A' + 10;
    return digit < base ? digit : -1;
}

}  // namespace

std::string ToLowerCopy(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool StrEqualNoCase(const std::string& a, const std::string& b) { return ToLowerCopy(a) == ToLowerCopy(b); }

bool ParseNumber(const std::string& text, const CNumberRules& rules, long long& value) {
    const std::string_view blanks = rules.blanks ? rules.blanks : "";
    const int base = std::clamp(rules.base, 2, 16);
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && blanks.find(text[i]) != std::string_view::npos) ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || (rules.plusSign && text[i] == '+'))) negative = text[i++] == '-';
    if (base == 16 && i + 2 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        DigitValue(text[i + 2], 16) >= 0)
        i += 2;

    // The magnitude stops just past the largest any long long has (that of its lowest value).
    constexpr unsigned long long kCap = 1ULL << 63;
    const std::size_t first = i;
    unsigned long long magnitude = 0;
    bool beyondCap = false;
    for (int digit; i < n && (digit = DigitValue(text[i], base)) >= 0; ++i) {
        const auto d = static_cast<unsigned long long>(digit);
        if (beyondCap || magnitude > (kCap - d) / static_cast<unsigned long long>(base)) {
            beyondCap = true;
            magnitude = kCap;
        } else {
            magnitude = magnitude * static_cast<unsigned long long>(base) + d;
        }
    }
    if (i == first) return false;
    if (rules.wholeText && i != n) return false;

    const bool beyond = beyondCap || (!negative && magnitude == kCap);
    long long number;
    if (negative)
        number = magnitude >= kCap ? LLONG_MIN : -static_cast<long long>(magnitude);
    else
        number = beyond ? LLONG_MAX : static_cast<long long>(magnitude);
    if (beyond || number < rules.lowest || number > rules.highest) {
        if (!rules.saturate) return false;
        number = std::clamp(number, rules.lowest, rules.highest);
    }
    value = number;
    return true;
}
