// The three mailbox operations in whole conversations with the scripted POP3 server: what they
// send, what they make of the replies, and how cancels, refusals and broken connections end
// them. Questions are answered by the scripted host; cancels are pressed when the host lets
// pending work run, where a user's click would be handled.

#include "operations/MailboxOperations.h"
#include "mail/Pop3.h"
#include "support/MailboxOperationsFixture.h"
#include "support/ScriptedMailbox.h"
#include "support/ScriptedPop3Server.h"
#include <algorithm>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::messages;

namespace {

using namespace toppeek::operations;
using namespace std::chrono_literals;
using toppeek::test::AfterReply;
using toppeek::test::headerOf;
using toppeek::test::loggedIn;
using toppeek::test::MailboxOperationsFixture;
using toppeek::test::ReplyPiece;
using toppeek::test::ScriptedPop3Server;
using Kind = toppeek::test::ScriptedOperationHost::Kind;
using Kinds = std::vector<Kind>;
using Lines = std::vector<std::string>;
using Numbers = std::vector<int>;

const std::string kTopReplyOk = "+OK\r\n";

int sizeOf(int n) {
    return 1000 + n;
}

// LIST n and TOP n 0 for message n, whose header names from as its sender.
ScriptedPop3Server& listed(ScriptedPop3Server& server, int n,
                           const std::string& from = "Bob <bob@example.org>") {
    return server
        .expect("LIST " + std::to_string(n),
                "+OK " + std::to_string(n) + " " + std::to_string(sizeOf(n)) + "\r\n")
        .expect("TOP " + std::to_string(n) + " 0", kTopReplyOk + headerOf(n, from) + "\r\n.\r\n");
}

// The unique-id the scripted servers give message n.
std::string uniqueIdOf(int n) {
    return "uid-" + std::to_string(n);
}

// A UIDL reply whose message k + 1 is the message numbered messages[k] at the check.
std::string uidListing(const Numbers& messages) {
    std::string reply = "+OK\r\n";
    for (std::size_t k = 0; k < messages.size(); ++k)
        reply += std::to_string(k + 1) + " " + uniqueIdOf(messages[k]) + "\r\n";
    return reply + ".\r\n";
}

Numbers oneTo(int count) {
    Numbers all;
    for (int n = 1; n <= count; ++n)
        all.push_back(n);
    return all;
}

// The check asks for the unique-ids together with STAT when there may be messages to list, so
// an empty mailbox is asked too.
ScriptedPop3Server& mailbox(ScriptedPop3Server& server, int count, int listedCount) {
    loggedIn(server).expect("STAT", "+OK " + std::to_string(count) + " 99999\r\n");
    if (listedCount > 0 || count == 0)
        server.expect("UIDL", uidListing(oneTo(count)));
    for (int n = 1; n <= listedCount; ++n)
        listed(server, n);
    return server;
}

Lines commands(const ScriptedPop3Server& server) {
    Lines lines;
    for (std::string line : server.received()) {
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class MailboxOperationsTest : public MailboxOperationsFixture<> {
protected:
    void SetUp() override {
        account.accountTag = 7;
        account.userName = "alice";
        account.password = "secret";
        options.timeoutSeconds = 2;
        // Left over from an earlier case on purpose: every operation must clear it.
        setCancelFlag(true);
    }

    void TearDown() override {
        EXPECT_FALSE(operationRunning());
        EXPECT_EQ(host.began(), host.ended());
    }

    // Records the callback; the first time it is called with pressCancelAfterEntry, Cancel is
    // pressed, to be handled when the operation next lets pending work run.
    void called(int index) {
        callbacks.push_back(index);
        if (index == pressCancelAfterEntry) {
            pressCancelAfterEntry = -1;
            host.cancelWhen([] { return true; }, cancelConfirmed);
        }
    }

    OperationOutcome check(ScriptedPop3Server& server) {
        server.start();
        account.host = server.hostAndPort();
        return checkMailbox(
            account, *settings, *filters, *list, [this](int index) { called(index); }, options);
    }

    OperationOutcome remove(ScriptedPop3Server& server) {
        server.start();
        account.host = server.hostAndPort();
        return removeMarkedMessages(
            account, *settings, *list, [this](int index) { called(index); }, options);
    }

    OperationOutcome fetch(ScriptedPop3Server& server, MessageEntry& entry) {
        server.start();
        account.host = server.hostAndPort();
        return fetchMessageText(account, *settings, entry, options);
    }

    // Ends the case's conversation and checks that the server saw exactly its script.
    static void expectScriptFollowed(ScriptedPop3Server& server) {
        EXPECT_TRUE(server.waitUntilDone(5s));
        EXPECT_EQ(server.problems(), Lines{});
    }

    // An entry as the check would have listed it.
    void addEntry(int number, MarkState mark = MarkState::Unmarked) {
        auto entry = createMessageEntry(headerOf(number, "bob@example.org") + "\r\n");
        entry->messageNumber = number;
        entry->size = sizeOf(number);
        entry->mark = mark;
        entry->uniqueId = uniqueIdOf(number);
        list->append(entry.release());
    }

    Numbers numbers() const {
        Numbers all;
        for (const MessageEntry* entry : *list)
            all.push_back(entry->messageNumber);
        return all;
    }

    Lines subjects() const {
        Lines all;
        for (const MessageEntry* entry : *list)
            all.push_back(entry->subject.value_or("(none)"));
        return all;
    }

    std::uint32_t sizesInList() const {
        std::uint32_t total = 0;
        for (const MessageEntry* entry : *list)
            total += static_cast<std::uint32_t>(entry->size);
        return total;
    }

    Numbers callbacks;
    int pressCancelAfterEntry = -1;
    bool cancelConfirmed = true;
};

TEST_F(MailboxOperationsTest, CheckListsTheFirstMaximumMessagesInOrder) {
    ScriptedPop3Server server;
    mailbox(server, 250, 100).expect("QUIT", "+OK bye\r\n");
    settings->maxMessages = 100;
    settings->mailboxBytes = 12345;

    // What the host shows while message 3 is being listed.
    std::string caption, progressLine, statusLine;
    int barPosition = -1, barMaximum = -1;
    auto watch = [&](int index) {
        callbacks.push_back(index);
        if (index == 2) {
            caption = host.captions().back();
            progressLine = host.progressLines().back();
            statusLine = host.statusLine();
            barPosition = host.bars().back().position;
            barMaximum = host.bars().back().maximum;
        }
    };
    server.start();
    account.host = server.hostAndPort();
    EXPECT_TRUE(checkMailbox(account, *settings, *filters, *list, watch, options));
    expectScriptFollowed(server);
    EXPECT_EQ(commands(server).back(), "QUIT");

    ASSERT_EQ(list->count(), 100);
    std::uint32_t total = 0;
    for (int i = 0; i < 100; ++i) {
        const MessageEntry& entry = *list->at(i);
        EXPECT_EQ(entry.messageNumber, i + 1);
        EXPECT_EQ(entry.subject, "Message " + std::to_string(i + 1));
        EXPECT_EQ(entry.size, sizeOf(i + 1));
        EXPECT_EQ(entry.accountTag, 7);
        EXPECT_EQ(entry.mark, MarkState::Unmarked);
        EXPECT_FALSE(entry.bodyLoaded);
        EXPECT_FALSE(entry.body.has_value());
        total += static_cast<std::uint32_t>(entry.size);
    }
    EXPECT_EQ(settings->mailboxBytes, total);
    Numbers expected;
    for (int i = 0; i < 100; ++i)
        expected.push_back(i);
    EXPECT_EQ(callbacks, expected);

    EXPECT_NE(caption, "Processing");
    EXPECT_FALSE(caption.empty());
    EXPECT_TRUE(progressLine.find('3') != std::string::npos &&
                progressLine.find("250") != std::string::npos)
        << progressLine;
    // The server pipelines: all 100 messages' commands and QUIT behind them went out ahead, yet
    // the trace shows the reply being read, not the QUIT sent last.
    EXPECT_EQ(statusLine, "TOP 3 0");
    EXPECT_EQ(barPosition, 3);
    EXPECT_EQ(barMaximum, 250);
    EXPECT_TRUE(host.said().empty());
    EXPECT_FALSE(cancelRequested());
}

TEST_F(MailboxOperationsTest, EmptyMailboxAndZeroMaximumStillEndWithQuit) {
    for (int count : {0, 5}) {
        ScriptedPop3Server server;
        mailbox(server, count, 0).expect("QUIT", "+OK bye\r\n");
        settings->maxMessages = count == 0 ? 100 : 0;
        settings->mailboxBytes = 777;
        EXPECT_TRUE(check(server));
        expectScriptFollowed(server);
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(settings->mailboxBytes, 0u);
        EXPECT_TRUE(callbacks.empty());
    }
}

TEST_F(MailboxOperationsTest, RefusedListEndsTheCheckQuietly) {
    ScriptedPop3Server server;
    mailbox(server, 10, 4).expect("LIST 5", "-ERR no such message\r\n");
    // The commands sent ahead of the refusal reach the server, QUIT with them; their replies are
    // never read, so the conversation cannot end in step and no second QUIT follows.
    server.expect("TOP 5 0", "+OK\r\n.\r\n");
    for (int n = 6; n <= 10; ++n)
        listed(server, n);
    server.expect("QUIT", "+OK bye\r\n");
    EXPECT_TRUE(check(server));
    expectScriptFollowed(server);
    EXPECT_EQ(numbers(), (Numbers{1, 2, 3, 4}));
    EXPECT_EQ(callbacks, (Numbers{0, 1, 2, 3}));
    EXPECT_TRUE(host.said().empty());
}

// A server that does not pipeline answers one LIST for all sizes; one whose listing fails, or
// cannot be read, is asked LIST n for each message instead.
TEST_F(MailboxOperationsTest, WithoutPipeliningTheSizesComeFromOneListingOrEachList) {
    const std::string goodListing = "+OK\r\n1 " + std::to_string(sizeOf(1)) + "\r\n2 " +
                                    std::to_string(sizeOf(2)) + "\r\n.\r\n";
    for (const std::string& listing :
         {goodListing, std::string("-ERR no\r\n"), std::string("+OK\r\n1 x\r\n.\r\n")}) {
        SCOPED_TRACE(listing);
        list = createMessageList();
        callbacks.clear();
        const bool whole = listing == goodListing;
        ScriptedPop3Server server;
        loggedIn(server, "+OK\r\nUIDL\r\n.\r\n")
            .expect("STAT", "+OK 2 99\r\n")
            .expect("UIDL", uidListing(oneTo(2)))
            .expect("LIST", listing);
        for (int n = 1; n <= 2; ++n) {
            if (whole)
                server.expect("TOP " + std::to_string(n) + " 0",
                              kTopReplyOk + headerOf(n, "Bob <bob@example.org>") + "\r\n.\r\n");
            else
                listed(server, n);
        }
        server.expect("QUIT", "+OK bye\r\n");
        EXPECT_EQ(check(server).result, OperationResult::Completed);
        expectScriptFollowed(server);
        ASSERT_EQ(numbers(), (Numbers{1, 2}));
        EXPECT_EQ(list->at(1)->size, sizeOf(2));
        EXPECT_EQ(callbacks, (Numbers{0, 1}));
    }
}

TEST_F(MailboxOperationsTest, ServerFallingSilentEndsTheCheckAfterTheTimeOut) {
    ScriptedPop3Server server;
    mailbox(server, 10, 2).expect("LIST 3", {}, AfterReply::StaySilent);
    options.timeoutSeconds = 1;
    EXPECT_TRUE(check(server));
    EXPECT_EQ(numbers(), (Numbers{1, 2}));
    EXPECT_EQ(settings->mailboxBytes, static_cast<std::uint32_t>(sizeOf(1) + sizeOf(2)));
    EXPECT_TRUE(host.said().empty());
}

TEST_F(MailboxOperationsTest, FilterMarksARejectedMessageAsItArrives) {
    auto rule = createFilterRule();
    rule->kind = RuleKind::FromContains;
    rule->fromText = "spammer";
    filters->rules.append(rule.release());
    filters->rulesEnabled = 1;

    ScriptedPop3Server server;
    loggedIn(server).expect("STAT", "+OK 4 99999\r\n").expect("UIDL", uidListing(oneTo(4)));
    listed(server, 1);
    listed(server, 2);
    listed(server, 3, "Spammer <offers@spammer.example>");
    listed(server, 4);
    server.expect("QUIT", "+OK bye\r\n");

    Numbers marksSeen;
    server.start();
    account.host = server.hostAndPort();
    EXPECT_TRUE(checkMailbox(
        account, *settings, *filters, *list,
        [&](int index) { marksSeen.push_back(static_cast<int>(list->at(index)->mark)); }, options));
    expectScriptFollowed(server);
    // Already marked when the list view hears of it.
    EXPECT_EQ(marksSeen, (Numbers{0, 0, 1, 0}));
}

TEST_F(MailboxOperationsTest, FetchStoresWhatFollowsTheHeader) {
    struct Case {
        int bodyLines;
        std::string reply;        // after the status line
        std::string expectedBody; // what the entry keeps
    };
    const Case cases[] = {
        // Only the reply's terminating line follows the header.
        {0, "Subject: a\r\n\r\n.\r\n", ".\r\n"},
        {2, "Subject: a\r\n\r\nfirst\r\n..dotted\r\n.\r\n", "first\r\n..dotted\r\n.\r\n"},
        // A header without its blank line has no body at all.
        {0, "Subject: a\r\n.\r\n", ""},
    };
    for (const Case& c : cases) {
        ScriptedPop3Server server;
        loggedIn(server)
            .expect("UIDL 4", "+OK 4 uid-4\r\n")
            .expect("TOP 4 " + std::to_string(c.bodyLines), kTopReplyOk + c.reply)
            .expect("QUIT", "+OK bye\r\n");
        settings->bodyLines = static_cast<std::int16_t>(c.bodyLines);
        MessageEntry entry;
        entry.messageNumber = 4;
        entry.uniqueId = uniqueIdOf(4);
        EXPECT_TRUE(fetch(server, entry));
        expectScriptFollowed(server);
        EXPECT_EQ(entry.body, c.expectedBody);
        EXPECT_TRUE(entry.bodyLoaded);
    }
}

TEST_F(MailboxOperationsTest, RefusedFetchLeavesTheEntryAlone) {
    ScriptedPop3Server server;
    loggedIn(server)
        .expect("UIDL 9", "+OK 9 uid-9\r\n")
        .expect("TOP 9 0", "-ERR gone\r\n")
        .expect("QUIT", "+OK bye\r\n");
    MessageEntry entry;
    entry.messageNumber = 9;
    entry.uniqueId = uniqueIdOf(9);
    EXPECT_TRUE(fetch(server, entry));
    expectScriptFollowed(server);
    EXPECT_FALSE(entry.body.has_value());
    EXPECT_FALSE(entry.bodyLoaded);
    EXPECT_TRUE(host.said().empty());
}

TEST_F(MailboxOperationsTest, RemovalDeletesMarkedEntriesAndRenumbers) {
    for (int n = 1; n <= 5; ++n)
        addEntry(n, n == 2 || n == 3 ? MarkState::MarkedForDelete : MarkState::Unmarked);
    ScriptedPop3Server server;
    loggedIn(server)
        .expect("UIDL", uidListing(oneTo(5)))
        .expect("DELE 2", "+OK\r\n")
        .expect("DELE 3", "+OK\r\n")
        .expect("QUIT", "+OK bye\r\n");
    settings->mailboxBytes = 1;
    EXPECT_TRUE(remove(server));
    expectScriptFollowed(server);
    EXPECT_EQ(callbacks, (Numbers{1, 1}));
    EXPECT_EQ(subjects(), (Lines{"Message 1", "Message 4", "Message 5"}));
    EXPECT_EQ(numbers(), (Numbers{1, 2, 3}));
    EXPECT_EQ(settings->mailboxBytes, sizesInList());
}

TEST_F(MailboxOperationsTest, RemovalKeepsTheOrderOfASortedList) {
    for (int n : {5, 3, 1, 4, 2})
        addEntry(n, n == 3 || n == 4 ? MarkState::MarkedForDelete : MarkState::Unmarked);
    ScriptedPop3Server server;
    loggedIn(server)
        .expect("UIDL", uidListing(oneTo(5)))
        .expect("DELE 3", "+OK\r\n")
        .expect("DELE 4", "+OK\r\n")
        .expect("QUIT", "+OK bye\r\n");
    EXPECT_TRUE(remove(server));
    expectScriptFollowed(server);
    EXPECT_EQ(callbacks, (Numbers{1, 2}));
    EXPECT_EQ(subjects(), (Lines{"Message 5", "Message 1", "Message 2"}));
    EXPECT_EQ(numbers(), (Numbers{3, 1, 2}));
    EXPECT_EQ(settings->mailboxBytes, sizesInList());
}

TEST_F(MailboxOperationsTest, RefusedDeleKeepsTheEntryItsMarkAndItsSize) {
    addEntry(1, MarkState::MarkedForDelete);
    addEntry(2);
    addEntry(3, MarkState::MarkedForDelete);
    ScriptedPop3Server server;
    loggedIn(server)
        .expect("UIDL", uidListing(oneTo(3)))
        .expect("DELE 1", "-ERR locked\r\n")
        .expect("DELE 3", "+OK\r\n")
        .expect("QUIT", "+OK bye\r\n");
    EXPECT_TRUE(remove(server));
    expectScriptFollowed(server);
    EXPECT_EQ(callbacks, (Numbers{2}));
    EXPECT_EQ(numbers(), (Numbers{1, 2}));
    EXPECT_EQ(list->at(0)->mark, MarkState::MarkedForDelete);
    EXPECT_EQ(settings->mailboxBytes, static_cast<std::uint32_t>(sizeOf(1) + sizeOf(2)));
}

// Without an acknowledged QUIT the server deletes nothing, so the entries left must keep the
// numbers that still name their messages.
TEST_F(MailboxOperationsTest, NumbersStayWhenQuitIsNotAcknowledged) {
    for (bool cut : {false, true}) {
        list = createMessageList();
        callbacks.clear();
        for (int n = 1; n <= 4; ++n)
            addEntry(n, n == 2 ? MarkState::MarkedForDelete : MarkState::Unmarked);
        ScriptedPop3Server server;
        loggedIn(server).expect("UIDL", uidListing(oneTo(4)));
        if (cut)
            server.expect("DELE 2", {ReplyPiece{"+OK\r\n"}}, AfterReply::Close);
        else
            server.expect("DELE 2", "+OK\r\n").expect("QUIT", "-ERR cannot delete\r\n");
        EXPECT_TRUE(remove(server));
        expectScriptFollowed(server);
        EXPECT_EQ(callbacks, (Numbers{1})) << (cut ? "cut" : "refused");
        EXPECT_EQ(numbers(), (Numbers{1, 3, 4})) << (cut ? "cut" : "refused");
        EXPECT_EQ(settings->mailboxBytes, sizesInList());
    }
}

TEST_F(MailboxOperationsTest, ApopWhenAllowedAndOffered) {
    const std::string stamp = "<1896.697170952@dbc.mtview.ca.us>";
    ScriptedPop3Server server;
    server.greeting("+OK POP3 server ready " + stamp + "\r\n")
        .expect("CAPA", "-ERR unknown command\r\n")
        .expect("APOP alice " + toppeek::mail::apopDigest(stamp, "secret"), "+OK\r\n")
        .expect("STAT", "+OK 1 99\r\n")
        .expect("UIDL", "-ERR unknown command\r\n")
        // No PIPELINING: one LIST gives all sizes.
        .expect("LIST", "+OK\r\n1 " + std::to_string(sizeOf(1)) + "\r\n.\r\n")
        .expect("TOP 1 0", kTopReplyOk + headerOf(1, "Bob <bob@example.org>") + "\r\n.\r\n")
        .expect("QUIT", "+OK bye\r\n");
    settings->useApop = 1;
    EXPECT_TRUE(check(server));
    expectScriptFollowed(server);
    EXPECT_EQ(numbers(), (Numbers{1}));
}

TEST_F(MailboxOperationsTest, FailedConnectionIsShownAndChangesNothing) {
    addEntry(1, MarkState::MarkedForDelete);
    account.host = "127.0.0.1:" + std::to_string(toppeek::test::unusedLoopbackPort());
    settings->mailboxBytes = 55;
    MessageEntry entry;
    entry.messageNumber = 1;

    EXPECT_TRUE(removeMarkedMessages(account, *settings, *list, {}, options));
    EXPECT_EQ(numbers(), (Numbers{1}));
    EXPECT_EQ(settings->mailboxBytes, 55u);
    EXPECT_TRUE(fetchMessageText(account, *settings, entry, options));
    EXPECT_FALSE(entry.bodyLoaded);
    EXPECT_TRUE(checkMailbox(account, *settings, *filters, *list, {}, options));
    EXPECT_EQ(settings->mailboxBytes, 0u);

    ASSERT_EQ(host.said().size(), 3u);
    for (const auto& told : host.said()) {
        EXPECT_EQ(told.kind, Kind::Told);
        EXPECT_EQ(told.text, host.said()[0].text);
    }
    EXPECT_NE(host.said()[0].text.find(account.host), std::string::npos);
}

// The status line follows the connection: the lookup of the host, the connection with the address
// and port it reached, then each command as it went out, the password masked.
TEST_F(MailboxOperationsTest, TheStatusLineFollowsTheConnection) {
    ScriptedPop3Server server;
    mailbox(server, 0, 0).expect("QUIT", "+OK bye\r\n");
    EXPECT_TRUE(check(server));
    expectScriptFollowed(server);
    const std::string port = std::to_string(server.port());
    const Lines expected{"Looking up 127.0.0.1 ...",
                         "Connecting ...",
                         "Connected to 127.0.0.1, port " + port,
                         "CAPA\r\n",
                         "USER alice\r\n",
                         "PASS xxxx",
                         "STAT\r\n"};
    const Lines& lines = host.statusLines();
    ASSERT_GE(lines.size(), expected.size());
    EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(expected.size())), expected);
    EXPECT_EQ(host.statusLine(), "QUIT\r\n");
}

TEST_F(MailboxOperationsTest, AConnectionThatCannotBeSecuredIsShownWithTheReason) {
    // A plain server where TLS was asked for: the handshake fails on its greeting.
    ScriptedPop3Server server;
    server.greeting("+OK ready, but in the clear\r\n");
    server.start();
    account.host = "pop3s://" + server.hostAndPort();
    EXPECT_TRUE(checkMailbox(account, *settings, *filters, *list, {}, options));
    EXPECT_EQ(list->count(), 0);
    ASSERT_EQ(host.kinds(), Kinds{Kind::Told});
    const std::string& text = host.said()[0].text;
    std::size_t lineEnd = text.find('\n');
    ASSERT_NE(lineEnd, std::string::npos) << text;
    EXPECT_NE(text.find(account.host), std::string::npos) << text;
    // The reason is one line of its own.
    EXPECT_GT(text.size(), lineEnd + 1);
    EXPECT_EQ(text.find('\n', lineEnd + 1), std::string::npos) << text;
    EXPECT_NE(text.find("secure", lineEnd), std::string::npos) << text;
    EXPECT_EQ(server.receivedBytes().find("USER"), std::string::npos);
}

TEST_F(MailboxOperationsTest, RefusedLoginIsShownWithItsOwnText) {
    ScriptedPop3Server server;
    server.greeting("+OK ready\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "-ERR wrong password\r\n")
        .expect("QUIT", "+OK bye\r\n");
    EXPECT_TRUE(check(server));
    expectScriptFollowed(server);
    EXPECT_EQ(list->count(), 0);
    ASSERT_EQ(host.kinds(), Kinds{Kind::Told});
    EXPECT_NE(host.said()[0].text.find("alice"), std::string::npos);

    // A different text from the connection failure's.
    account.host = "127.0.0.1:" + std::to_string(toppeek::test::unusedLoopbackPort());
    EXPECT_TRUE(checkMailbox(account, *settings, *filters, *list, {}, options));
    ASSERT_EQ(host.said().size(), 2u);
    EXPECT_NE(host.said()[0].text, host.said()[1].text);
}

TEST_F(MailboxOperationsTest, CancelAnsweredNoLetsTheCheckGoOn) {
    ScriptedPop3Server server;
    mailbox(server, 5, 5).expect("QUIT", "+OK bye\r\n");
    cancelConfirmed = false;
    pressCancelAfterEntry = 1;
    EXPECT_TRUE(check(server));
    expectScriptFollowed(server);
    EXPECT_EQ(host.kinds(), Kinds{Kind::Cancel});
    EXPECT_EQ(numbers(), (Numbers{1, 2, 3, 4, 5}));
    EXPECT_FALSE(cancelRequested());
}

TEST_F(MailboxOperationsTest, CancelAnsweredYesKeepsWhatWasListed) {
    ScriptedPop3Server server;
    // All ten messages' commands go out ahead, QUIT behind them; the replies after the cancel
    // are never read.
    mailbox(server, 10, 10).expect("QUIT", "+OK bye\r\n");
    // The click is handled by the check's event processing before message 3.
    pressCancelAfterEntry = 1;
    EXPECT_FALSE(check(server));
    expectScriptFollowed(server);
    EXPECT_EQ(numbers(), (Numbers{1, 2}));
    EXPECT_EQ(settings->mailboxBytes, static_cast<std::uint32_t>(sizeOf(1) + sizeOf(2)));
    // Every exchange fails once cancelled: what the server read before the connection was
    // dropped is part of the window, whose QUIT is the only one; nothing followed it.
    Lines window{"CAPA", "USER alice", "PASS secret", "STAT", "UIDL"};
    for (int n = 1; n <= 10; ++n) {
        window.push_back("LIST " + std::to_string(n));
        window.push_back("TOP " + std::to_string(n) + " 0");
    }
    window.push_back("QUIT");
    const Lines received = commands(server);
    ASSERT_LE(received.size(), window.size());
    EXPECT_TRUE(std::equal(received.begin(), received.end(), window.begin()));
    EXPECT_EQ(host.kinds(), Kinds{Kind::Cancel});
    EXPECT_TRUE(cancelRequested());

    // The next operation starts afresh.
    ScriptedPop3Server next;
    mailbox(next, 1, 1).expect("QUIT", "+OK bye\r\n");
    list->clear();
    pressCancelAfterEntry = -1;
    EXPECT_TRUE(check(next));
    expectScriptFollowed(next);
    EXPECT_EQ(numbers(), (Numbers{1}));
    EXPECT_FALSE(cancelRequested());
}

// A cancel while a large window is out: the check stops at once, keeps exactly the messages
// whose replies arrived whole and leaves the rest of the window unread.
TEST_F(MailboxOperationsTest, CancelInsideALargeWindowKeepsOnlyWholeMessages) {
    ScriptedPop3Server server;
    // Message 51's header comes half and then nothing: a server slowed down to a crawl.
    mailbox(server, 200, 50)
        .expect("LIST 51", "+OK 51 1051\r\n")
        .expect("TOP 51 0", {ReplyPiece{kTopReplyOk + "From: Bob <bob@example.org>\r\nTo: al"}},
                AfterReply::StaySilent)
        .waitLimit(30s);
    options.timeoutSeconds = 30;
    settings->maxMessages = 200;
    // The cancel waits until the server has read the whole window: the connection is then closed
    // abortively, and the reset would otherwise throw away commands the server had not read yet.
    host.cancelWhen([this, &server] {
        const Lines received = commands(server);
        return list->count() >= 50 && std::count(received.begin(), received.end(), "QUIT") > 0;
    });
    const auto started = std::chrono::steady_clock::now();
    OperationOutcome outcome = check(server);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 15s) << "waited for the server";
    EXPECT_EQ(outcome.result, OperationResult::Cancelled);
    EXPECT_EQ(host.kinds(), Kinds{Kind::Cancel});
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(numbers(), oneTo(50));
    EXPECT_EQ(settings->mailboxBytes, sizesInList());
    const Lines received = commands(server);
    // The window held all 200 messages' commands and QUIT behind them; nothing followed.
    EXPECT_EQ(std::count(received.begin(), received.end(), "TOP 200 0"), 1) << received.back();
    EXPECT_EQ(std::count(received.begin(), received.end(), "QUIT"), 1);
    EXPECT_EQ(received.back(), "QUIT");
}

TEST_F(MailboxOperationsTest, CancelDuringTheConnectionShowsTheConnectionFailure) {
    toppeek::test::StalledListener stalled;
    ASSERT_TRUE(stalled.ready());
    account.host = "127.0.0.1:" + std::to_string(stalled.port());
    options.timeoutSeconds = 30;
    host.cancelWhen([this] { return host.statusLine().starts_with("Connecting"); });
    EXPECT_FALSE(checkMailbox(account, *settings, *filters, *list, {}, options));
    EXPECT_EQ(host.kinds(), (Kinds{Kind::Cancel, Kind::Told}));
    EXPECT_NE(host.said()[1].text.find("connect"), std::string::npos);
}

// The user's own cancel is no refused log-in: the question is the only box.
TEST_F(MailboxOperationsTest, CancelDuringTheLoginIsNotShownAsARefusal) {
    ScriptedPop3Server server;
    server.greeting({ReplyPiece{"+OK ready\r\n", 20s}}).waitLimit(30s);
    options.timeoutSeconds = 30;
    host.cancelWhen([this] { return host.statusLine().starts_with("Connected"); });
    OperationOutcome outcome = check(server);
    EXPECT_EQ(outcome.result, OperationResult::Cancelled);
    EXPECT_EQ(host.kinds(), (Kinds{Kind::Cancel}));
}

TEST_F(MailboxOperationsTest, CancelDuringRemovalKeepsNumbersAndCountsWhatStays) {
    for (int n = 1; n <= 4; ++n)
        addEntry(n, MarkState::MarkedForDelete);
    ScriptedPop3Server server;
    // The DELEs go out ahead; the cancel is seen before the reply to DELE 2 is read.
    loggedIn(server).expect("UIDL", uidListing(oneTo(4)));
    for (int n = 1; n <= 4; ++n)
        server.expect("DELE " + std::to_string(n), "+OK\r\n");
    pressCancelAfterEntry = 0;
    EXPECT_FALSE(remove(server));
    expectScriptFollowed(server);
    EXPECT_EQ(callbacks, (Numbers{0}));
    EXPECT_EQ(numbers(), (Numbers{2, 3, 4}));
    EXPECT_EQ(settings->mailboxBytes, sizesInList());
}

TEST_F(MailboxOperationsTest, SecondOperationIsRefusedAndLeavesTheFirstAlone) {
    ScriptedPop3Server server;
    mailbox(server, 3, 3).expect("QUIT", "+OK bye\r\n");
    bool secondResult = true;
    int runs = 0;
    bool firstStillRuns = false;
    bool cancelFlagAfter = false;
    server.start();
    account.host = server.hostAndPort();
    EXPECT_TRUE(checkMailbox(
        account, *settings, *filters, *list,
        [&](int index) {
            if (index != 0)
                return;
            // As if a click had been handled with the cancel just confirmed.
            setCancelFlag(true);
            auto other = createMessageList();
            secondResult =
                static_cast<bool>(checkMailbox(account, *settings, *filters, *other, {}, options));
            cancelFlagAfter = cancelRequested();
            setCancelFlag(false);
            runs = host.began();
            firstStillRuns = runningHost() == &host && host.goOn();
        },
        options));
    expectScriptFollowed(server);
    EXPECT_FALSE(secondResult);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(firstStillRuns);
    EXPECT_TRUE(cancelFlagAfter);
    EXPECT_TRUE(host.said().empty());
    EXPECT_EQ(numbers(), (Numbers{1, 2, 3}));
}

// A refused second operation must not take the first one's idle step away: a click made while
// the first waits on the server is still handled during that wait.
TEST_F(MailboxOperationsTest, EventsAreHandledWhileWaitingOnTheServer) {
    ScriptedPop3Server server;
    mailbox(server, 2, 1)
        .expect("LIST 2", {ReplyPiece{"+OK 2 1002\r\n", 1500ms}})
        .expect("TOP 2 0", kTopReplyOk + headerOf(2, "bob@example.org") + "\r\n.\r\n")
        .expect("QUIT", "+OK bye\r\n");
    options.timeoutSeconds = 10;
    int listedWhenAsked = -1;
    server.start();
    account.host = server.hostAndPort();
    EXPECT_TRUE(checkMailbox(
        account, *settings, *filters, *list,
        [&](int index) {
            if (index != 0)
                return;
            auto other = createMessageList();
            EXPECT_FALSE(checkMailbox(account, *settings, *filters, *other, {}, options));
            // Pressed while LIST 2 waits for its late reply, and answered No.
            const auto armed = std::chrono::steady_clock::now();
            host.cancelWhen(
                [&, armed] {
                    if (std::chrono::steady_clock::now() - armed < 200ms)
                        return false;
                    listedWhenAsked = list->count();
                    return true;
                },
                false);
        },
        options));
    expectScriptFollowed(server);
    EXPECT_EQ(host.cancels(), 1);
    EXPECT_EQ(listedWhenAsked, 1);
    EXPECT_EQ(numbers(), (Numbers{1, 2}));
}

} // namespace

