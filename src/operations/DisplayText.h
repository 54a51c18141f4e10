// Bounded formatting of the program's 8-bit texts and their conversion for display.
#pragma once

#include <QString>

#include <cstdarg>
#include <string>
#include <string_view>

namespace toppeek::operations {

// printf into a buffer of size bytes (terminator included): at most size - 1 bytes, cut silently.
std::string formatBounded(int size, const char* format, va_list args);

// How bytes from servers and files are shown: well-formed UTF-8 as UTF-8, anything else byte for
// byte as Latin-1. A sequence left incomplete at the very end (a bounded copy cut it) is dropped
// rather than turning the whole text into Latin-1.
QString displayText(std::string_view bytes);

} // namespace toppeek::operations
