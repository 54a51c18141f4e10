// Turning the program's 8-bit texts into something a widget can show.
//
// Header values arrive from the server as raw bytes with no charset we
// decode yet. Most are ASCII or UTF-8, the rest mostly Latin-1, so the rule
// is: bytes that form well-formed UTF-8 show as UTF-8, anything else shows
// byte for byte as Latin-1. Nothing is ever replaced by U+FFFD, and a text
// never turns into a mix of both.
#pragma once

#include <QString>

#include <string_view>

// True when bytes are well-formed UTF-8: shortest forms only, no UTF-16
// surrogates, nothing above U+10FFFF. The empty text is valid.
bool isValidUtf8(std::string_view bytes);

// The text to show for bytes. mayBeCut says that the bytes may have been
// cut short at a buffer's end (a bounded copy): a multi-byte sequence left
// incomplete right at the end is then dropped rather than forcing the whole
// text into Latin-1.
QString textFromBytes(std::string_view bytes, bool mayBeCut = false);

// The same for a zero-terminated text; a null pointer is the empty text.
QString textFromBytes(const char* text);
