// Replies that arrive in pieces: the reader takes every byte of a reply that is not complete
// yet, so where a finder puts the end must not depend on how the bytes were cut.

#include "mail/Connection.h"
#include "mail/Pop3.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;

// A socket pair whose far end sends the next piece each time the reader asks its cancel query,
// which every read does before it looks at the socket.
class PiecedReply {
public:
    explicit PiecedReply(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends_), 0);
        control.timeoutSeconds = 2;
        control.cancelQuery = [this](ConnectionControl&) {
            if (next_ < pieces_.size()) {
                const std::string& piece = pieces_[next_++];
                EXPECT_EQ(::send(ends_[1], piece.data(), piece.size(), MSG_NOSIGNAL),
                          static_cast<ssize_t>(piece.size()));
            } else if (next_ == pieces_.size()) {
                // Then the server closes: a read still waiting fails at once.
                ::shutdown(ends_[1], SHUT_WR);
                ++next_;
            }
            return false;
        };
    }
    ~PiecedReply() {
        ::close(ends_[0]);
        ::close(ends_[1]);
    }

    std::string read(ReplyEndFinder finder, int size = kStatusBufferSize) {
        std::vector<char> buffer(static_cast<std::size_t>(size));
        if (!readUntil(ends_[0], buffer.data(), size, finder, 0, &control)) {
            return "(failed)";
        }
        return buffer.data();
    }

    ConnectionControl control;

private:
    std::vector<std::string> pieces_;
    std::size_t next_ = 0;
    int ends_[2] = {-1, -1};
};

int statusEnd(const std::string& text) {
    return findStatusLineEnd(text.data(), static_cast<int>(text.size()), 0);
}

TEST(StatusLineEndTest, IgnoresLineEndsInFrontOfTheIndicator) {
    EXPECT_EQ(statusEnd("\r\n+OK 1 2\r\n"), 11);
    EXPECT_EQ(statusEnd("\n\n-ERR no\nrest"), 10);
    EXPECT_EQ(statusEnd("\r\n+OK"), 0);
}

TEST(StatusLineEndTest, ReplyAfterAStrayLineEndKeepsTheNextReplyWhole) {
    // The first four bytes are taken before the indicator is complete; the end found later
    // must lie behind them, or "+O" would be lost and the next reply read from "K".
    PiecedReply reply({"\r\n+O", "K 2 320\r\n+OK next\r\n"});
    EXPECT_EQ(reply.read(findStatusLineEnd), "\r\n+OK 2 320\r\n");
    EXPECT_EQ(reply.read(findStatusLineEnd), "+OK next\r\n");
}

TEST(StatusLineEndTest, SameRepliesWhateverTheCuts) {
    const std::string stream = "\n+OK one\r\n-ERR two\r\n+ok three\r\n";
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        PiecedReply reply({stream.substr(0, cut), stream.substr(cut)});
        EXPECT_EQ(reply.read(findStatusLineEnd), "\n+OK one\r\n") << "cut at " << cut;
        EXPECT_EQ(reply.read(findStatusLineEnd), "-ERR two\r\n") << "cut at " << cut;
        EXPECT_EQ(reply.read(findStatusLineEnd), "+ok three\r\n") << "cut at " << cut;
    }
}

// A TOP body longer than the 20000-byte buffer of the operations, filled with header lines.
std::string longBody(std::size_t length) {
    std::string body;
    while (body.size() < length) {
        body += "X-Filler: " + std::string(60, 'f') + "\r\n";
    }
    return body.substr(0, length);
}

constexpr int kTopBufferSize = 20000;
constexpr std::size_t kCapacity = kTopBufferSize - 1;

TEST(FoldedReplyTest, FindsATerminatorThatStraddlesTheFold) {
    // The buffer fills between the terminator's "\n." and its "\r\n".
    std::string stream = longBody(kCapacity - 3) + "\r\n.\r\n";
    ASSERT_EQ(stream.substr(kCapacity - 2, 2), "\n.");
    PiecedReply reply({stream.substr(0, kCapacity), stream.substr(kCapacity) + "+OK next\r\n"});
    const std::string body = reply.read(findTopBodyEnd, kTopBufferSize);
    EXPECT_EQ(body, stream.substr(0, kCapacity / 2) + " " + stream.substr(kCapacity - 3));
    EXPECT_EQ(reply.read(findStatusLineEnd), "+OK next\r\n");
}

TEST(FoldedReplyTest, NoTerminatorMadeOfBytesFromBothSidesOfTheFold) {
    // The kept first half ends with a line end, and a line ending in "." lies around the point
    // where the buffer fills: its ".\r\n" right behind that line end would read as the end.
    for (std::size_t dotAt = kCapacity - 3; dotAt <= kCapacity; ++dotAt) {
        std::string stream = longBody(kCapacity / 2 - 2) + "\r\n";
        stream += longBody(dotAt - 2 - stream.size()) + "ab.\r\n";
        ASSERT_EQ(stream[kCapacity / 2 - 1], '\n');
        ASSERT_EQ(stream[dotAt], '.');
        stream += "more\r\n.\r\n";
        PiecedReply reply({stream.substr(0, kCapacity), stream.substr(kCapacity) + "+OK next\r\n"});
        const std::string body = reply.read(findTopBodyEnd, kTopBufferSize);
        ASSERT_GE(body.size(), 9u);
        EXPECT_EQ(body.substr(body.size() - 9), "more\r\n.\r\n") << "dot at " << dotAt;
        EXPECT_EQ(reply.read(findStatusLineEnd), "+OK next\r\n") << "dot at " << dotAt;
    }
}

} // namespace
