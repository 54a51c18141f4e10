#pragma once

#include "support/TestCertificates.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::test {

enum class TlsVersion { Tls12, Tls13 };

// The server's side of TLS worked by hand over memory buffers (OpenSSL): the client's bytes go in,
// the records the server would send come out, and the test decides which of them reach the client,
// and when. It has no socket, so a hostile behaviour can cut the handshake at any byte, put garbage
// in its place or say nothing at all. Session tickets are off, so that the handshake's bytes are
// all the server sends before its first text.
class TlsServerSide {
public:
    // Presents the issued certificate; speaks only the given version.
    TlsServerSide(const IssuedCertificate& identity, TlsVersion version);
    ~TlsServerSide();
    TlsServerSide(const TlsServerSide&) = delete;
    TlsServerSide& operator=(const TlsServerSide&) = delete;

    // False when OpenSSL could not take the certificate and key.
    bool valid() const { return ssl_ != nullptr; }

    // Takes bytes from the client and runs the handshake, or once it is done decrypts, as far as
    // they go. False once the connection has failed (the alert may still wait in output()).
    bool feed(std::string_view fromClient);
    // The bytes the server has to send now, taken.
    std::string output();
    bool secured() const { return secured_; }
    // The client sent its close_notify.
    bool closedByClient() const { return closedByClient_; }
    // Text received from the client since the last call, taken.
    std::string text();
    // The records that carry text to the client.
    std::string seal(std::string_view text);
    // The close_notify alert (a clean end of the secured connection).
    std::string closeNotify();

private:
    void* context_ = nullptr; // SSL_CTX
    void* ssl_ = nullptr;     // SSL, owning its two memory BIOs
    void* fromClient_ = nullptr;
    void* toClient_ = nullptr;
    bool secured_ = false;
    bool failed_ = false;
    bool closedByClient_ = false;
    std::string text_;
};

// The lengths of the TLS records that bytes holds, headers included, in order; a record cut short
// at the end counts with the length its header announces (or as what is left of a header).
std::vector<std::size_t> recordLengths(std::string_view bytes);

} // namespace toppeek::test
