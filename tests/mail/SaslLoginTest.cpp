// The log-in's choice of mechanism and its SASL exchanges: SCRAM against a real Dovecot with the
// wire watched, and against a scripted server the cases no real server shows (a mechanism turned
// down, a server that takes a bearer token only on the line after AUTH, refusal codes).

#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/ScriptedPop3Server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace toppeek::mail;
using namespace std::chrono_literals;
using toppeek::test::DovecotServer;
using toppeek::test::ScriptedPop3Server;
using Lines = std::vector<std::string>;

// Relays one connection from a port of its own to a server on 127.0.0.1 and keeps every byte the
// client sent, as a capture of the wire would.
class RecordingRelay {
public:
    explicit RecordingRelay(int targetPort) : target_(targetPort) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(listener_, 1);
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~RecordingRelay() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    std::string hostAndPort() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string clientBytes() {
        std::lock_guard lock(mutex_);
        return sent_;
    }

private:
    void run() {
        pollfd waiting{listener_, POLLIN, 0};
        while (!stop_ && ::poll(&waiting, 1, 50) == 0) {
        }
        if (stop_) {
            return;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(target_));
        if (::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            char chunk[4096];
            for (bool open = true; open && !stop_;) {
                if (::poll(ends, 2, 50) <= 0) {
                    continue;
                }
                for (int i = 0; i < 2 && open; ++i) {
                    if (ends[i].revents == 0) {
                        continue;
                    }
                    const ssize_t got = ::read(ends[i].fd, chunk, sizeof chunk);
                    if (got <= 0) {
                        open = false;
                        break;
                    }
                    if (i == 0) {
                        std::lock_guard lock(mutex_);
                        sent_.append(chunk, static_cast<std::size_t>(got));
                    }
                    ::send(ends[1 - i].fd, chunk, static_cast<std::size_t>(got), MSG_NOSIGNAL);
                }
            }
        }
        ::close(server);
        ::close(client);
    }

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string sent_;
    std::thread thread_;
};

class SaslLoginTest : public testing::Test {
protected:
    void SetUp() override {
        startConnectionLayer();
        control.timeoutSeconds = 5;
        control.statusCallback = [this](ConnectionControl& c) {
            if (c.status == ConnectStatus::CommandSent) {
                trace.push_back(c.statusText);
            }
        };
    }
    void TearDown() override { session.close(); }

    Pop3Session session;
    ConnectionControl control;
    Lines trace;
};

