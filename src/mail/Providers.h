// The large mail providers: their POP3 servers as each provider documents them and, for those
// that sign in with OAuth2, where and for what the sign-in asks. One table, read both by the
// search for an account's server (discovery/) and by the OAuth2 sign-in presets (signin/).
#pragma once

#include "mail/Pop3.h"

#include <span>
#include <string_view>

namespace toppeek::mail {

// A provider's OAuth2 sign-in for desktop applications: its RFC 6749 endpoints and the scope
// its POP3 server takes.
struct OAuthPreset {
    // How the settings file names the provider ("google", "microsoft"); never changes.
    std::string_view key;
    std::string_view name;
    std::string_view authorizationUrl;
    std::string_view tokenUrl;
    std::string_view scope;
};

struct MailProvider {
    std::string_view name;
    // The provider's own mail domains, separated by spaces. A word "label.*" stands for the
    // provider's country domains: label followed by one top-level domain, or by "co." or "com."
    // and one ("hotmail.fr", "hotmail.co.uk", "hotmail.com.br"; not "hotmail.example.org").
    std::string_view domains;
    // Domains under which the provider's MX hosts are named, separated by spaces: a domain of its
    // own whose MX is one of them is hosted there (Google Workspace, Microsoft 365).
    std::string_view mailExchangers;
    // Empty when the provider offers no POP3 at all.
    std::string_view host;
    int port = kPop3sPort;
    Security security = Security::Tls;
    // The OAuth2 sign-in its POP3 server takes (or wants); null where it takes a password.
    const OAuthPreset* oauth = nullptr;
    // What the user must know beyond the settings, in one or two sentences; may be empty.
    std::string_view note;

    bool offersPop3() const { return !host.empty(); }
};

std::span<const MailProvider> mailProviders();

// The provider whose own domain this is (case-insensitive, a trailing dot ignored), or null.
const MailProvider* mailProviderForDomain(std::string_view domain);
// The provider whose MX hosts are named under a domain that host ends in, or null.
const MailProvider* mailProviderForExchanger(std::string_view host);

// The OAuth2 presets of the table's providers, and the one named key, or null.
std::span<const OAuthPreset* const> oauthPresets();
const OAuthPreset* oauthPreset(std::string_view key);
// The provider whose POP3 server signs in with preset, or null.
const MailProvider* providerSigningInWith(const OAuthPreset& preset);

} // namespace toppeek::mail
