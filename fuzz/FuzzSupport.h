// Small helpers shared by the fuzz targets: splitting one input into several arguments, a
// private scratch directory for the file loaders, and a check that reports a broken property
// as a crash so that libFuzzer keeps the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace toppeek::fuzz {

// Consumes the input from the front.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size)
        : text_(reinterpret_cast<const char*>(data), size) {}

    bool empty() const { return text_.empty(); }
    std::size_t size() const { return text_.size(); }

    std::uint8_t byte() {
        if (text_.empty()) {
            return 0;
        }
        auto value = static_cast<std::uint8_t>(text_.front());
        text_.remove_prefix(1);
        return value;
    }

    // Everything up to the first NUL (which is consumed), or the rest when there is none.
    std::string_view untilNul() {
        std::size_t end = text_.find('\0');
        std::string_view part = text_.substr(0, end);
        text_.remove_prefix(end == std::string_view::npos ? text_.size() : end + 1);
        return part;
    }

    std::string_view rest() {
        std::string_view part = text_;
        text_ = {};
        return part;
    }

private:
    std::string_view text_;
};

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
    std::abort();
}

// A scratch directory of this process, removed at exit.
const std::string& scratchDirectory();

// Replaces the file at path with the input; aborts when it cannot, which is no finding.
void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

} // namespace toppeek::fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::toppeek::fuzz::fail(#condition, __FILE__, __LINE__);                                 \
    } while (false)