std::string readWhole(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST_F(SaslLoginTest, ScramAgainstDovecotKeepsThePasswordOffTheWire) {
    const std::string password = "correct-Horse-7";
    DovecotServer server;
    server.offerMechanisms("plain login cram-md5 scram-sha-256");
    server.addUser("alice", password);
    ASSERT_TRUE(server.start()) << server.failure();
    RecordingRelay relay(server.port());

    ASSERT_EQ(pop3Login(session, relay.hostAndPort(), "alice", password, control), kLoginOk)
        << control.failureReason << server.logTail();
    EXPECT_EQ(session.signedInWith, "SCRAM-SHA-256");
    long count = -1;
    long octets = -1;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    pop3Quit(session);
    session.close();

    const std::string wire = relay.clientBytes();
    EXPECT_NE(wire.find("AUTH SCRAM-SHA-256 "), std::string::npos) << wire;
    EXPECT_EQ(wire.find(password), std::string::npos) << wire;
    EXPECT_EQ(wire.find(base64Encode(password)), std::string::npos);
    EXPECT_EQ(wire.find("PASS"), std::string::npos);
    // The progress conversation names the mechanism and masks every payload.
    for (const std::string& line : trace) {
        EXPECT_EQ(line.find(password), std::string::npos) << line;
        EXPECT_TRUE(line.starts_with("CAPA") || line.starts_with("STAT") ||
                    line.starts_with("QUIT") || line == "AUTH SCRAM-SHA-256 xxxx" || line == "xxxx")
            << line;
    }
    EXPECT_NE(readWhole(server.directory() / "dovecot.log").find("method=SCRAM-SHA-256"),
              std::string::npos)
        << server.logTail();
}

TEST_F(SaslLoginTest, ChoiceFromCapaAndNoPasswordInPlainTextUnlessAllowed) {
    // CRAM-MD5 is turned down before any credential went out, so the next mechanism is tried;
    // PLAIN and USER would show the password on this unsecured connection and are never sent.
    ScriptedPop3Server server;
    server.greeting("+OK ready\r\n")
        .expect("CAPA", "+OK\r\nUSER\r\nSASL PLAIN CRAM-MD5 X-UNKNOWN\r\n.\r\n")
        .expect("AUTH CRAM-MD5", "-ERR not today\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();
    LoginRequest request{"alice", "secret"};
    request.allowPlainText = false;
    EXPECT_EQ(pop3SignIn(session, server.hostAndPort(), request, control), kLoginRefused);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_EQ(server.receivedBytes().find("secret"), std::string::npos);
    EXPECT_NE(control.failureReason.find("crossing the network"), std::string::npos)
        << control.failureReason;

    // Allowed, USER/PASS comes after the stronger mechanism, and a refusal's code becomes words
    // without another mechanism being tried.
    ScriptedPop3Server allowed;
    allowed.greeting("+OK ready\r\n")
        .expect("CAPA", "+OK\r\nUSER\r\nSASL PLAIN CRAM-MD5\r\n.\r\n")
        .expect("AUTH CRAM-MD5", "-ERR\r\n")
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "-ERR [IN-USE] locked\r\n")
        .expect("QUIT", "+OK\r\n");
    allowed.start();
    request.allowPlainText = true;
    EXPECT_EQ(pop3SignIn(session, allowed.hostAndPort(), request, control), kLoginRefused);
    EXPECT_TRUE(allowed.waitUntilDone(5s));
    EXPECT_EQ(allowed.problems(), Lines{});
    EXPECT_EQ(session.refusalCode, "IN-USE");
    EXPECT_EQ(control.failureReason, "Another client is using the mailbox.");
}

TEST_F(SaslLoginTest, BearerTokenGoesOnTheLineAfterAuth) {
    const std::string token = "ya29.token-" + std::string(300, 'x');
    const std::string payload =
        base64Encode("user=alice@example.com\001auth=Bearer " + token + "\001\001");
    // A server that refuses an initial response on the AUTH line, as Microsoft's does.
    ScriptedPop3Server server;
    server.greeting("+OK ready\r\n")
        .expect("CAPA", "+OK\r\nUSER\r\nSASL XOAUTH2\r\n.\r\n")
        .expect("AUTH XOAUTH2", "+ \r\n")
        .expect(payload, "+OK signed in\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();
    LoginRequest request{"alice@example.com", token};
    request.bearerToken = true;
    ASSERT_EQ(pop3SignIn(session, server.hostAndPort(), request, control), kLoginOk)
        << control.failureReason;
    EXPECT_EQ(session.signedInWith, "XOAUTH2");
    pop3Quit(session);
    session.close();
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_EQ(trace, (Lines{"CAPA\r\n", "AUTH XOAUTH2\r\n", "xxxx", "QUIT\r\n"}));

    // A refused token: the server's JSON challenge is answered with an empty line, and the
    // refusal counts as wrong credentials whatever code the server gave.
    ScriptedPop3Server refusing;
    refusing.greeting("+OK ready\r\n")
        .expect("CAPA", "+OK\r\nSASL XOAUTH2\r\n.\r\n")
        .expect("AUTH XOAUTH2", "+ \r\n")
        .expect(payload, "+ " + base64Encode(R"({"status":"401","schemes":"bearer"})") + "\r\n")
        .expect("", "-ERR Authentication failed\r\n")
        .expect("QUIT", "+OK\r\n");
    refusing.start();
    EXPECT_EQ(pop3SignIn(session, refusing.hostAndPort(), request, control), kLoginRefused);
    EXPECT_TRUE(refusing.waitUntilDone(5s));
    EXPECT_EQ(refusing.problems(), Lines{});
    EXPECT_EQ(session.refusalCode, "AUTH");
}

} // namespace
