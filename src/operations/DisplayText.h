// Bounded formatting of the program's 8-bit texts and their conversion for display.
#pragma once

#include <QString>

#include <cstdarg>
#include <string>
#include <string_view>

namespace toppeek::operations {

// printf into a buffer of size bytes (terminator included): at most size - 1 bytes, cut silently.
// cut, when given, tells whether the text was cut.
std::string formatBounded(int size, const char* format, va_list args, bool* cut = nullptr);

// How bytes from servers and files are shown: well-formed UTF-8 as UTF-8, anything else byte for
// byte as Latin-1. When the bytes may have been cut, a multi-byte sequence left incomplete at the
// very end is dropped rather than turning the whole text into Latin-1.
QString displayText(std::string_view bytes, bool mayBeCut = false);

} // namespace toppeek::operations
