// Bounded formatting of the program's 8-bit texts and their conversion for display.
#pragma once

#include <QString>

#include <cstdarg>
#include <string>
#include <string_view>

namespace toppeek::dialogs {

// printf into a buffer of size bytes (terminator included): at most size - 1 bytes, cut silently.
// cut, when given, tells whether the text was cut.
std::string formatBounded(int size, const char* format, va_list args, bool* cut = nullptr);

// The one way bytes from servers and files become text on screen: utf8FromBytes's rule (well-formed
// UTF-8 as UTF-8, anything else byte for byte as Latin-1), then made safe to show (safeToShow:
// control characters visible, bidirectional overrides neutralised), so that no sender can forge
// what a person reads. When the bytes may have been cut, a multi-byte sequence left incomplete at
// the very end of UTF-8 text is dropped rather than turning the whole text into Latin-1. Header
// values are decoded (decodeHeaderText) before they come here.
//
// displayText keeps line breaks (a box's text, a message); displayLine makes one line of any
// text (a list cell, a tooltip, a name, a title).
QString displayText(std::string_view bytes, bool mayBeCut = false);
QString displayLine(std::string_view bytes, bool mayBeCut = false);
// The same for a zero-terminated text; a null pointer is the empty text.
QString displayText(const char* text);

} // namespace toppeek::dialogs
