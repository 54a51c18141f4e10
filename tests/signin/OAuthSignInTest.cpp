// The OAuth2 sign-in as a user meets it: the system browser (here headless Chromium, started the
// way the desktop starts a browser: through $BROWSER) signs in at a local authorization server
// and hands the code to the program's loopback listener; Dovecot takes the access token with
// XOAUTH2 and OAUTHBEARER and asks the same server whether it is good.

#include "signin/OAuthSignIn.h"
#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/OAuthTestServer.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace toppeek;
using namespace std::chrono_literals;
using test::DovecotServer;
using test::OAuthTestServer;

const std::string kUser = "alice";
const std::string kClientId = "toppeek-test-client";

bool portIsOpen(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool open = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return open;
}

class OAuthSignIn : public testing::Test {
protected:
    void SetUp() override {
        mail::startConnectionLayer();
        // xdg-open takes $BROWSER when no desktop file claims web pages: the data folders it
        // looks in are emptied for the test.
        ::setenv("BROWSER", OAuthTestServer::browserScriptPath().c_str(), 1);
        ::setenv("XDG_DATA_DIRS", folder.path().c_str(), 1);
        ::setenv("XDG_DATA_HOME", folder.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
        ::unsetenv("XDG_CURRENT_DESKTOP");
        ASSERT_TRUE(authority.start()) << authority.failure();
        setup.kind = signin::ProviderKind::Other;
        setup.authorizationUrl = authority.authorizationUrl();
        setup.tokenUrl = authority.tokenUrl();
        setup.scope = "pop3";
        setup.clientId = kClientId;
    }

    signin::SignInResult signIn() {
        return signin::signInWithBrowser(setup, kUser, signin::systemBrowser(), 60s);
    }

    // A check's log-in with the token; the mechanism it used, or the failure.
    std::string logInWith(DovecotServer& server, const std::string& token) {
        mail::ConnectionControl control;
        control.timeoutSeconds = 10;
        mail::Pop3Session session;
        mail::LoginRequest request{kUser, token};
        request.bearerToken = true;
        if (mail::pop3SignIn(session, server.hostAndPort(), request, control) != mail::kLoginOk)
            return "refused " + session.refusalCode + ": " + control.failureReason;
        mail::pop3Quit(session);
        return session.signedInWith;
    }

    std::unique_ptr<DovecotServer> dovecot(const std::string& mechanisms) {
        auto server = std::make_unique<DovecotServer>();
        server->offerMechanisms(mechanisms);
        server->acceptOAuth2(authority.introspectionUrlForDovecot());
        server->addUser(kUser, "unused-Password-1");
        return server;
    }

    test::TemporaryFolder folder;
    OAuthTestServer authority{kUser, kClientId};
    signin::OAuthSetup setup;
};

TEST_F(OAuthSignIn, FirstSignInThenChecksWithOAuthBearerAndXOAuth2) {
    const signin::SignInResult result = signIn();
    ASSERT_TRUE(result.tokens) << result.failure;
    EXPECT_FALSE(result.tokens->refreshToken.empty());
    EXPECT_TRUE(signin::stillFresh(*result.tokens));
    // The loopback listener is gone once the sign-in is over.
    ASSERT_GT(result.loopbackPort, 0);
    EXPECT_FALSE(portIsOpen(result.loopbackPort));

    auto both = dovecot("plain oauthbearer xoauth2");
    ASSERT_TRUE(both->start()) << both->failure();
    EXPECT_EQ(logInWith(*both, result.tokens->accessToken), "OAUTHBEARER");
    auto xoauth2Only = dovecot("plain xoauth2");
    ASSERT_TRUE(xoauth2Only->start()) << xoauth2Only->failure();
    EXPECT_EQ(logInWith(*xoauth2Only, result.tokens->accessToken), "XOAUTH2");
}

TEST_F(OAuthSignIn, AnExpiredAccessTokenIsRefreshedBeforeTheCheck) {
    ASSERT_TRUE(authority.configure(R"({"access_lifetime": 1})"));
    signin::SignInResult result = signIn();
    ASSERT_TRUE(result.tokens) << result.failure;
    signin::Tokens tokens = *result.tokens;
    std::this_thread::sleep_for(1500ms);
    auto server = dovecot("plain xoauth2");
    ASSERT_TRUE(server->start()) << server->failure();
    // The server answers the dead token with its JSON challenge; the client acknowledges it and
    // tells a refused sign-in.
    EXPECT_EQ(logInWith(*server, tokens.accessToken).rfind("refused AUTH", 0), 0u);

    ASSERT_TRUE(authority.configure(R"({"access_lifetime": 300})"));
    std::string failure;
    const std::string before = tokens.accessToken;
    ASSERT_EQ(signin::ensureAccessToken(setup, kUser, tokens, false, {}, failure),
              signin::TokenState::Ready)
        << failure;
    EXPECT_NE(tokens.accessToken, before);
    EXPECT_EQ(authority.count("refresh"), 1);
    EXPECT_EQ(logInWith(*server, tokens.accessToken), "XOAUTH2");
}

TEST_F(OAuthSignIn, ARevokedRefreshTokenNeedsASignInThatABackgroundCheckNeverOpens) {
    signin::SignInResult result = signIn();
    ASSERT_TRUE(result.tokens) << result.failure;
    signin::Tokens tokens = *result.tokens;
    authority.revoke(tokens.refreshToken);
    tokens.expiresAt = {};

    int browsersOpened = 0;
    const signin::BrowserOpener counting = [&](const QUrl&) {
        ++browsersOpened;
        return false;
    };
    std::string failure;
    EXPECT_EQ(signin::ensureAccessToken(setup, kUser, tokens, false, counting, failure),
              signin::TokenState::SignInNeeded);
    EXPECT_TRUE(tokens.refreshToken.empty());
    EXPECT_EQ(browsersOpened, 0);
    EXPECT_NE(failure.find("Sign-in needed"), std::string::npos) << failure;
}

TEST_F(OAuthSignIn, AWrongStateOrDeniedConsentGivesNoTokens) {
    ASSERT_TRUE(authority.configure(R"({"wrong_state": true})"));
    signin::SignInResult forged = signIn();
    EXPECT_FALSE(forged.tokens);
    EXPECT_NE(forged.failure.find("not the one"), std::string::npos) << forged.failure;
    EXPECT_FALSE(portIsOpen(forged.loopbackPort));

    ASSERT_TRUE(authority.configure(R"({"wrong_state": false, "deny": true})"));
    signin::SignInResult denied = signIn();
    EXPECT_FALSE(denied.tokens);
    EXPECT_NE(denied.failure.find("permission was not given"), std::string::npos) << denied.failure;
    // Neither reached the token endpoint.
    EXPECT_EQ(authority.count("token"), 0);
}

} // namespace
