// Secured POP3: POP3 over TLS and STLS against a Dovecot that takes secured logins only,
// certificates that must be refused, a server without STLS, and a cancel while the handshake
// waits. The certificates come from an authority made up by the test, which the client trusts
// through SSL_CERT_FILE in this process only.

#include "mail/Tls.h"
#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/ProcessTrust.h"
#include "support/ScriptedPop3Server.h"
#include "support/TemporaryFolder.h"
#include "support/TestCertificates.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;
using namespace std::chrono_literals;
using toppeek::test::AfterReply;
using toppeek::test::DovecotServer;
using toppeek::test::DovecotTls;
using toppeek::test::IssuedCertificate;
using toppeek::test::ProcessTrust;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::TemporaryFolder;
using toppeek::test::TestAuthority;
namespace fs = std::filesystem;

const std::string kPassword = "s3cret-Pw";

std::string message(int n) {
    return "From: Sender <sender@example.org>\nTo: alice@example.com\nSubject: Secured " +
           std::to_string(n) + "\n\nBody of message " + std::to_string(n) + "\n";
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// The certificates of the run and the servers that present them; made once per process.
struct Fixture {
    TemporaryFolder folder{"toppeek-tls"};
    const fs::path dir = folder.path();
    std::unique_ptr<ProcessTrust> trust;
    // An authority that issued none of the servers' certificates.
    std::string strangerPem;
    std::string failure;
    std::unique_ptr<DovecotServer> good;
    // By kind of bad certificate: "expired", "other name", "untrusted".
    std::map<std::string, std::unique_ptr<DovecotServer>> bad;

    ~Fixture() {
        good.reset();
        bad.clear();
    }

    std::unique_ptr<DovecotServer> server(const std::string& name,
                                          const IssuedCertificate& issued) {
        if (issued.key.empty() || issued.certificate.empty()) {
            failure = "could not issue the certificate \"" + name + "\"";
            return nullptr;
        }
        DovecotTls tls{dir / (name + ".pem"), dir / (name + ".key")};
        writeText(tls.certificate, issued.certificate);
        writeText(tls.key, issued.key);
        return std::make_unique<DovecotServer>(tls);
    }

    bool make() {
        if (!folder.valid()) {
            failure = "no temporary directory";
            return false;
        }
        folder.letOthersRead();
        TestAuthority authority("TopPeek Test Authority");
        TestAuthority stranger("Some Other Authority");
        if (!authority.valid() || !stranger.valid()) {
            failure = "could not make the test authorities";
            return false;
        }
        // Only this process trusts the test authority, and only it.
        trust = std::make_unique<ProcessTrust>(authority.certificatePem(),
                                               ProcessTrust::Beside::Nothing);
        if (!trust->valid()) {
            failure = "could not write the trust file";
            return false;
        }

        strangerPem = stranger.certificatePem();

        const std::vector<std::string> local = {"DNS:localhost", "IP:127.0.0.1"};
        good = server("good",
                      authority.issue("localhost", {"DNS:localhost", "IP:127.0.0.1", "IP:::1"}));
        if (good && toppeek::test::hasIpv6Loopback())
            good->alsoListenOnIpv6Loopback();
        auto expired = server("expired", authority.issue("localhost", local, -7200, -3600));
        auto otherName =
            server("other-name", authority.issue("mail.example.org", {"DNS:mail.example.org"}));
        auto untrusted = server("untrusted", stranger.issue("localhost", local));
        if (!good || !expired || !otherName || !untrusted)
            return false;

        good->addUser("reader", kPassword);
        good->addUser("viatls", kPassword);
        good->addUser("viastls", kPassword);
        for (const char* user : {"reader", "viatls", "viastls"})
            for (int n = 1; n <= 3; ++n)
                good->addMessage(user, message(n));
        bad["expired"] = std::move(expired);
        bad["other name"] = std::move(otherName);
        bad["untrusted"] = std::move(untrusted);
        if (!good->start()) {
            failure = good->failure();
            return false;
        }
        for (auto& [name, server] : bad) {
            if (!server->start()) {
                failure = name + ": " + server->failure();
                return false;
            }
        }
        return true;
    }
};

Fixture& fixture() {
    static Fixture shared;
    static bool made = shared.make();
    (void)made;
    return shared;
}

class TlsLogin : public testing::Test {
protected:
    static void SetUpTestSuite() { startConnectionLayer(); }

    void SetUp() override {
        ASSERT_TRUE(fixture().failure.empty()) << fixture().failure;
        control_.timeoutSeconds = 15;
        control_.statusCallback = [this](ConnectionControl& c) {
            if (c.status == ConnectStatus::CommandSent || c.status == ConnectStatus::Securing)
                trace_.push_back(c.statusText);
        };
    }

    void TearDown() override {
        if (session_.socket() != kInvalidSocket) {
            pop3Quit(session_);
            session_.close();
        }
    }

    static std::string pop3s(const DovecotServer& server, const std::string& name = "localhost") {
        return "pop3s://" + name + ":" + std::to_string(server.pop3sPort());
    }
    static std::string stls(const DovecotServer& server, const std::string& name = "localhost") {
        return "pop3+stls://" + name + ":" + std::to_string(server.port());
    }

    // Log in, read, delete the first message and quit; the server must have committed it.
    void checkAndRemove(const std::string& host, const std::string& user) {
        DovecotServer& server = *fixture().good;
        ASSERT_EQ(pop3Login(session_, host, user, kPassword, control_), kLoginOk)
            << control_.failureReason;
        long count = -1;
        long octets = -1;
        ASSERT_TRUE(pop3Stat(session_, count, octets));
        EXPECT_EQ(count, 3);
        std::vector<char> buffer(20000);
        ASSERT_TRUE(pop3Top(session_, 2, 1, buffer.data(), static_cast<int>(buffer.size())));
        std::string top = buffer.data();
        EXPECT_NE(top.find("Subject: Secured 2\r\n"), std::string::npos) << top;
        EXPECT_TRUE(top.ends_with("\r\nBody of message 2\r\n.\r\n")) << top;
        ASSERT_TRUE(pop3Dele(session_, 1));
        EXPECT_TRUE(pop3Quit(session_));
        session_.close();
        EXPECT_EQ(server.messageCount(user), 2u);
    }

    // Where in the trace a line is, or -1.
    long traced(const std::string& line) const {
        for (std::size_t i = 0; i < trace_.size(); ++i)
            if (trace_[i] == line)
                return static_cast<long>(i);
        return -1;
    }

    ConnectionControl control_;
    Pop3Session session_;
    std::vector<std::string> trace_;
};

TEST_F(TlsLogin, Pop3sChecksFetchesAndRemoves) {
    checkAndRemove(pop3s(*fixture().good), "viatls");
    // The handshake is traced before the first command, and tells what it agreed on.
    ASSERT_GE(trace_.size(), 4u);
    EXPECT_EQ(trace_[0], kSecuringText);
    EXPECT_TRUE(trace_[1].starts_with(std::string(kSecuringText) + " TLSv1.")) << trace_[1];
    EXPECT_EQ(trace_[2], "CAPA\r\n");
    EXPECT_EQ(trace_[3], "USER viatls\r\n");
}

TEST_F(TlsLogin, StlsSecuresBeforeAnyCredential) {
    checkAndRemove(stls(*fixture().good), "viastls");
    long stlsAt = traced("STLS\r\n");
    long securedAt = traced(std::string(kSecuringText));
    long userAt = traced("USER viastls\r\n");
    ASSERT_GE(stlsAt, 0);
    EXPECT_LT(stlsAt, securedAt);
    EXPECT_LT(securedAt, userAt);
    // The capabilities are asked once, over the secured connection: what the server said in the
    // clear could have been changed on the way.
    EXPECT_EQ(std::count(trace_.begin(), trace_.end(), "CAPA\r\n"), 1);
    EXPECT_LT(securedAt, traced("CAPA\r\n"));
}

TEST_F(TlsLogin, AnAddressIsCheckedAgainstTheCertificatesAddressesAndApopWorks) {
    ASSERT_EQ(
        pop3LoginApop(session_, pop3s(*fixture().good, "127.0.0.1"), "reader", kPassword, control_),
        kLoginOk)
        << control_.failureReason;
    EXPECT_EQ(trace_.back().substr(0, 5), "APOP ");
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, 3);
}

