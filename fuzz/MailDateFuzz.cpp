// Date field values as they appear in real and forged mail.
#include "FuzzSupport.h"

#include "messages/MailDate.h"

using namespace toppeek::messages;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    std::size_t position = 0;
    for (;;) {
        const std::size_t before = position;
        const std::string token = nextDateToken(text, position);
        FUZZ_CHECK(token.size() <= static_cast<std::size_t>(maxDateTokenLength));
        FUZZ_CHECK(position <= text.size());
        if (token.empty()) {
            break;
        }
        FUZZ_CHECK(position > before);
    }

    MailDate date;
    if (parseMailDate(text, date)) {
        // Every layout reads a month name and tests the day.
        FUZZ_CHECK(date.month >= 1 && date.month <= 12);
        FUZZ_CHECK(date.day >= 1 && date.day <= 31);
        FUZZ_CHECK(compareMailDate(date, date) == 0);
    }
    return 0;
}
