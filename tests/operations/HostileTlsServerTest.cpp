// The mailbox check against servers that misbehave while a connection is being secured, for
// pop3s:// (TLS from the first byte) and pop3+stls:// (STLS, then TLS): garbage instead of a
// handshake, a handshake that breaks off at a record boundary or inside a record, silence, and
// a secured connection that then carries plain text or garbage. The server's side of TLS is worked
// by hand (support/TlsServerSide), so every byte the client sees is the test's choice.
//
// Every case must return within the time-out, leave the message list as it was, and for a
// connection that could not be secured say why in one line of the connection-failure box; over
// STLS no credential may ever leave in the clear.
//
// TOPPEEK_HOSTILE_LONG=1 cuts the handshake at every byte instead of a few places per record.

#include "HostileCases.h"
#include "operations/MailboxOperations.h"
#include "support/HostileServer.h"
#include "support/MailboxOperationsFixture.h"
#include "support/ProcessTrust.h"
#include "support/ScriptedMailbox.h"
#include "support/TestCertificates.h"
#include "support/TlsServerSide.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

using toppeek::messages::createMessageEntry;
using toppeek::messages::createMessageList;

namespace {

using namespace toppeek::operations;
using namespace std::chrono_literals;
using toppeek::test::headerOf;
using toppeek::test::HostilePeer;
using toppeek::test::HostileServer;
using toppeek::test::IssuedCertificate;
using toppeek::test::MailboxOperationsFixture;
using toppeek::test::ProcessTrust;
using toppeek::test::recordLengths;
using toppeek::test::TestAuthority;
using toppeek::test::TlsServerSide;
using toppeek::test::TlsVersion;
using Clock = std::chrono::steady_clock;

using toppeek::test::hostile::bytes;
using toppeek::test::hostile::Exchange;
using toppeek::test::hostile::kReturnBound;
using toppeek::test::hostile::kTimeoutSeconds;
using toppeek::test::hostile::longRun;
using toppeek::test::hostile::Script;

std::string randomBytes(std::mt19937& random, std::size_t count) {
    std::string noise;
    for (std::size_t i = 0; i < count; ++i)
        noise.push_back(static_cast<char>(random() % 256));
    return noise;
}

const char* nameOf(TlsVersion version) {
    return version == TlsVersion::Tls12 ? "TLS 1.2" : "TLS 1.3";
}

// ---- The server ----

// The certificate the hostile servers present, issued for 127.0.0.1 by an authority that only
// this process trusts.
IssuedCertificate& identity() {
    static IssuedCertificate issued;
    return issued;
}

Script checkScript() {
    return {{"", "+OK hostile server ready\r\n"},
            {"CAPA\r\n", "+OK\r\nUIDL\r\n.\r\n"},
            {"USER alice\r\n", "+OK\r\n"},
            {"PASS secret\r\n", "+OK logged in\r\n"},
            {"STAT\r\n", "+OK 2 2003\r\n"},
            {"UIDL\r\n", "+OK\r\n1 a\r\n2 b\r\n.\r\n"},
            // Without PIPELINING one LIST gives the sizes of the whole mailbox.
            {"LIST\r\n", "+OK 2 messages\r\n1 1001\r\n2 1002\r\n.\r\n"},
            {"TOP 1 0\r\n", "+OK\r\n" + headerOf(1) + "\r\n.\r\n"},
            {"TOP 2 0\r\n", "+OK\r\n" + headerOf(2) + "\r\n.\r\n"},
            {"QUIT\r\n", "+OK bye\r\n"}};
}

enum class Ending { Close, Reset, Silence };

// Where the server's handshake bytes stop: in this record of them, this many bytes after its
// start, or before its end when negative.
struct Cut {
    std::size_t record = 0;
    long offset = 0;
};

// A secured text line from the client, or nothing when the connection ended or failed.
std::optional<std::string> readSecuredLine(HostilePeer& peer, TlsServerSide& tls,
                                           std::string& pending) {
    for (;;) {
        // Text may have come in with the handshake's last record: the client writes its first
        // command at once.
        pending += tls.text();
        if (std::size_t end = pending.find('\n'); end != std::string::npos) {
            std::string line = pending.substr(0, end + 1);
            pending.erase(0, end + 1);
            return line;
        }
        std::optional<std::string> received = peer.readSome();
        if (!received || !tls.feed(*received))
            return std::nullopt;
    }
}

// Plays the server's side of a POP3 script over the secured connection.
void serveScript(HostilePeer& peer, TlsServerSide& tls, const Script& script) {
    std::string pending;
    for (const Exchange& exchange : script) {
        if (!exchange.command.empty() && !readSecuredLine(peer, tls, pending))
            return;
        if (!peer.send(tls.seal(exchange.reply)))
            return;
    }
}

using SecuredPart = std::function<void(HostilePeer&, TlsServerSide&)>;

struct Plan {
    TlsVersion version = TlsVersion::Tls13;
    // A plain greeting and STLS before the handshake.
    bool startTls = false;
    // Sent together with the positive answer to STLS, before any handshake byte.
    std::string afterStls;
    // Where the handshake breaks off; none: it runs to its end.
    std::optional<Cut> cut;
    // Sent at the cut in place of the rest, before the ending.
    std::string garbage;
    Ending ending = Ending::Close;
    // What the server does once the connection is secured; empty: the check script.
    SecuredPart secured;
    // When not zero, the handshake goes out a byte at a time with this gap before each.
    std::chrono::milliseconds gap{0};
};

// Lengths of the records of the server's handshake, as the last whole handshake sent them.
struct Handshake {
    std::vector<std::size_t> records;
};

void end(HostilePeer& peer, Ending ending) {
    if (ending == Ending::Reset)
        peer.reset();
    else if (ending == Ending::Silence)
        peer.waitForClose();
}

void serve(HostilePeer& peer, const Plan& plan, Handshake* seen) {
    if (plan.startTls) {
        if (!peer.send("+OK hostile server ready\r\n"))
            return;
        std::optional<std::string> line = peer.readLine();
        if (!line || *line != "STLS\r\n" || !peer.send("+OK begin TLS\r\n" + plan.afterStls))
            return;
    }
    TlsServerSide tls(identity(), plan.version);
    ASSERT_TRUE(tls.valid());
    std::string sent;
    while (!tls.secured()) {
        std::optional<std::string> received = peer.readSome();
        if (!received)
            return;
        bool going = tls.feed(*received);
        std::string out = tls.output();
        std::size_t before = sent.size();
        sent += out;
        std::vector<std::size_t> lengths = recordLengths(sent);
        if (plan.cut && plan.cut->record < lengths.size()) {
            // Records before this one went out whole with earlier output.
            std::size_t start = 0;
            for (std::size_t r = 0; r < plan.cut->record; ++r)
                start += lengths[r];
            long length = static_cast<long>(lengths[plan.cut->record]);
            long within = plan.cut->offset >= 0 ? plan.cut->offset : length + plan.cut->offset;
            within = std::clamp(within, 0L, length);
            peer.send(out.substr(0, start + static_cast<std::size_t>(within) - before));
            peer.send(plan.garbage);
            end(peer, plan.ending);
            return;
        }
        bool delivered = plan.gap.count() > 0 ? peer.trickle(out, plan.gap) : peer.send(out);
        if (!delivered || !going)
            return;
    }
    if (seen != nullptr)
        seen->records = recordLengths(sent);
    if (plan.secured) {
        plan.secured(peer, tls);
        return;
    }
    Script script = checkScript();
    // After STLS the conversation goes on where it was: no second greeting.
    if (plan.startTls)
        script.erase(script.begin());
    serveScript(peer, tls, script);
}

// ---- The client side and what it must leave ----

struct Outcome {
    bool result = false;
    Clock::duration elapsed{};
    std::vector<std::string> said;
    // Every byte that reached the server.
    std::string received;
};

class HostileTlsServerTest : public MailboxOperationsFixture<> {
protected:
    static void SetUpTestSuite() {
        MailboxOperationsFixture::SetUpTestSuite();
        TestAuthority authority("TopPeek Hostile Test Authority");
        identity() = authority.issue("127.0.0.1", {"IP:127.0.0.1", "DNS:localhost"});
        // The test authority is trusted by this process only, while this suite runs.
        trust() = std::make_unique<ProcessTrust>(authority.certificatePem());
    }

