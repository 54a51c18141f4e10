#pragma once

#include <string>
#include <sys/types.h>

namespace toppeek::test {

// The local OAuth2 authorization server of the sign-in tests (tests/support/oauth2, built on
// Authlib) as a child process on 127.0.0.1: it approves user without a form, checks PKCE, issues
// access tokens of accessLifetime seconds and refresh tokens, revokes and introspects them.
class OAuthTestServer {
public:
    OAuthTestServer(std::string user, std::string clientId, int accessLifetime = 300);
    ~OAuthTestServer();
    OAuthTestServer(const OAuthTestServer&) = delete;
    OAuthTestServer& operator=(const OAuthTestServer&) = delete;

    // Starts it and waits until it listens; false (with failure()) when it did not.
    [[nodiscard]] bool start();
    const std::string& failure() const { return failure_; }
    int port() const { return port_; }
    // "http://127.0.0.1:port" and the endpoints below it.
    std::string base() const;
    std::string authorizationUrl() const { return base() + "/authorize"; }
    std::string tokenUrl() const { return base() + "/token"; }
    // The introspection endpoint with the credentials Dovecot must give.
    std::string introspectionUrlForDovecot() const;

    // Changes its behaviour (a JSON object: "deny", "wrong_state", "access_lifetime").
    bool configure(const std::string& json);
    // Revokes a token as a user who withdraws the app's access does (RFC 7009).
    bool revoke(const std::string& token);
    // The tokens a finished browser sign-in leaves, or a refresh gives.
    struct Issued {
        std::string accessToken;
        std::string refreshToken;
    };
    Issued issueTokens();
    // A refresh token as a finished browser sign-in leaves it.
    std::string issueRefreshToken() { return issueTokens().refreshToken; }
    // How often an endpoint was asked: "authorize", "token", "refresh", "introspect".
    int count(const std::string& endpoint);

    // The script's path; the browser script that goes into $BROWSER.
    static std::string scriptPath();
    static std::string browserScriptPath();

private:
    std::string post(const std::string& path, const std::string& contentType,
                     const std::string& body);

    std::string user_;
    std::string clientId_;
    int accessLifetime_;
    pid_t pid_ = -1;
    int port_ = 0;
    std::string failure_;
};

} // namespace toppeek::test
