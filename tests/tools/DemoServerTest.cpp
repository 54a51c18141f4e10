// The demo server over real sockets: sessions one after another over one mailbox, a session
// that breaks off without QUIT deleting nothing, overlong lines, bare LF line ends and the
// autologout of a silent client; STLS with the demo's own certificates, and clients that break
// the upgrade without stopping the server.

#include "DemoServer.h"
#include "DemoTls.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>

namespace {

using namespace toppeek::demo;
using namespace std::chrono_literals;

// The demo authority's certificate as a trust store of its own.
X509_STORE* trusting(const std::string& authorityPem) {
    X509_STORE* store = X509_STORE_new();
    BIO* text = BIO_new_mem_buf(authorityPem.data(), static_cast<int>(authorityPem.size()));
    X509* authority = PEM_read_bio_X509(text, nullptr, nullptr, nullptr);
    if (store != nullptr && authority != nullptr)
        X509_STORE_add_cert(store, authority);
    X509_free(authority);
    BIO_free(text);
    return store;
}

// A blocking POP3 client of the simplest kind; every read waits at most 5 s. After startTls its
// bytes go through TLS.
class Client {
public:
    explicit Client(int port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        // The handshake blocks in OpenSSL; a server that never answers must not hang the test.
        timeval limit{5, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~Client() {
        SSL_free(ssl_);
        SSL_CTX_free(context_);
        ::close(fd_);
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    void send(const std::string& bytes) {
        if (ssl_ != nullptr) {
            std::size_t written = 0;
            ASSERT_EQ(SSL_write_ex(ssl_, bytes.data(), bytes.size(), &written), 1);
            return;
        }
        ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // The client's handshake, verifying the server's certificate against the authority alone
    // and the address 127.0.0.1; the reason when it failed, else empty.
    std::string startTls(const std::string& authorityPem) {
        context_ = SSL_CTX_new(TLS_client_method());
        SSL_CTX_set_cert_store(context_, trusting(authorityPem));
        SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
        ssl_ = SSL_new(context_);
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), "127.0.0.1");
        SSL_set_fd(ssl_, fd_);
        if (!buffer_.empty())
            return "bytes before the handshake";
        if (SSL_connect(ssl_) == 1)
            return {};
        std::string reason = X509_verify_cert_error_string(SSL_get_verify_result(ssl_));
        char text[256] = "";
        ERR_error_string_n(ERR_get_error(), text, sizeof text);
        SSL_free(ssl_);
        ssl_ = nullptr;
        return reason + "; " + text;
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
            char chunk[512];
            ssize_t n = 0;
            if (ssl_ != nullptr) {
                std::size_t read = 0;
                if (SSL_read_ex(ssl_, chunk, sizeof chunk, &read) != 1)
                    return {};
                n = static_cast<ssize_t>(read);
            } else {
                pollfd ready{fd_, POLLIN, 0};
                if (::poll(&ready, 1, 5000) <= 0)
                    return {};
                n = ::recv(fd_, chunk, sizeof chunk, 0);
            }
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
    // Every line up to and including the one that is just ".\r\n".
    std::string multiLine() {
        std::string all;
        for (std::string next = line(); !next.empty(); next = line()) {
            all += next;
            if (next == ".\r\n")
                break;
        }
        return all;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
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

// ---- STLS ----

TEST(DemoIdentity, TheServerCertificateNamesTheLoopbackAndChainsToAFreshAuthority) {
    std::string error;
    std::optional<DemoIdentity> identity = makeDemoIdentity(error);
    ASSERT_TRUE(identity) << error;
    BIO* text = BIO_new_mem_buf(identity->serverCertificate.data(),
                                static_cast<int>(identity->serverCertificate.size()));
    X509* server = PEM_read_bio_X509(text, nullptr, nullptr, nullptr);
    BIO_free(text);
    ASSERT_NE(server, nullptr);
    X509_STORE* store = trusting(identity->authorityCertificate);
    X509_STORE_CTX* verifying = X509_STORE_CTX_new();
    ASSERT_EQ(X509_STORE_CTX_init(verifying, store, server, nullptr), 1);
    X509_STORE_CTX_set_purpose(verifying, X509_PURPOSE_SSL_SERVER);
    EXPECT_EQ(X509_verify_cert(verifying), 1)
        << X509_verify_cert_error_string(X509_STORE_CTX_get_error(verifying));
    X509_STORE_CTX_free(verifying);
    X509_STORE_free(store);
    EXPECT_EQ(X509_check_host(server, "localhost", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_ip_asc(server, "127.0.0.1", 0), 1);
    EXPECT_NE(X509_check_host(server, "example.org", 0, 0, nullptr), 1);
    X509_free(server);

    // Every start makes a new authority, never one that an earlier start handed out.
    std::optional<DemoIdentity> next = makeDemoIdentity(error);
    ASSERT_TRUE(next) << error;
    EXPECT_NE(next->authorityCertificate, identity->authorityCertificate);
    // What the client is handed to trust holds no key.
    EXPECT_EQ(identity->authorityCertificate.find("PRIVATE KEY"), std::string::npos);
}

class DemoStlsTest : public DemoServerTest {
protected:
    void SetUp() override {
        std::string error;
        std::optional<DemoIdentity> made = makeDemoIdentity(error);
        ASSERT_TRUE(made) << error;
        identity = *made;
        ASSERT_TRUE(server.offerStartTls(identity, error)) << error;
    }

    DemoIdentity identity;
};

TEST_F(DemoStlsTest, StlsSecuresTheSessionWithTheDemosOwnAuthority) {
    start();
    Client client(server.port());
    ASSERT_TRUE(client.connected());
    const std::string greeting = client.line();
    const std::string stamp =
        greeting.substr(greeting.find('<'), greeting.find('>') - greeting.find('<') + 1);
    client.send("CAPA\r\n");
    EXPECT_NE(client.multiLine().find("\r\nSTLS\r\n"), std::string::npos);
    EXPECT_EQ(client.command("STLS"), "+OK begin TLS negotiation\r\n");
    ASSERT_EQ(client.startTls(identity.authorityCertificate), "");
    client.send("CAPA\r\n");
    EXPECT_EQ(client.multiLine().find("STLS"), std::string::npos);
    EXPECT_FALSE(client.command("STLS").starts_with("+OK"));
    // APOP with the stamp of the greeting that came before the upgrade.
    EXPECT_TRUE(client.command("APOP demo " + apopDigestOf(stamp, "demo")).starts_with("+OK"));
    EXPECT_EQ(client.command("STAT"), "+OK 2 34\r\n");
    EXPECT_TRUE(client.command("DELE 2").starts_with("+OK"));
    EXPECT_TRUE(client.command("QUIT").starts_with("+OK"));
    EXPECT_TRUE(client.closedByServer());

    // The plain way in still works, on the same mailbox.
    Client plain(server.port());
    plain.line();
    plain.command("USER demo");
    plain.command("PASS demo");
    EXPECT_EQ(plain.command("STAT"), "+OK 1 17\r\n");
}

TEST_F(DemoStlsTest, BrokenUpgradesEndTheirSessionButNotTheServer) {
    server.idleLimit = 300ms;
    start();
    {
        // A command sent behind STLS in the same piece would be injected into the secured
        // session: the server ends the session instead.
        Client client(server.port());
        client.line();
        client.send("STLS\r\nUSER demo\r\n");
        EXPECT_EQ(client.line(), "+OK begin TLS negotiation\r\n");
        EXPECT_TRUE(client.closedByServer());
    }
    {
        Client client(server.port());
        client.line();
        client.command("STLS");
        client.send("this is no ClientHello\r\n");
        EXPECT_TRUE(client.closedByServer());
    }
    {
        // Silent after STLS: the idle limit ends the handshake's wait.
        Client client(server.port());
        client.line();
        client.command("STLS");
        EXPECT_TRUE(client.closedByServer());
    }
    {
        // A client that does not trust the certificate leaves in the handshake.
        Client client(server.port());
        client.line();
        client.command("STLS");
        std::string error;
        std::optional<DemoIdentity> stranger = makeDemoIdentity(error);
        ASSERT_TRUE(stranger) << error;
        EXPECT_NE(client.startTls(stranger->authorityCertificate), "");
    }
    Client client(server.port());
    client.line();
    EXPECT_TRUE(client.command("STLS").starts_with("+OK"));
    ASSERT_EQ(client.startTls(identity.authorityCertificate), "");
    client.command("USER demo");
    EXPECT_TRUE(client.command("PASS demo").starts_with("+OK"));
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
