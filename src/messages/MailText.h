// Turning mail as it comes from the server into text a person can read: header words encoded
// for 7-bit transport, message bodies in MIME parts and transfer encodings, and 8-bit bytes of no
// declared charset. Everything returned is well-formed UTF-8; the one rule for undeclared 8-bit
// bytes is that well-formed UTF-8 stays UTF-8 and anything else is read byte for byte as
// Latin-1, so nothing is ever replaced by U+FFFD and a text never becomes a mix of both.
//
// The MIME work is GMime's; these functions may be called from any thread.
#pragma once

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
// by the 8-bit rule.
std::string decodeHeaderText(std::string_view value);

// A multi-line POP3 reply's lines as the message has them: the terminating "." line left out and
// the dot that stuffed a line starting with "." taken away. Line ends are kept as they came.
std::string replyText(std::string_view reply);

// A header block (as TOP returned it) decoded for reading: one "Name: value" line per field,
// folded lines joined, values decoded as decodeHeaderText does; lines end with "\n". Stops at
// the blank line that ends the block.
std::string decodeHeaderBlock(std::string_view block);

// An HTML text (UTF-8) as plain text: tags dropped, scripts and styles left out, line breaks where
// blocks end, character references decoded. Nothing is fetched or run.
std::string plainTextFromHtml(std::string_view html);

// A message viewed from its fetched lines.
struct ReadableMessage {
    // The main header fields decoded, the names of the attachments seen, then the first text
    // part decoded (an HTML-only message as plain text). Lines end with "\n".
    std::string text;
    // Every fetched line, unstuffed and without the terminating line, by the 8-bit rule.
    std::string raw;
    // File names of the parts beside the text, as far as the fetched lines reach.
    std::vector<std::string> attachments;
};

// Reads the message made of headerText (the reply to TOP n 0) and body (the lines after the
// header block of the reply to TOP n lines). A message cut by the line limit decodes as far as it
// goes.
ReadableMessage readableMessage(std::string_view headerText, std::string_view body);

} // namespace toppeek::messages
