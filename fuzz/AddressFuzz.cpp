// From and To values: the address tokenizer, the syntax test and the domain of an address.
// The first input byte sets the size of the caller's buffer.
#include "FuzzSupport.h"

#include "messages/Address.h"

#include <algorithm>

using namespace toppeek::messages;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    toppeek::fuzz::InputReader input(data, size);
    const int bufferSize = input.byte();
    const std::string text(input.rest());

    std::size_t position = 0;
    std::string token;
    for (;;) {
        const std::size_t before = position;
        const bool found = nextAddressToken(token, bufferSize, text, position);
        FUZZ_CHECK(position <= text.size());
        if (!found) {
            FUZZ_CHECK(token.empty());
            break;
        }
        FUZZ_CHECK(!token.empty());
        FUZZ_CHECK(static_cast<int>(token.size()) <= bufferSize - 1);
        FUZZ_CHECK(position > before);
    }

    std::string address;
    position = 0;
    if (findFirstAddress(address, bufferSize, text, position)) {
        FUZZ_CHECK(isValidAddress(address));
    }

    const bool valid = isValidAddress(text);
    std::string domain = "left over";
    const std::size_t at = text.find('@');
    if (domainOf(domain, bufferSize, text)) {
        FUZZ_CHECK(at != std::string::npos);
        FUZZ_CHECK(static_cast<int>(domain.size()) <= std::max(bufferSize - 1, 0));
        FUZZ_CHECK(text.compare(at + 1, domain.size(), domain) == 0);
        if (valid && bufferSize > static_cast<int>(text.size())) {
            FUZZ_CHECK(isValidDomain(domain));
        }
    } else {
        FUZZ_CHECK(at == std::string::npos || bufferSize <= 0);
        FUZZ_CHECK(domain.empty());
        FUZZ_CHECK(!valid);
    }
    return 0;
}