namespace {

// The header block as the check keeps it: the TOP reply after its status line.
std::string storedHeaderOf(int n) {
    return headerOf(n, "bob@example.org") + "\r\n.\r\n";
}

// The confirmation of message n without unique-ids: its size, then its header block.
ScriptedPop3Server& confirmed(ScriptedPop3Server& server, int number, int size,
                              const std::string& header) {
    return server
        .expect("LIST " + std::to_string(number),
                "+OK " + std::to_string(number) + " " + std::to_string(size) + "\r\n")
        .expect("TOP " + std::to_string(number) + " 0", kTopReplyOk + header);
}

} // namespace

// Entries 1 to 5 were listed, 2 and 4 marked; since then messages 1 and 3 went elsewhere and
// message 6 arrived. Only the marked ones go, under the numbers they have now, and the list ends
// up naming the server's messages.
TEST_F(MailboxOperationsTest, RemovalFindsMarkedMessagesByUniqueIdAfterTheMailboxChanged) {
    for (int n = 1; n <= 5; ++n)
        addEntry(n, n == 2 || n == 4 ? MarkState::MarkedForDelete : MarkState::Unmarked);
    ScriptedPop3Server server;
    loggedIn(server)
        .expect("UIDL", uidListing({2, 4, 5, 6}))
        .expect("DELE 1", "+OK\r\n")
        .expect("DELE 2", "+OK\r\n")
        .expect("QUIT", "+OK bye\r\n");
    OperationOutcome outcome = remove(server);
    expectScriptFollowed(server);
    EXPECT_EQ(outcome.result, OperationResult::Completed);
    EXPECT_EQ(outcome.removed, 2);
    EXPECT_TRUE(outcome.quitAcknowledged);
    EXPECT_EQ(subjects(), (Lines{"Message 5"}));
    EXPECT_EQ(numbers(), (Numbers{1}));
    EXPECT_EQ(settings->mailboxMessages, 2);
    EXPECT_EQ(settings->mailboxBytes, sizesInList());
    EXPECT_EQ(removalReport(outcome), "");

    // A marked message already gone is taken out as done; a unique-id given twice is touched
    // by neither DELE; without an acknowledged QUIT the entries take the numbers the server
    // gives them now.
    list->clear();
    callbacks.clear();
    for (int n = 1; n <= 4; ++n)
        addEntry(n, n == 4 ? MarkState::Unmarked : MarkState::MarkedForDelete);
    ScriptedPop3Server twice;
    loggedIn(twice)
        .expect("UIDL", "+OK\r\n1 uid-2\r\n2 uid-3\r\n3 uid-4\r\n4 uid-3\r\n.\r\n")
        .expect("DELE 1", "+OK\r\n")
        .expect("QUIT", "-ERR mailbox locked\r\n");
    outcome = remove(twice);
    expectScriptFollowed(twice);
    EXPECT_EQ(outcome.gone, 1);
    EXPECT_EQ(outcome.removed, 1);
    EXPECT_EQ(outcome.shared, 1);
    EXPECT_EQ(outcome.result, OperationResult::BrokeOff);
    EXPECT_EQ(subjects(), (Lines{"Message 3", "Message 4"}));
    EXPECT_EQ(numbers(), (Numbers{3, 3})); // message 3's number is not its own to know
    EXPECT_EQ(list->at(0)->mark, MarkState::MarkedForDelete);
    const std::string report = removalReport(outcome);
    EXPECT_NE(report.find("1 marked message was no longer on the server"), std::string::npos);
    EXPECT_NE(report.find("same unique-id"), std::string::npos);
    EXPECT_NE(report.find("keeps the 1 message it"), std::string::npos) << report;
}

