// Text in the charsets mail declares, read as mail readers read it today: a label names the
// encoding the WHATWG Encoding Standard gives it (so "iso-8859-1", "latin1" and "us-ascii" read as
// windows-1252, which is what such mail is mostly written in), with the registered names mail
// also uses that the standard leaves out (UTF-7, the Mac code pages by their IANA names). Bytes
// that do not decode become U+FFFD one sequence at a time; the rest of the text is kept.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace toppeek::messages {

// The name iconv knows the encoding of label by, "UTF-8" for UTF-8 (which is decoded here), or
// nothing when label names no encoding a mail reader knows. Letter case and surrounding blanks
// do not matter.
std::optional<std::string> encodingForLabel(std::string_view label);

// bytes in the charset label names, as UTF-8; nothing when the label is unknown (neither a label
// above nor a name iconv knows). mayBeCut says the bytes may end inside a character, which is
// then dropped rather than replaced.
std::optional<std::string> decodeCharset(std::string_view bytes, std::string_view label,
                                         bool mayBeCut = false);

// UTF-8 that may be malformed, with each ill-formed sequence (its maximal part, as the Encoding
// Standard says) replaced by U+FFFD.
std::string utf8WithReplacement(std::string_view bytes, bool mayBeCut = false);

} // namespace toppeek::messages
