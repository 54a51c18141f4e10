// The mailbox operations against servers that misbehave the way real networks and broken
// servers do: garbage and NUL bytes for status lines, endless and enormous lines, replies
// trickled a byte at a time, more data than asked for, absurd numbers, silence, and a close at
// every byte offset of whole conversations. Every case must end with the operation returning
// within the time-out and the message list consistent: whole entries only, numbered as the
// server numbers them, and mailboxBytes the total of what stays listed.
//
// TOPPEEK_HOSTILE_LONG=1 runs the long version (scripts/hostile.sh): every cut also with a reset
// and with the replies in single bytes, whole conversations trickled, more garbage.

#include "support/HostileServer.h"
#include "HostileCases.h"
#include "mail/Pop3.h"
#include "operations/MailboxOperations.h"
#include "support/MailboxOperationsFixture.h"
#include "support/ScriptedMailbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using toppeek::storage::Settings;
using namespace toppeek::messages;

namespace {

using namespace toppeek::operations;
using namespace std::chrono_literals;
using toppeek::test::headerOf;
using toppeek::test::HostilePeer;
using toppeek::test::HostileServer;
using toppeek::test::MailboxOperationsFixture;
using Clock = std::chrono::steady_clock;

using toppeek::test::hostile::bytes;
using toppeek::test::hostile::Exchange;
using toppeek::test::hostile::kReturnBound;
using toppeek::test::hostile::kTimeoutSeconds;
using toppeek::test::hostile::longRun;
using toppeek::test::hostile::Script;

// ---- The mailbox and its conversations ----

int sizeOf(int n) {
    return 1000 + n;
}

const std::string kBodyOfTwo = "First line\r\n..dotted\r\nthird\r\n.\r\n";

struct Segment {
    bool fromClient = false;
    std::string bytes;
};
using Conversation = std::vector<Segment>;

// The greeting (no command) or one command line with its reply. Every operation asks for the
// capabilities before it logs in.
Script openingScript() {
    return {{"", "+OK hostile server ready\r\n"},
            {"CAPA\r\n", "+OK\r\nTOP\r\nUIDL\r\n.\r\n"},
            {"USER alice\r\n", "+OK\r\n"},
            {"PASS secret\r\n", "+OK logged in\r\n"}};
}

std::string uidListing(int count) {
    std::string reply = "+OK\r\n";
    for (int n = 1; n <= count; ++n)
        reply += std::to_string(n) + " uid-" + std::to_string(n) + "\r\n";
    return reply + ".\r\n";
}

// Indexes of the check script's exchanges.
constexpr std::size_t kStatAt = 4, kListAt = 6, kTop1At = 7, kTop2At = 8;

// The server does not pipeline, so one LIST gives the sizes of the whole mailbox.
Script checkScript() {
    Script script = openingScript();
    script.push_back({"STAT\r\n", "+OK 2 2003\r\n"});
    script.push_back({"UIDL\r\n", uidListing(2)});
    script.push_back({"LIST\r\n", "+OK\r\n1 " + std::to_string(sizeOf(1)) + "\r\n2 " +
                                      std::to_string(sizeOf(2)) + "\r\n.\r\n"});
    for (int n = 1; n <= 2; ++n) {
        std::string number = std::to_string(n);
        script.push_back({"TOP " + number + " 0\r\n", "+OK\r\n" + headerOf(n) + "\r\n.\r\n"});
    }
    script.push_back({"QUIT\r\n", "+OK bye\r\n"});
    return script;
}

// The check of a mailbox far larger than what is listed: LIST for each message listed.
Script checkScriptListingEach(const std::string& count) {
    Script script = openingScript();
    script.push_back({"STAT\r\n", "+OK " + count + " 2003\r\n"});
    script.push_back({"UIDL\r\n", uidListing(2)});
    for (int n = 1; n <= 2; ++n) {
        std::string number = std::to_string(n);
        script.push_back({"LIST " + number + "\r\n",
                          "+OK " + number + " " + std::to_string(sizeOf(n)) + "\r\n"});
        script.push_back({"TOP " + number + " 0\r\n", "+OK\r\n" + headerOf(n) + "\r\n.\r\n"});
    }
    script.push_back({"QUIT\r\n", "+OK bye\r\n"});
    return script;
}

Script fetchScript() {
    Script script = openingScript();
    script.push_back({"UIDL 2\r\n", "+OK 2 uid-2\r\n"});
    script.push_back({"TOP 2 3\r\n", "+OK\r\n" + headerOf(2) + "\r\n" + kBodyOfTwo});
    script.push_back({"QUIT\r\n", "+OK bye\r\n"});
    return script;
}

// The removal starts from entries 1 to 4 with 1 and 3 marked.
Script removeScript() {
    Script script = openingScript();
    script.push_back({"UIDL\r\n", uidListing(4)});
    script.push_back({"DELE 1\r\n", "+OK deleted\r\n"});
    script.push_back({"DELE 3\r\n", "+OK deleted\r\n"});
    script.push_back({"QUIT\r\n", "+OK bye\r\n"});
    return script;
}

Conversation conversationOf(const Script& script) {
    Conversation conversation;
    for (const Exchange& exchange : script) {
        if (!exchange.command.empty())
            conversation.push_back({true, exchange.command});
        conversation.push_back({false, exchange.reply});
    }
    return conversation;
}

std::size_t lengthOf(const Conversation& conversation) {
    std::size_t total = 0;
    for (const Segment& segment : conversation)
        total += segment.bytes.size();
    return total;
}

// Where in the conversation the reply to the command ends.
std::size_t endOfReply(const Conversation& conversation, const std::string& command) {
    std::size_t offset = 0;
    bool found = false;
    for (const Segment& segment : conversation) {
        offset += segment.bytes.size();
        if (segment.fromClient)
            found = segment.bytes == command;
        else if (found)
            return offset;
    }
    return SIZE_MAX;
}

enum class Ending { Close, Reset };
enum class Pace { Whole, SingleBytes, Trickled };

struct Replay {
    Conversation conversation;
    std::size_t cut = SIZE_MAX; // the connection ends after this many bytes of the conversation
    Ending ending = Ending::Close;
    Pace pace = Pace::Whole;
};

// Plays the server's side: each client segment is read as a line (only up to the cut when the
// cut lies inside it), each server segment is sent (only up to the cut). The client does not
// have to follow the script; whatever it sends takes the place of the recorded line.
void play(HostilePeer& peer, const Replay& replay) {
    std::size_t position = 0;
    for (const Segment& segment : replay.conversation) {
        std::size_t room = replay.cut > position ? replay.cut - position : 0;
        bool cutHere = room < segment.bytes.size();
        if (segment.fromClient) {
            if (!peer.readLine(cutHere ? room : std::string::npos))
                return;
        } else {
            std::string bytes = segment.bytes.substr(0, cutHere ? room : std::string::npos);
            bool sent = true;
            if (replay.pace == Pace::Whole)
                sent = peer.send(bytes);
            else
                sent = peer.trickle(bytes, replay.pace == Pace::Trickled ? 100ms : 0ms);
            if (!sent)
                return;
        }
        if (cutHere) {
            if (replay.ending == Ending::Reset)
                peer.reset();
            return;
        }
        position += segment.bytes.size();
    }
}

// ---- Checking what the operations leave behind ----

std::uint32_t saturatedTotal(const MessageList& list) {
    std::uint64_t total = 0;
    for (const MessageEntry* entry : list)
        total += static_cast<std::uint64_t>(std::max(entry->size, 0));
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(total, UINT32_MAX));
}

