#include "core/Text.h"

#include "core/Ascii.h"

#include <cstring>

namespace toppeek::core {

namespace {

// A missing text reads as the empty text everywhere.
const char* orEmpty(const char* text) {
    return text ? text : "";
}

bool isDelimiter(unsigned char c, const char* delimiters) {
    // strchr would also find the terminator, which is never a delimiter.
    return c != 0 && std::strchr(delimiters, c) != nullptr;
}

} // namespace

int copyText(char* dst, const char* src, int size) {
    src = orEmpty(src);
    // A buffer of size 0 or less has no room even for the terminator, so
    // nothing at all is written into it.
    const int limit = size > 0 ? size - 1 : 0;
    int n = 0;
    while (n < limit && src[n] != 0) {
        if (dst)
            dst[n] = src[n];
        ++n;
    }
    if (dst && size > 0)
        dst[n] = 0;
    return n;
}

int appendText(char* dst, const char* src, int size) {
    if (dst == nullptr)
        return 0;
    src = orEmpty(src);
    int length = static_cast<int>(std::strlen(dst));
    if (size > 0)
        while (length < size - 2 && *src != 0)
            dst[length++] = *src++;
    dst[length] = 0;
    return length;
}

int copyCount(char* dst, const char* src, int n) {
    src = orEmpty(src);
    int copied = 0;
    while (copied < n && src[copied] != 0) {
        if (dst)
            dst[copied] = src[copied];
        ++copied;
    }
    if (dst && n >= 0)
        dst[copied] = 0;
    return copied;
}

int compareNoCase(const char* a, const char* b) {
    const auto* x = reinterpret_cast<const unsigned char*>(orEmpty(a));
    const auto* y = reinterpret_cast<const unsigned char*>(orEmpty(b));
    for (;; ++x, ++y) {
        const int fx = asciiUpper(*x);
        const int fy = asciiUpper(*y);
        if (fx != fy || fx == 0)
            return fx - fy;
    }
}

int findInArray(const char* text, const char* const* array, int count) {
    if (array == nullptr)
        return -1;
    text = orEmpty(text);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(orEmpty(array[i]), text) == 0)
            return i;
    return -1;
}

bool isAllDigits(const char* text) {
    for (const char* p = orEmpty(text); *p != 0; ++p)
        if (*p < '0' || *p > '9')
            return false;
    return true;
}

int findText(const char* text, const char* pattern, bool caseSensitive) {
    text = orEmpty(text);
    pattern = orEmpty(pattern);
    return findTextN(text, static_cast<unsigned>(std::strlen(text)), pattern,
                     static_cast<unsigned>(std::strlen(pattern)), caseSensitive);
}

int findTextN(const char* text, unsigned textLen, const char* pattern, unsigned patternLen,
              bool caseSensitive) {
    if (patternLen == 0)
        return 0;
    if (text == nullptr || pattern == nullptr)
        return -1;
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const auto* s = reinterpret_cast<const unsigned char*>(pattern);
    unsigned p = 0;
    unsigned m = 0;
    while (m < patternLen && p < textLen) {
        const bool same = caseSensitive ? t[p] == s[m] : asciiUpper(t[p]) == asciiUpper(s[m]);
        if (same) {
            ++p;
            ++m;
        } else {
            // Restart one byte behind the start of the failed attempt, so
            // that 'aab' is found in 'aaab'.
            p = p - m + 1;
            m = 0;
        }
    }
    return m == patternLen ? static_cast<int>(p - m) : -1;
}

int findAfter(const char* text, int textLen, const char* pattern, int patternLen) {
    if (textLen < 0 || patternLen < 0)
        return 0;
    const int start = findTextN(text, static_cast<unsigned>(textLen), pattern,
                                static_cast<unsigned>(patternLen), true);
    return start < 0 ? 0 : start + patternLen;
}