    static void TearDownTestSuite() {
        trust().reset();
        MailboxOperationsFixture::TearDownTestSuite();
    }

    static std::unique_ptr<ProcessTrust>& trust() {
        static std::unique_ptr<ProcessTrust> value;
        return value;
    }

    void SetUp() override {
        ASSERT_FALSE(identity().certificate.empty()) << "no certificate for the hostile servers";
        ASSERT_TRUE(trust() && trust()->valid()) << "the test authority is not trusted";
        account.accountTag = 3;
        account.userName = "alice";
        account.password = "secret";
        options.timeoutSeconds = kTimeoutSeconds;
    }

    void TearDown() override { EXPECT_FALSE(operationRunning()); }

    // Two entries from an earlier check, which a failed check must leave alone.
    void preload() {
        list = createMessageList();
        for (int n = 1; n <= 2; ++n) {
            auto added = createMessageEntry(headerOf(n) + "\r\n");
            added->messageNumber = n;
            added->size = 1000 + n;
            list->append(added.release());
        }
    }

    Outcome run(const Plan& plan, Handshake* seen = nullptr) {
        HostileServer server([&](HostilePeer& peer) { serve(peer, plan, seen); });
        account.host = (plan.startTls ? "pop3+stls://" : "pop3s://") + server.hostAndPort();
        return check(server);
    }

