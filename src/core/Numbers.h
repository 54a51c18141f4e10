// Decimal numbers read from texts that come from outside: server replies, published version
// texts, what the user typed. None of them may overflow, whatever the text holds.
#pragma once

#include <string_view>

namespace toppeek::core {

// The decimal digits at the very start of text as a number; 0 when there are none. Past
// LONG_MAX it stays at LONG_MAX, which still compares as larger than any smaller number.
long leadingDigitsValue(std::string_view text);

// The number atol reads from the start of text (ASCII white space, an optional sign, decimal
// digits), saturated at LONG_MIN or LONG_MAX instead of overflowing; 0 when no digit follows.
long saturatedNumber(std::string_view text);

} // namespace toppeek::core
