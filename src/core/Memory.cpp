#include "core/Memory.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

namespace toppeek::core {

void* allocOrExit(std::size_t size) {
    // malloc(0) may legally return null; a one-byte block keeps the promise
    // of never returning null.
    void* block = std::malloc(size > 0 ? size : 1);
    if (block == nullptr)
        exitOutOfMemory();
    return block;
}

char* dupOrExit(const char* text) {
    if (text == nullptr)
        text = "";
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(allocOrExit(n));
    std::memcpy(copy, text, n);
    return copy;
}

void exitOutOfMemory() {
    // No stdio and no clean-up: both may need memory that is not there.
    static const char message[] = "ERM";
    [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, message, sizeof message - 1);
    std::_Exit(1);
}

void installOutOfMemoryHandler() {
    std::set_new_handler([] { exitOutOfMemory(); });
}

} // namespace toppeek::core
