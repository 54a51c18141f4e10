#include "FuzzSupport.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include <unistd.h>

namespace toppeek::fuzz {

namespace {

std::string makeScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "toppeek-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    return pattern;
}

void removeScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDirectory(), ignored);
}

} // namespace

const std::string& scratchDirectory() {
    // Never destroyed, so that the exit handler still finds the name.
    static const std::string* directory = [] {
        auto* made = new std::string(makeScratchDirectory());
        std::atexit(removeScratchDirectory);
        return made;
    }();
    return *directory;
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) {
        std::perror("write");
        std::abort();
    }
}

} // namespace toppeek::fuzz
