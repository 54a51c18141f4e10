#include "core/RecordStream.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using toppeek::core::RecordStream;
using toppeek::core::scrambleBytes;

namespace {

using Bytes = std::vector<unsigned char>;

class RecordStreamTest : public ::testing::Test {
protected:
    std::string path(const char* name = "file.dat") const { return (dir_ / name).string(); }

    Bytes contents(const std::string& file) const {
        std::ifstream in(file, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    void store(const std::string& file, const Bytes& bytes) const {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    // Writes with fill and returns the bytes of the closed file.
    template <class Fill> Bytes written(Fill fill) const {
        auto stream = RecordStream::open(path(), true);
        EXPECT_NE(stream, nullptr);
        fill(*stream);
        EXPECT_TRUE(RecordStream::close(std::move(stream)));
        return contents(path());
    }

    std::unique_ptr<RecordStream> reading(const Bytes& bytes) const {
        store(path(), bytes);
        return RecordStream::open(path(), false);
    }

    toppeek::test::TemporaryFolder folder_{"core-record"};
    const std::filesystem::path& dir_ = folder_.path();
};

// A stored text taken back apart: its 16-bit length, then that many bytes.
std::string storedText(RecordStream& in) {
    std::uint16_t length = 0;
    if (in.readU16(length) != 2)
        return "<no length>";
    std::string text(length, '\0');
    if (length > 0 && in.readBytes(text.data(), length) != length)
        return "<cut>";
    return text;
}

TEST_F(RecordStreamTest, FieldsAreStoredLittleEndianWithLengthPrefixedTexts) {
    EXPECT_EQ(written([](RecordStream& s) { s.writeU16(0x1234); }), (Bytes{0x34, 0x12}));
    EXPECT_EQ(written([](RecordStream& s) { s.writeU16(0x71234); }), (Bytes{0x34, 0x12}));
    EXPECT_EQ(written([](RecordStream& s) { s.writeU32(0x12345678); }),
              (Bytes{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(written([](RecordStream& s) { EXPECT_TRUE(s.writeText("abc")); }),
              (Bytes{0x03, 0x00, 'a', 'b', 'c'}));
    EXPECT_EQ(written([](RecordStream& s) { EXPECT_TRUE(s.writeText("")); }), (Bytes{0, 0}));
    EXPECT_EQ(written([](RecordStream& s) { EXPECT_TRUE(s.writeText(nullptr)); }), (Bytes{0, 0}));
    EXPECT_EQ(written([](RecordStream& s) {
                  s.writeSignature("\x1A"
                                   "AB");
              }),
              (Bytes{0x1A, 'A', 'B'}));
}

TEST_F(RecordStreamTest, FieldsReadBackInOrder) {
    written([](RecordStream& s) {
        s.writeSignature("SIG");
        s.writeU16(0xBEEF);
        s.writeU32(0xCAFEF00D);
        s.writeText(std::string(150, 'x'));
        s.writeText("tail");
    });
    auto in = RecordStream::open(path(), false);
    ASSERT_NE(in, nullptr);
    EXPECT_TRUE(in->expectSignature("SIG"));
    std::uint16_t v16 = 0;
    EXPECT_EQ(in->readU16(v16), 2);
    EXPECT_EQ(v16, 0xBEEF);
    std::uint32_t v32 = 0;
    EXPECT_EQ(in->readU32(v32), 4);
    EXPECT_EQ(v32, 0xCAFEF00Du);
    EXPECT_EQ(storedText(*in), std::string(150, 'x'));
    EXPECT_EQ(storedText(*in), "tail");
    EXPECT_FALSE(in->endReached());
    // At the end a 16-bit read leaves its target alone.
    v16 = 7;
    EXPECT_EQ(in->readU16(v16), 0);
    EXPECT_EQ(v16, 7);
    EXPECT_TRUE(in->endReached());
    EXPECT_TRUE(RecordStream::close(std::move(in)));
}

TEST_F(RecordStreamTest, SignatureMustMatchByteForByte) {
    EXPECT_FALSE(reading({'S', 'I'})->expectSignature("SIG"));
    EXPECT_FALSE(reading({'s', 'i', 'g'})->expectSignature("SIG"));
    EXPECT_TRUE(reading({'S', 'I', 'G', 'x'})->expectSignature("SIG"));
}

TEST_F(RecordStreamTest, OneLargeWriteEqualsManySmallOnes) {
    Bytes data(25000);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<unsigned char>(i * 7 + i / 251);
    const Bytes whole = written([&](RecordStream& s) {
        EXPECT_EQ(s.writeBytes(data.data(), static_cast<int>(data.size())), 25000);
    });
    const Bytes pieces = written([&](RecordStream& s) {
        std::size_t done = 0;
        for (int step = 1; done < data.size(); step = step % 97 + 1) {
            const int n = static_cast<int>(std::min<std::size_t>(step, data.size() - done));
            s.writeBytes(data.data() + done, n);
            done += static_cast<std::size_t>(n);
        }
    });
    EXPECT_EQ(whole, data);
    EXPECT_EQ(pieces, data);

    // Read back across the buffer boundaries, both in one call and in pieces.
    auto in = RecordStream::open(path(), false);
    Bytes back(25000);
    EXPECT_EQ(in->readBytes(back.data(), 12345), 12345);
    EXPECT_EQ(in->readBytes(back.data() + 12345, 20000), 25000 - 12345);
    EXPECT_EQ(back, data);
    EXPECT_TRUE(in->endReached());
}

TEST_F(RecordStreamTest, ReadingAndWritingDirectionsStayApart) {
    auto out = RecordStream::open(path(), true);
    unsigned char byte = 0x55;
    EXPECT_EQ(out->readBytes(&byte, 1), 1);
    EXPECT_EQ(byte, 0x55);
    RecordStream::close(std::move(out));

    auto in = RecordStream::open(path(), false);
    EXPECT_EQ(in->writeBytes("x", 1), 0);
    EXPECT_FALSE(in->writeText("abc"));
}

TEST_F(RecordStreamTest, OpenRefusesWhatIsNotARecordFile) {
    EXPECT_EQ(RecordStream::open(path("missing"), false), nullptr);
    EXPECT_EQ(RecordStream::open(dir_.string(), false), nullptr);
    EXPECT_EQ(RecordStream::open((dir_ / "no" / "such").string(), true), nullptr);
    EXPECT_EQ(RecordStream::open("", true), nullptr);
    EXPECT_FALSE(RecordStream::close(nullptr));
}

TEST_F(RecordStreamTest, WrittenFilesAreForTheUserOnly) {
    store(path(), {1, 2, 3});
    ::chmod(path().c_str(), 0644);
    written([](RecordStream& s) { s.writeText("password"); });
    struct stat info;
    ASSERT_EQ(::stat(path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(RecordStreamTest, ATextTooLongForItsLengthIsStoredCutAndTheFileStaysInStep) {
    const std::string huge(40000, 'h');
    written([&](RecordStream& s) {
        EXPECT_FALSE(s.writeText(huge));
        s.writeText("after");
    });
    auto in = RecordStream::open(path(), false);
    EXPECT_EQ(storedText(*in), std::string(32767, 'h'));
    EXPECT_EQ(storedText(*in), "after");
}

TEST_F(RecordStreamTest, ScrambledTextsRoundTripAndDependOnPosition) {
    const std::string key = "a key of the program's own";
    const std::string secret = "aaaaaaaa secret \xE9\xFF";
    std::string copy = secret;
    const Bytes bytes = written([&](RecordStream& s) {
        EXPECT_TRUE(s.writeScrambledText(copy, key));
        s.writeText("after");
    });
    EXPECT_EQ(copy, secret);
    ASSERT_EQ(bytes.size(), 2 + secret.size() + 2 + 5);
    EXPECT_EQ(bytes[0], secret.size());
    EXPECT_EQ(bytes[1], 0);
    // The same character at different positions is scrambled differently,
    // and never stored as itself throughout.
    EXPECT_NE(bytes[2], bytes[3]);
    EXPECT_NE(Bytes(bytes.begin() + 2, bytes.begin() + 2 + 8), Bytes(8, 'a'));

    std::string unscrambled(bytes.begin() + 2, bytes.begin() + 2 + secret.size());
    scrambleBytes(reinterpret_cast<unsigned char*>(unscrambled.data()),
                  static_cast<int>(unscrambled.size()), key);
    EXPECT_EQ(unscrambled, secret);
}

TEST_F(RecordStreamTest, ScrambleIsItsOwnInverseAndUsesOnly120KeyBytes) {
    unsigned char data[300];
    for (int i = 0; i < 300; ++i)
        data[i] = static_cast<unsigned char>(i);
    unsigned char original[300];
    std::copy(std::begin(data), std::end(data), original);

    const std::string key(120, 'k');
    scrambleBytes(data, 300, key);
    EXPECT_FALSE(std::equal(std::begin(data), std::end(data), original));
    unsigned char longKeyResult[300];
    std::copy(std::begin(original), std::end(original), longKeyResult);
    scrambleBytes(longKeyResult, 300, key + "ignored");
    EXPECT_TRUE(std::equal(std::begin(data), std::end(data), longKeyResult));
    scrambleBytes(data, 300, key);
    EXPECT_TRUE(std::equal(std::begin(data), std::end(data), original));

    // Worked by hand: key "AB" (65, 66) over three zero bytes.
    // i=0: 0 ^ (65*0) ^ 65 = 65, K[0] = 65+66 = 131
    // i=1: 0 ^ (131*1) ^ 66 = 131^66 = 193, K[1] = 66+131 = 197
    // i=2: 0 ^ (131*0) ^ 131 = 131
    unsigned char zeros[3] = {0, 0, 0};
    scrambleBytes(zeros, 3, "AB");
    EXPECT_EQ(zeros[0], 65);
    EXPECT_EQ(zeros[1], 193);
    EXPECT_EQ(zeros[2], 131);
}

TEST_F(RecordStreamTest, CloseReportsASaveThatDidNotReachTheDisk) {
    auto ok = RecordStream::open(path(), true);
    ok->writeText("complete");
    EXPECT_FALSE(ok->writeFailed());
    EXPECT_TRUE(RecordStream::close(std::move(ok)));

    // The disk fills after 5 bytes: the rest is lost and close says so.
    auto full = RecordStream::open(path(), true);
    full->failWritesAfter(5);
    EXPECT_EQ(full->writeBytes("0123456789", 10), 10);
    EXPECT_FALSE(full->writeFailed()); // still in the buffer
    EXPECT_FALSE(RecordStream::close(std::move(full)));
    EXPECT_EQ(contents(path()), (Bytes{'0', '1', '2', '3', '4'}));

    // A failure while the buffer is flushed mid-way is remembered.
    auto midway = RecordStream::open(path(), true);
    midway->failWritesAfter(0);
    const Bytes big(20000, 'z');
    midway->writeBytes(big.data(), 20000);
    EXPECT_TRUE(midway->writeFailed());
    EXPECT_FALSE(RecordStream::close(std::move(midway)));

    // A limit that is never reached fails nothing.
    auto roomy = RecordStream::open(path(), true);
    roomy->failWritesAfter(1000);
    roomy->writeText("fits");
    EXPECT_TRUE(RecordStream::close(std::move(roomy)));
    EXPECT_EQ(contents(path()), (Bytes{4, 0, 'f', 'i', 't', 's'}));
}

TEST_F(RecordStreamTest, DestroyingAWritingStreamStillWritesItsBuffer) {
    {
        auto stream = RecordStream::open(path(), true);
        stream->writeText("kept");
    }
    EXPECT_EQ(contents(path()), (Bytes{4, 0, 'k', 'e', 'p', 't'}));
}

} // namespace