    Outcome run(const HostileServer::Behaviour& behaviour, const char* scheme = "pop3s://") {
        HostileServer server(behaviour);
        account.host = scheme + server.hostAndPort();
        return check(server);
    }

    Outcome check(HostileServer& server) {
        std::size_t saidBefore = host.said().size();
        Outcome outcome;
        auto start = Clock::now();
        outcome.result = static_cast<bool>(checkMailbox(
            account, *settings, *filters, *list, [](int) {}, options));
        outcome.elapsed = Clock::now() - start;
        for (std::size_t i = saidBefore; i < host.said().size(); ++i)
            outcome.said.push_back(host.said()[i].text);
        outcome.received = server.received();
        return outcome;
    }

    // What every case must leave, however the server behaved.
    void expectUnharmed(const Outcome& outcome, bool bounded = true) {
        EXPECT_TRUE(outcome.result) << "nothing was cancelled";
        if (bounded) {
            EXPECT_LT(outcome.elapsed, kReturnBound);
        }
        ASSERT_GE(list->count(), 2);
        for (int i = 0; i < list->count(); ++i) {
            EXPECT_EQ(list->at(i)->messageNumber, i < 2 ? i + 1 : i - 1);
            EXPECT_EQ(list->at(i)->subject, "Message " + std::to_string(i < 2 ? i + 1 : i - 1));
        }
    }

    // The connection could not be secured: the list is as it was, the box says why in one
    // line, and no credential went out, encrypted or not.
    void expectNotSecured(const Outcome& outcome, const std::string& reasonPart = {},
                          bool bounded = true) {
        expectUnharmed(outcome, bounded);
        EXPECT_EQ(list->count(), 2);
        ASSERT_EQ(outcome.said.size(), 1u);
        const std::string prefix = "Could not connect to the mail server " + account.host + ".\n";
        const std::string& text = outcome.said.front();
        ASSERT_TRUE(text.starts_with(prefix)) << text;
        std::string reason = text.substr(prefix.size());
        EXPECT_FALSE(reason.empty());
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
        if (!reasonPart.empty()) {
            EXPECT_NE(reason.find(reasonPart), std::string::npos) << reason;
        }
        expectNoCredentialSent(outcome);
    }

