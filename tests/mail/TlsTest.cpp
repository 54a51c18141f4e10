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

#include <openssl/pem.h>
#include <openssl/sha.h>
#include <openssl/x509.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
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

// The SHA-256 digest of a PEM certificate as 64 lowercase hex digits, worked out apart from the
// client's own code.
std::string digestOf(const std::string& pem) {
    BIO* in = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
    X509* certificate = in != nullptr ? PEM_read_bio_X509(in, nullptr, nullptr, nullptr) : nullptr;
    BIO_free(in);
    unsigned char* der = nullptr;
    const int length = certificate != nullptr ? i2d_X509(certificate, &der) : -1;
    X509_free(certificate);
    if (length <= 0)
        return {};
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(der, static_cast<std::size_t>(length), digest);
    OPENSSL_free(der);
    char text[2 * SHA256_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA256_DIGEST_LENGTH; ++i)
        std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
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
    // By kind of bad certificate: "expired", "other name", "untrusted", "subject only" (the name
    // in the subject's common name alone), "self-signed".
    std::map<std::string, std::unique_ptr<DovecotServer>> bad;
    // The digest of the self-signed server's certificate, as the client reports it.
    std::string selfSignedDigest;

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
        auto subjectOnly = server("subject-only", authority.issue("localhost", {}));
        const IssuedCertificate selfSignedIdentity =
            toppeek::test::selfSignedCertificate("localhost", local);
        selfSignedDigest = digestOf(selfSignedIdentity.certificate);
        auto selfSigned = server("self-signed", selfSignedIdentity);
        if (!good || !expired || !otherName || !untrusted || !subjectOnly || !selfSigned)
            return false;
        selfSigned->addUser("reader", kPassword);
        selfSigned->addMessage("reader", message(1));

        good->addUser("reader", kPassword);
        good->addUser("viatls", kPassword);
        good->addUser("viastls", kPassword);
        for (const char* user : {"reader", "viatls", "viastls"})
            for (int n = 1; n <= 3; ++n)
                good->addMessage(user, message(n));
        bad["expired"] = std::move(expired);
        bad["other name"] = std::move(otherName);
        bad["untrusted"] = std::move(untrusted);
        bad["subject only"] = std::move(subjectOnly);
        bad["self-signed"] = std::move(selfSigned);
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
    // A name only in the subject's common name is no name for the host: certificates name hosts
    // in their alternative names.
    const std::map<std::string, std::string> reasons = {{"expired", "expired"},
                                                        {"other name", "another name"},
                                                        {"untrusted", "unknown issuer"},
                                                        {"subject only", "another name"},
                                                        {"self-signed", "unknown issuer"}};
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

// A certificate the check refuses is described for the user to decide on; once trusted, that
// certificate alone is taken on that host and port alone, and any other is refused again with
// its own digest.
TEST_F(TlsLogin, ACertificateTheUserTrustsIsTakenOnItsOwnServerOnly) {
    DovecotServer& selfSigned = *fixture().bad.at("self-signed");
    const std::string host = pop3s(selfSigned);
    ASSERT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginNoConnection);
    ASSERT_TRUE(control_.refusedCertificate.has_value()) << control_.failureReason;
    const ServerCertificate refused = *control_.refusedCertificate;
    EXPECT_EQ(refused.sha256, fixture().selfSignedDigest);
    EXPECT_EQ(refused.host, "localhost");
    EXPECT_EQ(refused.port, selfSigned.pop3sPort());
    EXPECT_EQ(refused.subject, "CN=localhost");
    EXPECT_EQ(refused.issuer, "CN=localhost");
    EXPECT_TRUE(refused.expires.ends_with(" UTC")) << refused.expires;
    EXPECT_EQ(refused.failure, control_.failureReason);

    control_.trustedCertificates = {{refused.host, refused.port, refused.sha256}};
    ASSERT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginOk)
        << control_.failureReason;
    EXPECT_FALSE(control_.refusedCertificate.has_value());
    long count = -1;
    long octets = -1;
    ASSERT_TRUE(pop3Stat(session_, count, octets));
    EXPECT_EQ(count, 1);
    pop3Quit(session_);
    session_.close();
    // Over STLS too, where the port is the plain one: a trust is for the port it was given on.
    EXPECT_EQ(pop3Login(session_, stls(selfSigned), "reader", kPassword, control_),
              kLoginNoConnection);
    EXPECT_EQ(control_.refusedCertificate.value_or(ServerCertificate{}).sha256, refused.sha256);

    // Another certificate on a port that had this one trusted: refused, and named by its own
    // digest.
    DovecotServer& other = *fixture().bad.at("untrusted");
    control_.trustedCertificates = {{"localhost", other.pop3sPort(), refused.sha256}};
    EXPECT_EQ(pop3Login(session_, pop3s(other), "reader", kPassword, control_), kLoginNoConnection);
    ASSERT_TRUE(control_.refusedCertificate.has_value());
    EXPECT_NE(control_.refusedCertificate->sha256, refused.sha256);
    EXPECT_EQ(control_.refusedCertificate->sha256.size(), 64u);
    EXPECT_EQ(control_.refusedCertificate->issuer, "CN=Some Other Authority");
    // And the trusted digest under another name for the same server is no trust either.
    control_.trustedCertificates = {{"127.0.0.1", selfSigned.pop3sPort(), refused.sha256}};
    EXPECT_EQ(pop3Login(session_, host, "reader", kPassword, control_), kLoginNoConnection);
}

