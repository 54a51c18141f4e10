// The program never reports running out of memory to the user: it writes
// "ERM" to standard error and ends with status 1. Every allocation goes
// through these functions or through operator new, whose new-handler does
// the same.
#pragma once

#include <cstddef>

namespace toppeek::core {

// Never returns null.
void* allocOrExit(std::size_t size);

// A new copy of text (null is taken as the empty text); release with
// std::free.
char* dupOrExit(const char* text);

// Writes "ERM" to standard error and ends the process with status 1.
[[noreturn]] void exitOutOfMemory();

// Installs the new-handler that makes operator new end the process the same
// way. Called once at start-up; idempotent.
void installOutOfMemoryHandler();

} // namespace toppeek::core
