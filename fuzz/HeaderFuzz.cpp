// Header blocks as servers send them, and what the program decodes of them for reading (the
// header, the message, its HTML, made safe to show). The first input byte picks the field looked
// up (one of the fields the program reads, or a name taken from the input itself); the rest is
// the block.
#include "FuzzSupport.h"

#include "messages/MailText.h"
#include "messages/MessageEntry.h"

#include <algorithm>
#include <string>

using namespace toppeek::messages;

namespace {

constexpr const char* kNames[] = {"Date", "To", "From", "Subject", "Received", "Cc", "Message-ID"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    toppeek::fuzz::InputReader input(data, size);
    const std::uint8_t choice = input.byte();
    std::string name;
    if (choice % 8 < std::size(kNames)) {
        name = kNames[choice % 8];
    } else {
        name = std::string(input.untilNul());
    }
    const std::string_view text = input.rest();

    std::string value = "left over";
    if (findHeaderField(name.c_str(), text, value)) {
        FUZZ_CHECK(value.size() <= static_cast<std::size_t>(maxHeaderValueLength));
    } else {
        FUZZ_CHECK(value.empty());
    }

    const int bodyStart = findBodyStart(text);
    FUZZ_CHECK(bodyStart >= -1 && bodyStart <= static_cast<int>(text.size()));

    std::unique_ptr<MessageEntry> entry = createMessageEntry(text);
    FUZZ_CHECK(entry != nullptr);
    FUZZ_CHECK(entry->headerText == text);
    // A missing Date field leaves the date all zero; any other gives a real month.
    FUZZ_CHECK(entry->date == MailDate{} || (entry->date.month >= 1 && entry->date.month <= 12));
    destroyMessageEntry(entry.release());

    // What the list, the viewer and View headers show of the same bytes is always UTF-8.
    FUZZ_CHECK(isValidUtf8(decodeHeaderText(value)));
    FUZZ_CHECK(isValidUtf8(decodeHeaderBlock(text)));
    const std::size_t split = bodyStart < 0 ? text.size() : static_cast<std::size_t>(bodyStart);
    const ReadableMessage message = readableMessage(text.substr(0, split), text.substr(split));
    FUZZ_CHECK(isValidUtf8(message.text) && isValidUtf8(message.raw));
    // Cut by the reply buffer anywhere in the body.
    const BodyFetch cutFetch{1, (text.size() - split) / 2};
    FUZZ_CHECK(
        isValidUtf8(readableMessage(text.substr(0, split), text.substr(split), cutFetch).text));

    // Nothing a sender writes reaches a line of its own or a terminal: no control character but
    // tab survives on one line, and the viewer's text has none but tab and line feed.
    const auto obeyed = [](char c, bool lineFeedToo) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && byte != '\t' && !(lineFeedToo && byte == '\n')) || byte == 0x7F;
    };
    const std::string line = safeToShow(decodeHeaderText(value), LineBreaks::AsSpace);
    FUZZ_CHECK(isValidUtf8(line));
    FUZZ_CHECK(std::none_of(line.begin(), line.end(), [&](char c) { return obeyed(c, false); }));
    FUZZ_CHECK(std::none_of(message.text.begin(), message.text.end(),
                            [&](char c) { return obeyed(c, true); }));
    FUZZ_CHECK(isValidUtf8(plainTextFromHtml(text)));
    return 0;
}
