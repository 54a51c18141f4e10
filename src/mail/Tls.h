#pragma once

// TLS over a connected socket of the connection layer (OpenSSL). The handshake and every read
// and write wait in the layer's passes, so a secure connection freezes the window no more than a
// plain one, and stops as soon as the user cancels.

#include "mail/Connection.h"

#include <memory>
#include <string_view>

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

} // namespace toppeek::mail
