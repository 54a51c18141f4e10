#include "SignInBench.h"

#include "BenchCommon.h"
#include "OperationsProbe.h"
#include "PoplibReference.h"
#include "mail/Pop3.h"
#include "signin/OAuthSignIn.h"
#include "support/DovecotServer.h"
#include "support/OAuthTestServer.h"

#include <string>

namespace toppeek::bench {

SignInTimes timeSignIns(int runs) {
    SignInTimes times;
    toppeek::test::OAuthTestServer authority("signer", "toppeek-bench-client");
    if (!authority.start())
        return times;
    toppeek::test::DovecotServer server;
    server.offerMechanisms("plain xoauth2 oauthbearer");
    server.acceptOAuth2(authority.introspectionUrlForDovecot());
    server.addUser("signer", kPassword);
    if (!server.start())
        return times;
    toppeek::signin::OAuthSetup setup;
    setup.authorizationUrl = authority.authorizationUrl();
    setup.tokenUrl = authority.tokenUrl();
    setup.scope = "pop3";
    setup.clientId = "toppeek-bench-client";
    toppeek::signin::Tokens tokens;
    tokens.refreshToken = authority.issueRefreshToken();
    auto logIn = [&](bool refresh) {
        if (refresh)
            tokens.expiresAt = {};
        std::string failure;
        toppeek::mail::ConnectionControl control;
        toppeek::mail::Pop3Session session;
        const auto start = Clock::now();
        if (toppeek::signin::ensureAccessToken(setup, "signer", tokens, false, {}, failure) !=
            toppeek::signin::TokenState::Ready)
            return -1.0;
        toppeek::mail::LoginRequest request{"signer", tokens.accessToken};
        request.bearerToken = true;
        const int result =
            toppeek::mail::pop3SignIn(session, server.hostAndPort(), request, control);
        const double seconds = secondsSince(start);
        if (result != toppeek::mail::kLoginOk)
            return -1.0;
        toppeek::mail::pop3Quit(session);
        return seconds;
    };
    for (int i = 0; i < runs; ++i) {
        const double refreshed = logIn(true);
        const double fresh = logIn(false);
        if (refreshed < 0 || fresh < 0)
            return {};
        times.refreshed.push_back(refreshed);
        times.fresh.push_back(fresh);
    }
    return times;
}

void printSignInRuns(const SignInTimes& times) {
    printRuns("log-in, token refreshed:", times.refreshed, 1000, "ms");
    printRuns("log-in, token fresh:", times.fresh, 1000, "ms");
}

void signInRow(const SignInTimes& times) {
    if (!times.fresh.empty())
        row("OAuth2 log-in with a token refresh (ref: fresh token)", median(times.refreshed) * 1000,
            median(times.fresh) * 1000, "", "");
}

} // namespace toppeek::bench
