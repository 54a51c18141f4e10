// Every speed and size figure of the program in one run, each beside its reference where one
// applies: python3's poplib doing the same POP3 exchanges on the same Dovecot.
//
//   connection + login          our client up to the accepted PASS, poplib the same
//   check of 1000 messages      checkMailbox under the progress dialog; poplib CAPA, STAT, UIDL,
//                               LIST, TOP n 0, and the same without CAPA and UIDL beside it
//   the same two over TLS       pop3s://127.0.0.1:port on a second Dovecot that holds the same
//                               mailbox behind a certificate from a CA made up for the run; our
//                               side trusts it through SSL_CERT_FILE, poplib.POP3_SSL through an
//                               ssl context that trusts it alone and checks the host name
//   first 200 lines of one      fetchMessageText, and our client alone doing the same login,
//                               TOP n 200 and QUIT; poplib TOP n 200 in a session of its own
//   remove 100 marked of 1000   removeMarkedMessages; poplib DELE for the same 100 and QUIT
//   check on mailutils          our POP3 client alone (STAT, LIST n and TOP n 0, no operations
//                               layer) on GNU mailutils pop3d, which writes each reply in
//                               pieces; poplib there checks a tenth of the messages, its time
//                               per message standing for all of them
//   the checks at 20 ms RTT     the same check through a proxy of our own that delays every
//                               chunk by 10 ms each way (plain and TLS), beside poplib with the
//                               commands pipelined (its login lock-step) and poplib lock-step
//                               checking 200 of the 1000 once, its time times five
//   automatic check, no new  updateMailbox of the 1000 listed, beside the whole check it was; the
//   mail                        bytes of both through a proxy of our own without delay
//   idle-step gap, cancel       the longest pause in event processing, a confirmed cancel's return
//   idle-step gap, flood        the same while a server of our own sends the unique-ids of half a
//                               million messages and an 8 MiB header, each in one go
//   start-up                    a fresh process of this program up to the main window's first
//                               paint, the update check aimed at a loopback port that refuses
//                               the connection, and at one that accepts it and stays silent
//   memory                      32767 entries made from 4 KB headers, counted by malloc
//
// Usage: bench_all [runs] [spread]   (default 5 runs; must run as root, Dovecot needs it)
//
// Unless "spread" is given, everything runs on one processor, as in the POP3 client's benchmark.

#include "BenchCommon.h"
#include "BenchServers.h"
#include "CheckBench.h"
#include "ClientCheck.h"
#include "DecodingCorpus.h"
#include "LatencyBench.h"
#include "MemoryBench.h"
#include "MessageBench.h"
#include "PoplibReference.h"
#include "ResponsivenessBench.h"
#include "ScreenCheck.h"
#include "SignInBench.h"
#include "StartupBench.h"
#include "TlsBench.h"
#include "mail/Connection.h"
#include "shell/UpdateFetch.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using namespace toppeek::bench;

// "bench_all decoding [runs]": the decoding row alone, which needs no server.
int decodingOnly(const std::vector<FetchedMessage>& corpus, int runs) {
    std::printf("Decoding for the viewer: %zu messages, %.1f us per message (median of %d)\n",
                corpus.size(), timeDecoding(corpus, runs), runs);
    return corpus.empty() ? 1 : 0;
}