    static void expectNoCredentialSent(const Outcome& outcome) {
        for (const char* secret : {"USER", "PASS", "APOP", "alice", "secret"})
            EXPECT_EQ(outcome.received.find(secret), std::string::npos) << secret;
    }

    // The records of a whole handshake of this kind, from one good check.
    std::vector<std::size_t> handshakeRecords(TlsVersion version, bool startTls) {
        Plan plan;
        plan.version = version;
        plan.startTls = startTls;
        Handshake seen;
        list = createMessageList();
        Outcome outcome = run(plan, &seen);
        EXPECT_TRUE(outcome.said.empty()) << outcome.said.front();
        EXPECT_EQ(list->count(), 2) << "a whole check over " << nameOf(version);
        preload();
        return seen.records;
    }

    // The places of each record where the handshake is cut: its start, inside its header, just
    // after the header, its middle and before its last byte; with TOPPEEK_HOSTILE_LONG every byte.
    static std::vector<Cut> cutsOf(const std::vector<std::size_t>& records) {
        std::vector<Cut> cuts;
        for (std::size_t r = 0; r < records.size(); ++r) {
            long length = static_cast<long>(records[r]);
            std::set<long> offsets;
            if (longRun()) {
                for (long offset = 0; offset < length; ++offset)
                    offsets.insert(offset);
            } else {
                offsets = {0, 1, 3, 5, length / 2, length - 1};
            }
            for (long offset : offsets)
                if (offset < length)
                    cuts.push_back({r, offset});
        }
        return cuts;
    }

    static void report(const char* what, int cases) {
        std::printf("[   INFO   ] %s: %d cases\n", what, cases);
    }
};

// ---- A whole secured check, the ground the other cases break ----

TEST_F(HostileTlsServerTest, AWholeSecuredCheckListsTheMailbox) {
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13})
        for (bool startTls : {false, true}) {
            SCOPED_TRACE(std::string(nameOf(version)) + (startTls ? " after STLS" : ""));
            EXPECT_GE(handshakeRecords(version, startTls).size(), 2u);
        }
}

// ---- The handshake broken off ----

TEST_F(HostileTlsServerTest, AHandshakeClosedOrResetInEveryRecord) {
    int cases = 0;
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
        std::vector<std::size_t> records = handshakeRecords(version, false);
        for (Cut cut : cutsOf(records))
            for (Ending ending : {Ending::Close, Ending::Reset}) {
                if (ending == Ending::Reset && cut.offset % 2 == 1 && !longRun())
                    continue;
                SCOPED_TRACE(std::string(nameOf(version)) + ": cut in record " +
                             std::to_string(cut.record) + " of " + std::to_string(records.size()) +
                             " after " + std::to_string(cut.offset) + " bytes" +
                             (ending == Ending::Reset ? ", reset" : ", closed"));
                Plan plan;
                plan.version = version;
                plan.cut = cut;
                plan.ending = ending;
                expectNotSecured(run(plan), "ended the connection");
                ++cases;
                if (HasFatalFailure())
                    return;
            }
    }
    report("handshake cuts", cases);
}

TEST_F(HostileTlsServerTest, AfterStlsTheHandshakeClosedInEveryRecord) {
    int cases = 0;
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
        std::vector<std::size_t> records = handshakeRecords(version, true);
        for (std::size_t r = 0; r < records.size(); ++r)
            for (long offset : {0L, static_cast<long>(records[r] / 2), -1L}) {
                SCOPED_TRACE(std::string(nameOf(version)) + ": cut in record " + std::to_string(r) +
                             " after " + std::to_string(offset) + " bytes");
                Plan plan;
                plan.version = version;
                plan.startTls = true;
                plan.cut = Cut{r, offset};
                expectNotSecured(run(plan), "ended the connection");
                ++cases;
            }
    }
    report("handshake cuts after STLS", cases);
}