struct Outcome {
    OperationOutcome operation;
    bool result = false;
    Clock::duration elapsed{};
    std::size_t said = 0;
};

enum class Op { Check, Fetch, Remove };

class HostileServerTest : public MailboxOperationsFixture<> {
protected:
    void SetUp() override {
        account.accountTag = 3;
        account.userName = "alice";
        account.password = "secret";
        options.timeoutSeconds = kTimeoutSeconds;
    }

    void TearDown() override { EXPECT_FALSE(operationRunning()); }

    // The state each operation starts from.
    void reset(Op op) {
        list = createMessageList();
        entry = MessageEntry{};
        entry.messageNumber = 2;
        entry.uniqueId = "uid-2";
        // The check must start its total afresh; a removal whose login fails keeps it.
        settings->mailboxBytes = op == Op::Remove ? 4010 : 12345;
        settings->bodyLines = 3;
        if (op == Op::Remove) {
            for (int n = 1; n <= 4; ++n) {
                auto added = createMessageEntry(headerOf(n) + "\r\n");
                added->messageNumber = n;
                added->size = sizeOf(n);
                added->mark = n == 1 || n == 3 ? MarkState::MarkedForDelete : MarkState::Unmarked;
                added->uniqueId = "uid-" + std::to_string(n);
                list->append(added.release());
            }
        }
    }

    Outcome run(Op op, HostileServer& server) {
        reset(op);
        account.host = server.hostAndPort();
        std::size_t saidBefore = host.said().size();
        Outcome outcome;
        auto start = Clock::now();
        auto ignore = [](int) {};
        if (op == Op::Check)
            outcome.operation = checkMailbox(account, *settings, *filters, *list, ignore, options);
        else if (op == Op::Fetch)
            outcome.operation = fetchMessageText(account, *settings, entry, options);
        else
            outcome.operation = removeMarkedMessages(account, *settings, *list, ignore, options);
        outcome.elapsed = Clock::now() - start;
        outcome.result = static_cast<bool>(outcome.operation);
        outcome.said = host.said().size() - saidBefore;
        return outcome;
    }

    Outcome run(Op op, HostileServer::Behaviour behaviour) {
        HostileServer server(std::move(behaviour));
        return run(op, server);
    }

    // What every case must leave, however the server behaved.
    void expectConsistent(Op op, const Outcome& outcome, bool bounded = true) {
        EXPECT_TRUE(outcome.result) << "nothing was cancelled";
        if (bounded) {
            EXPECT_LT(outcome.elapsed, kReturnBound);
        }
        EXPECT_LE(outcome.said, 1u);
        if (op == Op::Fetch) {
            EXPECT_EQ(list->count(), 0);
            EXPECT_EQ(entry.body.has_value(), entry.bodyLoaded);
            return;
        }
        EXPECT_EQ(settings->mailboxBytes, saturatedTotal(*list));
        if (op == Op::Check) {
            for (int i = 0; i < list->count(); ++i) {
                const MessageEntry& listed = *list->at(i);
                EXPECT_EQ(listed.messageNumber, i + 1);
                EXPECT_EQ(listed.accountTag, 3);
                EXPECT_GE(listed.size, 0);
                EXPECT_EQ(listed.mark, MarkState::Unmarked);
                EXPECT_FALSE(listed.bodyLoaded);
                EXPECT_FALSE(listed.body.has_value());
            }
            return;
        }
        // Removal: what stays is the unmarked entries and the marked ones whose DELE failed, in
        // their old order, numbered either as before (no acknowledged QUIT) or as the server
        // numbers them after the deletions.
        std::vector<int> subjects, numbers;
        for (const MessageEntry* kept : *list) {
            subjects.push_back(std::stoi(kept->subject.value_or("Message 0").substr(8)));
            numbers.push_back(kept->messageNumber);
            EXPECT_NE(kept->mark, MarkState::Deleted);
        }
        EXPECT_TRUE(std::is_sorted(subjects.begin(), subjects.end()));
        for (int n : {2, 4})
            EXPECT_NE(std::find(subjects.begin(), subjects.end(), n), subjects.end());
        std::vector<int> renumbered;
        for (int n : subjects) {
            int gone = 0;
            for (int below = 1; below < n; ++below)
                gone += std::find(subjects.begin(), subjects.end(), below) == subjects.end();
            renumbered.push_back(n - gone);
        }
        EXPECT_TRUE(numbers == subjects || numbers == renumbered);
    }

