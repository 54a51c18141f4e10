#pragma once

// What an OAuth2 sign-in adds to a check's log-in, against the local authorization server and
// Dovecot taking the token: the log-in with an access token still fresh (nothing asked of the
// provider) and with one that must be refreshed first.

#include <vector>

namespace toppeek::bench {

// Seconds per run; both empty on failure.
struct SignInTimes {
    std::vector<double> fresh;
    std::vector<double> refreshed;
};

SignInTimes timeSignIns(int runs);

void printSignInRuns(const SignInTimes& times);
void signInRow(const SignInTimes& times);

} // namespace toppeek::bench