// ---- Garbage for a handshake ----

struct Garbage {
    std::string what;
    std::string bytes;
    // Part of the reason the box must give; empty where OpenSSL's own words are passed on.
    std::string reason;
};

const std::string kNotTls = "did not answer in TLS";

std::vector<Garbage> garbageVariants() {
    std::mt19937 random(20260314);
    return {
        {"64 random bytes", randomBytes(random, 64), ""},
        {"20000 random bytes", randomBytes(random, 20000), ""},
        {"a plain POP3 greeting", "+OK POP3 ready\r\n", kNotTls},
        {"a plain POP3 refusal", "-ERR use TLS\r\n", kNotTls},
        {"10 NUL bytes", std::string(10, '\0'), kNotTls},
        {"20000 NUL bytes", std::string(20000, '\0'), kNotTls},
        {"an HTTP answer", "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n", kNotTls},
        {"a fatal alert", bytes("\x15\x03\x03\x00\x02\x02\x28"), "handshake failure"},
        {"a record longer than TLS allows", bytes("\x16\x03\x03\xff\xff") + std::string(64, 'x'),
         kNotTls},
        {"an empty handshake record", bytes("\x16\x03\x03\x00\x00"), ""},
        {"a ServerHello of nonsense", bytes("\x16\x03\x03\x00\x08\x02\x00\x00\x04\x03\x03\x00\x00"),
         ""},
    };
}

TEST_F(HostileTlsServerTest, GarbageInsteadOfTheHandshake) {
    int cases = 0;
    preload();
    for (const Garbage& garbage : garbageVariants()) {
        {
            SCOPED_TRACE(garbage.what + " before the ClientHello");
            expectNotSecured(run([&](HostilePeer& peer) {
                                 peer.send(garbage.bytes);
                                 peer.waitForClose();
                             }),
                             garbage.reason);
            ++cases;
        }
        for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13})
            for (Ending ending : {Ending::Close, Ending::Silence}) {
                SCOPED_TRACE(garbage.what + " for the ClientHello, " + nameOf(version) +
                             (ending == Ending::Close ? ", then closed" : ", then silent"));
                Plan plan;
                plan.version = version;
                plan.cut = Cut{0, 0};
                plan.garbage = garbage.bytes;
                plan.ending = ending;
                expectNotSecured(run(plan), garbage.reason);
                ++cases;
            }
    }
    report("garbage handshakes", cases);
}

TEST_F(HostileTlsServerTest, GarbageInTheMiddleOfTheHandshake) {
    int cases = 0;
    std::mt19937 random(20260315);
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
        std::vector<std::size_t> records = handshakeRecords(version, false);
        for (std::size_t r = 1; r < records.size(); ++r)
            for (const std::string& garbage :
                 {randomBytes(random, 200), std::string("+OK POP3 ready\r\n"),
                  std::string(50, '\0'),
                  // A record of the right kind and length whose content is noise.
                  std::string(1, '\x17') + bytes("\x03\x03\x00\x40") + randomBytes(random, 64)}) {
                SCOPED_TRACE(std::string(nameOf(version)) + ": " + std::to_string(garbage.size()) +
                             " bytes of garbage for record " + std::to_string(r));
                Plan plan;
                plan.version = version;
                plan.cut = Cut{r, 0};
                plan.garbage = garbage;
                plan.ending = Ending::Silence;
                expectNotSecured(run(plan));
                ++cases;
            }
    }
    report("garbage inside handshakes", cases);
}

// ---- Silence ----

