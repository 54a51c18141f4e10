#pragma once

// OAuth2 sign-in for mail accounts (RFC 6749 authorization code grant with PKCE, RFC 7636, as
// RFC 8252 asks of native apps): the browser sign-in through Qt Network Authorization with a
// loopback redirect on 127.0.0.1, the refresh of access tokens, and the discovery of a provider's
// endpoints (RFC 8414, OpenID Connect). No widgets: the browser is opened through a hook.

#include "signin/OAuthProviders.h"

#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace toppeek::signin {

// What the token endpoint gave. expiresAt is when the access token stops working.
struct Tokens {
    std::string accessToken;
    std::string refreshToken;
    std::chrono::system_clock::time_point expiresAt{};
};

// Opens the provider's authorization page; false when no browser could be started.
using BrowserOpener = std::function<bool(const QUrl&)>;
// The system's browser, through Qt's desktop services (xdg-open, $BROWSER).
BrowserOpener systemBrowser();
// Asked while the sign-in waits: true stops it.
using StopQuery = std::function<bool()>;

struct SignInResult {
    std::optional<Tokens> tokens;
    // Why there are none, in words for the failure box.
    std::string failure;
    // The port the loopback listener had; it is closed again when the sign-in returns.
    int loopbackPort = 0;
};

// The whole browser sign-in: listens on 127.0.0.1 on a free port, opens the authorization page
// with a fresh state and PKCE challenge, waits for the browser's redirect (at most wait, or until
// stop says so), checks the state, exchanges the code for tokens. loginHint (the address) is
// passed on to the provider. Runs the event loop while it waits.
SignInResult signInWithBrowser(const OAuthSetup& setup, const std::string& loginHint,
                               const BrowserOpener& openBrowser,
                               std::chrono::seconds wait = std::chrono::minutes(5),
                               const StopQuery& stop = {});

enum class RefreshOutcome {
    Refreshed,
    // The provider refused the refresh token (revoked, expired): the account must sign in again.
    SignInNeeded,
    // The provider could not be asked (network, server error): try again later.
    Failed,
};
struct RefreshResult {
    RefreshOutcome outcome = RefreshOutcome::Failed;
    // The new access token; refreshToken holds the provider's new one when it sent one, else the
    // one refreshed with.
    Tokens tokens;
    std::string failure;
};
// A new access token for a refresh token. Runs the event loop while it waits (at most wait).
RefreshResult refreshAccessToken(const OAuthSetup& setup, const std::string& refreshToken,
                                 std::chrono::seconds wait = std::chrono::seconds(30));

// The authorization and token endpoints of an issuer, from its discovery document: RFC 8414's
// /.well-known/oauth-authorization-server, else OpenID Connect's openid-configuration. Nothing,
// with failure set, when neither gives both endpoints.
struct Endpoints {
    std::string authorizationUrl;
    std::string tokenUrl;
};
std::optional<Endpoints> discoverEndpoints(const std::string& issuer, std::string& failure,
                                           std::chrono::seconds wait = std::chrono::seconds(20));

// Whether an access token still works for a check that starts now: it has more than a minute
// left, so that it does not run out between the refresh and the log-in.
bool stillFresh(const Tokens& tokens);

enum class TokenState {
    Ready,
    // No refresh token, or the provider refused it, and no browser sign-in was allowed.
    SignInNeeded,
    Failed,
};
// Makes tokens hold an access token good for a check: kept while fresh, else refreshed with the
// refresh token, else (when mayOpenBrowser) a new browser sign-in. A refused refresh token is
// dropped from tokens, so that the caller's keeping of it ends too. failure tells why on
// SignInNeeded and Failed. A background check passes mayOpenBrowser false: it never opens a
// browser.
TokenState ensureAccessToken(const OAuthSetup& setup, const std::string& loginHint, Tokens& tokens,
                             bool mayOpenBrowser, const BrowserOpener& openBrowser,
                             std::string& failure);

} // namespace toppeek::signin
