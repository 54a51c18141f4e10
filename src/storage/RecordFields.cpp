#include "storage/RecordFields.h"

#include "core/Ascii.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace toppeek::storage {

using core::isAsciiDigit;
using core::isAsciiLetter;
using core::RecordStream;
using core::scrambleBytes;

namespace {

// Consumes n bytes that the caller does not keep; false when the file ends
// first.
bool skipBytes(RecordStream& stream, int n) {
    char scratch[512];
    while (n > 0) {
        const int chunk = std::min(n, static_cast<int>(sizeof scratch));
        if (stream.readBytes(scratch, chunk) != chunk)
            return false;
        n -= chunk;
    }
    return true;
}

// Reads the length and the bytes of a stored text, keeping at most
// size - 1 of them. The length is taken as the 16-bit number it is on disk:
// it tells exactly how many bytes follow, so skipping them keeps the rest
// of a damaged file readable.
std::optional<std::string> readStoredBytes(RecordStream& stream, int size) {
    std::uint16_t stored = 0;
    if (stream.readU16(stored) != 2)
        return std::nullopt;
    const int keep = std::min(static_cast<int>(stored), std::max(size - 1, 0));
    std::string text(static_cast<std::size_t>(keep), '\0');
    if (keep > 0 && stream.readBytes(text.data(), keep) != keep)
        return std::nullopt;
    if (!skipBytes(stream, stored - keep))
        return std::nullopt;
    return text;
}

// Makes a finished rename survive a power cut. Best effort: the new file is
// in place either way, so a failure here does not turn the save into a
// failed one.
void syncDirectoryOf(const std::string& path) {
    std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (dir.empty())
        dir = ".";
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// What mkstemp puts in place of the six X of the template.
bool isTemporarySuffix(std::string_view suffix) {
    return suffix.size() == 6 && std::all_of(suffix.begin(), suffix.end(), [](char c) {
               return isAsciiLetter(c) || isAsciiDigit(c);
           });
}

// A save that was killed or lost its power half-way leaves its temporary file
// behind; without this they would pile up beside the file, each holding a copy
// of the passwords. Only files of this user that have not changed for a while
// go, so that a save running at the same moment in another instance keeps its
// file.
void removeStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    fs::path dir = target.parent_path();
    if (dir.empty())
        dir = ".";
    const std::string prefix = target.filename().string() + ".";
    const ::time_t now = ::time(nullptr);
    std::error_code error;
    for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0 ||
            !isTemporarySuffix(std::string_view(name).substr(prefix.size())))
            continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != ::geteuid() || now - info.st_mtime < staleTemporaryAge)
            continue;
        ::unlink(it->path().c_str());
    }
}

} // namespace

bool readByte(RecordStream& stream, std::uint8_t& value) {
    return stream.readBytes(&value, 1) == 1;
}

bool readInt16(RecordStream& stream, std::int16_t& value) {
    std::uint16_t raw = 0;
    if (stream.readU16(raw) != 2)
        return false;
    value = static_cast<std::int16_t>(raw);
    return true;
}

bool readUint32(RecordStream& stream, std::uint32_t& value) {
    std::uint32_t raw = 0;
    if (stream.readU32(raw) != 4)
        return false;
    value = raw;
    return true;
}

// Texts are zero-terminated in memory everywhere else in the program; a
// zero byte in a damaged file ends the text as it would there.
void cutAtZero(std::optional<std::string>& text) {
    if (text)
        text->resize(std::min(text->size(), text->find('\0')));
}

std::optional<std::string> readText(RecordStream& stream, int size) {
    std::optional<std::string> text = readStoredBytes(stream, size);
    cutAtZero(text);
    return text;
}

std::optional<std::string> readScrambledText(RecordStream& stream, int size, std::string_view key) {
    std::optional<std::string> text = readStoredBytes(stream, size);
    // Scrambling runs from the first byte on with a fresh key, so the kept
    // start of a cut text unscrambles correctly on its own.
    if (text && !text->empty())
        scrambleBytes(reinterpret_cast<unsigned char*>(text->data()),
                      static_cast<int>(text->size()), key);
    cutAtZero(text);
    return text;
}

void writeByte(RecordStream& stream, std::uint8_t value) {
    stream.writeBytes(&value, 1);
}

void writeText(RecordStream& stream, std::string_view text, int maxLength) {
    stream.writeText(text.substr(0, static_cast<std::size_t>(std::max(maxLength, 0))));
}

std::optional<int> readCount(RecordStream& stream) {
    std::int16_t count = 0;
    if (!readInt16(stream, count))
        return std::nullopt;
    return std::max<int>(count, 0);
}

void writeCount(RecordStream& stream, int count) {
    stream.writeU16(std::clamp(count, 0, maxListCount));
}

// Where a file at path really lives: a symbolic link (the user's settings kept elsewhere, in a
// folder of dotfiles, say) is followed to its target, so that saving replaces the target and
// keeps the link; a chain of links is followed as far as it goes, up to a bound against loops.
std::string linkTarget(const std::string& path) {
    namespace fs = std::filesystem;
    fs::path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(current, error)))
            break;
        const fs::path target = fs::read_symlink(current, error);
        if (error)
            break;
        current = target.is_absolute() ? target : current.parent_path() / target;
    }
    return current.string();
}

bool saveReplacing(const std::string& linkedPath,
                   const std::function<void(RecordStream&)>& writeFields) {
    const std::string path = linkTarget(linkedPath);
    removeStaleTemporaries(path);
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::close(fd);

    std::unique_ptr<RecordStream> stream = RecordStream::open(temp, true);
    bool written = false;
    if (stream) {
        writeFields(*stream);
        written = RecordStream::close(std::move(stream));
    }
    if (!written || std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    syncDirectoryOf(path);
    return true;
}

} // namespace toppeek::storage