TEST_F(HostileTlsServerTest, SilentOrTrickledHandshakesEndWithinTheTimeOut) {
    int cases = 0;
    preload();
    {
        SCOPED_TRACE("not a byte after the connection");
        Outcome outcome = run([](HostilePeer& peer) { peer.waitForClose(); });
        expectNotSecured(outcome, "did not finish");
        EXPECT_GE(outcome.elapsed, std::chrono::seconds(kTimeoutSeconds));
        ++cases;
    }
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
        std::vector<std::size_t> records = handshakeRecords(version, false);
        for (Cut cut : {Cut{0, 0}, Cut{0, 20}, Cut{records.size() - 1, -1}}) {
            SCOPED_TRACE(std::string(nameOf(version)) + ": silent in record " +
                         std::to_string(cut.record) + " after " + std::to_string(cut.offset) +
                         " bytes");
            Plan plan;
            plan.version = version;
            plan.cut = cut;
            plan.ending = Ending::Silence;
            Outcome outcome = run(plan);
            expectNotSecured(outcome, "did not finish");
            EXPECT_GE(outcome.elapsed, std::chrono::seconds(kTimeoutSeconds));
            ++cases;
        }
    }
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13}) {
        // Every byte comes well within the time-out, but the handshake as a whole is one wait.
        SCOPED_TRACE(std::string(nameOf(version)) + ": trickled a byte every 100 ms");
        Plan plan;
        plan.version = version;
        plan.gap = 100ms;
        Outcome outcome = run(plan);
        expectNotSecured(outcome, "did not finish");
        EXPECT_GE(outcome.elapsed, std::chrono::seconds(kTimeoutSeconds));
        ++cases;
    }
    report("silent and trickled handshakes", cases);
}

// ---- STLS answered, then no TLS ----

TEST_F(HostileTlsServerTest, StlsAnsweredThenGarbageACloseOrSilence) {
    int cases = 0;
    preload();
    struct Case {
        std::string what;
        std::string garbage;
        Ending ending;
        std::string reason;
    };
    std::vector<Case> variants = {
        {"a close", "", Ending::Close, "ended the connection"},
        {"a reset", "", Ending::Reset, "ended the connection"},
        {"silence", "", Ending::Silence, "did not finish"},
    };
    for (const Garbage& garbage : garbageVariants())
        variants.push_back({garbage.what, garbage.bytes, Ending::Close, garbage.reason});
    for (const Case& c : variants) {
        SCOPED_TRACE("+OK to STLS, then " + c.what);
        Plan plan;
        plan.startTls = true;
        plan.cut = Cut{0, 0};
        plan.garbage = c.garbage;
        plan.ending = c.ending;
        Outcome outcome = run(plan);
        expectNotSecured(outcome, c.reason);
        EXPECT_TRUE(outcome.received.starts_with("STLS\r\n")) << outcome.received.substr(0, 20);
        ++cases;
    }
    for (const std::string& injected : {std::string("+OK injected before TLS\r\n"),
                                        std::string("USER\r\n"), std::string("-ERR\r\n")}) {
        SCOPED_TRACE("a line sent with the answer to STLS: " + injected);
        // Whatever comes before the handshake is no part of the secured conversation: the client
        // takes it for the server's first handshake bytes, and refuses them.
        Plan plan;
        plan.startTls = true;
        plan.afterStls = injected;
        expectNotSecured(run(plan), kNotTls);
        ++cases;
    }
    report("STLS answered without TLS", cases);
}

// ---- Secured, then no POP3 ----

