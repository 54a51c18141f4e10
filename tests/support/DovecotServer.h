#pragma once

#include "support/RealPop3Server.h"

#include <filesystem>
#include <optional>
#include <string>

namespace toppeek::test {

// Dovecot's POP3 server with a configuration of its own: plain passwords (so APOP works and the
// greeting carries a time stamp), Maildirs at HOME/Maildir, and no penalty or long delay after a
// refused login, so that tests may refuse passwords without slowing the ones that follow.
//
// Given a certificate and its key (PEM files), the server takes secured logins only
// (ssl = required): STLS on the plain port, and POP3 over TLS on a second port.
struct DovecotTls {
    std::filesystem::path certificate;
    std::filesystem::path key;
};

class DovecotServer : public RealPop3Server {
public:
    explicit DovecotServer(std::optional<DovecotTls> tls = std::nullopt);

    // The port of POP3 over TLS; 0 without TLS.
    int pop3sPort() const { return tls_ ? pop3sPort_ : 0; }

    // Listens on the IPv6 loopback ::1 as well, on the same ports; call before start(). Start-up
    // still waits for the greeting on 127.0.0.1.
    void alsoListenOnIpv6Loopback() { ipv6Loopback_ = true; }

    // The SASL mechanisms offered (Dovecot's names, space-separated); "plain login apop" unless
    // set. Call before start().
    void offerMechanisms(std::string mechanisms) { mechanisms_ = std::move(mechanisms); }
    // Takes OAuth2 bearer tokens (XOAUTH2, OAUTHBEARER) and asks the authorization server at
    // introspectionUrl (RFC 7662, by POST) whether a token is active and whose it is. Call
    // before start().
    void acceptOAuth2(std::string introspectionUrl) {
        introspection_ = std::move(introspectionUrl);
    }

protected:
    std::string prepare(int port) override;
    std::vector<std::string> commandLine() const override;
    std::filesystem::path maildirOf(const std::string& user) const override;
    std::vector<std::filesystem::path> logFiles() const override;

private:
    std::optional<DovecotTls> tls_;
    int pop3sPort_ = 0;
    bool ipv6Loopback_ = false;
    std::string mechanisms_ = "plain login apop";
    std::string introspection_;
};

// True when this machine has the IPv6 loopback address ::1 to listen and connect on.
bool hasIpv6Loopback();

} // namespace toppeek::test