// An IPv6 literal is checked as an address too (it is no DNS name to send or match), over both
// schemes; the certificate of the other-name server holds no address at all.
TEST_F(TlsLogin, AnIpv6LiteralIsCheckedAsAnAddressOverBothSchemes) {
    if (!toppeek::test::hasIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    for (const std::string& host :
         {"pop3s://[::1]:" + std::to_string(fixture().good->pop3sPort()),
          "pop3+stls://[::1]:" + std::to_string(fixture().good->port())}) {
        ASSERT_EQ(pop3LoginApop(session_, host, "reader", kPassword, control_), kLoginOk)
            << host << ": " << control_.failureReason;
        long count = -1;
        long octets = -1;
        EXPECT_TRUE(pop3Stat(session_, count, octets));
        EXPECT_EQ(count, 3) << host;
        EXPECT_TRUE(pop3Quit(session_));
        session_.close();
    }
}

// The time stamp is the greeting's; the STLS reply that comes between must not take its place.
TEST_F(TlsLogin, ApopAfterStlsSignsTheGreetingsTimeStamp) {
    ASSERT_EQ(pop3LoginApop(session_, stls(*fixture().good), "reader", kPassword, control_),
              kLoginOk)
        << control_.failureReason;
    long securedAt = traced(std::string(kSecuringText));
    ASSERT_GE(securedAt, 0);
    ASSERT_FALSE(trace_.empty());
    EXPECT_EQ(trace_.back().substr(0, 12), "APOP reader ") << trace_.back();
    EXPECT_LT(securedAt, static_cast<long>(trace_.size()) - 1);
    for (const auto& line : trace_)
        EXPECT_FALSE(line.starts_with("USER") || line.starts_with("PASS")) << line;
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, 3);
}

