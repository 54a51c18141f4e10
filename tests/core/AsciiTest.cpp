#include "core/Ascii.h"

#include <gtest/gtest.h>

using namespace toppeek::core;

namespace {

TEST(Ascii, FoldsAndClassifiesAsciiOnlyWhateverTheBytesSign) {
    EXPECT_TRUE(equalsNoCase("+oK", "+OK"));
    EXPECT_FALSE(equalsNoCase("+OK", "+OK "));
    // Bytes from 0x80 up are nobody's case pair: Latin-1 e-acute is not E-acute here.
    EXPECT_FALSE(equalsNoCase("\xE9", "\xC9"));
    EXPECT_EQ(asciiUpper(static_cast<unsigned char>(0xE9)), 0xE9);
    EXPECT_EQ(asciiUpper('z'), 'Z');
    EXPECT_EQ(asciiUpper('['), '[');

    EXPECT_FALSE(isAsciiSpace('\xA0'));
    EXPECT_FALSE(isAsciiSpace('\x85'));
    EXPECT_TRUE(isAsciiSpace('\v'));
    EXPECT_FALSE(isAsciiBlank('\n'));
    EXPECT_FALSE(isAsciiLetter('\xE9'));
    EXPECT_FALSE(isAsciiLetter('@'));
    EXPECT_FALSE(isAsciiLetter('`'));
}

} // namespace