// `openssl s_server` on 127.0.0.1 speaking TLS 1.2 only, with the one cipher suite given.
class OpenSslServer {
public:
    OpenSslServer(const std::string& suite, const fs::path& pem, const fs::path& key) {
        port_ = toppeek::test::freeLoopbackPort();
        pid_ = ::fork();
        if (pid_ == 0) {
            const int quiet = ::open("/dev/null", O_RDWR);
            ::dup2(quiet, 0);
            ::dup2(quiet, 1);
            ::dup2(quiet, 2);
            const std::string accept = "127.0.0.1:" + std::to_string(port_);
            ::execlp("openssl", "openssl", "s_server", "-accept", accept.c_str(), "-cert",
                     pem.c_str(), "-key", key.c_str(), "-tls1_2", "-cipher", suite.c_str(),
                     "-quiet", static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~OpenSslServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    OpenSslServer(const OpenSslServer&) = delete;
    OpenSslServer& operator=(const OpenSslServer&) = delete;

    int port() const { return port_; }
    std::string host() const { return "pop3s://localhost:" + std::to_string(port_); }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

// Under TLS 1.2 a suite without an ephemeral key exchange is never agreed on: a server key taken
// later would open every recorded session. The server's certificate has an RSA key, so that an
// RSA key exchange is possible at all; the client trusts it by its digest.
TEST_F(TlsLogin, Tls12IsSpokenWithForwardSecretSuitesOnly) {
    const fs::path pem = fixture().dir / "rsa.pem";
    const fs::path key = fixture().dir / "rsa.key";
    const std::string make =
        "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost "
        "-keyout '" +
        key.string() + "' -out '" + pem.string() + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(make.c_str()), 0);
    control_.timeoutSeconds = 2;
    auto logIn = [&](const OpenSslServer& server) {
        int result = kLoginNoConnection;
        // The server needs a moment to listen.
        for (int attempt = 0; attempt < 50; ++attempt) {
            result = pop3Login(session_, server.host(), "reader", kPassword, control_);
            if (result != kLoginNoConnection || !control_.failureReason.empty())
                break;
            std::this_thread::sleep_for(100ms);
        }
        session_.close();
        return result;
    };
    auto agreed = [&](const std::string& suite) {
        return std::any_of(trace_.begin(), trace_.end(), [&](const std::string& line) {
            return line.find("TLSv1.2, " + suite) != std::string::npos;
        });
    };

    OpenSslServer forwardSecret("ECDHE-RSA-AES128-GCM-SHA256", pem, key);
    logIn(forwardSecret);
    ASSERT_TRUE(control_.refusedCertificate.has_value()) << control_.failureReason;
    control_.trustedCertificates = {
        {"localhost", forwardSecret.port(), control_.refusedCertificate->sha256}};
    trace_.clear();
    logIn(forwardSecret);
    EXPECT_TRUE(agreed("ECDHE-RSA-AES128-GCM-SHA256")) << control_.failureReason;

    OpenSslServer rsaOnly("AES128-GCM-SHA256", pem, key);
    control_.trustedCertificates[0].port = rsaOnly.port();
    trace_.clear();
    EXPECT_EQ(logIn(rsaOnly), kLoginNoConnection);
    EXPECT_FALSE(agreed("AES128-GCM-SHA256"));
    EXPECT_NE(control_.failureReason.find("could not be set up"), std::string::npos)
        << control_.failureReason;
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
