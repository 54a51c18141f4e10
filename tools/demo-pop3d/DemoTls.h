// TLS for the demo server's STLS (RFC 2595): a certificate authority of the demo's own with a
// server certificate for localhost and 127.0.0.1, made afresh at every start, and the server's
// side of a secured session over a socket that the server keeps polling, so that a stop or the
// idle limit still ends a session that waits in the handshake.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace toppeek::demo {

// PEM texts. Only the authority's certificate ever leaves the process: the client trusts it.
struct DemoIdentity {
    std::string authorityCertificate;
    std::string serverCertificate;
    std::string serverKey;
};

// A new authority (P-256) and a server certificate it issued for DNS:localhost and
// IP:127.0.0.1, valid from an hour ago for 30 days. Nothing, with the reason in error, when
// OpenSSL failed.
std::optional<DemoIdentity> makeDemoIdentity(std::string& error);

// Waits until the socket can be read (or written, when forWriting); false when the wait must
// give up (the server stops or the client stayed silent too long).
using SocketWait = std::function<bool(bool forWriting)>;

// One secured session. Closing it sends close_notify when the socket takes it at once.
class TlsSession {
public:
    // What receive returns when OpenSSL needs more bytes from the socket first.
    static constexpr long kWantMore = -2;

    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Sends all of bytes, waiting whenever the socket is full. False on failure.
    bool send(std::string_view bytes, const SocketWait& wait);
    // Decrypted bytes (> 0), 0 when the client ended the session, -1 on failure, or kWantMore.
    long receive(char* buffer, std::size_t size);
    // Decrypted bytes wait inside OpenSSL that polling the socket would not show.
    bool buffered() const;
    // "TLSv1.3, TLS_AES_256_GCM_SHA384", for the log.
    std::string description() const;

private:
    friend class TlsServer;
    explicit TlsSession(void* ssl) : ssl_(ssl) {}
    void* ssl_; // SSL
};

// The server's TLS context, presenting the identity's server certificate.
class TlsServer {
public:
    // Nothing, with the reason in error, when OpenSSL does not take the certificate or key.
    static std::unique_ptr<TlsServer> create(const DemoIdentity& identity, std::string& error);
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    // Runs the server's handshake on the connected socket fd, which it makes non-blocking for
    // good. Nothing, with the reason in error, when the handshake failed or a wait gave up.
    std::unique_ptr<TlsSession> accept(int fd, const SocketWait& wait, std::string& error) const;

private:
    explicit TlsServer(void* context) : context_(context) {}
    void* context_; // SSL_CTX
};

} // namespace toppeek::demo
