// Operations on zero-terminated 8-bit texts: bounded copies, ASCII-only case
// folding, searches, wildcard matching, trimming, tokens.
//
// The bound arithmetic here decides the stored field limits elsewhere in the
// program (a size of 200 keeps 199 characters with copyText, 198 with
// appendText), so these functions keep their exact byte semantics. None of
// them allocates or keeps state.
#pragma once

namespace toppeek::core {

// Where whitespace is removed by trimText.
enum class TrimMode : int { Start = 1, End = 2, Both = 3, All = 4 };

// Copies src into dst, at most size - 1 characters, and terminates dst. A
// size of 0 or less leaves no room even for the terminator: nothing is
// written. dst may be null: nothing is written but the count is still
// computed. Returns the number of characters copied.
int copyText(char* dst, const char* src, int size);

// Appends src behind the text in dst while the result stays below size - 2
// characters; returns the new length, 0 when dst is null.
int appendText(char* dst, const char* src, int size);

// Copies at most n characters of src and terminates dst (dst needs n + 1
// bytes; it may be null). Returns the number of characters copied.
int copyCount(char* dst, const char* src, int n);

// ASCII case-insensitive comparison: 0 when equal, else the difference of
// the folded bytes at the first mismatch (a shorter text sorts first).
int compareNoCase(const char* a, const char* b);

// Index of the first of count texts equal to text byte for byte, or -1.
int findInArray(const char* text, const char* const* array, int count);

// True when every byte is a decimal digit; the empty text counts as digits.
bool isAllDigits(const char* text);

// Index of the first occurrence of pattern in text, or -1. The empty
// pattern is found at 0.
int findText(const char* text, const char* pattern, bool caseSensitive);

// findText over explicit lengths; zero bytes inside are ordinary bytes.
int findTextN(const char* text, unsigned textLen, const char* pattern, unsigned patternLen,
              bool caseSensitive);

// Case-sensitive search returning the index just behind the match, or 0
// when the pattern is absent.
int findAfter(const char* text, int textLen, const char* pattern, int patternLen);

// "*" and "?" wildcard match, ASCII case-insensitive and deliberately
// non-backtracking: each "*" takes the first occurrence of the literal run
// behind it. The empty pattern never matches.
bool matchWildcard(const char* text, const char* pattern);

// Writes src into dst (which may be the same buffer) without the whitespace
// that mode names. A mode outside 1..4 leaves dst untouched.
void trimText(TrimMode mode, const char* src, char* dst);
void trimInPlace(TrimMode mode, char* text);

// Extracts the next token of src from index pos into dst (size bytes),
// skipping leading whitespace and delimiters. Returns the token's first byte,
// 0 when there is none. A token longer than the buffer comes in pieces.
// With size 0 or less dst is left untouched and 0 is returned.
unsigned char nextToken(char* dst, int size, const char* src, int& pos, const char* delimiters);

} // namespace toppeek::core