    // The exact outcome of a conversation cut cleanly (the client reads everything sent).
    void expectCutOutcome(Op op, const Conversation& conversation, std::size_t cut,
                          const Outcome& outcome) {
        bool loggedIn = cut >= endOfReply(conversation, "PASS secret\r\n");
        EXPECT_EQ(outcome.said, loggedIn ? 0u : 1u);
        if (op == Op::Check) {
            int complete = 0;
            for (int n = 1; n <= 2; ++n)
                complete += cut >= endOfReply(conversation, "TOP " + std::to_string(n) + " 0\r\n");
            ASSERT_EQ(list->count(), complete);
            for (int i = 0; i < complete; ++i) {
                EXPECT_EQ(list->at(i)->subject, "Message " + std::to_string(i + 1));
                EXPECT_EQ(list->at(i)->size, sizeOf(i + 1));
            }
            EXPECT_EQ(settings->mailboxBytes, saturatedTotal(*list));
        } else if (op == Op::Fetch) {
            bool fetched = cut >= endOfReply(conversation, "TOP 2 3\r\n");
            EXPECT_EQ(entry.bodyLoaded, fetched);
            EXPECT_EQ(entry.body, fetched ? std::optional<std::string>(kBodyOfTwo) : std::nullopt);
        } else {
            bool first = cut >= endOfReply(conversation, "DELE 1\r\n");
            bool third = cut >= endOfReply(conversation, "DELE 3\r\n");
            bool quit = cut >= endOfReply(conversation, "QUIT\r\n");
            std::vector<int> numbers;
            for (const MessageEntry* kept : *list)
                numbers.push_back(kept->messageNumber);
            std::vector<int> expected;
            for (int n = 1; n <= 4; ++n) {
                if ((n == 1 && first) || (n == 3 && third))
                    continue;
                int below = (first && n > 1 ? 1 : 0) + (third && n > 3 ? 1 : 0);
                expected.push_back(quit ? n - below : n);
            }
            EXPECT_EQ(numbers, expected);
        }
    }

    // Runs the script once and takes the conversation as the client really held it.
    Conversation record(Op op, const Script& script) {
        Conversation recorded;
        Outcome outcome = run(op, [&](HostilePeer& peer) {
            for (const Exchange& exchange : script) {
                if (!exchange.command.empty()) {
                    std::optional<std::string> line = peer.readLine();
                    if (!line)
                        return;
                    recorded.push_back({true, *line});
                }
                if (!peer.send(exchange.reply))
                    return;
                recorded.push_back({false, exchange.reply});
            }
        });
        EXPECT_EQ(outcome.said, 0u);
        EXPECT_EQ(lengthOf(recorded), lengthOf(conversationOf(script)))
            << "the client did not hold the scripted conversation";
        Conversation scripted = conversationOf(script);
        for (std::size_t i = 0; i < std::min(recorded.size(), scripted.size()); ++i) {
            EXPECT_EQ(recorded[i].bytes, scripted[i].bytes);
        }
        return recorded;
    }

    // A close (or reset) after every byte of the operation's whole conversation; returns the
    // number of cases run.
    int cutEverywhere(Op op, const Script& script, Ending ending, Pace pace) {
        Conversation conversation = record(op, script);
        std::size_t total = lengthOf(conversation);
        int cases = 0;
        for (std::size_t cut = 0; cut <= total; ++cut) {
            SCOPED_TRACE("cut after " + std::to_string(cut) + " of " + std::to_string(total) +
                         " bytes");
            Replay replay{conversation, cut, ending, pace};
            Outcome outcome = run(op, [&](HostilePeer& peer) { play(peer, replay); });
            expectConsistent(op, outcome);
            if (ending == Ending::Close)
                expectCutOutcome(op, conversation, cut, outcome);
            ++cases;
            if (HasFatalFailure())
                break;
        }
        return cases;
    }

    MessageEntry entry;
};

// ---- A close at every byte offset ----

void reportCases(const char* what, int cases) {
    std::printf("[   INFO   ] %s: %d cases\n", what, cases);
}

TEST_F(HostileServerTest, CloseAtEveryOffsetOfACheck) {
    int cases = cutEverywhere(Op::Check, checkScript(), Ending::Close, Pace::Whole);
    if (longRun()) {
        cases += cutEverywhere(Op::Check, checkScript(), Ending::Reset, Pace::Whole);
        cases += cutEverywhere(Op::Check, checkScript(), Ending::Close, Pace::SingleBytes);
    }
    reportCases("close at every offset of a check", cases);
}

