// Buffered binary record files: written in one pass from start to end, read
// back in the same order field by field. Little-endian integers,
// length-prefixed texts, signatures, scrambled texts and counted lists.
#pragma once

#include "core/GrowArray.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class TextList;

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

    // Writes what waits in the buffer (when writing) and closes the file.
    // Destroying the stream does the same.
    static void close(std::unique_ptr<RecordStream> stream);

    ~RecordStream();
    RecordStream(const RecordStream&) = delete;
    RecordStream& operator=(const RecordStream&) = delete;

    bool forWriting() const { return forWriting_; }

    // Takes n bytes and returns n; write errors are not detected here.
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
    bool writeText(const char* text);
    bool writeText(std::string_view text);
    // Reads a text of at most size - 1 characters. Never fails: a short file
    // or an over-long stored length still gives a text within the limit.
    std::string readText(int size);

    int writeSignature(std::string_view text);
    // True only when exactly text's bytes follow, byte for byte.
    bool expectSignature(std::string_view text);

    bool writeScrambledText(std::string_view text, std::string_view key);
    // None when not even the length arrived; the empty text when the file
    // ends inside the text.
    std::optional<std::string> readScrambledText(int size, std::string_view key);

    // A 16-bit count and the items through the array's writeItem; returns
    // the count written.
    template <class T> int writeList(const GrowArray<T>& array) {
        writeU16(array.count());
        const int n = static_cast<std::int16_t>(array.count() & 0xFFFF);
        for (int i = 0; i < n; ++i)
            array.writeItem(*this, *array.at(i));
        return n < 0 ? 0 : n;
    }

    // Reads a 16-bit count and the items through the array's readItem,
    // inserting them in file order; returns the count read from the file.
    template <class T> int readList(GrowArray<T>& array) {
        std::uint16_t raw = 0;
        if (readU16(raw) != 2)
            return 0;
        const int n = static_cast<std::int16_t>(raw);
        for (int i = 0; i < n; ++i) {
            std::unique_ptr<T> item = array.readItem(*this);
            if (item && array.insertAt(array.count(), item.get()) >= 0)
                item.release();
        }
        return n;
    }

    int writeList(const TextList& list);
    int readList(TextList& list);

private:
    RecordStream(std::FILE* file, bool forWriting);
    void flush();

    std::unique_ptr<unsigned char[]> buffer_;
    int fill_ = 0;
    int position_ = 0;
    bool forWriting_;
    std::FILE* file_;
};