bool matchWildcard(const char* text, const char* pattern) {
    text = orEmpty(text);
    pattern = orEmpty(pattern);
    if (*pattern == 0)
        return false;
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const auto* s = reinterpret_cast<const unsigned char*>(pattern);
    std::size_t ti = 0;
    std::size_t k = 0;
    bool matched = true;
    bool running = true;
    while (running && s[k] != 0) {
        if (s[k] == '*') {
            if (s[k + 1] == 0) {
                running = false; // the rest of the text matches
            } else {
                // The literal run behind the star takes its first occurrence;
                // the match never comes back to try a later one.
                std::size_t runLength = 0;
                while (s[k + 1 + runLength] != 0 && s[k + 1 + runLength] != '*' &&
                       s[k + 1 + runLength] != '?')
                    ++runLength;
                const unsigned rest = static_cast<unsigned>(std::strlen(text + ti));
                const int offset = findTextN(text + ti, rest, pattern + k + 1,
                                             static_cast<unsigned>(runLength), false);
                if (offset < 0) {
                    matched = false;
                    running = false;
                } else {
                    ti += static_cast<std::size_t>(offset) + runLength;
                    k += runLength;
                }
            }
        } else if (s[k] == '?') {
            if (t[ti] == 0) {
                matched = false;
                running = false;
            } else {
                ++ti;
            }
        } else {
            if (t[ti] == 0 || asciiUpper(t[ti]) != asciiUpper(s[k])) {
                matched = false;
                running = false;
            } else {
                ++ti;
            }
        }
        ++k;
    }
    if (running)
        matched = matched && t[ti] == 0;
    return matched;
}

void trimText(TrimMode mode, const char* src, char* dst) {
    if (dst == nullptr)
        return;
    if (mode != TrimMode::Start && mode != TrimMode::End && mode != TrimMode::Both &&
        mode != TrimMode::All)
        return;
    const auto* s = reinterpret_cast<const unsigned char*>(orEmpty(src));
    std::size_t length = std::strlen(reinterpret_cast<const char*>(s));
    // Copying forwards is safe when dst is src: the write position never
    // passes the read position.
    std::size_t out = 0;
    if (mode == TrimMode::All) {
        for (std::size_t i = 0; i < length; ++i)
            if (!isAsciiSpace(s[i]))
                dst[out++] = static_cast<char>(s[i]);
    } else {
        std::size_t begin = 0;
        if (mode == TrimMode::Start || mode == TrimMode::Both)
            while (begin < length && isAsciiSpace(s[begin]))
                ++begin;
        if (mode == TrimMode::End || mode == TrimMode::Both)
            while (length > begin && isAsciiSpace(s[length - 1]))
                --length;
        for (std::size_t i = begin; i < length; ++i)
            dst[out++] = static_cast<char>(s[i]);
    }
    dst[out] = 0;
}

void trimInPlace(TrimMode mode, char* text) {
    trimText(mode, text, text);
}

unsigned char nextToken(char* dst, int size, const char* src, int& pos, const char* delimiters) {
    src = orEmpty(src);
    delimiters = orEmpty(delimiters);
    // A buffer of size 0 or less cannot even hold the terminator: the token
    // is then only skipped over in pieces of nothing, and dst stays untouched.
    const int limit = size > 0 ? size - 1 : 0;
    char* out = size > 0 ? dst : nullptr;
    if (out)
        out[0] = 0;
    if (pos < 0)
        pos = 0;
    const auto* s = reinterpret_cast<const unsigned char*>(src);
    int p = pos;
    if (s[p] == 0)
        return 0;
    while (s[p] != 0 && (isAsciiSpace(s[p]) || isDelimiter(s[p], delimiters)))
        ++p;
    const unsigned char first = limit > 0 ? s[p] : 0;
    int n = 0;
    while (n < limit && s[p] != 0 && !isDelimiter(s[p], delimiters)) {
        if (out)
            out[n] = static_cast<char>(s[p]);
        ++n;
        ++p;
    }
    if (out)
        out[n] = 0;
    if (n < limit && isDelimiter(s[p], delimiters))
        ++p;
    pos = p;
    return first;
}

} // namespace toppeek::core