// The update check must reach the loopback listeners, never a proxy of the environment; the
// windows need no display.
void prepareEnvironment() {
    for (const char* name :
         {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
        ::unsetenv(name);
    ::setenv("no_proxy", "*", 1);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// Everything that needs the QApplication, the connection layer and the servers.
struct ServerFigures {
    CheckFigures checks;
    TlsFigures tls;
    LatencyFigures latency;
    MessageFigures messages;
    SignInTimes signIns;
    ResponsivenessFigures responsiveness;
};

bool measureOnServers(int runs, ServerFigures& figures) {
    BenchServers servers;
    if (!servers.start(runs) || !measureChecks(servers, runs, figures.checks) ||
        !measureTlsChecks(servers, runs, figures.checks.checkRuns, figures.tls) ||
        !measureLatencyChecks(servers, runs, figures.latency) ||
        !measureTwoRecordChecks(servers, runs, figures.tls) ||
        !measureFetches(servers, runs, figures.messages) ||
        !measureRemovals(servers, runs, figures.messages))
        return false;
    figures.signIns = timeSignIns(runs);
    if (figures.signIns.fresh.empty())
        fail("the OAuth2 sign-in could not be measured");
    printSignInRuns(figures.signIns);
    if (!measureResponsiveness(servers.probe, runs, median(figures.checks.checkOurs),
                               figures.responsiveness))
        return false;
    if (figures.checks.loginPoplib.empty() || figures.messages.fetchPoplib.empty() ||
        figures.tls.loginPoplib.empty())
        return fail("a poplib run failed");
    return true;
}

void printTable(int runs, const ServerFigures& figures, const ClientCheckFigures& mailutils,
                const StartupFigures& startup, double decodingUs, const MemoryFigures& memory) {
    std::printf(
        "\nMedians of %d runs (the checks: %d runs; the start with a silent update check: %d "
        "runs; the checks through the latency proxy: %d runs; the worst run where the target is a "
        "bound)\n\n",
        runs, figures.checks.checkRuns, startup.silentRuns, figures.latency.runs);
    rowText("Figure", "TopPeek", "poplib", "ratio", "target", "result");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(52, '-').c_str(), std::string(14, '-').c_str(),
                std::string(14, '-').c_str(), std::string(8, '-').c_str(),
                std::string(22, '-').c_str(), std::string(8, '-').c_str());
    checkRows(figures.checks);
    tlsCheckRows(figures.tls);
    latencyRows(figures.latency);
    twoRecordRow(figures.tls);
    fetchRows(figures.messages);
    row("Check of 1000 on mailutils, our client alone", mailutils.oursPerMessage * 1e6,
        mailutils.poplibPerMessage * 1e6, "", "");
    signInRow(figures.signIns);
    removeRow(figures.messages);
    responsivenessRows(figures.responsiveness);
    startupRows(startup);
    rowText("Decoding a viewed message (real ones, each)", format("%.1f us", decodingUs), "-", "-",
            "", "");
    memoryRow(memory);
    memoryNote(memory);
    latencyNote();
    std::printf("On GNU mailutils pop3d poplib checked %ld of the %d messages, its time per "
                "message x %d standing for the whole check.\n",
                mailutils.poplibMessages, mailutils.messages, mailutils.messages);
    std::printf("Update check time-out: %ld ms to connect, %ld ms in all.\n",
                toppeek::shell::FetchLimits{}.connectTimeoutMs,
                toppeek::shell::FetchLimits{}.totalTimeoutMs);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], kStartupChildFlag) == 0)
        return startupChild(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], kScreenCheckChildFlag) == 0)
        return screenCheckChild(argc, argv);
    const auto corpus = loadDecodingCorpus(TOPPEEK_BENCH_MESSAGES_DIR);
    if (argc > 1 && std::strcmp(argv[1], "decoding") == 0)
        return decodingOnly(corpus, argc > 2 ? std::atoi(argv[2]) : 5);

    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const bool spread = argc > 2 && std::string(argv[2]) == "spread";
    if (runs < 1 || argc > 3 || (argc > 2 && !spread)) {
        std::fprintf(stderr, "usage: %s [runs] [spread]\n", argv[0]);
        return 2;
    }
    prepareEnvironment();
    if (!spread) {
        const int cpu = runOnOneProcessor();
        if (cpu >= 0)
            std::printf("All processes run on processor %d (pass \"spread\" to let them "
                        "spread).\n",
                        cpu);
    }

    const MemoryFigures memory = measureListMemory();
    if (memory.headerBytes == 0) {
        fail("the list of entries could not be built");
        return 1;
    }
    std::printf("List of %d entries from %zu-byte headers built in %.3f s\n", kListEntries,
                kHeaderBytes, memory.seconds);
    const double decodingUs = timeDecoding(corpus, runs);
    if (decodingUs < 0) {
        fail("no messages to decode in " TOPPEEK_BENCH_MESSAGES_DIR);
        return 1;
    }
    std::printf("Decoding for the viewer: %zu messages, %.1f us per message\n", corpus.size(),
                decodingUs);
    StartupFigures startup;
    if (!measureStartup(runs, startup))
        return 1;

    QApplication application(argc, argv);
    toppeek::mail::startConnectionLayer();
    ServerFigures figures;
    if (!measureOnServers(runs, figures))
        return 1;
    toppeek::mail::stopConnectionLayer();

    std::printf("\nRuns (seconds unless marked):\n");
    printCheckRuns(figures.checks);
    printTlsRuns(figures.tls);
    printLatencyRuns(figures.latency);
    printMessageRuns(figures.messages);
    printResponsivenessRuns(figures.responsiveness);
    // Our client alone on a server that writes each reply in pieces, where a reader that leaves
    // delayed acknowledgements on stalls.
    const ClientCheckFigures mailutils = timeClientCheckOnMailutils(kMailboxMessages, runs);
    if (!mailutils.ok) {
        fail("the check on mailutils pop3d failed");
        return 1;
    }
    printStartupRuns(startup);
    printTable(runs, figures, mailutils, startup, decodingUs, memory);
    return 0;
}
