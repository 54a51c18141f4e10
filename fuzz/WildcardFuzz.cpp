// Group patterns typed by the user against From and Subject texts from servers. The input is
// the text, a NUL, then the pattern.
#include "FuzzSupport.h"

#include "core/Text.h"
#include "messages/MessageList.h"

#include <algorithm>
#include <string>

using toppeek::core::matchWildcard;
using toppeek::messages::groupPatternMatches;

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return upper(x) == upper(y); });
}

bool containsNoCase(std::string_view text, std::string_view pattern) {
    return std::search(text.begin(), text.end(), pattern.begin(), pattern.end(),
                       [](char x, char y) { return upper(x) == upper(y); }) != text.end();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    toppeek::fuzz::InputReader input(data, size);
    const std::string text(input.untilNul());
    const std::string pattern(input.untilNul());

    const bool matched = matchWildcard(text.c_str(), pattern.c_str());
    const bool plain = pattern.find_first_of("*?") == std::string::npos;
    if (pattern.empty()) {
        FUZZ_CHECK(!matched);
    } else if (plain) {
        FUZZ_CHECK(matched == equalNoCase(text, pattern));
    } else if (pattern.find_first_not_of('*') == std::string::npos) {
        FUZZ_CHECK(matched);
    }

    const bool grouped = groupPatternMatches(text, pattern);
    FUZZ_CHECK(!groupPatternMatches(std::nullopt, pattern));
    FUZZ_CHECK(!groupPatternMatches(text, std::nullopt));
    if (!pattern.empty() && pattern.find('*') == std::string::npos) {
        if (pattern.find('?') == std::string::npos) {
            FUZZ_CHECK(grouped == containsNoCase(text, pattern));
        }
    } else if (pattern.find('*') != std::string::npos) {
        FUZZ_CHECK(grouped == matched);
    }
    return 0;
}