TEST_F(TlsLogin, BadCertificatesFailTheConnectionWithTheirReason) {
    const std::map<std::string, std::string> reasons = {
        {"expired", "expired"}, {"other name", "another name"}, {"untrusted", "unknown issuer"}};
    for (const auto& [kind, reason] : reasons) {
        SCOPED_TRACE(kind);
        DovecotServer& server = *fixture().bad.at(kind);
        for (const std::string& host : {pop3s(server), stls(server)}) {
            trace_.clear();
            EXPECT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginNoConnection);
            EXPECT_EQ(session_.socket(), kInvalidSocket);
            EXPECT_NE(control_.failureReason.find(reason), std::string::npos)
                << host << ": " << control_.failureReason;
            EXPECT_EQ(control_.failureReason.find('\n'), std::string::npos);
            for (const auto& line : trace_)
                EXPECT_FALSE(line.starts_with("USER") || line.starts_with("PASS")) << line;
        }
    }
}

// The trust store is read once and kept, but a change of the trusted authorities between two
// connections must be honoured by the second.
TEST_F(TlsLogin, EachConnectionTrustsWhatTheEnvironmentNamesAtTheTime) {
    const std::string host = pop3s(*fixture().good);
    ASSERT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginOk)
        << control_.failureReason;
    pop3Quit(session_);
    {
        ProcessTrust other(fixture().strangerPem, ProcessTrust::Beside::Nothing);
        ASSERT_TRUE(other.valid());
        EXPECT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginNoConnection);
        EXPECT_NE(control_.failureReason.find("unknown issuer"), std::string::npos)
            << control_.failureReason;
    }
    ASSERT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginOk)
        << control_.failureReason;
}

