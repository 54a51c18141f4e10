#include "MessageBench.h"

#include "BenchCommon.h"
#include "PoplibReference.h"
#include "mail/Pop3.h"
#include "messages/MessageEntry.h"
#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"

#include <algorithm>
#include <random>

namespace toppeek::bench {

namespace {

using namespace toppeek::messages;
using namespace toppeek::operations;
using toppeek::storage::Account;
using toppeek::storage::createDefaultSettings;

// Our client alone doing what fetchMessageText does (login, TOP n lines, QUIT), without the
// operation around it; seconds, negative on failure.
double timeOurClientTop(const toppeek::test::RealPop3Server& server) {
    static std::vector<char> buffer(kReplyBufferSize);
    toppeek::mail::ConnectionControl control;
    toppeek::mail::Pop3Session session;
    auto start = Clock::now();
    if (toppeek::mail::pop3Login(session, server.hostAndPort(), server.loginName(kFetchUser),
                                 kPassword, control) != toppeek::mail::kLoginOk)
        return -1;
    const bool ok = toppeek::mail::pop3Top(session, 1, kFetchedLines, buffer.data(),
                                           static_cast<int>(buffer.size()));
    const bool quit = toppeek::mail::pop3Quit(session);
    session.close();
    const double seconds = secondsSince(start);
    return ok && quit ? seconds : -1;
}

// Fills the removal mailbox up to kMailboxMessages again and has the server take the new mail
// into its index, so that the timed session that follows finds it ready.
bool refillRemoveMailbox(toppeek::test::RealPop3Server& server, std::mt19937& random, int& next) {
    while (server.messageCount(kRemoveUser) < static_cast<std::size_t>(kMailboxMessages))
        server.addMessage(kRemoveUser, makeMessage(next++, random));
    return !timePoplibLogin(server.port(), server.loginName(kRemoveUser), kPassword, 1).empty();
}

// One removal by our operation: the mailbox listed (untimed), every tenth entry marked, the
// marked ones removed. Seconds of the removal; negative when it did not remove them all.
double timeOurRemove(toppeek::test::RealPop3Server& server, std::mt19937& random, int& next) {
    if (!refillRemoveMailbox(server, random, next))
        return -1;
    const Account account = accountFor(server, kRemoveUser);
    auto settings = createDefaultSettings();
    settings->maxMessages = kMailboxMessages;
    auto filters = createFilters();
    auto list = createMessageList();
    if (!checkMailbox(account, *settings, *filters, *list, {}, underProgressDialog()) ||
        list->count() != kMailboxMessages)
        return -1;
    const int step = kMailboxMessages / kRemovedMessages;
    for (int i = step - 1; i < list->count(); i += step)
        list->at(i)->mark = MarkState::MarkedForDelete;
    auto start = Clock::now();
    const bool ok = static_cast<bool>(
        removeMarkedMessages(account, *settings, *list, {}, underProgressDialog()));
    const double seconds = secondsSince(start);
    const bool removed = list->count() == kMailboxMessages - kRemovedMessages &&
                         server.messageCount(kRemoveUser) ==
                             static_cast<std::size_t>(kMailboxMessages - kRemovedMessages);
    return ok && removed ? seconds : -1;
}

double timePoplibRemove(toppeek::test::RealPop3Server& server, std::mt19937& random, int& next) {
    if (!refillRemoveMailbox(server, random, next))
        return -1;
    std::vector<long> numbers;
    const int step = kMailboxMessages / kRemovedMessages;
    for (long n = step; n <= kMailboxMessages; n += step)
        numbers.push_back(n);
    std::vector<double> one =
        timePoplibDele(server.port(), server.loginName(kRemoveUser), kPassword, numbers);
    const bool removed = server.messageCount(kRemoveUser) ==
                         static_cast<std::size_t>(kMailboxMessages - kRemovedMessages);
    return one.size() == 1 && removed ? one.front() : -1;
}

} // namespace

bool measureFetches(BenchServers& servers, int runs, MessageFigures& figures) {
    const Account account = accountFor(servers.server, kFetchUser);
    auto settings = createDefaultSettings();
    settings->bodyLines = kFetchedLines;
    // A fetch confirms the message by the unique-id its check learnt.
    auto listed = createMessageList();
    if (!checkMailbox(account, *settings, *servers.probe.filters, *listed, {},
                      underProgressDialog()) ||
        listed->count() != 1)
        return fail("checking the mailbox of the long message failed");
    for (int r = 0; r < runs; ++r) {
        MessageEntry entry;
        entry.messageNumber = 1;
        entry.uniqueId = listed->at(0)->uniqueId;
        auto start = Clock::now();
        const bool ok =
            static_cast<bool>(fetchMessageText(account, *settings, entry, underProgressDialog()));
        const double seconds = secondsSince(start);
        const long lines =
            entry.body ? static_cast<long>(std::count(entry.body->begin(), entry.body->end(), '\n'))
                       : 0;
        if (!ok || !entry.bodyLoaded || lines < kFetchedLines)
            return fail("fetching the long message failed");
        figures.fetchOurs.push_back(seconds);
        const double client = timeOurClientTop(servers.server);
        if (client < 0)
            return fail("fetching the long message with the client alone failed");
        figures.fetchClient.push_back(client);
    }
    figures.fetchPoplib = timePoplibTop(servers.port(), servers.server.loginName(kFetchUser),
                                        kPassword, runs, 1, kFetchedLines);
    return true;
}

bool measureRemovals(BenchServers& servers, int runs, MessageFigures& figures) {
    for (int r = 0; r < runs; ++r) {
        double ours = timeOurRemove(servers.server, servers.random, servers.nextMessage);
        double poplib = timePoplibRemove(servers.server, servers.random, servers.nextMessage);
        if (ours < 0 || poplib < 0)
            return fail("removing the marked messages failed");
        figures.removeOurs.push_back(ours);
        figures.removePoplib.push_back(poplib);
    }
    return true;
}

void printMessageRuns(const MessageFigures& figures) {
    printRuns("fetch, ours:", figures.fetchOurs, 1000, "ms");
    printRuns("fetch, our client alone:", figures.fetchClient, 1000, "ms");
    printRuns("fetch, poplib:", figures.fetchPoplib, 1000, "ms");
    printRuns("remove, ours:", figures.removeOurs, 1000, "ms");
    printRuns("remove, poplib:", figures.removePoplib, 1000, "ms");
}

void fetchRows(const MessageFigures& figures) {
    row("First 200 lines of one message", median(figures.fetchOurs) * 1000,
        median(figures.fetchPoplib) * 1000, "", "");
    row("First 200 lines, our POP3 client alone", median(figures.fetchClient) * 1000,
        median(figures.fetchPoplib) * 1000, "", "");
}

void removeRow(const MessageFigures& figures) {
    row("Removing 100 marked of 1000", median(figures.removeOurs) * 1000,
        median(figures.removePoplib) * 1000, "", "");
}

} // namespace toppeek::bench
