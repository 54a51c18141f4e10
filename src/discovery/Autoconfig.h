// The autoconfig document that established mail clients read (config-v1.1.xml): its POP3
// servers, and fetching it over HTTPS.
#pragma once

#include "discovery/Dns.h"
#include "discovery/Settings.h"

#include <atomic>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace toppeek::discovery {

// Most bytes of a document that are read; a longer one is refused whole.
inline constexpr std::size_t kAutoconfigLimit = 64 * 1024;

struct AutoconfigDocument {
    std::string displayName;
    // Its POP3 incoming servers in the document's order (its order of preference); the user name
    // with %EMAILADDRESS%, %EMAILLOCALPART% and %EMAILDOMAIN% filled in from the address.
    std::vector<ServerSettings> servers;
};

// Reads a document; nothing when it is no well-formed clientConfig. A server entry whose host,
// port or socket type cannot be used is left out. Its sign-in is the first authentication the
// entry names that this program knows (password-cleartext, password-encrypted, OAuth2).
std::optional<AutoconfigDocument> parseAutoconfig(std::string_view xml, std::string_view address);

// The addresses the document is asked at, in order.
std::vector<std::string> autoconfigUrls(std::string_view address, int httpsPort = 443);

struct FetchOutcome {
    std::optional<std::string> body; // only for a complete 200 reply within the limit
    std::string failure;             // why not, in a few words
};
// Fetches one https:// address: the certificate checked (SSL_CERT_FILE and SSL_CERT_DIR are
// honoured as the mail connections honour them), redirects followed only to https://, at most
// kAutoconfigLimit bytes, ended at the deadline or when stop is set. The host is reached at the
// addresses given when there are any (so that the discovery's own resolver decides), else through
// libcurl's resolver.
FetchOutcome fetchHttps(const std::string& url, const mail::AddressList& addresses,
                        Clock::time_point deadline, const std::atomic<bool>* stop);

} // namespace toppeek::discovery
