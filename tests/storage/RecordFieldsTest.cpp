// The field readers every data file is loaded through: texts come back cut to their limit with
// the next field still in step, and a file that ends inside a field gives no field at all, so
// that a loader stops there instead of taking fragments for data.

#include "storage/RecordFields.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

using toppeek::core::RecordStream;
using namespace toppeek::storage;

namespace {

using namespace storage_test;

class RecordFieldsTest : public testing::Test {
protected:
    std::unique_ptr<RecordStream> reading(std::string_view bytes) {
        writeAll(file, bytes);
        return RecordStream::open(file, false);
    }
    template <class Fill> std::unique_ptr<RecordStream> writtenThenRead(Fill fill) {
        auto out = RecordStream::open(file, true);
        fill(*out);
        EXPECT_TRUE(RecordStream::close(std::move(out)));
        return RecordStream::open(file, false);
    }

    TempDir dir;
    std::string file = dir.file("fields.dat");
};

TEST_F(RecordFieldsTest, TextsComeBackCutToTheirLimitAndInStep) {
    auto in = writtenThenRead([](RecordStream& s) {
        s.writeText("abcdefghij");
        s.writeText("next");
        s.writeText(std::string(40000, 'h')); // stored as its first 32767 bytes
        s.writeText("after");
    });
    EXPECT_EQ(readText(*in, 5), "abcd");
    EXPECT_EQ(readText(*in, 5), "next");
    EXPECT_EQ(readText(*in, 32768), std::string(32767, 'h'));
    EXPECT_EQ(readText(*in, 100), "after");
    // At the end not even the length arrives.
    EXPECT_EQ(readText(*in, 100), std::nullopt);

    // A zero byte ends the text; the bytes behind it are still skipped.
    in = reading(stored(std::string("a\0b", 3)) + stored("next"));
    EXPECT_EQ(readText(*in, 100), "a");
    EXPECT_EQ(readText(*in, 100), "next");
}

TEST_F(RecordFieldsTest, AFileThatEndsInsideATextGivesNoText) {
    EXPECT_EQ(readText(*reading(le16(5) + "ab"), 100), std::nullopt);
    EXPECT_EQ(readText(*reading(std::string(1, '\5')), 100), std::nullopt);
    // The length is the 16-bit number on disk: 32768 bytes are owed, not a negative count.
    EXPECT_EQ(readText(*reading(le16(0x8000) + "ab"), 100), std::nullopt);
    // Cut behind the kept part but inside the skipped rest: still no text, as the next field
    // could not be found.
    EXPECT_EQ(readText(*reading(le16(10) + "abcdef"), 4), std::nullopt);
}

TEST_F(RecordFieldsTest, ScrambledTextsUnscrambleWholeOrCut) {
    const std::string key = "a key of the program's own";
    const std::string secret = "aaaaaaaa secret \xE9\xFF";
    auto write = [&](RecordStream& s) {
        s.writeScrambledText(secret, key);
        s.writeText("after");
    };
    auto in = writtenThenRead(write);
    EXPECT_EQ(readScrambledText(*in, 200, key), secret);
    EXPECT_EQ(readText(*in, 200), "after");
    // Cut to the limit, the kept part still unscrambles and the next field stays in step.
    in = writtenThenRead(write);
    EXPECT_EQ(readScrambledText(*in, 6, key), "aaaaa");
    EXPECT_EQ(readText(*in, 200), "after");

    EXPECT_EQ(readScrambledText(*reading(""), 200, key), std::nullopt);
    EXPECT_EQ(readScrambledText(*reading(le16(4) + "\1\2"), 200, key), std::nullopt);
}

TEST_F(RecordFieldsTest, CountsOf32768AndMoreMeanNoItems) {
    auto in = reading(le16(3) + le16(0x8000) + le16(0xFFFF) + "\1");
    EXPECT_EQ(readCount(*in), 3);
    EXPECT_EQ(readCount(*in), 0);
    EXPECT_EQ(readCount(*in), 0);
    EXPECT_EQ(readCount(*in), std::nullopt);
}

} // namespace
