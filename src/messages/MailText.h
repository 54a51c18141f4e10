// Turning mail as it comes from the server into text a person can read: header words encoded
// for 7-bit transport, message bodies in MIME parts and transfer encodings, and 8-bit bytes of no
// declared charset. Everything returned is well-formed UTF-8; the one rule for undeclared 8-bit
// bytes is that well-formed UTF-8 stays UTF-8 and anything else is read byte for byte as
// Latin-1, so a text never becomes a mix of both. Declared charsets are read as Charsets.h says.
//
// The MIME structure is GMime's, HTML is parsed by Gumbo; these functions may be called from any
// thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::messages {

// True when bytes are well-formed UTF-8: shortest forms only, no UTF-16 surrogates, nothing above
// U+10FFFF. The empty text is valid.
bool isValidUtf8(std::string_view bytes);

// bytes as UTF-8 by the rule above. mayBeCut says the bytes may have been cut short at a buffer's
// end: a multi-byte sequence left incomplete right at the end is then dropped rather than forcing
// the whole text into Latin-1 (only when the text shows UTF-8 before the cut: plain ASCII ending
// in a byte like E9 is as likely Latin-1).
std::string utf8FromBytes(std::string_view bytes, bool mayBeCut = false);

// A header value (To, From, Subject, any unstructured field) as it should be shown: encoded words
// of any charset decoded, adjacent encoded words joined, malformed ones left as they are, the rest
// by the 8-bit rule. What the words decode to is kept whole, control characters included: the
// text is for matching and sorting, and safeToShow makes it fit for a person.
std::string decodeHeaderText(std::string_view value);

// What a line break inside a text becomes on screen.
enum class LineBreaks : std::uint8_t {
    AsSpace, // a header value, a list cell, a name: one line, whatever the sender put in it
    Kept,    // a message body or a box's text: line feeds and carriage returns stay
};

// text (UTF-8) made safe to put in front of a person, so that no sender can forge what the reader
// sees: C0 controls other than tab (NUL included) become their visible symbols (U+2400..U+241F,
// DEL U+2421), C1 controls and the bidirectional overrides and isolates (U+202A..U+202E,
// U+2066..U+2069) become U+FFFD, and line breaks (CR LF, CR, LF, U+2028, U+2029) follow breaks.
std::string safeToShow(std::string_view text, LineBreaks breaks);

// A multi-line POP3 reply's lines as the message has them: the terminating "." line left out and
// the dot that stuffed a line starting with "." taken away. Line ends are kept as they came.
std::string replyText(std::string_view reply);

// A header block (as TOP returned it) decoded for reading: one "Name: value" line per field,
// folded lines joined, values decoded as decodeHeaderText does and made safe to show on one line;
// lines end with "\n". Stops at the blank line that ends the block.
std::string decodeHeaderBlock(std::string_view block);

// An HTML text (UTF-8) as plain text, parsed as a browser parses it: tags dropped, scripts,
// styles and the head left out, line breaks where blocks begin and end, character references
// decoded, links shown as "text <url>". Nothing is fetched or run. Linear in the text's length.
std::string plainTextFromHtml(std::string_view html);

// A message viewed from its fetched lines.
struct ReadableMessage {
    // The main header fields decoded, the names of the attachments seen, then the first text
    // part decoded (an HTML-only message as plain text). Lines end with "\n"; made safe to show
    // (line breaks kept in the body only).
    std::string text;
    // Every fetched line, unstuffed and without the terminating line, by the 8-bit rule.
    std::string raw;
    // File names of the parts beside the text, as far as the fetched lines reach.
    std::vector<std::string> attachments;
};

// How the body lines came: the line count asked for, and where the reply buffer cut them.
struct BodyFetch {
    int linesAsked = -1; // -1: not known
    // The offset into the body where the reply buffer dropped bytes (they were let through to
    // find the reply's end): what follows is the reply's last bytes, not what came next.
    std::size_t cutAt = std::string_view::npos;
};

// Reads the message made of headerText (the reply to TOP n 0) and body (the lines after the
// header block of the reply to TOP n lines). A message cut by the line limit decodes as far as it
// goes; one cut by the reply buffer decodes up to the last whole line before the cut and then
// says that the rest was not fetched; with no line asked for, the text says so and where to
// change it. Broken structure is read as a lenient reader reads it: a header without the blank
// line that ends it ends at its first line that is no field, "text" without a subtype is plain
// text, and CR-only or CR CR LF line ends are line ends.
ReadableMessage readableMessage(std::string_view headerText, std::string_view body,
                                const BodyFetch& fetch = {});

} // namespace toppeek::messages
