#include "TlsBench.h"

#include "BenchCommon.h"
#include "PoplibReference.h"
#include "TwoRecordServer.h"
#include "mail/Pop3.h"

#include <cstdio>
#include <string>

namespace toppeek::bench {

namespace {

// Our client's connection, handshake and login over TLS; seconds up to the accepted PASS,
// negative on failure.
double timeOurTlsLogin(const toppeek::test::DovecotServer& server) {
    toppeek::mail::ConnectionControl control;
    toppeek::mail::Pop3Session session;
    auto start = Clock::now();
    const int result = toppeek::mail::pop3Login(session, pop3sHost(server),
                                                server.loginName(kCheckUser), kPassword, control);
    const double seconds = secondsSince(start);
    if (result != toppeek::mail::kLoginOk) {
        std::fprintf(stderr, "bench_all: TLS login: %s\n", control.failureReason.c_str());
        return -1;
    }
    toppeek::mail::pop3Quit(session);
    session.close();
    return seconds;
}

// Our client's check of the two-record server's mailbox over TLS (login, STAT, LIST and TOP of
// every message, QUIT), with the quick acknowledgements re-armed after each read or not; seconds,
// negative on failure.
double timeTwoRecordCheck(const TwoRecordServer& server, bool quickAck) {
    toppeek::mail::setQuickAckAfterReads(quickAck);
    toppeek::mail::ConnectionControl control;
    toppeek::mail::Pop3Session session;
    const auto start = Clock::now();
    bool ok =
        toppeek::mail::pop3Login(session, "pop3s://127.0.0.1:" + std::to_string(server.port()),
                                 "reader", "secret", control) == toppeek::mail::kLoginOk;
    long count = 0;
    long octets = 0;
    ok = ok && toppeek::mail::pop3Stat(session, count, octets) && count == server.messages();
    std::vector<char> buffer(4096);
    for (long n = 1; ok && n <= count; ++n) {
        long size = 0;
        ok = toppeek::mail::pop3List(session, n, size) &&
             toppeek::mail::pop3Top(session, n, 0, buffer.data(), static_cast<int>(buffer.size()));
    }
    ok = ok && toppeek::mail::pop3Quit(session);
    const double seconds = secondsSince(start);
    session.close();
    toppeek::mail::setQuickAckAfterReads(true);
    if (!ok)
        std::fprintf(stderr, "bench_all: check of the two-record server failed %s\n",
                     control.failureReason.c_str());
    return ok ? seconds : -1;
}

} // namespace

bool measureTlsChecks(BenchServers& servers, int runs, int checkRuns, TlsFigures& figures) {
    // In a loop of its own, so that both check rows see the load of their own moment alike on
    // both sides.
    const toppeek::test::DovecotServer& tlsServer = *servers.tlsServer;
    const int tlsPort = servers.tlsPort();
    const std::string caFile = servers.tlsFiles.caFile.string();
    for (int r = 0; r < checkRuns; ++r) {
        if (r < runs) {
            double login = timeOurTlsLogin(tlsServer);
            if (login < 0)
                return fail("a login over TLS failed");
            figures.loginOurs.push_back(login);
        }
        double check = servers.timedTlsCheck();
        std::vector<double> one = timePoplibCheck(tlsPort, tlsServer.loginName(kCheckUser),
                                                  kPassword, 1, kMailboxMessages, caFile);
        if (check < 0 || one.empty())
            return fail("a check over TLS failed");
        figures.checkOurs.push_back(check);
        figures.checkPoplib.push_back(one.front());
    }
    figures.loginPoplib =
        timePoplibLogin(tlsPort, tlsServer.loginName(kCheckUser), kPassword, runs, caFile);
    return true;
}

bool measureTwoRecordChecks(const BenchServers& servers, int runs, TlsFigures& figures) {
    TwoRecordServer twoRecords(servers.tlsFiles.issued, kTwoRecordMessages);
    if (!twoRecords.ok())
        return fail("no port for the two-record TLS server");
    for (int r = 0; r < runs; ++r) {
        const double quick = timeTwoRecordCheck(twoRecords, true);
        const double delayed = timeTwoRecordCheck(twoRecords, false);
        if (quick < 0 || delayed < 0)
            return fail("a check of the two-record TLS server failed");
        figures.twoRecordsQuick.push_back(quick);
        figures.twoRecordsDelayed.push_back(delayed);
    }
    return true;
}

void printTlsRuns(const TlsFigures& figures) {
    printRuns("TLS login, ours:", figures.loginOurs, 1000, "ms");
    printRuns("TLS login, poplib:", figures.loginPoplib, 1000, "ms");
    printRuns("TLS check, ours:", figures.checkOurs, 1, "s");
    printRuns("TLS check, poplib:", figures.checkPoplib, 1, "s");
}

void tlsCheckRows(const TlsFigures& figures) {
    const double tlsCheckRatio = median(figures.checkOurs) / median(figures.checkPoplib);
    row("Connection + login over TLS", median(figures.loginOurs) * 1000,
        median(figures.loginPoplib) * 1000, "", "");
    row("Check of 1000 messages over TLS", median(figures.checkOurs) * 1000,
        median(figures.checkPoplib) * 1000, "ratio <= 1.3", verdict(tlsCheckRatio <= 1.3));
    row("Check of 1000 messages over TLS, fastest runs", shortest(figures.checkOurs) * 1000,
        shortest(figures.checkPoplib) * 1000, "", "");
}

void twoRecordRow(const TlsFigures& figures) {
    // The reference column holds the same check with the re-arming switched off.
    rowText("TLS check of 50, 2 records a reply (ref: no re-arm)",
            format("%.2f ms", median(figures.twoRecordsQuick) * 1000),
            format("%.2f ms", median(figures.twoRecordsDelayed) * 1000),
            format("%.2f", median(figures.twoRecordsQuick) / median(figures.twoRecordsDelayed)),
            "< 10 ms per reply",
            verdict(median(figures.twoRecordsQuick) * 1000 / (2 * kTwoRecordMessages) < 10));
}

} // namespace toppeek::bench
