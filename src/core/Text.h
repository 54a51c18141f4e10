// Operations on zero-terminated 8-bit texts: bounded copies, ASCII-only case
// folding, searches, wildcard matching, trimming, tokens, day numbers.
//
// The bound arithmetic here decides the stored field limits elsewhere in the
// program (a size of 200 keeps 199 characters with copyText, 198 with
// appendText), so these functions keep their exact byte semantics. None of
// them allocates or keeps state.
#pragma once

#include <optional>
#include <string>

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

// Moves a list position after the list changed: mode 0 first row, mode 1
// last row, otherwise index + delta, all clamped into the list. Returns true
// when index changed.
bool adjustIndex(int& index, int count, int mode, int delta);

// A running day count (consecutive days give consecutive numbers); 0 for
// the all-zero date, which stands for "no date".
int dayNumber(int day, int month, int year);

// 0 = Sunday ... 6 = Saturday.
int weekdayOf(int dayNumber);

// dayNumber of today's local date.
int todayNumber();

// The path of the file called name (its last component only) in the
// directory holding the running executable, at most 260 characters. A path
// that would be longer gives the empty text rather than a cut one, which
// could name some other file.
std::string programFilePath(const char* name);

// Where the program keeps its data file called name (its last component only): beside the
// executable (programFilePath) when that folder is writable, as in a build tree or a portable
// copy; otherwise, for an installed program, in the user's configuration folder
// $XDG_CONFIG_HOME/toppeek, else ~/.config/toppeek, created with permissions 0700 when missing
// (a program under /usr/local/bin would otherwise fail every save). Like programFilePath it
// gives the empty text rather than a path longer than 260 characters.
std::string dataFilePath(const char* name);

// What dataFilePath looks at, so that each case can be tried on any machine.
struct DataFileSurroundings {
    std::string programFolder;             // the executable's folder, ending in '/'
    std::optional<std::string> configHome; // $XDG_CONFIG_HOME; used only when absolute
    std::optional<std::string> home;       // the user's home folder
    bool (*isWritable)(const std::string& folder) = nullptr; // null: the file system decides
};
std::string dataFilePathIn(const char* name, const DataFileSurroundings& surroundings);
