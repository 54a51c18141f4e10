// What the settings discovery finds for an address and where it found it.
#pragma once

#include "mail/Pop3.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::discovery {

// How the user signs in to a server.
enum class SignIn {
    Password,          // USER/PASS or SASL PLAIN: the password itself
    EncryptedPassword, // APOP or a challenge-response SASL mechanism
    OAuth2,            // a bearer token from the provider's sign-in page
};

// One way to reach an account's POP3 server.
struct ServerSettings {
    std::string host;
    int port = 0;
    mail::Security security = mail::Security::Tls;
    // The name to log in with; empty when the source does not say (the address is the usual one).
    std::string userName;
    SignIn signIn = SignIn::Password;
};

// Where a finding came from, in the order the sources are asked.
enum class Source {
    ProviderTable,
    Autoconfig,
    DnsService,    // the domain's _pop3s._tcp / _pop3._tcp records
    MailExchanger, // the domain's MX names a provider of the table
    Probe,
};

// The domain of an address ("example.com" of "ann@Example.COM."), lower case, without a trailing
// dot; empty when the address has no '@' or nothing after it.
std::string domainOf(std::string_view address);
std::string localPartOf(std::string_view address);

// text with A-Z made lower case; other bytes as they are.
std::string lowerAscii(std::string_view text);

// "SSL/TLS", "STARTTLS" or "None", as the account editor names them.
const char* securityName(mail::Security security);

} // namespace toppeek::discovery
