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

#include "mail/Pop3.h"
#include "support/DovecotServer.h"
#include "support/MailutilsServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <sched.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;
using toppeek::test::DovecotServer;
using toppeek::test::MailutilsServer;
using toppeek::test::RealPop3Server;

const char* const kUser = "bench";
const char* const kPassword = "bench-password";

// The same exchanges as timeOurs(), one session per run; prints each run's seconds.
const char* const kPoplibScript = R"(
import poplib, sys, time
host, port, user, password, runs, limit = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], int(sys.argv[5]), int(sys.argv[6])
for _ in range(runs):
    start = time.perf_counter()
    p = poplib.POP3(host, port)
    p.user(user)
    p.pass_(password)
    count, octets = p.stat()
    for n in range(1, min(count, limit) + 1):
        p.list(n)
        p.top(n, 0)
    p.quit()
    print(time.perf_counter() - start, flush=True)
)";

// A message of 2 to 5 KB with a header block like real mail's and a plain body.
std::string makeMessage(int n, std::mt19937& random) {
    std::uniform_int_distribution<int> sizes(2048, 5120);
    const std::size_t target = static_cast<std::size_t>(sizes(random));
    std::ostringstream out;
    out << "Return-Path: <sender" << n << "@example.org>\n"
        << "Received: from mail.example.org (mail.example.org [192.0.2." << n % 250 + 1
        << "])\n\tby mx.example.com with ESMTP id " << 100000 + n
        << "\n\tfor <bench@example.com>; Tue, 5 Mar 2024 10:00:00 +0100\n"
        << "Message-ID: <" << n << ".bench@example.org>\n"
        << "Date: Tue, 5 Mar 2024 10:" << n % 60 / 10 << n % 10 << ":00 +0100\n"
        << "From: Sender " << n << " <sender" << n << "@example.org>\n"
        << "To: Bench <bench@example.com>\n"
        << "Subject: Benchmark message number " << n << "\n"
        << "MIME-Version: 1.0\n"
        << "Content-Type: text/plain; charset=us-ascii\n\n";
    std::string text = out.str();
    const std::string line =
        "The quick brown fox jumps over the lazy dog while the mail server keeps counting.\n";
    while (text.size() + line.size() <= target)
        text += line;
    if (text.size() < target) {
        text.append(target - text.size() - 1, 'x');
        text += '\n';
    }
    return text;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::size_t mid = values.size() / 2;
    return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

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
    closeConnection(session.socket);
    auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
    return ok ? elapsed.count() : -1;
}

std::vector<double> timePoplib(const RealPop3Server& server, int runs, long limit) {
    std::string output;
    if (!toppeek::test::runTool({"python3", "-c", kPoplibScript, "127.0.0.1",
                                 std::to_string(server.port()), server.loginName(kUser), kPassword,
                                 std::to_string(runs), std::to_string(limit)},
                                output)) {
        std::fprintf(stderr, "poplib run failed:\n%s\n", output.c_str());
        return {};
    }
    std::vector<double> seconds;
    std::istringstream in(output);
    for (double s; in >> s;)
        seconds.push_back(s);
    return seconds;
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
            std::vector<double> one = timePoplib(server, 1, poplibLimit);
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
        int cpu = ::sched_getcpu();
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu < 0 ? 0 : cpu, &one);
        if (::sched_setaffinity(0, sizeof one, &one) == 0)
            std::printf("All processes run on processor %d (pass \"spread\" to let them spread).\n",
                        cpu < 0 ? 0 : cpu);
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
