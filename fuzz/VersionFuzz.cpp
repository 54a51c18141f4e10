// The update check's reply: the version text taken from it and its comparison with the
// program's own version. The input is the reply; its first NUL, if any, also splits it into
// the two versions compared.
#include "FuzzSupport.h"

#include "shell/UpdateFetch.h"

#include <algorithm>
#include <climits>
#include <string>

using namespace toppeek::shell;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > INT_MAX) {
        return 0;
    }
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::string text = versionTextOf(reply.data(), static_cast<int>(reply.size()));
    FUZZ_CHECK(text.size() <= static_cast<std::size_t>(kMaxVersionTextLength));
    FUZZ_CHECK(std::all_of(text.begin(), text.end(),
                           [](char c) { return (c >= '0' && c <= '9') || c == '.'; }));

    toppeek::fuzz::InputReader input(data, size);
    const std::string published(input.untilNul());
    const std::string own(input.rest());
    const int forward = compareVersions(published.c_str(), own.c_str());
    FUZZ_CHECK(forward >= -1 && forward <= 1);
    FUZZ_CHECK(compareVersions(own.c_str(), published.c_str()) == -forward);
    FUZZ_CHECK(compareVersions(published.c_str(), published.c_str()) == 0);
    FUZZ_CHECK(compareVersions(text.c_str(), programVersion()) ==
               -compareVersions(programVersion(), text.c_str()));
    return 0;
}
