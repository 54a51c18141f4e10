// The POP3 client against real servers: Dovecot and GNU mailutils pop3d, each started on
// 127.0.0.1 with a configuration of its own. Every case runs against both, since they differ in
// habits the client must cope with (mailutils writes a TOP reply in several pieces, names its
// users user@domain, and builds its APOP time stamp differently).

#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/MailutilsServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace toppeek::mail;
using toppeek::test::DovecotServer;
using toppeek::test::MailutilsServer;
using toppeek::test::RealPop3Server;

enum class ServerKind { Dovecot, Mailutils };

const char* kindName(ServerKind kind) {
    return kind == ServerKind::Dovecot ? "Dovecot" : "Mailutils";
}

std::string paramName(const testing::TestParamInfo<ServerKind>& info) {
    return kindName(info.param);
}

// Names the server in gtest's messages instead of dumping the enum's bytes.
void PrintTo(ServerKind kind, std::ostream* out) {
    *out << kindName(kind);
}

const std::string kPassword = "s3cret-Pw";

// One test message: a header block, then bodyLines numbered lines. One body line begins with a
// dot, which the server must send doubled.
struct Sample {
    std::string headers; // LF line ends, without the empty line that ends the block
    std::vector<std::string> body;

    std::string text() const {
        std::string out = headers + "\n";
        for (const auto& line : body)
            out += line + "\n";
        return out;
    }
};

Sample sample(int n, int bodyLines) {
    Sample s;
    s.headers = "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) +
                "@example.org>\n"
                "To: alice@example.com\n"
                "Subject: Message number " +
                std::to_string(n) +
                "\n"
                "Date: Tue, 5 Mar 2024 10:0" +
                std::to_string(n % 10) + ":00 +0100\n";
    for (int i = 1; i <= bodyLines; ++i)
        s.body.push_back(i == 3 ? ".a line that begins with a dot"
                                : "Body line " + std::to_string(i));
    return s;
}

std::string crlf(const std::string& lfText) {
    std::string out;
    for (char c : lfText) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// What TOP n lines must leave in the buffer: the header block, the empty line, the first lines of
// the body as sent (dot-stuffed), and the terminating line. mailutils sends one more empty line
// before the body lines when it sends any; the client passes it on as it came.
std::string expectedTop(const Sample& s, int lines, ServerKind kind) {
    std::string out = crlf(s.headers) + "\r\n";
    if (kind == ServerKind::Mailutils && lines > 0)
        out += "\r\n";
    for (int i = 0; i < lines && i < static_cast<int>(s.body.size()); ++i) {
        const std::string& line = s.body[static_cast<std::size_t>(i)];
        out += (line.starts_with(".") ? "." : "") + line + "\r\n";
    }
    return out + ".\r\n";
}

// Users of the shared server. "reader" keeps its messages; each test that deletes has a user of
// its own, so that the cases do not depend on their order.
constexpr int kReaderMessages = 5;
constexpr int kBodyLines = 8;
const std::vector<std::string> kDeleters = {"deleter", "aborter"};

struct RunningServer {
    std::unique_ptr<RealPop3Server> server;
    std::vector<std::size_t> readerSizes;
    bool started = false;
};

// One server of each kind per test process, started when the first case needs it.
std::map<ServerKind, RunningServer>& servers() {
    static std::map<ServerKind, RunningServer> all;
    return all;
}

class RealServer : public testing::TestWithParam<ServerKind> {
protected:
    static void SetUpTestSuite() { startConnectionLayer(); }

    static void TearDownTestSuite() {
        servers().clear();
        stopConnectionLayer();
    }

    void SetUp() override {
        RunningServer& running = servers()[GetParam()];
        if (!running.server) {
            if (GetParam() == ServerKind::Dovecot)
                running.server = std::make_unique<DovecotServer>();
            else
                running.server = std::make_unique<MailutilsServer>();
            RealPop3Server& s = *running.server;
            s.addUser("reader", kPassword);
            for (const auto& user : kDeleters)
                s.addUser(user, kPassword);
            for (int n = 1; n <= kReaderMessages; ++n)
                running.readerSizes.push_back(s.addMessage("reader", sample(n, kBodyLines).text()));
            for (const auto& user : kDeleters)
                for (int n = 1; n <= 3; ++n)
                    s.addMessage(user, sample(n, 2).text());
            running.started = s.start();
        }
        ASSERT_TRUE(running.started) << running.server->failure();
        server_ = running.server.get();
        readerSizes_ = running.readerSizes;

        // Short enough that a hang fails the case quickly, long enough for a loaded machine.
        control_.timeoutSeconds = 15;
        control_.statusCallback = [this](ConnectionControl& c) {
            if (c.status == ConnectStatus::CommandSent)
                trace_.push_back(c.statusText);
        };
    }

    void TearDown() override {
        if (session_.socket() != kInvalidSocket) {
            pop3Quit(session_);
            session_.close();
        }
    }

    int login(const std::string& user, const std::string& password, bool apop = false) {
        const std::string name = server_->loginName(user);
        return apop ? pop3LoginApop(session_, server_->hostAndPort(), name, password, control_)
                    : pop3Login(session_, server_->hostAndPort(), name, password, control_);
    }

    // A login right after a connection was dropped without QUIT. The server process of the
    // dropped session may not have seen the close yet and still holds the mailbox lock
    // (mailutils refuses the password meanwhile), so a refusal is tried again for a while.
    int loginAfterDrop(const std::string& user, const std::string& password) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        int result = login(user, password);
        while (result == kLoginRefused && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            result = login(user, password);
        }
        return result;
    }

    // Ends the session politely, so that the server commits what it was told.
    void quit() {
        EXPECT_TRUE(pop3Quit(session_));
        session_.close();
    }

    std::string top(long number, int lines) {
        std::vector<char> buffer(20000);
        if (!pop3Top(session_, number, lines, buffer.data(), static_cast<int>(buffer.size())))
            return "(TOP failed)";
        return buffer.data();
    }

    RealPop3Server* server_ = nullptr;
    std::vector<std::size_t> readerSizes_;
    ConnectionControl control_;
    Pop3Session session_;
    std::vector<std::string> trace_;
};

