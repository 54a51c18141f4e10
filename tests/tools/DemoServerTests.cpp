// The demo server over real sockets: sessions one after another over one mailbox, a session
// that breaks off without QUIT deleting nothing, overlong lines, bare LF line ends and the
// autologout of a silent client.

#include "DemoServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

using namespace toppeek::demo;
using namespace std::chrono_literals;

// A blocking POP3 client of the simplest kind; every read waits at most 5 s.
class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(fd_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    void send(const std::string& bytes) {
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // One line, CR LF included; empty when the server closed or stayed silent.
    std::string line() {
        for (;;) {
            const auto end = buffer_.find("\r\n");
            if (end != std::string::npos) {
                std::string result = buffer_.substr(0, end + 2);
                buffer_.erase(0, end + 2);
                return result;
            }
            pollfd ready{fd_, POLLIN, 0};
            if (::poll(&ready, 1, 5000) <= 0)
                return {};
            char chunk[512];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return {};
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    std::string command(const std::string& text) {
        send(text + "\r\n");
        return line();
    }
    bool closedByServer() { return line().empty(); }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

class DemoServerTest : public testing::Test {
protected:
    void start() {
        std::string error;
        ASSERT_TRUE(server.listen(0, error)) << error;
        thread = std::thread([this] { server.run(); });
    }
    void TearDown() override {
        server.stop();
        if (thread.joinable())
            thread.join();
    }

    DemoServer server{
        DemoMailbox({{"1.eml", "Subject: a\r\n\r\nx\r\n"}, {"2.eml", "Subject: b\r\n\r\ny\r\n"}}),
        {"demo", "demo"}};
    std::thread thread;
};

TEST_F(DemoServerTest, SessionsFollowEachOtherAndOnlyQuitDeletes) {
    start();
    {
        Client client(server.port());
        ASSERT_TRUE(client.connected());
        EXPECT_TRUE(client.line().starts_with("+OK TopPeek demo POP3 server ready <"));
        EXPECT_TRUE(client.command("USER demo").starts_with("+OK"));
        EXPECT_TRUE(client.command("PASS demo").starts_with("+OK"));
        EXPECT_TRUE(client.command("DELE 1").starts_with("+OK"));
        // Breaks off without QUIT.
    }
    {
        Client client(server.port());
        client.line();
        // Bare LF ends a command line too.
        client.send("USER demo\nPASS demo\n");
        EXPECT_TRUE(client.line().starts_with("+OK"));
        EXPECT_TRUE(client.line().starts_with("+OK"));
        EXPECT_EQ(client.command("STAT"), "+OK 2 34\r\n");
        EXPECT_TRUE(client.command("DELE 2").starts_with("+OK"));
        EXPECT_TRUE(client.command("QUIT").starts_with("+OK"));
        EXPECT_TRUE(client.closedByServer());
    }
    Client client(server.port());
    const std::string greeting = client.line();
    client.command("USER demo");
    client.command("PASS demo");
    EXPECT_EQ(client.command("STAT"), "+OK 1 17\r\n");
    EXPECT_EQ(client.command("TOP 1 0"), "+OK top of message follows\r\n");
    EXPECT_EQ(client.line(), "Subject: a\r\n");
}

TEST_F(DemoServerTest, EveryGreetingHasItsOwnStamp) {
    start();
    std::string first, second;
    {
        Client client(server.port());
        first = client.line();
    }
    Client client(server.port());
    second = client.line();
    EXPECT_FALSE(first.empty());
    EXPECT_NE(first, second);
}

TEST_F(DemoServerTest, AnOverlongLineIsRefusedOnceAndTheSessionGoesOn) {
    start();
    Client client(server.port());
    client.line();
    client.send("USER " + std::string(5000, 'x') + "\r\n");
    EXPECT_EQ(client.line(), "-ERR command line too long\r\n");
    EXPECT_TRUE(client.command("USER demo").starts_with("+OK"));
    EXPECT_TRUE(client.command("PASS demo").starts_with("+OK"));
}

TEST_F(DemoServerTest, ASilentClientIsLoggedOutWithoutItsDeletions) {
    server.idleLimit = 200ms;
    start();
    {
        Client client(server.port());
        client.line();
        client.command("USER demo");
        client.command("PASS demo");
        EXPECT_TRUE(client.command("DELE 1").starts_with("+OK"));
        EXPECT_TRUE(client.closedByServer());
    }
    Client client(server.port());
    client.line();
    client.command("USER demo");
    client.command("PASS demo");
    EXPECT_EQ(client.command("STAT"), "+OK 2 34\r\n");
}

TEST(DemoServerListen, APortInUseIsReported) {
    DemoServer first{DemoMailbox(), {"demo", "demo"}};
    std::string error;
    ASSERT_TRUE(first.listen(0, error));
    DemoServer second{DemoMailbox(), {"demo", "demo"}};
    EXPECT_FALSE(second.listen(first.port(), error));
    EXPECT_NE(error.find(std::to_string(first.port())), std::string::npos) << error;
}

} // namespace
