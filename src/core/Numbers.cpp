#include "core/Numbers.h"

#include "core/Ascii.h"

#include <climits>

namespace toppeek::core {

namespace {

struct Digits {
    long value = 0;
    bool overflowed = false;
};

Digits readDigits(std::string_view text) {
    Digits digits;
    for (std::size_t i = 0; i < text.size() && isAsciiDigit(text[i]); ++i) {
        const int digit = text[i] - '0';
        if (digits.value > (LONG_MAX - digit) / 10) {
            digits.value = LONG_MAX;
            digits.overflowed = true;
            break;
        }
        digits.value = digits.value * 10 + digit;
    }
    return digits;
}

} // namespace

long leadingDigitsValue(std::string_view text) {
    return readDigits(text).value;
}

long saturatedNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isAsciiSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const Digits digits = readDigits(text.substr(i));
    if (digits.overflowed)
        return negative ? LONG_MIN : LONG_MAX;
    return negative ? -digits.value : digits.value;
}

} // namespace toppeek::core
