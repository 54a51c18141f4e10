#include "ClientCheck.h"

#include "PoplibReference.h"
#include "mail/Pop3.h"
#include "support/MailutilsServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

namespace toppeek::bench {

namespace {

const char* const kUser = "bench";
const char* const kPassword = "bench-password";

// One timed check with our client; seconds, or a negative value when an exchange failed.
double timeOurs(const test::RealPop3Server& server, long limit) {
    static std::vector<char> buffer(20000);
    mail::ConnectionControl control;
    mail::Pop3Session session;
    const auto start = std::chrono::steady_clock::now();
    if (mail::pop3Login(session, server.hostAndPort(), server.loginName(kUser), kPassword,
                        control) != mail::kLoginOk)
        return -1;
    long count = 0;
    long octets = 0;
    bool ok = mail::pop3Stat(session, count, octets) && count > 0;
    for (long n = 1; ok && n <= std::min(count, limit); ++n) {
        long size = 0;
        ok = mail::pop3List(session, n, size) &&
             mail::pop3Top(session, n, 0, buffer.data(), static_cast<int>(buffer.size()));
    }
    ok = mail::pop3Quit(session) && ok;
    session.close();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return ok ? elapsed.count() : -1;
}

} // namespace

ClientCheckFigures timeClientCheckOnMailutils(int messages, int runs) {
    ClientCheckFigures figures;
    test::MailutilsServer server;
    std::mt19937 random(20240305);
    server.addUser(kUser, kPassword);
    for (int n = 1; n <= messages; ++n)
        server.addMessage(kUser, makeMessage(n, random));
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return figures;
    }
    // The first session makes the server index the new mail; it is not timed.
    if (timeOurs(server, messages) < 0) {
        std::fprintf(stderr, "mailutils: a check with our client failed\n");
        return figures;
    }
    const long poplibLimit = std::max(1, messages / 10);
    const int poplibRuns = 3;
    std::vector<double> ours;
    std::vector<double> poplib;
    // Alternating the two spreads the machine's changing load evenly over both.
    for (int r = 0; r < std::max(runs, poplibRuns); ++r) {
        if (r < runs) {
            const double seconds = timeOurs(server, messages);
            if (seconds < 0) {
                std::fprintf(stderr, "mailutils: a check with our client failed\n");
                return figures;
            }
            ours.push_back(seconds);
        }
        if (r < poplibRuns) {
            const std::vector<double> one =
                timePoplibCheck(server.port(), server.loginName(kUser), kPassword, 1, poplibLimit);
            if (one.empty())
                return figures;
            poplib.push_back(one.front());
        }
    }
    figures.ok = true;
    figures.messages = messages;
    figures.poplibMessages = std::min<long>(poplibLimit, messages);
    figures.oursPerMessage = median(ours) / messages;
    figures.poplibPerMessage = median(poplib) / static_cast<double>(figures.poplibMessages);
    return figures;
}

} // namespace toppeek::bench
