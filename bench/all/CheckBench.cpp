#include "CheckBench.h"

#include "BenchCommon.h"
#include "LatencyProxy.h"
#include "PoplibReference.h"
#include "ScreenCheck.h"
#include "mail/Pop3.h"
#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"

#include <QThread>

#include <algorithm>
#include <string>

namespace toppeek::bench {

namespace {

using namespace toppeek::operations;
using toppeek::messages::createMessageList;

// Our client's connection and login; seconds up to the accepted PASS, negative on failure.
double timeOurLogin(const toppeek::test::RealPop3Server& server) {
    toppeek::mail::ConnectionControl control;
    toppeek::mail::Pop3Session session;
    auto start = Clock::now();
    const int result = toppeek::mail::pop3Login(session, server.hostAndPort(),
                                                server.loginName(kCheckUser), kPassword, control);
    const double seconds = secondsSince(start);
    if (result != toppeek::mail::kLoginOk)
        return -1;
    toppeek::mail::pop3Quit(session);
    session.close();
    return seconds;
}

// An automatic check of the listed mailbox with no new mail: the whole check it was, against the
// update by unique-ids it is now. Bytes both ways through a proxy without delay.
bool measureUpdates(BenchServers& servers, int runs, CheckFigures& figures) {
    OperationsProbe& probe = servers.probe;
    auto listed = createMessageList();
    if (!checkMailbox(probe.account, *probe.settings, *probe.filters, *listed, {},
                      underProgressDialog()) ||
        listed->count() != kMailboxMessages)
        return fail("the check before the updates failed");
    for (int r = 0; r < runs; ++r) {
        const double update = probe.timedUpdate(*listed);
        if (update < 0)
            return fail("an update of the listed mailbox failed");
        figures.updateOurs.push_back(update);
    }
    LatencyProxy counter(servers.port(), std::chrono::milliseconds(0));
    const toppeek::storage::Account direct = probe.account;
    probe.account.host = "127.0.0.1:" + std::to_string(counter.port());
    const bool counted = counter.ok() && probe.timedCheck() >= 0;
    // The proxy counts what it has read; the last replies may still be on their way.
    QThread::msleep(100);
    figures.bytesFullCheck = counter.bytesRelayed();
    counter.clearCount();
    const bool updated = counted && probe.timedUpdate(*listed) >= 0;
    QThread::msleep(100);
    figures.bytesUpdate = counter.bytesRelayed();
    probe.account = direct;
    if (!updated)
        return fail("counting the bytes of a check and an update failed");
    return true;
}

// The main window's check on a virtual X display at 1280x1000 and offscreen, each in a child of
// its own; empty figures when a display or a check failed.
void measureScreenChecks(const toppeek::test::RealPop3Server& server, int runs,
                         CheckFigures& figures) {
    const ScreenCheckAccount account{server.hostAndPort(), server.loginName(kCheckUser), kPassword,
                                     kMailboxMessages};
    const VirtualDisplay display;
    if (display.display().empty())
        return;
    figures.onScreen = timeWindowChecks(account, runs, "xcb", display.display());
    figures.offscreen = timeWindowChecks(account, runs, "offscreen", "");
}

void screenRows(const CheckFigures& checks, double poplibMs) {
    if (checks.onScreen.empty() || checks.offscreen.empty()) {
        rowText("Check of 1000 on X at 1280x1000 (ref: offscreen)", "failed", "-", "-",
                "<= 1.5 x offscreen", "missed");
        return;
    }
    const double screenMs = median(checks.onScreen) * 1000;
    const double offscreenMs = median(checks.offscreen) * 1000;
    row("Check of 1000 on X at 1280x1000 (ref: offscreen)", screenMs, offscreenMs,
        "<= 1.5 x offscreen", verdict(screenMs <= 1.5 * offscreenMs));
    row("Check of 1000 on X at 1280x1000", screenMs, poplibMs, "ratio <= 1.0",
        verdict(screenMs <= poplibMs));
}

} // namespace

int checkRunsFor(int runs) {
    return std::max(15, 3 * runs);
}

bool measureChecks(BenchServers& servers, int runs, CheckFigures& figures) {
    const toppeek::test::DovecotServer& server = servers.server;
    const int port = servers.port();
    // Alternating ours and poplib spreads the machine's changing load evenly over both.
    figures.checkRuns = checkRunsFor(runs);
    for (int r = 0; r < figures.checkRuns; ++r) {
        if (r < runs) {
            double login = timeOurLogin(server);
            if (login < 0)
                return fail("a login failed");
            figures.loginOurs.push_back(login);
        }
        double check = servers.probe.timedCheck();
        std::vector<double> one =
            timePoplibCheck(port, server.loginName(kCheckUser), kPassword, 1, kMailboxMessages);
        if (check < 0 || one.empty())
            return fail("a check failed");
        figures.checkOurs.push_back(check);
        figures.checkPoplib.push_back(one.front());
        std::vector<double> plain = timePoplibCheck(port, server.loginName(kCheckUser), kPassword,
                                                    1, kMailboxMessages, {}, false);
        if (!plain.empty())
            figures.checkPoplibPlain.push_back(plain.front());
    }
    if (!measureUpdates(servers, figures.checkRuns, figures))
        return false;
    measureScreenChecks(server, runs, figures);
    figures.loginPoplib = timePoplibLogin(port, server.loginName(kCheckUser), kPassword, runs);
    return true;
}

void printCheckRuns(const CheckFigures& figures) {
    printRuns("login, ours:", figures.loginOurs, 1000, "ms");
    printRuns("login, poplib:", figures.loginPoplib, 1000, "ms");
    printRuns("check, ours:", figures.checkOurs, 1, "s");
    printRuns("automatic check, no new mail:", figures.updateOurs, 1000, "ms");
    printRuns("check, poplib:", figures.checkPoplib, 1, "s");
    printRuns("check, window on X:", figures.onScreen, 1, "s");
    printRuns("check, window offscreen:", figures.offscreen, 1, "s");
}

void checkRows(const CheckFigures& figures) {
    const double checkRatio = median(figures.checkOurs) / median(figures.checkPoplib);
    row("Connection + login", median(figures.loginOurs) * 1000, median(figures.loginPoplib) * 1000,
        "", "");
    row("Check of 1000 messages", median(figures.checkOurs) * 1000,
        median(figures.checkPoplib) * 1000, "ratio <= 1.3", verdict(checkRatio <= 1.3));
    row("Check of 1000 messages, fastest runs", shortest(figures.checkOurs) * 1000,
        shortest(figures.checkPoplib) * 1000, "", "");
    screenRows(figures, median(figures.checkPoplib) * 1000);
    row("Auto check of 1000, no new mail (ref: full check)", median(figures.updateOurs) * 1000,
        median(figures.checkOurs) * 1000, "", "");
    rowText("Its bytes both ways (ref: full check)",
            format("%.1f KB", static_cast<double>(figures.bytesUpdate) / 1024),
            format("%.1f KB", static_cast<double>(figures.bytesFullCheck) / 1024),
            format("%.3f", static_cast<double>(figures.bytesUpdate) /
                               static_cast<double>(figures.bytesFullCheck)),
            "", "");
    row("poplib's check without CAPA and UIDL", median(figures.checkPoplibPlain) * 1000,
        median(figures.checkPoplib) * 1000, "", "");
}

} // namespace toppeek::bench
