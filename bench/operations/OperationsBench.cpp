// Times a whole mailbox check through the operations layer, the way the program runs it: the
// progress dialog shown (offscreen), the idle step processing events in every pass of every wait,
// an entry made and filtered per message. python3's poplib does the same exchanges (USER/PASS,
// STAT, LIST n and TOP n 0 for every message, QUIT) in the same run as the reference.
//
// Also measured: the longest time between two passes of event processing during a check (how
// long the window may go without answering), and the time from a confirmed cancel to the check
// returning.
//
// Usage: bench_operations [messages] [runs] [spread]   (defaults 1000 and 5; must run as root)
//
// Unless "spread" is given, everything runs on one processor, as in the POP3 client's benchmark.

#include "OperationsProbe.h"
#include "PoplibReference.h"
#include "mail/Connection.h"
#include "support/DovecotServer.h"

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace toppeek::operations;
using toppeek::bench::median;

const char* const kUser = "bench";
const char* const kPassword = "bench-password";

void printRuns(const char* name, const std::vector<double>& values, double scale,
               const char* unit) {
    std::printf("  %-8s", name);
    for (double v : values)
        std::printf(" %.3f", v * scale);
    std::printf(" %s\n", unit);
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
        int cpu = toppeek::bench::runOnOneProcessor();
        if (cpu >= 0)
            std::printf("All processes run on processor %d (pass \"spread\" to let them "
                        "spread).\n",
                        cpu);
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    toppeek::mail::startConnectionLayer();

    toppeek::test::DovecotServer server;
    server.addUser(kUser, kPassword);
    std::mt19937 random(20240305);
    for (int n = 1; n <= messages; ++n)
        server.addMessage(kUser, toppeek::bench::makeMessage(n, random));
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", server.failure().c_str());
        return 1;
    }
    std::printf("Dovecot on %s, %d messages, %d runs\n", server.hostAndPort().c_str(), messages,
                runs);

    toppeek::bench::OperationsProbe bench;
    bench.messages = messages;
    bench.account.host = server.hostAndPort();
    bench.account.userName = server.loginName(kUser);
    bench.account.password = kPassword;
    bench.settings->maxMessages = messages;

    // The first session makes the server index the new mail; it is not timed.
    if (bench.timedCheck() < 0) {
        std::fprintf(stderr, "a check failed\n");
        return 1;
    }
    // Alternating the two spreads the machine's changing load evenly over both.
    std::vector<double> ours;
    std::vector<double> poplib;
    for (int r = 0; r < runs; ++r) {
        double s = bench.timedCheck();
        if (s < 0) {
            std::fprintf(stderr, "a check failed\n");
            return 1;
        }
        ours.push_back(s);
        std::vector<double> one = toppeek::bench::timePoplibCheck(
            server.port(), server.loginName(kUser), kPassword, 1, messages);
        if (one.empty())
            return 1;
        poplib.push_back(one.front());
    }

    std::vector<double> gaps;
    long passes = 0;
    for (int r = 0; r < runs; ++r) {
        double gap = bench.longestGap(passes);
        if (gap < 0) {
            std::fprintf(stderr, "a check with the probe failed\n");
            return 1;
        }
        gaps.push_back(gap);
    }

    // Cancelled about half-way through, in whatever wait is running then.
    const int delay = std::max(1, static_cast<int>(median(ours) * 1000 / 2));
    std::vector<double> cancels;
    for (int r = 0; r < runs; ++r) {
        double latency = bench.cancelLatency(delay);
        if (latency < 0) {
            std::fprintf(stderr, "a cancelled check did not end as cancelled\n");
            return 1;
        }
        cancels.push_back(latency);
    }

    printRuns("ours:", ours, 1, "s");
    printRuns("poplib:", poplib, 1, "s");
    printRuns("gaps:", gaps, 1000, "ms");
    printRuns("cancel:", cancels, 1000, "ms");

    const double ratio = median(ours) / median(poplib);
    // Each run's pair was measured back to back, under the same load.
    std::vector<double> pairRatios;
    for (std::size_t r = 0; r < ours.size(); ++r)
        pairRatios.push_back(ours[r] / poplib[r]);
    const double longest = *std::max_element(gaps.begin(), gaps.end());
    const double slowestCancel = *std::max_element(cancels.begin(), cancels.end());
    std::printf("  median check, ours    %8.3f s (%.3f ms per message)\n", median(ours),
                median(ours) / messages * 1000);
    std::printf("  median check, poplib  %8.3f s (%.3f ms per message)\n", median(poplib),
                median(poplib) / messages * 1000);
    std::printf("  ours / poplib         %8.3f   (target <= 1.3)  %s\n", ratio,
                ratio <= 1.3 ? "met" : "MISSED");
    std::printf("  median of the runs' own ratios %.3f\n", median(pairRatios));
    std::printf("  longest gap between two event passes: %.3f ms, median of runs %.3f ms, %ld "
                "passes in the last run (target <= 50 ms)  %s\n",
                longest * 1000, median(gaps) * 1000, passes, longest <= 0.050 ? "met" : "MISSED");
    std::printf("  confirmed cancel to return: median %.3f ms, longest %.3f ms (target <= 100 ms)  "
                "%s\n",
                median(cancels) * 1000, slowestCancel * 1000,
                slowestCancel <= 0.100 ? "met" : "MISSED");

    toppeek::mail::stopConnectionLayer();
    return 0;
}
