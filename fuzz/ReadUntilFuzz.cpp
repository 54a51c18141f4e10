// readUntil over a real socket, with the reply arriving in arbitrary pieces. The first input
// byte picks the finder and the reply buffer's size, the second seeds the piece lengths; the
// rest is what the server sends, after which it closes its side.
//
// The pieces are written from the connection's cancel query, which every read asks before it
// touches the socket: the data is then always waiting and no read sits out a poll period, and
// the order of arrivals and reads is the same on every run of an input.
#include "FuzzSupport.h"

#include "mail/Connection.h"
#include "mail/Pop3.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

using namespace toppeek::mail;

namespace {

class Server {
public:
    Server(int socket, std::string_view data, std::uint8_t seed)
        : socket_(socket), data_(data), state_(seed * 2654435761u + 1) {}

    // Sends the next piece, or closes the sending side once everything is out.
    void step() {
        if (closed_) {
            return;
        }
        if (sent_ >= data_.size()) {
            ::shutdown(socket_, SHUT_WR);
            closed_ = true;
            return;
        }
        state_ = state_ * 1103515245u + 12345u;
        // Mostly short pieces, now and then a long one.
        const std::size_t limit = (state_ >> 16) % 8 == 0 ? 4096 : 16;
        const std::size_t piece =
            std::min<std::size_t>(1 + (state_ >> 8) % limit, data_.size() - sent_);
        writeAll(data_.substr(sent_, piece));
        sent_ += piece;
    }

    // Sends what is left and closes.
    void finish() {
        while (!closed_) {
            step();
        }
    }

private:
    void writeAll(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t written = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (written <= 0) {
                std::perror("send");
                std::abort();
            }
            bytes.remove_prefix(static_cast<std::size_t>(written));
        }
    }

    int socket_;
    std::string_view data_;
    std::uint32_t state_;
    std::size_t sent_ = 0;
    bool closed_ = false;
};

std::string drain(int socket) {
    std::string rest;
    char chunk[4096];
    for (;;) {
        ssize_t received = ::recv(socket, chunk, sizeof chunk, 0);
        if (received <= 0) {
            return rest;
        }
        rest.append(chunk, static_cast<std::size_t>(received));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The socket pair's buffer must take the whole reply without a reader.
    if (size > 65536) {
        return 0;
    }
    toppeek::fuzz::InputReader input(data, size);
    const std::uint8_t mode = input.byte();
    const std::uint8_t seed = input.byte();
    const std::string_view reply = input.rest();

    // The smallest buffer here that has room to carry the start of a terminating line across a
    // fold; smaller ones cannot always tell where a long body ends.
    constexpr int kFoldSafeSize = 16;
    const ReplyEndFinder finder = (mode & 1) != 0 ? findTopBodyEnd : findStatusLineEnd;
    // Small buffers make the reader fold long replies; the largest is the one of a TOP.
    static constexpr int kSizes[] = {1, 2, 3, 5, 8, 16, 64, kStatusBufferSize, 256, 20000};
    const int bufferSize = kSizes[(mode >> 1) % std::size(kSizes)];

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        std::perror("socketpair");
        std::abort();
    }
    Server server(ends[1], reply, seed);
    ConnectionControl control;
    control.timeoutEnabled = false;
    control.cancelQuery = [&server](ConnectionControl&) {
        server.step();
        return false;
    };

    auto buffer = std::make_unique<char[]>(static_cast<std::size_t>(bufferSize));
    const bool complete = readUntil(ends[0], buffer.get(), bufferSize, finder, 0, &control);

    server.finish();
    const std::string rest = drain(ends[0]);
    ::close(ends[0]);
    ::close(ends[1]);

    // Nothing but the reply was taken from the socket.
    FUZZ_CHECK(rest.size() <= reply.size());
    FUZZ_CHECK(reply.substr(reply.size() - rest.size()) == rest);
    if (complete) {
        const std::size_t taken = reply.size() - rest.size();
        FUZZ_CHECK(taken > 0);
        if (taken < static_cast<std::size_t>(bufferSize)) {
            // Without folding the buffer holds exactly the reply, and the reply is one.
            const int end = static_cast<int>(taken);
            FUZZ_CHECK(buffer[static_cast<std::size_t>(end)] == '\0');
            FUZZ_CHECK(std::memcmp(buffer.get(), reply.data(), taken) == 0);
            // A finder may need one byte beyond the reply to know that it has ended.
            const bool endSeen = finder(reply.data(), end, 0) == end;
            const bool endSeenAhead =
                taken < reply.size() && finder(reply.data(), end + 1, 0) == end;
            FUZZ_CHECK(endSeen || endSeenAhead);
        }
        if (finder == findTopBodyEnd && bufferSize >= kFoldSafeSize) {
            // Also when a long body was folded into the buffer, it ends at a terminating line
            // that the server really sent.
            const int end = static_cast<int>(taken);
            FUZZ_CHECK(finder(reply.data(), end, 0) > 0 ||
                       (taken < reply.size() && finder(reply.data(), end + 1, 0) > 0));
        }
    } else {
        // A failed read means the server closed before a reply was complete.
        FUZZ_CHECK(rest.empty() || bufferSize == 1);
        if (finder == findTopBodyEnd && bufferSize >= kFoldSafeSize) {
            FUZZ_CHECK(finder(reply.data(), static_cast<int>(reply.size()), 0) == 0);
        }
    }
    return 0;
}
