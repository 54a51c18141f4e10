// Files, directories and stored-field bytes for the storage tests.
#pragma once

#include "support/TemporaryFolder.h"

#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace storage_test {

using TempDir = toppeek::test::TemporaryFolder;

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeAll(const std::string& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), bytes.size());
}

inline std::string le16(unsigned v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF)};
}

// A stored text: its 16-bit length, then its bytes.
inline std::string stored(std::string_view text) {
    return le16(static_cast<unsigned>(text.size())) + std::string(text);
}

// Bytes 1..255 repeating, so that cut or shifted texts show.
inline std::string pattern(std::size_t n, int start = 0) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s.push_back(static_cast<char>(1 + (start + i) % 255));
    return s;
}

} // namespace storage_test
