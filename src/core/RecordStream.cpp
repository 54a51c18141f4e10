#include "core/RecordStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace toppeek::core {

namespace {

// Texts carry signed 16-bit lengths.
constexpr int maxStoredLength = 32767;

// Requests are served in pieces that always fit the buffer with room to spare.
constexpr int chunkSize = RecordStream::bufferSize - 2;

} // namespace

void scrambleBytes(unsigned char* data, int n, std::string_view key) {
    // An empty key has no bytes to combine with; leave the data alone
    // rather than read outside the key.
    if (key.empty() || data == nullptr)
        return;
    unsigned char k[120];
    const int keyLength = static_cast<int>(std::min<std::size_t>(key.size(), sizeof k));
    std::memcpy(k, key.data(), keyLength);
    int j = 0;
    for (int i = 0; i < n; ++i) {
        data[i] ^= static_cast<unsigned char>((k[0] * j) & 0xFF) ^ k[j];
        k[j] = static_cast<unsigned char>(k[j] + (j < keyLength - 1 ? k[j + 1] : k[0]));
        if (++j == keyLength)
            j = 0;
    }
}

RecordStream::RecordStream(int fd, bool forWriting)
    : buffer_(new unsigned char[bufferSize]), forWriting_(forWriting), fd_(fd) {}

std::unique_ptr<RecordStream> RecordStream::open(const std::string& path, bool forWriting) {
    if (path.empty())
        return nullptr;
    int fd;
    if (forWriting) {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (fd < 0)
            return nullptr;
        // A file left from earlier with wider permissions would go on
        // showing the stored passwords to other users.
        ::fchmod(fd, 0600);
    } else {
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        // Only a regular file is a record file; a directory or a pipe in
        // its place must not make the loader fail oddly or wait forever.
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            ::close(fd);
            return nullptr;
        }
    }
    return std::unique_ptr<RecordStream>(new RecordStream(fd, forWriting));
}

bool RecordStream::close(std::unique_ptr<RecordStream> stream) {
    if (!stream)
        return false;
    bool ok = true;
    if (stream->forWriting_) {
        stream->flush();
        ok = !stream->writeFailed_;
        if (::fsync(stream->fd_) != 0)
            ok = false;
    }
    if (::close(stream->fd_) != 0)
        ok = false;
    stream->fd_ = -1;
    return ok;
}

RecordStream::~RecordStream() {
    if (fd_ < 0)
        return;
    if (forWriting_)
        flush();
    ::close(fd_);
}

void RecordStream::failWritesAfter(long bytes) {
    writeAllowance_ = std::max(bytes, 0L);
}

void RecordStream::writeToFile(const unsigned char* data, int n) {
    // After a failure the file is incomplete anyway; later bytes written
    // behind a gap would only make it look whole.
    if (writeFailed_)
        return;
    if (writeAllowance_ >= 0 && n > writeAllowance_) {
        const int allowed = static_cast<int>(writeAllowance_);
        writeToFile(data, allowed);
        writeAllowance_ = 0;
        writeFailed_ = true;
        return;
    }
    if (writeAllowance_ >= 0)
        writeAllowance_ -= n;
    while (n > 0) {
        const ssize_t written = ::write(fd_, data, static_cast<std::size_t>(n));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            writeFailed_ = true;
            return;
        }
        data += written;
        n -= static_cast<int>(written);
    }
}

void RecordStream::flush() {
    if (position_ > 0 && fd_ >= 0)
        writeToFile(buffer_.get(), position_);
    position_ = 0;
}

int RecordStream::writeBytes(const void* data, int n) {
    if (!forWriting_ || n <= 0 || data == nullptr)
        return 0;
    const auto* bytes = static_cast<const unsigned char*>(data);
    int done = 0;
    while (done < n) {
        const int chunk = std::min(n - done, chunkSize);
        if (position_ + chunk > bufferSize - 1)
            flush();
        std::memcpy(buffer_.get() + position_, bytes + done, chunk);
        position_ += chunk;
        done += chunk;
    }
    return n;
}

