// Counts in the program's sentences: "1 message", "3 messages". Every box, status line and report
// that puts a number before a noun goes through here, so that none of them says "1 messages".
#pragma once

#include <string>
#include <string_view>

namespace toppeek::core {

// The noun in the number count needs; plural defaults to noun + "s".
inline std::string nounFor(long count, std::string_view noun, std::string_view plural = {}) {
    if (count == 1 || count == -1)
        return std::string(noun);
    return plural.empty() ? std::string(noun) + "s" : std::string(plural);
}

// The count and its noun: countOf(1, "message") is "1 message", countOf(0, "message") is
// "0 messages".
inline std::string countOf(long count, std::string_view noun, std::string_view plural = {}) {
    return std::to_string(count) + " " + nounFor(count, noun, plural);
}

// The verb that agrees with count: "was"/"were", "is"/"are".
inline std::string_view verbFor(long count, std::string_view singular, std::string_view plural) {
    return count == 1 || count == -1 ? singular : plural;
}

} // namespace toppeek::core
