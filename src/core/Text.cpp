#include "core/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A missing text reads as the empty text everywhere.
const char* orEmpty(const char* text) {
    return text ? text : "";
}

unsigned char fold(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c;
}

bool isSpace(unsigned char c) {
    return c == ' ' || (c >= 9 && c <= 13);
}

bool isDelimiter(unsigned char c, const char* delimiters) {
    // strchr would also find the terminator, which is never a delimiter.
    return c != 0 && std::strchr(delimiters, c) != nullptr;
}

constexpr int maxPathLength = 260;

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
        const int fx = fold(*x);
        const int fy = fold(*y);
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
        const bool same = caseSensitive ? t[p] == s[m] : fold(t[p]) == fold(s[m]);
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
            if (t[ti] == 0 || fold(t[ti]) != fold(s[k])) {
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
            if (!isSpace(s[i]))
                dst[out++] = static_cast<char>(s[i]);
    } else {
        std::size_t begin = 0;
        if (mode == TrimMode::Start || mode == TrimMode::Both)
            while (begin < length && isSpace(s[begin]))
                ++begin;
        if (mode == TrimMode::End || mode == TrimMode::Both)
            while (length > begin && isSpace(s[length - 1]))
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
    while (s[p] != 0 && (isSpace(s[p]) || isDelimiter(s[p], delimiters)))
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

bool adjustIndex(int& index, int count, int mode, int delta) {
    const int old = index;
    if (count <= 0) {
        index = 0;
    } else {
        const long long last = count - 1;
        const long long clamped = std::clamp<long long>(index, 0, last);
        if (mode == 0)
            index = 0;
        else if (mode == 1)
            index = static_cast<int>(last);
        else
            index = static_cast<int>(std::clamp<long long>(clamped + delta, 0, last));
    }
    return index != old;
}

int dayNumber(int day, int month, int year) {
    if (day == 0 && month == 0 && year == 0)
        return 0;
    // Wide arithmetic: a nonsense year from a mail header must not overflow.
    const long long m = static_cast<long long>(month) + 9;
    const long long y = year + m / 12 + 399;
    const long long r = m % 12;
    const long long result = 365 * y + y / 4 - y / 100 + y / 400 + (153 * r + 2) / 5 + day - 146037;
    return static_cast<int>(result);
}

int weekdayOf(int dayNumber) {
    const long long w = (static_cast<long long>(dayNumber) + 5) % 7;
    return static_cast<int>(w < 0 ? w + 7 : w);
}

int todayNumber() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return 0;
    return dayNumber(local.tm_mday, local.tm_mon + 1, local.tm_year + 1900);
}

namespace {

// The last component of a file name: a data file never lands outside its folder.
std::string_view lastComponent(const char* name) {
    std::string_view file = orEmpty(name);
    const auto slash = file.rfind('/');
    if (slash != std::string_view::npos)
        file.remove_prefix(slash + 1);
    return file;
}

// The executable's folder with its trailing '/', or nothing when it cannot be found.
std::optional<std::string> programFolder() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return std::nullopt;
    const std::string_view exePath(exe, static_cast<std::size_t>(n));
    const auto exeSlash = exePath.rfind('/');
    return std::string(exePath.substr(0, exeSlash == std::string_view::npos ? 0 : exeSlash + 1));
}

// A path cut to fit could name a different file, which a save would then overwrite; a path
// that does not fit gives no path at all.
std::string fitted(std::string path) {
    return path.size() > maxPathLength ? std::string() : path;
}

bool writableFolder(const std::string& folder) {
    return ::access(folder.empty() ? "." : folder.c_str(), W_OK | X_OK) == 0;
}

// Makes folder (and a missing parent) with permissions 0700; one that exists keeps its own.
bool makePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    if (errno == EEXIST)
        return true;
    if (errno != ENOENT)
        return false;
    const auto slash = folder.find_last_of('/', folder.size() - 1);
    if (slash == std::string::npos || slash == 0 || !makePrivateFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::optional<std::string> environmentText(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> homeFolder() {
    if (auto home = environmentText("HOME"))
        return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && *found->pw_dir != '\0')
        return std::string(found->pw_dir);
    return std::nullopt;
}

} // namespace

std::string programFilePath(const char* name) {
    const std::string_view file = lastComponent(name);
    const std::optional<std::string> folder = programFolder();
    if (!folder)
        return std::string(file); // no way to find the program: the current folder
    return fitted(*folder + std::string(file));
}

std::string dataFilePathIn(const char* name, const DataFileSurroundings& surroundings) {
    const std::string file(lastComponent(name));
    const auto writable = surroundings.isWritable ? surroundings.isWritable : writableFolder;
    if (writable(surroundings.programFolder))
        return fitted(surroundings.programFolder + file);

    std::string base;
    // Per the XDG base directory rules, a relative XDG_CONFIG_HOME is ignored.
    if (surroundings.configHome && surroundings.configHome->starts_with('/'))
        base = *surroundings.configHome;
    else if (surroundings.home && !surroundings.home->empty())
        base = *surroundings.home + "/.config";
    else
        return fitted(surroundings.programFolder + file); // nowhere else to go
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    const std::string folder = base + "/toppeek";
    const std::string path = fitted(folder + "/" + file);
    if (!path.empty())
        makePrivateFolder(folder);
    return path;
}

std::string dataFilePath(const char* name) {
    const std::optional<std::string> folder = programFolder();
    if (!folder)
        return std::string(lastComponent(name));
    DataFileSurroundings surroundings;
    surroundings.programFolder = *folder;
    surroundings.configHome = environmentText("XDG_CONFIG_HOME");
    surroundings.home = homeFolder();
    return dataFilePathIn(name, surroundings);
}