TEST_F(HostileServerTest, CloseAtEveryOffsetOfAFetch) {
    int cases = cutEverywhere(Op::Fetch, fetchScript(), Ending::Close, Pace::Whole);
    if (longRun()) {
        cases += cutEverywhere(Op::Fetch, fetchScript(), Ending::Reset, Pace::Whole);
        cases += cutEverywhere(Op::Fetch, fetchScript(), Ending::Close, Pace::SingleBytes);
    }
    reportCases("close at every offset of a fetch", cases);
}

TEST_F(HostileServerTest, CloseAtEveryOffsetOfARemoval) {
    int cases = cutEverywhere(Op::Remove, removeScript(), Ending::Close, Pace::Whole);
    if (longRun()) {
        cases += cutEverywhere(Op::Remove, removeScript(), Ending::Reset, Pace::Whole);
        cases += cutEverywhere(Op::Remove, removeScript(), Ending::Close, Pace::SingleBytes);
    }
    reportCases("close at every offset of a removal", cases);
}

// ---- Garbage for status lines ----

std::vector<std::string> garbageVariants(std::mt19937& random, bool more) {
    std::string noise;
    for (int i = 0; i < 64; ++i)
        noise.push_back(static_cast<char>(random() % 256));
    noise[5] = '\0';
    std::vector<std::string> variants = {
        noise,
        noise + "\r\n",
        std::string(10, '\0'),
        bytes("\0\0\0\0\0\0\r\n"),
        bytes("+OK\0 2 300\r\n"),
        bytes("+OK 3\0\0 77\r\n"),
        bytes("-ERR\0\0\0\r\n"),
    };
    if (more)
        for (int i = 0; i < 8; ++i) {
            std::string random64;
            for (int j = 0; j < 200; ++j)
                random64.push_back(static_cast<char>(random() % 256));
            variants.push_back(random64);
            variants.push_back("+OK " + random64 + "\r\n");
        }
    return variants;
}

TEST_F(HostileServerTest, GarbageAndNulBytesInsteadOfEachReply) {
    std::mt19937 random(20261207);
    int cases = 0;
    for (Op op : {Op::Check, Op::Fetch, Op::Remove}) {
        Script script = op == Op::Check   ? checkScript()
                        : op == Op::Fetch ? fetchScript()
                                          : removeScript();
        for (std::size_t replaced = 0; replaced < script.size(); ++replaced)
            for (const std::string& garbage : garbageVariants(random, longRun())) {
                SCOPED_TRACE("reply " + std::to_string(replaced) + " replaced by " +
                             std::to_string(garbage.size()) + " bytes of garbage");
                Script hostile = script;
                hostile[replaced].reply = garbage;
                Replay replay{conversationOf(hostile)};
                expectConsistent(op, run(op, [&](HostilePeer& peer) { play(peer, replay); }));
                ++cases;
            }
    }
    reportCases("garbage replies", cases);
}

TEST_F(HostileServerTest, NulBytesInsideAHeaderEndTheTextTheyCut) {
    Script script = checkScript();
    script[kTop1At].reply = bytes("+OK\r\nSubject: before\r\n\0From: x\r\n\r\n.\r\n");
    Replay replay{conversationOf(script)};
    Outcome outcome = run(Op::Check, [&](HostilePeer& peer) { play(peer, replay); });
    expectConsistent(Op::Check, outcome);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->at(0)->subject, "before");
    EXPECT_FALSE(list->at(0)->from.has_value());
    EXPECT_EQ(list->at(1)->subject, "Message 2");
}

// The time stamp is taken from whatever the greeting holds; the APOP line must still be one
// well-formed line, whatever the greeting looked like.
TEST_F(HostileServerTest, GreetingsThatAreNoTimeStamps) {
    const std::string greetings[] = {
        "+OK <" + std::string(300, 'a') + "\r\n",
        bytes("+OK <\0>\r\n"),
        bytes("+OK <a\0b> <c>\r\n"),
        "+OK " + std::string(10000, '<') + "\r\n",
        "+OK <>\r\n",
        "+OK <\r\n\r\n>\r\n",
    };
    settings->useApop = 1;
    for (const std::string& greeting : greetings) {
        SCOPED_TRACE(greeting.substr(0, 20));
        Script script = checkScript();
        script[0].reply = greeting;
        script.erase(script.begin() + 2); // APOP, answered with PASS's reply; no USER
        script[2].command = "APOP\r\n";
        HostileServer server(
            [&](HostilePeer& peer) { play(peer, Replay{conversationOf(script)}); });
        Outcome outcome = run(Op::Check, server);
        expectConsistent(Op::Check, outcome);
        const std::string sent = server.received();
        ASSERT_TRUE(sent.starts_with("CAPA\r\n")) << sent.substr(0, 20);
        const std::string apop = sent.substr(6, sent.find('\n', 6) - 5);
        ASSERT_EQ(apop.size(), 45u) << apop;
        EXPECT_EQ(apop.substr(0, 11), "APOP alice ");
        EXPECT_EQ(apop.find_first_not_of("0123456789abcdef", 11), 43u);
        // A line end inside the greeting leaves the rest to be taken for the APOP reply.
        if (std::count(greeting.begin(), greeting.end(), '\n') == 1) {
            EXPECT_EQ(list->count(), 2);
        }
    }
    settings->useApop = 0;
}

// ---- Enormous and endless replies ----

const std::string kTenMegabytes(10 * 1024 * 1024, 'x');

