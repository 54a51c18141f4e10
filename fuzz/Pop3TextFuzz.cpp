// The texts the POP3 client takes apart or builds from what a server or a user gave it: the
// greeting's APOP time stamp, reply tokens, the trace of a command line and a host with a port.
#include "FuzzSupport.h"

#include "mail/Pop3.h"

#include <algorithm>

using namespace toppeek::mail;

namespace {

// The stamp as it is meant to be: from the first '<' through the first '>' after it (or the
// end), at most kTimestampLimit characters.
std::optional<std::string> expectedTimestamp(std::string_view greeting) {
    std::size_t open = greeting.find('<');
    if (open == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t close = greeting.find('>', open);
    std::string_view stamp = greeting.substr(
        open, close == std::string_view::npos ? std::string_view::npos : close - open + 1);
    return std::string(stamp.substr(0, kTimestampLimit));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    toppeek::fuzz::InputReader input(data, size);
    const std::string_view greeting = input.untilNul();
    const std::string_view password = input.rest();

    const std::optional<std::string> stamp = apopTimestamp(greeting);
    FUZZ_CHECK(stamp == expectedTimestamp(greeting));
    if (stamp) {
        const std::string digest = apopDigest(*stamp, password);
        FUZZ_CHECK(digest.size() == 32);
        FUZZ_CHECK(std::all_of(digest.begin(), digest.end(), [](char c) {
            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
        }));
    }

    std::size_t position = 0;
    for (int tokens = 0; tokens < 1000; ++tokens) {
        const std::size_t before = position;
        const std::string token = nextReplyToken(greeting, position);
        FUZZ_CHECK(token.size() <= static_cast<std::size_t>(kTokenSize - 1));
        FUZZ_CHECK(position <= greeting.size());
        if (token.empty()) {
            break;
        }
        FUZZ_CHECK(position > before);
    }

    const std::string trace = traceText(greeting);
    FUZZ_CHECK(trace.size() <= kTraceLimit);
    if (greeting.find("PASS") != std::string_view::npos) {
        FUZZ_CHECK(trace == "PASS xxxx");
    }

    if (const auto host = splitHostAndPort(greeting)) {
        FUZZ_CHECK(host->port >= 0 && host->port <= 65535);
    }
    return 0;
}
