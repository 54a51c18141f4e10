#include "core/Text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace toppeek::core;

namespace {

// A buffer whose bytes behind the used part must stay untouched.
struct Guarded {
    char bytes[32];
    Guarded() { std::memset(bytes, '#', sizeof bytes); }
    bool untouchedFrom(int i) const {
        for (int j = i; j < static_cast<int>(sizeof bytes); ++j)
            if (bytes[j] != '#')
                return false;
        return true;
    }
};

TEST(CopyText, KeepsSizeMinusOneCharactersAndNeverWritesOutside) {
    Guarded b;
    EXPECT_EQ(copyText(b.bytes, "abcdef", 5), 4);
    EXPECT_STREQ(b.bytes, "abcd");
    EXPECT_TRUE(b.untouchedFrom(5));

    Guarded one;
    EXPECT_EQ(copyText(one.bytes, "abc", 1), 0);
    EXPECT_STREQ(one.bytes, "");
    EXPECT_TRUE(one.untouchedFrom(1));

    // No room even for the terminator: nothing written at all.
    Guarded none;
    EXPECT_EQ(copyText(none.bytes, "abc", 0), 0);
    EXPECT_EQ(copyText(none.bytes, "abc", -3), 0);
    EXPECT_TRUE(none.untouchedFrom(0));

    Guarded exact;
    EXPECT_EQ(copyText(exact.bytes, "abc", 4), 3);
    EXPECT_STREQ(exact.bytes, "abc");

    EXPECT_EQ(copyText(nullptr, "abcdef", 5), 4);
    EXPECT_EQ(copyText(nullptr, "ab", 100), 2);
    EXPECT_EQ(copyText(exact.bytes, nullptr, 10), 0);
    EXPECT_STREQ(exact.bytes, "");
}

TEST(AppendText, KeepsOneCharacterLessThanCopyText) {
    char b[32] = "abc";
    EXPECT_EQ(appendText(b, "defghijk", 10), 8);
    EXPECT_STREQ(b, "abcdefgh");
    // Already at the bound: nothing more goes in.
    EXPECT_EQ(appendText(b, "x", 10), 8);
    EXPECT_STREQ(b, "abcdefgh");
    EXPECT_EQ(appendText(b, "x", 0), 8);
    EXPECT_EQ(appendText(nullptr, "x", 10), 0);

    char c[32] = "";
    EXPECT_EQ(appendText(c, "abc", 2), 0);
    EXPECT_EQ(appendText(c, "abc", 200), 3);
    EXPECT_STREQ(c, "abc");
}

TEST(CopyCount, CopiesAtMostNCharacters) {
    Guarded b;
    EXPECT_EQ(copyCount(b.bytes, "abcdef", 3), 3);
    EXPECT_STREQ(b.bytes, "abc");
    EXPECT_TRUE(b.untouchedFrom(4));
    EXPECT_EQ(copyCount(b.bytes, "ab", 5), 2);
    EXPECT_STREQ(b.bytes, "ab");
    EXPECT_EQ(copyCount(nullptr, "abcdef", 4), 4);
    Guarded none;
    EXPECT_EQ(copyCount(none.bytes, "abc", -1), 0);
    EXPECT_TRUE(none.untouchedFrom(0));
}

TEST(CompareNoCase, FoldsAsciiLettersOnly) {
    EXPECT_EQ(compareNoCase("ABC", "abc"), 0);
    EXPECT_LT(compareNoCase("ab", "abc"), 0);
    EXPECT_GT(compareNoCase("abc", "ab"), 0);
    EXPECT_EQ(compareNoCase("b", "A"), 'B' - 'A');
    // Bytes above 127 are compared unfolded and as unsigned values.
    EXPECT_NE(compareNoCase("\xE9", "\xC9"), 0);
    EXPECT_GT(compareNoCase("\xE9", "z"), 0);
    // '[' lies between 'Z' and 'a': folding decides where it sorts.
    EXPECT_GT(compareNoCase("[", "a"), 0);
    EXPECT_EQ(compareNoCase(nullptr, ""), 0);
}

TEST(SmallTextChecks, FindInArrayAndIsAllDigits) {
    const char* const names[] = {"From", "to", "To"};
    EXPECT_EQ(findInArray("To", names, 3), 2);
    EXPECT_EQ(findInArray("To", names, 2), -1);
    EXPECT_EQ(findInArray("from", names, 3), -1);

    EXPECT_TRUE(isAllDigits("0123456789"));
    EXPECT_TRUE(isAllDigits(""));
    EXPECT_FALSE(isAllDigits("12a"));
    EXPECT_FALSE(isAllDigits(" 1"));
}

TEST(FindText, ReportsTheFirstOccurrenceAfterRestarts) {
    EXPECT_EQ(findText("Hello", "LL", false), 2);
    EXPECT_EQ(findText("Hello", "LL", true), -1);
    EXPECT_EQ(findText("aaab", "aab", true), 1);
    EXPECT_EQ(findText("abababc", "ababc", true), 2);
    EXPECT_EQ(findText("abc", "", true), 0);
    EXPECT_EQ(findText("", "a", true), -1);
    EXPECT_EQ(findText("ab", "abc", true), -1);
    EXPECT_EQ(findText("x\xE9y", "\xC9", false), -1);
}

TEST(FindText, CountedFormsTreatZeroBytesAsOrdinary) {
    const char text[] = {'a', 0, 'b', 'c', 0, 'b', 'c'};
    const char pattern[] = {0, 'b'};
    EXPECT_EQ(findTextN(text, 7, pattern, 2, true), 1);
    EXPECT_EQ(findTextN(text, 7, "BC", 2, false), 2);
    EXPECT_EQ(findTextN(text, 3, "bc", 2, true), -1);
    EXPECT_EQ(findTextN(text, 7, "zz", 0, true), 0);

    EXPECT_EQ(findAfter("a\r\n\r\nb", 6, "\r\n\r\n", 4), 5);
    EXPECT_EQ(findAfter("a\r\nb", 4, "\r\n\r\n", 4), 0);
}

TEST(MatchWildcard, MatchesWithoutBacktracking) {
    EXPECT_TRUE(matchWildcard("Offer-NOW", "*-now"));
    EXPECT_FALSE(matchWildcard("abc", "*b"));
    EXPECT_TRUE(matchWildcard("", "*"));
    EXPECT_FALSE(matchWildcard("x", ""));
    EXPECT_FALSE(matchWildcard("", ""));
    EXPECT_FALSE(matchWildcard("ac", "a?c"));
    EXPECT_TRUE(matchWildcard("abc", "a?c"));
    EXPECT_TRUE(matchWildcard("ABC", "abc"));
    EXPECT_FALSE(matchWildcard("abcd", "abc"));
    EXPECT_FALSE(matchWildcard("ab", "abc"));
    // The star takes the first 'a'; it never comes back for the last one.
    EXPECT_FALSE(matchWildcard("aXa", "*a"));
    EXPECT_TRUE(matchWildcard("aXa", "*a*"));
    EXPECT_TRUE(matchWildcard("win a prize now", "*prize*"));
    EXPECT_TRUE(matchWildcard("spam@x.example", "*@?.example"));
    // A star directly before '?' or '*' matches nothing.
    EXPECT_TRUE(matchWildcard("ab", "*?b"));
    EXPECT_FALSE(matchWildcard("xab", "*?b"));
    EXPECT_TRUE(matchWildcard("anything", "**"));
    EXPECT_FALSE(matchWildcard("ab", "a?"
                                     "?"));
}

TEST(TrimText, RemovesWhitespaceWhereTheModeSays) {
    char b[32];
    trimText(TrimMode::End, "  a b  ", b);
    EXPECT_STREQ(b, "  a b");
    trimText(TrimMode::Start, "  a b  ", b);
    EXPECT_STREQ(b, "a b  ");
    trimText(TrimMode::Both, "\t\r\n a b \v\f", b);
    EXPECT_STREQ(b, "a b");
    trimText(TrimMode::All, "  a b  ", b);
    EXPECT_STREQ(b, "ab");
    trimText(TrimMode::Both, "   ", b);
    EXPECT_STREQ(b, "");
    trimText(TrimMode::Start, "", b);
    EXPECT_STREQ(b, "");

    // Only space and 9..13 are whitespace.
    trimText(TrimMode::All, "\xA0x\x08", b);
    EXPECT_STREQ(b, "\xA0x\x08");

    char same[] = "  in place  ";
    trimInPlace(TrimMode::Both, same);
    EXPECT_STREQ(same, "in place");

    char untouched[] = "keep";
    trimText(static_cast<TrimMode>(7), "  other  ", untouched);
    EXPECT_STREQ(untouched, "keep");
}

std::vector<std::string> tokens(const char* src, int size, const char* delimiters) {
    std::vector<std::string> result;
    std::vector<char> buffer(static_cast<std::size_t>(std::max(size, 1)));
    int pos = 0;
    for (int guard = 0; guard < 100; ++guard) {
        if (nextToken(buffer.data(), size, src, pos, delimiters) == 0)
            break;
        result.emplace_back(buffer.data());
    }
    return result;
}

TEST(NextToken, SplitsAtDelimitersAndDeliversLongTokensInPieces) {
    EXPECT_EQ(tokens("+OK 3 420\r\n", 100, " \r\n"), (std::vector<std::string>{"+OK", "3", "420"}));
    EXPECT_EQ(tokens("0123456789", 5, " "), (std::vector<std::string>{"0123", "4567", "89"}));
    // Whitespace that is not a delimiter belongs to the token; leading
    // whitespace does not.
    EXPECT_EQ(tokens("  a b,c ,, d", 100, ","), (std::vector<std::string>{"a b", "c ", "d"}));

    char b[8];
    int pos = 0;
    EXPECT_EQ(nextToken(b, sizeof b, "ab cd", pos, " "), 'a');
    EXPECT_EQ(pos, 3); // the one delimiter behind the token is stepped over
    EXPECT_EQ(nextToken(b, sizeof b, "ab cd", pos, " "), 'c');
    EXPECT_EQ(pos, 5);
    EXPECT_EQ(nextToken(b, sizeof b, "ab cd", pos, " "), 0);
    EXPECT_STREQ(b, "");
    EXPECT_EQ(pos, 5);

    // Trailing delimiters only: no token, the position moves past them.
    pos = 0;
    EXPECT_EQ(nextToken(b, sizeof b, " \r\n", pos, "\r\n"), 0);
    EXPECT_EQ(pos, 3);

    // A token that fills the buffer exactly leaves its delimiter for the
    // next call, which skips it as a leading one.
    pos = 0;
    EXPECT_EQ(nextToken(b, 3, "ab cd", pos, " "), 'a');
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(nextToken(b, 3, "ab cd", pos, " "), 'c');

    Guarded g;
    pos = 0;
    EXPECT_EQ(nextToken(g.bytes, 0, "abc", pos, " "), 0);
    EXPECT_TRUE(g.untouchedFrom(0));
}

} // namespace