TEST_F(HostileServerTest, TenMegabyteLines) {
    struct Case {
        const char* what;
        std::size_t replaced;
        std::string reply;
        bool thenClose;
    };
    const Case cases[] = {
        {"greeting", 0, "+OK " + kTenMegabytes + "\r\n", false},
        {"STAT reply", kStatAt, "+OK 2 " + kTenMegabytes + "\r\n", false},
        {"header line", kTop1At, "+OK\r\nSubject: " + kTenMegabytes + "\r\n\r\n.\r\n", false},
        {"garbage without a line end", kListAt, kTenMegabytes, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script script = checkScript();
        script[c.replaced].reply = c.reply;
        Replay replay{conversationOf(script)};
        if (c.thenClose)
            replay.conversation.resize(2 * c.replaced + 1);
        expectConsistent(Op::Check, run(Op::Check, [&](HostilePeer& peer) { play(peer, replay); }));
    }
}

// Of a header longer than the reply buffer only the beginning and the end are kept; the end of
// the reply must be found wherever it falls, also split by the point where the buffer filled.
TEST_F(HostileServerTest, HeadersLongerThanTheReplyBuffer) {
    for (std::size_t length = kReplyBufferSize - 12; length <= kReplyBufferSize + 12; ++length) {
        SCOPED_TRACE("a TOP body of " + std::to_string(length) + " bytes");
        std::string header = "Subject: Long\r\nX-Pad: ";
        header += std::string(length - header.size() - 7, 'x') + "\r\n\r\n.\r\n";
        ASSERT_EQ(header.size(), length);
        Script script = checkScript();
        script[kStatAt].reply = "+OK 1 5000\r\n";
        script[kStatAt + 1].reply = uidListing(1);
        script[kListAt].reply = "+OK\r\n1 " + std::to_string(sizeOf(1)) + "\r\n.\r\n";
        script.erase(script.begin() + kTop2At);
        script[kTop1At].reply = "+OK\r\n" + header;
        Replay replay{conversationOf(script)};
        Outcome outcome = run(Op::Check, [&](HostilePeer& peer) { play(peer, replay); });
        expectConsistent(Op::Check, outcome);
        ASSERT_EQ(list->count(), 1);
        EXPECT_EQ(list->at(0)->subject, "Long");
        EXPECT_LT(outcome.elapsed, std::chrono::seconds(kTimeoutSeconds)) << "waited for more";
    }
}

// Sends the opening of the script, then bytes over and over until the client goes away (or
// for at most 30 s, so that a client that never gives up fails the test instead of hanging it).
HostileServer::Behaviour endless(Script opening, std::string begin, std::string repeated) {
    return [=](HostilePeer& peer) {
        Replay replay{conversationOf(opening)};
        play(peer, replay);
        if (!peer.readLine() || !peer.send(begin))
            return;
        std::string block;
        while (block.size() < 64 * 1024)
            block += repeated;
        auto until = Clock::now() + 30s;
        while (Clock::now() < until && peer.send(block)) {
        }
    };
}

TEST_F(HostileServerTest, RepliesThatNeverEnd) {
    const Script check = checkScript(), fetch = fetchScript();
    const Script toStat(check.begin(), check.begin() + kStatAt),
        toTop(check.begin(), check.begin() + kTop1At), toFetch(fetch.begin(), fetch.begin() + 5);
    {
        SCOPED_TRACE("a TOP body that never ends");
        expectConsistent(Op::Check, run(Op::Check, endless(toTop, "+OK\r\n", "X-Junk: more\r\n")));
        EXPECT_EQ(list->count(), 0);
    }
    {
        SCOPED_TRACE("a fetched body that never ends");
        expectConsistent(Op::Fetch, run(Op::Fetch, endless(toFetch, "+OK\r\n", "line\r\n")));
        EXPECT_FALSE(entry.bodyLoaded);
    }
    {
        SCOPED_TRACE("a status line that never ends");
        expectConsistent(Op::Check, run(Op::Check, endless(toStat, "+OK 2 ", "9")));
        EXPECT_EQ(list->count(), 0);
    }
    {
        SCOPED_TRACE("a greeting that never ends");
        Outcome outcome = run(Op::Check, [](HostilePeer& peer) {
            peer.send("+OK ");
            auto until = Clock::now() + 30s;
            while (Clock::now() < until && peer.send(std::string(65536, '<'))) {
            }
        });
        expectConsistent(Op::Check, outcome);
        EXPECT_EQ(outcome.said, 1u);
    }
}

// ---- Slow, eager and silent servers ----

// No single wait lasts longer than a byte's gap, so nothing times out: the operation is slow
// but complete.
TEST_F(HostileServerTest, RepliesTrickledAByteEvery100Milliseconds) {
    Script script = checkScript();
    // The greeting and the STAT reply trickle; the long version trickles everything.
    Replay replay{conversationOf(script), SIZE_MAX, Ending::Close,
                  longRun() ? Pace::Trickled : Pace::Whole};
    // The whole conversation trickled takes over a minute, more than the operation's deadline
    // allows a one-second time-out; a longer time-out allows it.
    if (longRun())
        options.timeoutSeconds = 20;
    Outcome outcome = run(Op::Check, [&](HostilePeer& peer) {
        if (replay.pace == Pace::Whole) {
            peer.trickle(script[0].reply, 100ms);
            for (std::size_t i = 1; i < script.size(); ++i) {
                if (!peer.readLine())
                    return;
                bool sent = i == kStatAt ? peer.trickle(script[i].reply, 100ms)
                                         : peer.send(script[i].reply);
                if (!sent)
                    return;
            }
        } else {
            play(peer, replay);
        }
    });
    expectConsistent(Op::Check, outcome, false);
    EXPECT_EQ(list->count(), 2);
    EXPECT_EQ(outcome.said, 0u);
}

TEST_F(HostileServerTest, MoreDataThanAskedForNeverShiftsTheReplies) {
    // Every reply sent before its command arrives, in one piece.
    Script script = checkScript();
    std::string everything;
    for (const Exchange& exchange : script)
        everything += exchange.reply;
    Outcome outcome = run(Op::Check, [&](HostilePeer& peer) {
        peer.send(everything);
        peer.waitForClose();
    });
    expectConsistent(Op::Check, outcome);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->at(1)->subject, "Message 2");
    EXPECT_EQ(settings->mailboxBytes, static_cast<std::uint32_t>(sizeOf(1) + sizeOf(2)));

    // Surplus lines after every reply: the conversation goes out of step, the list stays whole.
    for (const std::string surplus :
         {"+OK surplus\r\n", "Subject: surplus\r\n.\r\n", "+OK 9 9\r\n"}) {
        SCOPED_TRACE(surplus);
        for (Op op : {Op::Check, Op::Fetch, Op::Remove}) {
            Script padded = op == Op::Check   ? checkScript()
                            : op == Op::Fetch ? fetchScript()
                                              : removeScript();
            for (Exchange& exchange : padded)
                exchange.reply += surplus;
            Replay replay{conversationOf(padded)};
            expectConsistent(op, run(op, [&](HostilePeer& peer) { play(peer, replay); }));
        }
    }
}

