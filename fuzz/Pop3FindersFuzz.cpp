// The reply-end finders see whatever a server sent, cut anywhere.
#include "FuzzSupport.h"

#include "mail/Pop3.h"

#include <climits>
#include <cstring>
#include <memory>

using namespace toppeek::mail;

namespace {

// A reply end found in count bytes must be found again when just the reply has arrived, or one
// byte more where the finder needs to see past a line end: otherwise the reader, which takes
// every byte of an incomplete reply, would already have taken bytes beyond the end.
bool foundAgain(ReplyEndFinder finder, const char* buffer, int count, int end) {
    return finder(buffer, end, 0) == end || (end < count && finder(buffer, end + 1, 0) == end);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > INT_MAX) {
        return 0;
    }
    // An exact-size copy, so that a finder reading one byte too far is caught.
    auto buffer = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size > 0) {
        std::memcpy(buffer.get(), data, size);
    }
    const int count = static_cast<int>(size);

    const int statusEnd = findStatusLineEnd(buffer.get(), count, 0);
    FUZZ_CHECK(statusEnd >= 0 && statusEnd <= count);
    if (statusEnd > 0) {
        FUZZ_CHECK(foundAgain(findStatusLineEnd, buffer.get(), count, statusEnd));
    }

    const int bodyEnd = findTopBodyEnd(buffer.get(), count, 0);
    FUZZ_CHECK(bodyEnd >= 0 && bodyEnd <= count);
    if (bodyEnd > 0) {
        FUZZ_CHECK(foundAgain(findTopBodyEnd, buffer.get(), count, bodyEnd));
    }
    return 0;
}
