#pragma once

// TLS over a connected socket of the connection layer (OpenSSL). The handshake and every read
// and write wait in the layer's passes, so a secure connection freezes the window no more than a
// plain one, and stops as soon as the user cancels.

#include "mail/Connection.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::mail {

// The status line shown while the handshake runs; once done the protocol and cipher follow it.
inline constexpr std::string_view kSecuringText = "Securing connection\u2026";

// Runs the client handshake on socket (TLS 1.2 or newer), verifying the server's certificate
// against the system's trust store (OpenSSL's SSL_CERT_FILE and SSL_CERT_DIR are honoured) and
// against hostName, which also goes out as the server name unless it is an address. Reports
// ConnectStatus::Securing before and after. Returns the secure channel, or nothing with
// control.failureReason telling why in one line. The socket stays the caller's to close; the
// channel only borrows it.
std::unique_ptr<Transport> secureConnection(Socket socket, std::string_view hostName,
                                            ConnectionControl& control);

// What an inspecting handshake learnt of the connection and the server's certificate.
struct TlsPeerInfo {
    std::string protocol; // "TLSv1.3"
    std::string cipher;
    std::string subject; // one line, as OpenSSL writes a name
    std::string issuer;
    std::string expires; // "Mar  5 12:00:00 2027 GMT"
    bool expired = false;
    // The DNS names and addresses the certificate is for (its subject alternative names).
    std::vector<std::string> names;
    // Whether the certificate passed every check secureConnection makes, and else why not, one
    // line per failed check.
    bool trusted = false;
    std::vector<std::string> whyNotTrusted;
    // The failed check was the name: the certificate is for other names.
    bool nameMismatch = false;
};

// As secureConnection, but a certificate that fails verification does not end the handshake: the
// account test shows the user what the server presented and why it is not trusted. Nothing but a
// look may go over a channel whose info.trusted is false, least of all a credential.
std::unique_ptr<Transport> inspectSecureConnection(Socket socket, std::string_view hostName,
                                                   ConnectionControl& control, TlsPeerInfo& info);

} // namespace toppeek::mail