// Without unique-ids (none at the check, or UIDL refused now) a marked message is deleted only
// when its size and header block are still the ones listed.
TEST_F(MailboxOperationsTest, RemovalWithoutUniqueIdsConfirmsSizeAndHeaderFirst) {
    for (bool refusedNow : {false, true}) {
        SCOPED_TRACE(refusedNow ? "UIDL refused now" : "no unique-ids at the check");
        list = createMessageList();
        for (int n = 1; n <= 4; ++n) {
            addEntry(n, n == 1 ? MarkState::Unmarked : MarkState::MarkedForDelete);
            list->at(n - 1)->headerText = storedHeaderOf(n);
            if (!refusedNow)
                list->at(n - 1)->uniqueId.clear();
        }
        settings->mailboxMessages = 4;
        ScriptedPop3Server server;
        loggedIn(server);
        if (refusedNow)
            server.expect("UIDL", "-ERR not supported\r\n");
        server.expect("STAT", "+OK 4 9999\r\n");
        // 2: another message of another size; 3: the same size, another header; 4: itself.
        server.expect("LIST 2", "+OK 2 " + std::to_string(sizeOf(2) + 7) + "\r\n");
        confirmed(server, 3, sizeOf(3), storedHeaderOf(5));
        confirmed(server, 4, sizeOf(4), storedHeaderOf(4))
            .expect("DELE 4", "+OK\r\n")
            .expect("QUIT", "+OK bye\r\n");
        OperationOutcome outcome = remove(server);
        expectScriptFollowed(server);
        EXPECT_EQ(outcome.removed, 1);
        EXPECT_EQ(outcome.changed, 2);
        EXPECT_EQ(subjects(), (Lines{"Message 1", "Message 2", "Message 3"}));
        EXPECT_EQ(countMarked(*list), 2);
        EXPECT_NE(removalReport(outcome).find("2 marked messages were not removed"),
                  std::string::npos);
    }
}