TEST_F(TlsLogin, AServerWithoutStlsNeverSeesTheCredentials) {
    ScriptedPop3Server server;
    server.greeting("+OK ready <1.2@example.org>\r\n")
        .expect("STLS", "-ERR not offered here\r\n")
        .expect("QUIT", "+OK bye\r\n");
    server.start();
    const std::string host = "pop3+stls://" + server.hostAndPort();
    EXPECT_EQ(pop3Login(session_, host, "alice", "secret", control_), kLoginRefused);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.received(), (std::vector<std::string>{"STLS\r\n", "QUIT\r\n"}));
    EXPECT_EQ(server.receivedBytes().find("secret"), std::string::npos);
    EXPECT_EQ(server.problems(), std::vector<std::string>{});

    // APOP would not send the password, but it is a credential all the same.
    ScriptedPop3Server apopServer;
    apopServer.greeting("+OK ready <1.2@example.org>\r\n")
        .expect("STLS", "-ERR not offered here\r\n")
        .expect("QUIT", "+OK bye\r\n");
    apopServer.start();
    EXPECT_EQ(pop3LoginApop(session_, "pop3+stls://" + apopServer.hostAndPort(), "alice", "secret",
                            control_),
              kLoginRefused);
    EXPECT_TRUE(apopServer.waitUntilDone(5s));
    EXPECT_EQ(apopServer.received(), (std::vector<std::string>{"STLS\r\n", "QUIT\r\n"}));
}

// A plain server behind a pop3s:// address (the plain port, say) answers the ClientHello with its
// greeting; OpenSSL calls that a wrong version number, which tells the user nothing.
TEST_F(TlsLogin, APlainServerBehindPop3sIsToldApartFromABrokenHandshake) {
    for (const char* greeting : {"+OK POP3 ready\r\n", "-ERR TLS, please\r\n"}) {
        SCOPED_TRACE(greeting);
        ScriptedPop3Server server;
        server.greeting(greeting);
        server.start();
        EXPECT_EQ(
            pop3Login(session_, "pop3s://" + server.hostAndPort(), "alice", "secret", control_),
            kLoginNoConnection);
        EXPECT_EQ(session_.socket(), kInvalidSocket);
        EXPECT_EQ(control_.failureReason,
                  "The connection could not be secured: the server did not answer in TLS.");
        EXPECT_TRUE(server.waitUntilDone(5s));
        EXPECT_EQ(server.receivedBytes().find("alice"), std::string::npos);
    }
}

TEST_F(TlsLogin, ACancelDuringTheHandshakeReturnsAtOnce) {
    ScriptedPop3Server server;
    server.greeting({}, AfterReply::StaySilent);
    server.start();
    control_.timeoutSeconds = 60;
    int asked = 0;
    control_.cancelQuery = [&](ConnectionControl& c) {
        return c.status == ConnectStatus::Securing && ++asked > 20;
    };
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(pop3Login(session_, "pop3s://" + server.hostAndPort(), "alice", "secret", control_),
              kLoginNoConnection);
    // Far below the time-out: the handshake's wait saw the cancel.
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);
    EXPECT_GT(asked, 20);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    EXPECT_TRUE(server.waitUntilDone(5s));
    // What reached the server is the start of a handshake, never a command.
    EXPECT_EQ(server.receivedBytes().find("USER"), std::string::npos);
}

TEST_F(TlsLogin, AHandshakeThatNeverFinishesTimesOutWithAReason) {
    ScriptedPop3Server server;
    server.greeting("+OK ready\r\n").expect("STLS", {{"+OK go ahead\r\n"}}, AfterReply::StaySilent);
    server.start();
    control_.timeoutSeconds = 1;
    EXPECT_EQ(
        pop3Login(session_, "pop3+stls://" + server.hostAndPort(), "alice", "secret", control_),
        kLoginNoConnection);
    EXPECT_EQ(session_.socket(), kInvalidSocket);
    EXPECT_NE(control_.failureReason.find("did not finish"), std::string::npos)
        << control_.failureReason;
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.receivedBytes().find("secret"), std::string::npos);

    // The session is fit for the next login, which is plain again.
    trace_.clear();
    ScriptedPop3Server plain;
    plain.greeting("+OK ready\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "+OK\r\n");
    plain.start();
    control_.timeoutSeconds = 15;
    ASSERT_EQ(pop3Login(session_, plain.hostAndPort(), "alice", "secret", control_), kLoginOk);
    EXPECT_TRUE(control_.failureReason.empty());
    EXPECT_EQ(traced(std::string(kSecuringText)), -1);
    session_.close();
}

} // namespace
