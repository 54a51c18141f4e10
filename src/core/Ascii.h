// ASCII character classes and case folding. Protocol words, header fields and the program's
// stored texts are 8-bit bytes whose meaning never depends on the user's locale, so these never
// consult it (unlike <cctype>), and bytes from 0x80 up belong to no class and fold to themselves.
#pragma once

#include <string_view>

namespace toppeek::core {

// White space as the C locale has it: space, tab, LF, VT, FF and CR.
constexpr bool isAsciiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Space and tab: the blanks that may fold a header field onto its next line.
constexpr bool isAsciiBlank(char c) {
    return c == ' ' || c == '\t';
}

constexpr bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

constexpr bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The upper-case form of an ASCII letter; every other byte as it is. The unsigned form keeps
// bytes from 0x80 up above the letters when folded bytes are compared or subtracted.
constexpr char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr unsigned char asciiUpper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

// Equal byte for byte once ASCII letters are folded.
constexpr bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiUpper(a[i]) != asciiUpper(b[i]))
            return false;
    return true;
}

} // namespace toppeek::core
