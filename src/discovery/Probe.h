// A look at a POP3 server that sends no credential: the greeting, CAPA, and STLS where asked.
#pragma once

#include "mail/Pop3.h"

#include <string>
#include <vector>

namespace toppeek::discovery {

// Sends CAPA and reads the whole listing: lines holds each line after the status line (the
// terminating "." not included), and session.capabilities their first words in upper case.
// False when the server refused CAPA or the reply did not arrive.
bool readCapabilityLines(mail::Pop3Session& session, std::vector<std::string>& lines);
// The SASL mechanisms a CAPA listing names.
std::vector<std::string> saslMechanisms(const std::vector<std::string>& lines);

struct ProbeOutcome {
    bool pop3 = false;    // a POP3 greeting came
    bool secured = false; // and the connection was secured as asked, its certificate trusted
    bool offersStls = false;
    std::string failure; // why not, in a few words
};

// Connects to one of addresses on port; with Security::Tls secures the connection at once,
// with StartTls reads the greeting and CAPA and asks STLS. The certificate must be valid for
// host. Then CAPA and QUIT; no user name or password ever goes out.
ProbeOutcome probePop3(const std::string& host, const mail::AddressList& addresses, int port,
                       mail::Security security, mail::ConnectionControl& control);

} // namespace toppeek::discovery
