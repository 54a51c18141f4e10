// Times a mailbox check against real servers: log in, STAT, then LIST n and TOP n 0 for every
// message, QUIT. Our client and python3's poplib do exactly the same exchanges in the same run,
// so the ratio between them shows what our waits and socket handling cost, free of the server's
// and the machine's own speed.
//
// Usage: bench_pop3 [messages] [runs] [spread]   (defaults 1000 and 5; must run as root)
//
// Unless "spread" is given, the benchmark and every process it starts (servers, python) run on
// one processor. On a virtual machine a wake-up on another processor can cost more than a whole
// exchange, and whether client and server share one changes from run to run, which makes the
// figures jump by a factor of three; on one processor they repeat within a few percent.

#include "PoplibReference.h"
#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/MailutilsServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;
using toppeek::test::DovecotServer;
using toppeek::test::MailutilsServer;
using toppeek::test::RealPop3Server;
using namespace toppeek::bench;

const char* const kUser = "bench";
const char* const kPassword = "bench-password";

// One timed check with our client; returns seconds, or a negative value when an exchange
// failed.
double timeOurs(const RealPop3Server& server, long limit) {
    static std::vector<char> buffer(20000);
    ConnectionControl control;
    Pop3Session session;
    auto start = std::chrono::steady_clock::now();
    if (pop3Login(session, server.hostAndPort(), server.loginName(kUser), kPassword, control) !=
        kLoginOk)
        return -1;
    long count = 0;
    long octets = 0;
    bool ok = pop3Stat(session, count, octets) && count > 0;
    for (long n = 1; ok && n <= std::min(count, limit); ++n) {
        long size = 0;
        ok = pop3List(session, n, size) &&
             pop3Top(session, n, 0, buffer.data(), static_cast<int>(buffer.size()));
    }
    ok = pop3Quit(session) && ok;
    session.close();
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    return ok ? elapsed.count() : -1;
}

struct Figures {
    double ours = 0;   // median seconds of a whole check
    double poplib = 0; // median seconds of a whole check
    long oursMessages = 0;
    long poplibMessages = 0;
};

bool benchServer(const char* name, RealPop3Server& server, int messages, int runs, int poplibRuns,
                 long poplibLimit, Figures& figures) {
    std::mt19937 random(20240305);
    server.addUser(kUser, kPassword);
    for (int n = 1; n <= messages; ++n)
        server.addMessage(kUser, makeMessage(n, random));
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return false;
    }
    std::printf("\n%s on %s, %d messages\n", name, server.hostAndPort().c_str(), messages);

    // The first session makes the server index the new mail; it is not timed.
    if (timeOurs(server, messages) < 0) {
        std::fprintf(stderr, "%s: a check with our client failed\n", name);
        return false;
    }
    // Alternating the two spreads the machine's changing load evenly over both.
    std::vector<double> ours;
    std::vector<double> poplib;
    for (int r = 0; r < std::max(runs, poplibRuns); ++r) {
        if (r < runs) {
            double s = timeOurs(server, messages);
            if (s < 0) {
                std::fprintf(stderr, "%s: a check with our client failed\n", name);
                return false;
            }
            ours.push_back(s);
        }
        if (r < poplibRuns) {
            std::vector<double> one =
                timePoplibCheck(server.port(), server.loginName(kUser), kPassword, 1, poplibLimit);
            if (one.empty())
                return false;
            poplib.push_back(one.front());
        }
    }

    std::printf("  ours:   ");
    for (double s : ours)
        std::printf(" %.3f", s);
    std::printf(" s\n  poplib: ");
    for (double s : poplib)
        std::printf(" %.3f", s);
    std::printf(" s\n");
    figures = {median(ours), median(poplib), messages, std::min<long>(poplibLimit, messages)};
    return true;
}

void report(const char* name, const Figures& f) {
    double oursPer = f.ours / static_cast<double>(f.oursMessages) * 1000;
    double poplibPer = f.poplib / static_cast<double>(f.poplibMessages) * 1000;
    std::printf("  median ours   %8.3f s for %4ld messages = %7.3f ms per message\n", f.ours,
                f.oursMessages, oursPer);
    std::printf("  median poplib %8.3f s for %4ld messages = %7.3f ms per message\n", f.poplib,
                f.poplibMessages, poplibPer);
    double ratio = oursPer / poplibPer;
    std::printf("  %s: ratio ours / poplib per message = %.3f", name, ratio);
    if (ratio < 0.5)
        std::printf(" (ours %.0f times as fast)", 1 / ratio);
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    int messages = argc > 1 ? std::atoi(argv[1]) : 1000;
    int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    bool spread = argc > 3 && std::string(argv[3]) == "spread";
    if (messages < 1 || runs < 1 || (argc > 3 && !spread)) {
        std::fprintf(stderr, "usage: %s [messages] [runs] [spread]\n", argv[0]);
        return 2;
    }
    if (!spread) {
        int cpu = runOnOneProcessor();
        if (cpu >= 0)
            std::printf("All processes run on processor %d (pass \"spread\" to let them spread).\n",
                        cpu);
    }
    startConnectionLayer();
    int status = 0;
    {
        DovecotServer dovecot;
        Figures f;
        if (benchServer("Dovecot", dovecot, messages, runs, runs, messages, f))
            report("Dovecot", f);
        else
            status = 1;
    }
    {
        // A lock-step reader stalls on delayed acknowledgements there (about 40 ms per TOP), so
        // poplib reads only the first tenth of the messages, three times: its per-message figure
        // is what counts.
        MailutilsServer mailutils;
        Figures f;
        long poplibLimit = std::max(1, messages / 10);
        if (benchServer("GNU mailutils pop3d", mailutils, messages, runs, 3, poplibLimit, f))
            report("mailutils", f);
        else
            status = 1;
    }
    stopConnectionLayer();
    return status;
}