TEST_F(MailboxOperationsTest, ViewingFetchesOnlyTheMessageListed) {
    settings->bodyLines = 1;
    struct Case {
        const char* what;
        std::string uniqueId;
        bool shared;
        std::function<void(ScriptedPop3Server&)> script;
        MessageIdentity identity;
        std::int32_t numberAfter;
    };
    const std::string body = "\r\nline\r\n.\r\n";
    const Case cases[] = {
        {"moved to number 1", "uid-3", false,
         [&](ScriptedPop3Server& server) {
             server.expect("UIDL 3", "-ERR no such message\r\n")
                 .expect("UIDL", uidListing({3}))
                 .expect("TOP 1 1", kTopReplyOk + headerOf(3, "x") + body);
         },
         MessageIdentity::Confirmed, 1},
        {"gone", "uid-3", false,
         [&](ScriptedPop3Server& server) {
             server.expect("UIDL 3", "+OK 3 uid-9\r\n").expect("UIDL", uidListing({1, 2, 9}));
         },
         MessageIdentity::Gone, 3},
        {"shared at the check", "uid-3", true, [](ScriptedPop3Server&) {}, MessageIdentity::Shared,
         3},
        {"without unique-ids, changed", "", false,
         [&](ScriptedPop3Server& server) { confirmed(server, 3, sizeOf(3), storedHeaderOf(4)); },
         MessageIdentity::Changed, 3},
        {"without unique-ids, the same", "", false,
         [&](ScriptedPop3Server& server) {
             confirmed(server, 3, sizeOf(3), storedHeaderOf(3))
                 .expect("TOP 3 1", kTopReplyOk + headerOf(3, "x") + body);
         },
         MessageIdentity::Confirmed, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto entry = createMessageEntry(storedHeaderOf(3));
        entry->messageNumber = 3;
        entry->size = sizeOf(3);
        entry->uniqueId = c.uniqueId;
        entry->uniqueIdShared = c.shared;
        ScriptedPop3Server server;
        loggedIn(server);
        c.script(server);
        server.expect("QUIT", "+OK bye\r\n");
        OperationOutcome outcome = fetch(server, *entry);
        expectScriptFollowed(server);
        EXPECT_EQ(outcome.identity, c.identity);
        EXPECT_EQ(entry->bodyLoaded, c.identity == MessageIdentity::Confirmed);
        EXPECT_EQ(entry->messageNumber, c.numberAfter);
        EXPECT_EQ(fetchReport(outcome).empty(), c.identity == MessageIdentity::Confirmed);
    }
}

// What the check tells: only the truth about how far it got.
TEST_F(MailboxOperationsTest, CheckOutcomesSayHowFarTheCheckGot) {
    ScriptedPop3Server refusing;
    refusing.greeting("+OK ready\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "-ERR wrong password\r\n")
        .expect("QUIT", "+OK bye\r\n");
    OperationOutcome outcome = check(refusing);
    EXPECT_EQ(outcome.result, OperationResult::LoginRefused);
    EXPECT_EQ(checkReport(outcome, "alice@example.com"), "");

    ScriptedPop3Server silent;
    silent.greeting({}, AfterReply::StaySilent);
    options.timeoutSeconds = 1;
    outcome = check(silent);
    EXPECT_EQ(outcome.result, OperationResult::NoAnswer);
    ASSERT_EQ(host.said().size(), 2u);
    EXPECT_NE(host.said()[1].text.find("is not answering: it fell silent"), std::string::npos);

    ScriptedPop3Server partial;
    mailbox(partial, 10, 4)
        .expect("LIST 5", "-ERR no such message\r\n")
        .expect("QUIT", "+OK bye\r\n");
    outcome = check(partial);
    EXPECT_EQ(outcome.result, OperationResult::BrokeOff);
    EXPECT_EQ(checkReport(outcome, "a@b"),
              "Only 4 of 10 messages of the mailbox of a@b were listed: the server refused to "
              "list message 5.");
    EXPECT_EQ(list->at(1)->uniqueId, "uid-2");

    // A connection lost inside the unique-id listing is not a refusal of the message count.
    list->clear();
    ScriptedPop3Server cut;
    loggedIn(cut)
        .expect("STAT", "+OK 3 999\r\n")
        .expect("UIDL", std::vector<ReplyPiece>{{"+OK\r\n1 uid-1\r\n"}}, AfterReply::Close);
    outcome = check(cut);
    EXPECT_EQ(outcome.result, OperationResult::BrokeOff);
    EXPECT_EQ(checkReport(outcome, "a@b"),
              "Could not read the mailbox of a@b: the connection was lost.");

    list->clear();
    ScriptedPop3Server empty;
    mailbox(empty, 0, 0).expect("QUIT", "+OK bye\r\n");
    EXPECT_EQ(checkReport(check(empty), "a@b"), "There are no messages in the mailbox of a@b.");

    // A unique-id given to two messages names neither; the others keep theirs.
    ScriptedPop3Server twice;
    loggedIn(twice)
        .expect("STAT", "+OK 3 999\r\n")
        .expect("UIDL", "+OK\r\n1 same\r\n2 other\r\n3 same\r\n.\r\n");
    for (int n = 1; n <= 3; ++n)
        listed(twice, n);
    twice.expect("QUIT", "+OK bye\r\n");
    EXPECT_EQ(check(twice).result, OperationResult::Completed);
    ASSERT_EQ(list->count(), 3);
    EXPECT_TRUE(list->at(0)->uniqueIdShared);
    EXPECT_FALSE(list->at(1)->uniqueIdShared);
    EXPECT_TRUE(list->at(2)->uniqueIdShared);
}

// An automatic check of a listed mailbox reads only what the list lacks, and leaves the list
// alone: what it found is merged by the caller, and a failed update brings nothing.
TEST_F(MailboxOperationsTest, UpdateReadsOnlyWhatTheListLacks) {
    const std::string noPipelining = "+OK\r\nTOP\r\nUIDL\r\n.\r\n";
    // Message 1 was taken by other hands, message 4 arrived and is numbered 3 now.
    const std::string listing = uidListing({2, 3, 4});
    struct Case {
        const char* what;
        std::function<void(ScriptedPop3Server&)> script;
        OperationResult result;
        bool byUniqueIds;
    };
    const Case cases[] = {
        {"pipelined",
         [&](ScriptedPop3Server& server) {
             loggedIn(server).expect("STAT", "+OK 3 9999\r\n").expect("UIDL", listing);
             server.expect("LIST 3", "+OK 3 " + std::to_string(sizeOf(4)) + "\r\n")
                 .expect("TOP 3 0", kTopReplyOk + headerOf(4, "new@example.org") + "\r\n.\r\n")
                 .expect("QUIT", "+OK bye\r\n");
         },
         OperationResult::Completed, true},
        {"lock-step, sizes in one listing",
         [&](ScriptedPop3Server& server) {
             loggedIn(server, noPipelining)
                 .expect("STAT", "+OK 3 9999\r\n")
                 .expect("UIDL", listing)
                 .expect("LIST",
                         "+OK\r\n1 1002\r\n2 1003\r\n3 " + std::to_string(sizeOf(4)) + "\r\n.\r\n")
                 .expect("TOP 3 0", kTopReplyOk + headerOf(4, "new@example.org") + "\r\n.\r\n")
                 .expect("QUIT", "+OK bye\r\n");
         },
         OperationResult::Completed, true},
        {"cut while reading",
         [&](ScriptedPop3Server& server) {
             loggedIn(server).expect("STAT", "+OK 3 9999\r\n").expect("UIDL", listing);
             server.expect("LIST 3", "+OK 3 1004\r\n")
                 .expect("TOP 3 0", {ReplyPiece{"+OK\r\nFrom: a"}}, AfterReply::Close);
         },
         OperationResult::BrokeOff, true},
        {"no unique-ids",
         [&](ScriptedPop3Server& server) {
             loggedIn(server)
                 .expect("STAT", "+OK 3 9999\r\n")
                 .expect("UIDL", "-ERR not supported\r\n")
                 .expect("QUIT", "+OK bye\r\n");
         },
         OperationResult::Completed, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        list = createMessageList();
        for (int n = 1; n <= 3; ++n) {
            addEntry(n, n == 2 ? MarkState::MarkedForDelete : MarkState::Unmarked);
            list->at(n - 1)->accountTag = 7; // the account's, as its check left them
        }
        ScriptedPop3Server server;
        c.script(server);
        server.start();
        account.host = server.hostAndPort();
        MailboxUpdate update;
        const OperationOutcome outcome =
            updateMailbox(account, *settings, *filters, *list, update, options);
        expectScriptFollowed(server);
        EXPECT_EQ(outcome.result, c.result);
        EXPECT_EQ(update.byUniqueIds, c.byUniqueIds);
        EXPECT_EQ(numbers(), (Numbers{1, 2, 3}));
        if (c.result != OperationResult::Completed || !c.byUniqueIds) {
            EXPECT_TRUE(update.arrived.empty());
            continue;
        }
        ASSERT_EQ(update.arrived.size(), std::size_t{1});
        EXPECT_EQ(update.arrived[0]->uniqueId, uniqueIdOf(4));
        EXPECT_EQ(update.arrived[0]->size, sizeOf(4));
        EXPECT_EQ(outcome.mailboxCount, 3);
        Numbers removedAt;
        mergeServerListing(*list, 7, update.uniqueIds, outcome.toList, std::move(update.arrived),
                           [&removedAt](int index) { removedAt.push_back(index); });
        EXPECT_EQ(removedAt, (Numbers{0}));
        EXPECT_EQ(subjects(), (Lines{"Message 2", "Message 3", "Message 4"}));
        EXPECT_EQ(numbers(), (Numbers{1, 2, 3}));
        EXPECT_EQ(list->at(0)->mark, MarkState::MarkedForDelete);
    }
}

// What a removal could not settle is told as it is: DELEs sent but never answered, and without
// unique-ids a mailbox that lost messages since the check.
TEST_F(MailboxOperationsTest, RemovalTellsWhatItCouldNotSettle) {
    {
        for (int n = 1; n <= 3; ++n)
            addEntry(n, n == 2 ? MarkState::MarkedForDelete : MarkState::Unmarked);
        ScriptedPop3Server server;
        loggedIn(server)
            .expect("UIDL", uidListing(oneTo(3)))
            .expect("DELE 2", std::vector<ReplyPiece>{}, AfterReply::Close);
        const OperationOutcome outcome = remove(server);
        expectScriptFollowed(server);
        EXPECT_EQ(outcome.unconfirmed, 1);
        EXPECT_EQ(outcome.notReached, 0);
        EXPECT_EQ(countMarked(*list), 1);
        const std::string report = removalReport(outcome);
        EXPECT_NE(report.find("1 marked message was sent to the server for deletion, but the "
                              "server never confirmed it; the server keeps it and it stays marked"),
                  std::string::npos)
            << report;
        EXPECT_EQ(report.find("not tried"), std::string::npos) << report;
    }
    // Without unique-ids: message 3 went since the check; the marked message 1 is still itself.
    for (long nowHeld : {2L, 3L}) {
        SCOPED_TRACE(nowHeld);
        list = createMessageList();
        for (int n = 1; n <= 3; ++n) {
            addEntry(n, n == 1 ? MarkState::MarkedForDelete : MarkState::Unmarked);
            list->at(n - 1)->headerText = storedHeaderOf(n);
            list->at(n - 1)->uniqueId.clear();
        }
        settings->mailboxMessages = 3;
        ScriptedPop3Server server;
        loggedIn(server).expect("STAT", "+OK " + std::to_string(nowHeld) + " 9999\r\n");
        confirmed(server, 1, sizeOf(1), storedHeaderOf(1))
            .expect("DELE 1", "+OK\r\n")
            .expect("QUIT", "+OK bye\r\n");
        const OperationOutcome outcome = remove(server);
        expectScriptFollowed(server);
        EXPECT_EQ(outcome.removed, 1);
        EXPECT_EQ(outcome.mailboxChanged, nowHeld < 3);
        EXPECT_EQ(settings->mailboxMessages, nowHeld - 1);
        const bool told =
            removalReport(outcome).find("The mailbox changed since the check") != std::string::npos;
        EXPECT_EQ(told, nowHeld < 3);
    }
}