TEST_F(HostileServerTest, AbsurdMessageCounts) {
    struct Case {
        std::string count;
        std::int32_t maxMessages;
        int listed;
    };
    const Case cases[] = {
        {"2147483647", 2, 2},    {"2147483647", INT32_MAX, 2}, // the server refuses LIST 3
        {"-5", 100, 0},          {"99999999999999999999", 2, 2},
        {"-2147483649", 100, 0}, {"4294967298", 100, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        // A mailbox not much larger than what is listed has its sizes listed at once.
        Script script =
            c.maxMessages == INT32_MAX ? checkScript() : checkScriptListingEach(c.count);
        script[kStatAt].reply = "+OK " + c.count + " 2003\r\n";
        Script tail(script.end() - 1, script.end());
        script.pop_back();
        if (c.listed == 2 && c.maxMessages > 2)
            script.push_back({"LIST 3\r\n", "-ERR no such message\r\n"});
        if (c.listed == 0)
            script.resize(kStatAt + 1);
        script.push_back(tail.front());
        settings->maxMessages = c.maxMessages;
        Replay replay{conversationOf(script)};
        Outcome outcome = run(Op::Check, [&](HostilePeer& peer) { play(peer, replay); });
        expectConsistent(Op::Check, outcome);
        EXPECT_EQ(list->count(), c.listed);
    }
    settings->maxMessages = Settings::kDefaultMaxMessages;
}

TEST_F(HostileServerTest, SizesThatDoNotFit32Bits) {
    const std::vector<std::string> sizes = {"4294967396", "99999999999999999999",
                                            "-5",         "2147483648",
                                            "2147483647", "-9223372036854775809"};
    const std::vector<std::int32_t> expected = {INT32_MAX, INT32_MAX, 0, INT32_MAX, INT32_MAX, 0};
    Script script = openingScript();
    script.push_back({"STAT\r\n", "+OK 6 99999999999999999999999\r\n"});
    script.push_back({"UIDL\r\n", uidListing(6)});
    std::string listing = "+OK\r\n";
    for (std::size_t i = 0; i < sizes.size(); ++i)
        listing += std::to_string(i + 1) + " " + sizes[i] + "\r\n";
    script.push_back({"LIST\r\n", listing + ".\r\n"});
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        std::string number = std::to_string(i + 1);
        script.push_back({"TOP " + number + " 0\r\n",
                          "+OK\r\n" + headerOf(static_cast<int>(i) + 1) + "\r\n.\r\n"});
    }
    script.push_back({"QUIT\r\n", "+OK\r\n"});
    Replay replay{conversationOf(script)};
    Outcome outcome = run(Op::Check, [&](HostilePeer& peer) { play(peer, replay); });
    expectConsistent(Op::Check, outcome);
    ASSERT_EQ(list->count(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(list->at(i)->size, expected[i]) << sizes[i];
    EXPECT_EQ(settings->mailboxBytes, UINT32_MAX);

    // The removal's total saturates the same way.
    list->at(1)->mark = MarkState::MarkedForDelete;
    Script removal = openingScript();
    removal.push_back({"UIDL\r\n", uidListing(6)});
    removal.push_back({"DELE 2\r\n", "+OK\r\n"});
    removal.push_back({"QUIT\r\n", "+OK\r\n"});
    Replay removing{conversationOf(removal)};
    HostileServer server([&](HostilePeer& peer) { play(peer, removing); });
    account.host = server.hostAndPort();
    EXPECT_TRUE(removeMarkedMessages(
        account, *settings, *list, [](int) {}, options));
    EXPECT_EQ(list->count(), 5);
    EXPECT_EQ(settings->mailboxBytes, UINT32_MAX);
}

TEST_F(HostileServerTest, SilenceEndsEachOperationWithinTheTimeOut) {
    struct Case {
        const char* what;
        Op op;
        Script script;
        std::size_t answered; // replies given before the silence
        std::string partial;  // then this much of the next reply
        std::size_t said;
    };
    const Case cases[] = {
        {"no greeting", Op::Check, checkScript(), 0, "", 1},
        {"after the greeting", Op::Check, checkScript(), 1, "", 1},
        {"after the greeting", Op::Fetch, fetchScript(), 1, "", 1},
        {"after the greeting", Op::Remove, removeScript(), 1, "", 1},
        {"in the middle of the greeting", Op::Check, checkScript(), 0, "+OK hos", 1},
        {"after STAT", Op::Check, checkScript(), kStatAt + 1, "", 0},
        {"in the middle of a UIDL listing", Op::Check, checkScript(), kStatAt + 1, "+OK\r\n1 u", 0},
        {"in the middle of a TOP body", Op::Check, checkScript(), kTop1At, "+OK\r\nFrom: Bob", 0},
        {"after a DELE", Op::Remove, removeScript(), 6, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script opening(c.script.begin(), c.script.begin() + static_cast<long>(c.answered));
        Outcome outcome = run(c.op, [&](HostilePeer& peer) {
            Replay replay{conversationOf(opening)};
            play(peer, replay);
            if (!c.partial.empty() || c.answered > 0) {
                if (c.answered > 0 && !peer.readLine())
                    return;
                peer.send(c.partial);
            }
            peer.waitForClose();
        });
        expectConsistent(c.op, outcome);
        EXPECT_EQ(outcome.said, c.said);
        EXPECT_GE(outcome.elapsed, std::chrono::seconds(kTimeoutSeconds));
    }
}

// ---- Words that tell what happened ----

TEST_F(HostileServerTest, ARefusalFollowedByAHangUpIsStillARefusal) {
    // The server answers one of the credentials "-ERR" and closes the connection at once, as
    // popa3d does: the QUIT that follows finds no one to answer it.
    struct Case {
        const char* what;
        std::string capabilities;
        std::size_t refusedAt; // the opening exchange answered "-ERR", followed by the hang-up
        bool apop;
    };
    const Case cases[] = {
        {"PASS refused", "+OK\r\nUIDL\r\n.\r\n", 3, false},
        {"USER refused, one command at a time", "+OK\r\nUIDL\r\n.\r\n", 2, false},
        {"USER refused, USER and PASS pipelined", "+OK\r\nPIPELINING\r\n.\r\n", 2, false},
        {"PASS refused, USER and PASS pipelined", "+OK\r\nPIPELINING\r\n.\r\n", 3, false},
        {"APOP refused", "+OK\r\nUIDL\r\n.\r\n", 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Script script = openingScript();
        script[1].reply = c.capabilities;
        if (c.apop) {
            script[0].reply = "+OK ready <1.2@example.org>\r\n";
            script.erase(script.begin() + 3);
            script[2].command = "APOP\r\n";
        }
        script.resize(c.refusedAt + 1);
        script.back().reply = "-ERR [AUTH] Authentication failed.\r\n";
        settings->useApop = c.apop ? 1 : 0;
        Outcome outcome = run(Op::Check, [&](HostilePeer& peer) {
            play(peer, Replay{conversationOf(script)});
            peer.reset();
        });
        expectConsistent(Op::Check, outcome);
        EXPECT_EQ(outcome.operation.result, OperationResult::LoginRefused);
        ASSERT_EQ(outcome.said, 1u);
        EXPECT_EQ(host.said().back().text,
                  "Could not log in to the mail server " + account.host +
                      " as alice.\nThe server says the password or sign-in is wrong.");
    }
    settings->useApop = 0;
}

TEST_F(HostileServerTest, AServerWithoutStlsIsToldToBeReachedOverSslTls) {
    for (const bool hangUp : {false, true}) {
        SCOPED_TRACE(hangUp ? "then a hang-up" : "then QUIT");
        HostileServer server([&](HostilePeer& peer) {
            if (!peer.send("+OK ready\r\n") || !peer.readLine() ||
                !peer.send("-ERR Unknown command.\r\n"))
                return;
            if (hangUp)
                peer.reset();
            else if (peer.readLine())
                peer.send("+OK bye\r\n");
        });
        reset(Op::Check);
        account.host = "pop3+stls://" + server.hostAndPort();
        OperationOutcome outcome = checkMailbox(
            account, *settings, *filters, *list, [](int) {}, options);
        EXPECT_EQ(outcome.result, OperationResult::NoConnection);
        ASSERT_FALSE(host.said().empty());
        const std::string& text = host.said().back().text;
        EXPECT_NE(text.find("does not offer a secure connection"), std::string::npos) << text;
        EXPECT_NE(text.find("SSL/TLS"), std::string::npos) << text;
        EXPECT_EQ(text.find("log in"), std::string::npos) << text;
        EXPECT_EQ(server.received().find("alice"), std::string::npos);
    }
}

TEST_F(HostileServerTest, FloodsAndDripsAreToldAsSuch) {
    {
        SCOPED_TRACE("a greeting that never ends");
        Outcome outcome = run(Op::Check, [](HostilePeer& peer) {
            peer.send("+OK ");
            auto until = Clock::now() + 30s;
            while (Clock::now() < until && peer.send(std::string(65536, 'x'))) {
            }
        });
        EXPECT_EQ(outcome.operation.result, OperationResult::NoAnswer);
        ASSERT_EQ(outcome.said, 1u);
        EXPECT_EQ(host.said().back().text, "The log-in to the mail server " + account.host +
                                               " was given up: the server sent more than a "
                                               "mail server should.");
    }
    {
        // Each byte comes well within the time-out, so only the operation's deadline ends it:
        // twice the time-out and ten seconds for the log-in.
        SCOPED_TRACE("a greeting dripped a byte every 600 ms");
        Outcome outcome = run(Op::Check, [](HostilePeer& peer) {
            peer.trickle("+OK " + std::string(100, 'x'), 600ms);
        });
        EXPECT_EQ(outcome.operation.result, OperationResult::NoAnswer);
        EXPECT_GE(outcome.elapsed, std::chrono::seconds(2 * kTimeoutSeconds + 10));
        EXPECT_LT(outcome.elapsed, std::chrono::seconds(2 * kTimeoutSeconds + 10) + kReturnBound);
        ASSERT_EQ(outcome.said, 1u);
        EXPECT_NE(host.said().back().text.find("took longer than a mail server should"),
                  std::string::npos);
    }
    {
        SCOPED_TRACE("a size listing longer than the mailbox");
        Script script = checkScript();
        script[kListAt].reply = "+OK\r\n1 1001\r\n2 1002\r\n3 1003\r\n.\r\n";
        Outcome outcome =
            run(Op::Check, [&](HostilePeer& peer) { play(peer, Replay{conversationOf(script)}); });
        expectConsistent(Op::Check, outcome);
        EXPECT_EQ(list->count(), 0);
        EXPECT_EQ(checkReport(outcome.operation, "a@b"),
                  "Could not read the mailbox of a@b: the server sent more than a mail server "
                  "should.");
    }
}

// ---- Unique-ids that do not come ----

// The server's side of a check once it has logged in, without UIDL.
Script checkWithoutUniqueIds() {
    Script script = checkScript();
    script.erase(script.begin() + kStatAt + 1);
    return script;
}

TEST_F(HostileServerTest, AUidlThatFailsIsDoneWithoutInASecondSession) {
    Script upToUidl = checkScript();
    upToUidl.resize(kStatAt + 1);
    struct Case {
        const char* what;
        std::uint32_t timeoutSeconds;
        HostileServer::Behaviour first;
    };
    const Case cases[] = {
        // Far longer a time-out than UIDL is waited for: the check must not wait it out.
        {"UIDL never answered", 60,
         [&](HostilePeer& peer) {
             play(peer, Replay{conversationOf(upToUidl)});
             peer.readLine();
             peer.waitForClose();
         }},
        {"the connection closed inside the listing", kTimeoutSeconds,
         [&](HostilePeer& peer) {
             play(peer, Replay{conversationOf(upToUidl)});
             if (peer.readLine())
                 peer.send("+OK\r\n1 uid-1\r\n2 ui");
         }},
        {"an endless listing", kTimeoutSeconds,
         [&](HostilePeer& peer) {
             play(peer, Replay{conversationOf(upToUidl)});
             if (!peer.readLine() || !peer.send("+OK\r\n"))
                 return;
             std::string lines;
             for (int n = 1; n <= 4096; ++n)
                 lines += std::to_string(n) + " uid-" + std::to_string(n) + "\r\n";
             auto until = Clock::now() + 30s;
             while (Clock::now() < until && peer.send(lines)) {
             }
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        options.timeoutSeconds = c.timeoutSeconds;
        HostileServer server({c.first, [](HostilePeer& peer) {
                                  play(peer, Replay{conversationOf(checkWithoutUniqueIds())});
                              }});
        Outcome outcome = run(Op::Check, server);
        expectConsistent(Op::Check, outcome, false);
        EXPECT_LT(outcome.elapsed,
                  std::chrono::seconds(toppeek::mail::kUidlAnswerSeconds) + kReturnBound);
        EXPECT_EQ(outcome.operation.result, OperationResult::Completed);
        EXPECT_EQ(outcome.said, 0u);
        EXPECT_EQ(server.connections(), 2);
        ASSERT_EQ(list->count(), 2);
        for (const MessageEntry* listed : *list)
            EXPECT_TRUE(listed->uniqueId.empty());
        EXPECT_EQ(list->at(1)->subject, "Message 2");
    }
    options.timeoutSeconds = kTimeoutSeconds;

    // A removal of entries listed with unique-ids confirms them by size and header instead.
    Script removal = openingScript();
    removal.push_back({"STAT\r\n", "+OK 4 4010\r\n"});
    removal.push_back({"LIST 1\r\n", "+OK 1 " + std::to_string(sizeOf(1)) + "\r\n"});
    removal.push_back({"TOP 1 0\r\n", "+OK\r\n" + headerOf(1) + "\r\n.\r\n"});
    removal.push_back({"DELE 1\r\n", "+OK\r\n"});
    removal.push_back({"LIST 3\r\n", "+OK 3 " + std::to_string(sizeOf(3)) + "\r\n"});
    removal.push_back({"TOP 3 0\r\n", "+OK\r\n" + headerOf(3) + "\r\n.\r\n"});
    removal.push_back({"DELE 3\r\n", "+OK\r\n"});
    removal.push_back({"QUIT\r\n", "+OK\r\n"});
    Script beforeUidl = openingScript();
    HostileServer server({[&](HostilePeer& peer) {
                              play(peer, Replay{conversationOf(beforeUidl)});
                              peer.readLine();
                              peer.waitForClose();
                          },
                          [&](HostilePeer& peer) { play(peer, Replay{conversationOf(removal)}); }});
    reset(Op::Remove);
    for (MessageEntry* kept : *list)
        kept->headerText = headerOf(kept->messageNumber) + "\r\n.\r\n";
    account.host = server.hostAndPort();
    OperationOutcome outcome = removeMarkedMessages(
        account, *settings, *list, [](int) {}, options);
    EXPECT_EQ(outcome.result, OperationResult::Completed);
    EXPECT_EQ(outcome.removed, 2);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->at(1)->messageNumber, 2);
    EXPECT_EQ(server.connections(), 2);
}

} // namespace
