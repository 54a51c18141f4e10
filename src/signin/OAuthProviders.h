#pragma once

// The OAuth2 providers a mail account may sign in with: the presets for Google and Microsoft, and
// the endpoints of any other provider, typed in or found from its issuer's discovery document.

#include <optional>
#include <string>
#include <string_view>

namespace toppeek::signin {

enum class ProviderKind { Google, Microsoft, Other };

// Where and how an account signs in (RFC 6749 endpoints, the scope to ask for) and the
// application's registration with the provider.
struct OAuthSetup {
    ProviderKind kind = ProviderKind::Other;
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string scope;
    std::string clientId;
    // Only where a provider's desktop-app registration has one (Google's does); for a native app
    // it is no secret (RFC 8252, 8.5) and PKCE is what protects the code.
    std::string clientSecret;
};

// The preset endpoints and scope of a provider (empty for Other), and its POP3 server.
OAuthSetup presetFor(ProviderKind kind);
std::string_view pop3ServerOf(ProviderKind kind);
std::string_view providerName(ProviderKind kind);
// "google", "microsoft", "other", as the settings file names them.
std::string_view providerKey(ProviderKind kind);
std::optional<ProviderKind> providerFromKey(std::string_view key);

// The provider an address's domain obviously belongs to, by the program's provider table
// (mail/Providers.h): gmail.com and googlemail.com to Google; outlook.com, hotmail.*, live.*,
// msn.com and Microsoft's other mail domains to Microsoft. Nothing otherwise.
std::optional<ProviderKind> providerForAddress(std::string_view address);

// The client ID (and secret) built in by the distributor for a provider, empty when none was.
std::string builtInClientId(ProviderKind kind);
std::string builtInClientSecret(ProviderKind kind);

} // namespace toppeek::signin
