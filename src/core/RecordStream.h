// Buffered binary record files: written in one pass from start to end, read
// back in the same order field by field. Little-endian integers,
// length-prefixed texts, signatures and scrambled texts. The readers of the
// stored texts and lists, which must stop where a damaged file ends, are the
// storage folder's (storage/RecordFields.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace toppeek::core {

// A keyed byte transformation that is its own inverse; only the first 120
// bytes of key are used and key must not be empty.
void scrambleBytes(unsigned char* data, int n, std::string_view key);

class RecordStream {
public:
    static constexpr int bufferSize = 10000;

    // For writing the file is created or emptied, with permissions 0600
    // because it may hold passwords; for reading it must exist. Null when
    // the file cannot be opened.
    static std::unique_ptr<RecordStream> open(const std::string& path, bool forWriting);

    // Writes what waits in the buffer (when writing), forces the file's
    // contents to the disk and closes it. True only when every write, the
    // final flush, the sync and the close succeeded, so that a save can tell
    // a complete file from one cut short by a full disk; false for a null
    // stream. Destroying the stream also writes and closes, without a result.
    static bool close(std::unique_ptr<RecordStream> stream);

    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    bool forWriting() const { return forWriting_; }

    // True once a write to the file failed (or was short). Writes are
    // buffered, so a failure shows up at the latest in close().
    bool writeFailed() const { return writeFailed_; }

    // True once a read delivered fewer bytes than asked: the file ended (or
    // failed) inside the fields being read.
    bool endReached() const { return endReached_; }

    // Test seam: from now on the file takes at most bytes more bytes, after
    // which every write fails as on a full disk (the allowed part is still
    // written). Lets tests prove that an interrupted save is detected.
    void failWritesAfter(long bytes);

    // Takes n bytes and returns n (0 on a stream opened for reading). A
    // failing file write is remembered (writeFailed), not reported here.
    int writeBytes(const void* data, int n);
    // Delivers up to n bytes and returns how many (fewer at the end of the
    // file), -1 when the file read fails before any byte; n on a stream
    // opened for writing.
    int readBytes(void* data, int n);

    int writeU16(int v);
    // Sets v only when both bytes arrived; returns the bytes read.
    int readU16(std::uint16_t& v);
    int writeU32(std::uint32_t v);
    int readU32(std::uint32_t& v);

    // Writes a 16-bit length and the bytes; null is stored as the empty text.
    // A text longer than 32767 bytes cannot be stored whole: its first 32767
    // bytes are written (the file stays readable) and the result is false.
    bool writeText(const char* text);
    bool writeText(std::string_view text);

    int writeSignature(std::string_view text);
    // True only when exactly text's bytes follow, byte for byte.
    bool expectSignature(std::string_view text);

    // writeText for a text scrambled with key (scrambleBytes); the caller's text stays as it is.
    bool writeScrambledText(std::string_view text, std::string_view key);

private:
    RecordStream(int fd, bool forWriting);
    void flush();
    void writeToFile(const unsigned char* data, int n);
    int fillBuffer();

    std::unique_ptr<unsigned char[]> buffer_;
    int fill_ = 0;
    int position_ = 0;
    bool forWriting_;
    int fd_;
    bool writeFailed_ = false;
    bool endReached_ = false;
    // Bytes the file still takes before the test seam fails it; -1: no limit.
    long writeAllowance_ = -1;
};

} // namespace toppeek::core
