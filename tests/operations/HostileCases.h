// What the hostile-server suites share: the time-out their operations run with, how long one
// may take to return, the switch to their long versions, and scripted exchanges.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace toppeek::test::hostile {

// TOPPEEK_HOSTILE_LONG set to anything but "0" (scripts/hostile.sh) runs the long versions.
inline bool longRun() {
    const char* value = std::getenv("TOPPEEK_HOSTILE_LONG");
    return value != nullptr && *value != '\0' && std::string(value) != "0";
}

inline constexpr std::uint32_t kTimeoutSeconds = 1;
// A wait fails once more than the time-out has passed in whole seconds, so up to one second
// later; the rest is room for a loaded machine running sanitizers.
inline constexpr auto kReturnBound =
    std::chrono::seconds(kTimeoutSeconds + 1) + std::chrono::seconds(3);

// A literal's bytes, NUL bytes included.
template <std::size_t N> std::string bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}

// One command the server waits for (empty for the greeting) and its reply.
struct Exchange {
    std::string command;
    std::string reply;
};
using Script = std::vector<Exchange>;

} // namespace toppeek::test::hostile