// Keeps the unread bytes, moved to the front, and reads the file into the
// rest of the buffer. Returns the bytes now held, -1 when the read failed.
int RecordStream::fillBuffer() {
    const int available = fill_ - position_;
    std::memmove(buffer_.get(), buffer_.get() + position_, available);
    fill_ = available;
    position_ = 0;
    while (fill_ < bufferSize) {
        const ssize_t got = ::read(fd_, buffer_.get() + fill_, bufferSize - fill_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        fill_ += static_cast<int>(got);
    }
    return fill_;
}

int RecordStream::readBytes(void* data, int n) {
    if (forWriting_)
        return n;
    if (n <= 0 || data == nullptr)
        return 0;
    auto* bytes = static_cast<unsigned char*>(data);
    int done = 0;
    while (done < n) {
        int chunk = std::min(n - done, chunkSize);
        if (fill_ - position_ < chunk) {
            if (fillBuffer() < 0) {
                endReached_ = true;
                return done > 0 ? done : -1;
            }
            if (fill_ < chunk) {
                chunk = fill_;
                endReached_ = true;
            }
        }
        std::memcpy(bytes + done, buffer_.get() + position_, chunk);
        position_ += chunk;
        done += chunk;
        if (endReached_ && done < n)
            break;
    }
    return done;
}

int RecordStream::writeU16(int v) {
    const unsigned char bytes[2] = {static_cast<unsigned char>(v & 0xFF),
                                    static_cast<unsigned char>((v >> 8) & 0xFF)};
    return writeBytes(bytes, 2);
}

int RecordStream::readU16(std::uint16_t& v) {
    unsigned char bytes[2];
    const int got = readBytes(bytes, 2);
    if (got == 2 && !forWriting_)
        v = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
    return got;
}

int RecordStream::writeU32(std::uint32_t v) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(v & 0xFF), static_cast<unsigned char>((v >> 8) & 0xFF),
        static_cast<unsigned char>((v >> 16) & 0xFF), static_cast<unsigned char>((v >> 24) & 0xFF)};
    return writeBytes(bytes, 4);
}

int RecordStream::readU32(std::uint32_t& v) {
    unsigned char bytes[4];
    const int got = readBytes(bytes, 4);
    if (got == 4 && !forWriting_)
        v = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
            static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    return got;
}

bool RecordStream::writeText(const char* text) {
    return writeText(text ? std::string_view(text) : std::string_view());
}

bool RecordStream::writeText(std::string_view text) {
    if (!forWriting_)
        return false;
    const int n = static_cast<int>(std::min<std::size_t>(text.size(), maxStoredLength));
    writeU16(n);
    const int taken = n > 0 ? writeBytes(text.data(), n) : 0;
    return taken == n && static_cast<std::size_t>(n) == text.size();
}

int RecordStream::writeSignature(std::string_view text) {
    return writeBytes(text.data(), static_cast<int>(text.size()));
}

bool RecordStream::expectSignature(std::string_view text) {
    if (forWriting_)
        return false;
    std::string got(text.size(), '\0');
    const int n = static_cast<int>(text.size());
    const int arrived = n > 0 ? readBytes(got.data(), n) : 0;
    return arrived == n && got == text;
}

bool RecordStream::writeScrambledText(std::string_view text, std::string_view key) {
    if (!forWriting_)
        return false;
    const int n = static_cast<int>(std::min<std::size_t>(text.size(), maxStoredLength));
    writeU16(n);
    // The caller's text stays as it was: the scrambled bytes are a copy.
    std::string scrambled(text.substr(0, static_cast<std::size_t>(n)));
    scrambleBytes(reinterpret_cast<unsigned char*>(scrambled.data()), n, key);
    const int taken = n > 0 ? writeBytes(scrambled.data(), n) : 0;
    return taken == n && static_cast<std::size_t>(n) == text.size();
}

} // namespace toppeek::core