TEST_P(RealServer, UserPassLoginThenStatListAndTopWithZeroAndFiveLines) {
    ASSERT_EQ(login("reader", kPassword), kLoginOk);
    ASSERT_NE(session_.socket(), kInvalidSocket);
    // The capabilities come first; both servers pipeline, so USER and PASS went out together.
    EXPECT_EQ(trace_,
              (std::vector<std::string>{"CAPA\r\n", "USER " + server_->loginName("reader") + "\r\n",
                                        "PASS xxxx"}));
    EXPECT_TRUE(session_.pipelines());
    // Neither offers a SASL mechanism that keeps the password off the wire in this setup.
    EXPECT_EQ(session_.signedInWith, "USER");

    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, kReaderMessages);
    long total = 0;
    for (std::size_t size : readerSizes_)
        total += static_cast<long>(size);
    EXPECT_EQ(octets, total);

    for (long n = 1; n <= kReaderMessages; ++n) {
        long size = -1;
        ASSERT_TRUE(pop3List(session_, n, size)) << "message " << n;
        EXPECT_EQ(size, static_cast<long>(readerSizes_[static_cast<std::size_t>(n - 1)]));
    }

    for (int n = 1; n <= kReaderMessages; ++n) {
        Sample s = sample(n, kBodyLines);
        EXPECT_EQ(top(n, 0), expectedTop(s, 0, GetParam())) << "message " << n;
        EXPECT_EQ(top(n, 5), expectedTop(s, 5, GetParam())) << "message " << n;
    }
    // The session still answers in step after every multi-line reply.
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, kReaderMessages);
}

TEST_P(RealServer, ApopLoginUsesTheGreetingsTimeStamp) {
    ASSERT_EQ(login("reader", kPassword, true), kLoginOk);
    ASSERT_EQ(trace_.size(), 2u) << "APOP must be the only login command";
    EXPECT_EQ(trace_[0], "CAPA\r\n");
    const std::string prefix = "APOP " + server_->loginName("reader") + " ";
    const std::string& line = trace_[1];
    ASSERT_EQ(line.size(), prefix.size() + 32 + 2) << line;
    EXPECT_TRUE(line.starts_with(prefix)) << line;
    EXPECT_TRUE(line.ends_with("\r\n")) << line;
    std::string digest = line.substr(prefix.size(), 32);
    EXPECT_EQ(digest.find_first_not_of("0123456789abcdef"), std::string::npos) << line;
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, kReaderMessages);
}

TEST_P(RealServer, RefusedLoginsGiveMinusTwoAndLeaveNoConnection) {
    EXPECT_EQ(login("reader", "wrong password"), kLoginRefused);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    if (GetParam() == ServerKind::Dovecot) {
        // Its refusal names the cause (RFC 3206), which the failure box puts in words.
        EXPECT_EQ(session_.refusalCode, "AUTH");
        EXPECT_EQ(control_.failureReason, "The server says the password or sign-in is wrong.");
    }
    EXPECT_EQ(login("reader", "wrong-password", true), kLoginRefused);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    EXPECT_EQ(login("nobody", kPassword), kLoginRefused);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    // A refusal does not spoil the next attempt.
    EXPECT_EQ(login("reader", kPassword), kLoginOk);
}

TEST_P(RealServer, DeletedMessageIsGoneInTheNextSessionAfterQuit) {
    const std::string user = "deleter";
    ASSERT_EQ(login(user, kPassword), kLoginOk);
    ASSERT_TRUE(pop3Dele(session_, 2));
    // A message that is not there is refused without ending the session.
    EXPECT_FALSE(pop3Dele(session_, 99));
    quit();

    ASSERT_EQ(login(user, kPassword), kLoginOk);
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, 2);
    // The former third message moved up to number 2.
    EXPECT_EQ(top(2, 0), expectedTop(sample(3, 2), 0, GetParam()));
    EXPECT_EQ(server_->messageCount(user), 2u);
}

TEST_P(RealServer, DeleteWithoutQuitIsNotCommitted) {
    const std::string user = "aborter";
    ASSERT_EQ(login(user, kPassword), kLoginOk);
    ASSERT_TRUE(pop3Dele(session_, 1));
    // Dropped without QUIT, as a cancelled operation does: the server must keep the message.
    session_.close();

    ASSERT_EQ(loginAfterDrop(user, kPassword), kLoginOk);
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(top(1, 0), expectedTop(sample(1, 2), 0, GetParam()));
}

TEST_P(RealServer, RefusedCommandsLeaveTheSessionUsable) {
    ASSERT_EQ(login("reader", kPassword), kLoginOk);
    std::vector<char> buffer(20000);
    EXPECT_FALSE(pop3Top(session_, 99, 0, buffer.data(), static_cast<int>(buffer.size())));
    long size = -1;
    EXPECT_FALSE(pop3List(session_, 99, size));
    EXPECT_EQ(top(1, 0), expectedTop(sample(1, kBodyLines), 0, GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         testing::Values(ServerKind::Dovecot, ServerKind::Mailutils), paramName);

} // namespace