TEST_F(HostileTlsServerTest, SecuredButTheGreetingIsMissingPlainOrGarbage) {
    std::mt19937 random(20260316);
    struct Case {
        const char* what;
        SecuredPart secured;
    };
    const Case cases[] = {
        {"a close", [](HostilePeer&, TlsServerSide&) {}},
        {"a reset", [](HostilePeer& peer, TlsServerSide&) { peer.reset(); }},
        {"a close_notify",
         [](HostilePeer& peer, TlsServerSide& tls) { peer.send(tls.closeNotify()); }},
        {"the greeting in plain text",
         [](HostilePeer& peer, TlsServerSide&) {
             peer.send("+OK hostile server ready\r\n");
             peer.waitForClose();
         }},
        {"a record of noise",
         [&](HostilePeer& peer, TlsServerSide&) {
             peer.send(std::string(1, '\x17') + bytes("\x03\x03\x00\x40") +
                       randomBytes(random, 64));
             peer.waitForClose();
         }},
        {"half the greeting's record",
         [](HostilePeer& peer, TlsServerSide& tls) {
             std::string record = tls.seal("+OK hostile server ready\r\n");
             peer.send(record.substr(0, record.size() / 2));
         }},
    };
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13})
        for (bool startTls : {false, true})
            for (const Case& c : cases) {
                SCOPED_TRACE(std::string(nameOf(version)) + (startTls ? " after STLS: " : ": ") +
                             c.what + " for the greeting");
                preload();
                Plan plan;
                plan.version = version;
                plan.startTls = startTls;
                plan.secured = c.secured;
                Outcome outcome = run(plan);
                expectUnharmed(outcome);
                EXPECT_EQ(list->count(), 2);
                // Without a greeting there is no login: the box says so, and does not call it a
                // refusal.
                ASSERT_EQ(outcome.said.size(), 1u);
                EXPECT_EQ(outcome.said.front(), "The mail server " + account.host +
                                                    " is not answering: the connection ended "
                                                    "before the log-in.");
                expectNoCredentialSent(outcome);
            }
}

TEST_F(HostileTlsServerTest, OddRecordsPlainTextOrACutRecordInTheSecuredConversation) {
    const Script script = checkScript();
    const Script loggedIn(script.begin(), script.begin() + 4);
    struct Case {
        const char* what;
        SecuredPart secured;
        int listed; // entries the check appends
    };
    const Case cases[] = {
        {"every reply in records of one byte",
         [&](HostilePeer& peer, TlsServerSide& tls) {
             std::string pending;
             for (const Exchange& exchange : script) {
                 if (!exchange.command.empty() && !readSecuredLine(peer, tls, pending))
                     return;
                 std::string records;
                 for (char byte : exchange.reply)
                     records += tls.seal(std::string_view(&byte, 1));
                 if (!peer.send(records))
                     return;
             }
         },
         2},
        {"the STAT reply in plain text",
         [&](HostilePeer& peer, TlsServerSide& tls) {
             serveScript(peer, tls, loggedIn);
             std::string pending;
             if (readSecuredLine(peer, tls, pending))
                 peer.send("+OK 2 2003\r\n");
             peer.waitForClose();
         },
         0},
        {"the second TOP reply cut in its record",
         [&](HostilePeer& peer, TlsServerSide& tls) {
             serveScript(peer, tls, Script(script.begin(), script.begin() + 8));
             std::string pending;
             if (readSecuredLine(peer, tls, pending)) {
                 std::string record = tls.seal(script[8].reply);
                 peer.send(record.substr(0, record.size() - 1));
             }
         },
         1},
        {"the second TOP reply ended by close_notify",
         [&](HostilePeer& peer, TlsServerSide& tls) {
             serveScript(peer, tls, Script(script.begin(), script.begin() + 8));
             std::string pending;
             if (readSecuredLine(peer, tls, pending))
                 peer.send(tls.seal("+OK\r\nSubject: cut") + tls.closeNotify());
             peer.waitForClose();
         },
         1},
    };
    for (TlsVersion version : {TlsVersion::Tls12, TlsVersion::Tls13})
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(nameOf(version)) + ": " + c.what);
            preload();
            Plan plan;
            plan.version = version;
            plan.secured = c.secured;
            Outcome outcome = run(plan);
            expectUnharmed(outcome);
            EXPECT_EQ(outcome.said, std::vector<std::string>{});
            EXPECT_EQ(list->count(), 2 + c.listed);
            EXPECT_EQ(outcome.received.find("secret"), std::string::npos);
        }
}

} // namespace
