// The connection layer against loopback peers: name resolution and the host cache, connecting,
// the bounded waits with their time-out and cancel, and the reply reader.

#include "mail/Connection.h"
#include "mail/HostCache.h"
#include "mail/Pop3.h"
#include "support/ScriptedPop3Server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <vector>

namespace toppeek::mail {
void PrintTo(const IpAddress& address, std::ostream* out) {
    *out << addressText(address);
}
} // namespace toppeek::mail

namespace {

using namespace toppeek::mail;
using namespace std::chrono_literals;
using toppeek::test::AfterReply;
using toppeek::test::ReplyPiece;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::StalledListener;
using toppeek::test::unusedLoopbackPort;
using Clock = std::chrono::steady_clock;

AddressList ipv4(Ipv4Address networkOrder) {
    return {IpAddress::fromIpv4(networkOrder)};
}

const AddressList kLoopback = ipv4(htonl(INADDR_LOOPBACK));
const AddressList kNoAddresses;
const IpAddress kIpv6Loopback = *parseIpv6Literal("::1");

// A name lookup that answers from a fixed table and counts its calls.
struct FakeLookup {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::chrono::milliseconds delay{0};

    void install() const {
        setNameLookup([calls = calls, delay = delay](const std::string& name) {
            ++*calls;
            std::this_thread::sleep_for(delay);
            if (name == "both.example") {
                return AddressList{kIpv6Loopback, kLoopback.front()};
            }
            return name == "mail.example" || name == "host.123abc" || name == "localhost"
                       ? kLoopback
                       : kNoAddresses;
        });
    }
};

class ConnectionTest : public testing::Test {
protected:
    void SetUp() override {
        // A fresh cache for every test.
        stopConnectionLayer();
        startConnectionLayer();
        control.timeoutSeconds = 5;
        control.statusCallback = [this](ConnectionControl& c) {
            statuses.push_back(c.status);
            texts.push_back(c.statusText);
        };
    }
    void TearDown() override {
        setNameLookup({});
        setIdleStep({});
    }

    // Opens a connection to the scripted server; its greeting stays in the socket.
    Socket connectTo(const ScriptedPop3Server& server) {
        return connectToHost("127.0.0.1", server.port(), control);
    }

    ConnectionControl control;
    std::vector<ConnectStatus> statuses;
    std::vector<std::string> texts;
};

std::chrono::milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

TEST(HostCacheTest, LooksUpExactNamesFromTheFirstEntry) {
    HostCache cache;
    cache.insert("Mail.Example", ipv4(1));
    cache.insert("mail.example", {IpAddress::fromIpv4(2), kIpv6Loopback});
    cache.insert("mail.example", ipv4(3));

    EXPECT_EQ(cache.lookup("mail.example"), (AddressList{IpAddress::fromIpv4(2), kIpv6Loopback}));
    EXPECT_EQ(cache.lookup("Mail.Example"), ipv4(1));
    EXPECT_FALSE(cache.lookup("MAIL.EXAMPLE"));
    EXPECT_FALSE(cache.lookup("mail.example."));
}

TEST(HostCacheTest, WhenFullANewNameReplacesTheFirstEntryOnly) {
    HostCache cache;
    for (std::size_t i = 0; i < HostCache::kCapacity; ++i) {
        cache.insert("host" + std::to_string(i), ipv4(static_cast<Ipv4Address>(i)));
    }
    ASSERT_EQ(cache.size(), 500u);

    cache.insert("newcomer", ipv4(777));

    EXPECT_EQ(cache.size(), 500u);
    EXPECT_EQ(cache.nameAt(0), "newcomer");
    EXPECT_EQ(cache.lookup("newcomer"), ipv4(777));
    EXPECT_FALSE(cache.lookup("host0"));
    EXPECT_EQ(cache.nameAt(1), "host1");
    EXPECT_EQ(cache.lookup("host499"), ipv4(499));

    cache.insert("second newcomer", ipv4(778));
    EXPECT_EQ(cache.nameAt(0), "second newcomer");
    EXPECT_FALSE(cache.lookup("newcomer"));
    EXPECT_EQ(cache.lookup("host1"), ipv4(1));
}

TEST_F(ConnectionTest, DottedAddressesAreConvertedWithoutALookup) {
    FakeLookup lookup;
    lookup.install();

    EXPECT_EQ(resolveHost("127.0.0.1", &control), kLoopback);
    EXPECT_EQ(resolveHost("127.1", &control), kLoopback);
    EXPECT_EQ(resolveHost("10.0.0.1", &control), ipv4(htonl(0x0A000001)));
    EXPECT_EQ(*lookup.calls, 0);
    // A colon makes an IPv6 literal, converted as well; one that is not is never looked up.
    EXPECT_EQ(resolveHost("::1", &control), AddressList{kIpv6Loopback});
    const std::array<std::uint8_t, 16> documentation{0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0,
                                                     0,    0,    0,    0,    0, 0, 0, 1};
    ASSERT_EQ(resolveHost("2001:DB8::1", &control).size(), 1u);
    EXPECT_EQ(resolveHost("2001:DB8::1", &control).front().bytes, documentation);
    EXPECT_EQ(addressText(resolveHost("2001:DB8::1", &control).front()), "2001:db8::1");
    EXPECT_EQ(resolveHost("[::1]", &control), kNoAddresses);
    EXPECT_EQ(resolveHost("mail.example:110", &control), kNoAddresses);
    EXPECT_EQ(*lookup.calls, 0);

    // A last label that starts with a digit is tried as an address first, then looked up.
    EXPECT_EQ(resolveHost("host.123abc", &control), kLoopback);
    EXPECT_EQ(*lookup.calls, 1);
    // A name without a dot goes straight to the lookup.
    EXPECT_EQ(resolveHost("localhost", &control), kLoopback);
    EXPECT_EQ(*lookup.calls, 2);
    // The broadcast address is the failure value, so it falls through to the lookup.
    EXPECT_EQ(resolveHost("255.255.255.255", &control), kNoAddresses);
    EXPECT_EQ(*lookup.calls, 3);
}

TEST_F(ConnectionTest, ResolvingReportsTheNameAndLooksEachNameUpOnce) {
    FakeLookup lookup;
    lookup.install();

    EXPECT_EQ(resolveHost("mail.example", &control), kLoopback);
    EXPECT_EQ(resolveHost("mail.example", &control), kLoopback);
    EXPECT_EQ(resolveHost("mail.example", nullptr), kLoopback);

    EXPECT_EQ(*lookup.calls, 1);
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], ConnectStatus::Resolving);
    EXPECT_EQ(texts[0], "mail.example");
    EXPECT_EQ(processHostCache()->lookup("mail.example"), kLoopback);

    // Failed lookups are not cached: the next try asks again.
    EXPECT_EQ(resolveHost("nowhere.example", &control), kNoAddresses);
    EXPECT_EQ(resolveHost("nowhere.example", &control), kNoAddresses);
    EXPECT_EQ(*lookup.calls, 3);
}

TEST_F(ConnectionTest, ACancelBeforeTheLookupSkipsIt) {
    FakeLookup lookup;
    lookup.install();
    control.cancelQuery = [](ConnectionControl&) { return true; };

    EXPECT_EQ(resolveHost("mail.example", &control), kNoAddresses);
    EXPECT_EQ(*lookup.calls, 0);
    EXPECT_EQ(connectToHost("mail.example", 110, control), kInvalidSocket);
    EXPECT_EQ(*lookup.calls, 0);
}

TEST_F(ConnectionTest, ASlowLookupKeepsTheIdleStepRunningAndIsCached) {
    FakeLookup lookup;
    lookup.delay = 100ms;
    lookup.install();
    static std::atomic<int> idleSteps;
    idleSteps = 0;
    setIdleStep([] { ++idleSteps; });

    EXPECT_EQ(resolveHost("mail.example", &control), kLoopback);
    EXPECT_GT(idleSteps, 5);
    EXPECT_EQ(processHostCache()->lookup("mail.example"), kLoopback);
}

TEST_F(ConnectionTest, ACancelDuringASlowLookupReturnsAtOnce) {
    FakeLookup lookup;
    lookup.delay = 4s;
    lookup.install();
    int asked = 0;
    control.cancelQuery = [&asked](ConnectionControl&) { return ++asked > 20; };

    auto start = Clock::now();
    EXPECT_EQ(resolveHost("mail.example", &control), kNoAddresses);
    EXPECT_LT(since(start), 2s);
    EXPECT_EQ(asked, 21);
}

TEST_F(ConnectionTest, ConnectingReportsEachStep) {
    ScriptedPop3Server server;
    server.greeting("+OK\r\n");
    server.start();

    Socket socket = connectToHost("127.0.0.1", server.port(), control);
    ASSERT_NE(socket, kInvalidSocket);
    // A command written while a segment is unacknowledged must go out at once, not wait for the
    // server's delayed acknowledgement.
    int noDelay = 0;
    socklen_t length = sizeof noDelay;
    ASSERT_EQ(::getsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &noDelay, &length), 0);
    EXPECT_NE(noDelay, 0);
    closeConnection(socket);

    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0], ConnectStatus::Resolving);
    EXPECT_EQ(statuses[1], ConnectStatus::Connecting);
    EXPECT_EQ(statuses[2], ConnectStatus::Connected);
    EXPECT_EQ(texts[2], "127.0.0.1");
    EXPECT_EQ(control.port, server.port());
}

// The addresses of a name are tried in their order: one that refuses (here ::1, where nothing
// listens on the port, or that does not exist without IPv6) hands over to the next at once.
TEST_F(ConnectionTest, ARefusedAddressMovesOnToTheNextOne) {
    FakeLookup lookup;
    lookup.install();
    ScriptedPop3Server server;
    server.greeting("+OK\r\n");
    server.start();
    control.timeoutSeconds = 30;

    auto start = Clock::now();
    Socket socket = connectToHost("both.example", server.port(), control);
    EXPECT_LT(since(start), 10s);
    ASSERT_NE(socket, kInvalidSocket);
    closeConnection(socket);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), ConnectStatus::Connecting), 2);
    EXPECT_EQ(statuses.back(), ConnectStatus::Connected);
    EXPECT_EQ(texts.back(), "127.0.0.1");

    // None of them answering fails the connection, each address tried once per attempt.
    statuses.clear();
    control.connectTries = 2;
    EXPECT_EQ(connectToAny({kIpv6Loopback, kLoopback.front()}, unusedLoopbackPort(), &control),
              kInvalidSocket);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), ConnectStatus::Connecting), 2);
    EXPECT_EQ(connectToAny({}, server.port(), &control), kInvalidSocket);
}

// A first address that never answers uses up the one time-out the whole sequence has.
TEST_F(ConnectionTest, AllAddressesShareOneTimeOut) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.ready());
    control.timeoutSeconds = 1;
    auto start = Clock::now();
    EXPECT_EQ(connectToAny({kLoopback.front(), kLoopback.front()}, stalled.port(), &control),
              kInvalidSocket);
    EXPECT_LT(since(start), 2500ms);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), ConnectStatus::Connecting), 1);
}

TEST_F(ConnectionTest, ARefusedConnectionFailsWithoutWaitingForTheTimeOut) {
    control.timeoutSeconds = 30;
    auto start = Clock::now();
    EXPECT_EQ(connectToHost("127.0.0.1", unusedLoopbackPort(), control), kInvalidSocket);
    EXPECT_LT(since(start), 10s);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), ConnectStatus::Connected), 0);
}

TEST_F(ConnectionTest, NoConnectTriesMeansNoAttempt) {
    ScriptedPop3Server server;
    control.connectTries = 0;
    EXPECT_EQ(connectToHost("127.0.0.1", server.port(), control), kInvalidSocket);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), ConnectStatus::Connecting), 0);
}

TEST_F(ConnectionTest, ACancelDuringConnectEndsTheAttempt) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.ready());
    int passes = 0;
    int stops = 0;
    control.cancelQuery = [&](ConnectionControl& c) {
        bool stop = c.status == ConnectStatus::Connecting && ++passes > 30;
        stops += stop ? 1 : 0;
        return stop;
    };

    EXPECT_EQ(connectToHost("127.0.0.1", stalled.port(), control), kInvalidSocket);
    // The wait stopped at the first "stop" and the retry loop saw it too.
    EXPECT_EQ(stops, 2);
    EXPECT_EQ(statuses.back(), ConnectStatus::Connecting);
}

TEST_F(ConnectionTest, ConnectingToAStalledListenerTimesOut) {
    StalledListener stalled;
    ASSERT_TRUE(stalled.ready());
    control.timeoutSeconds = 1;
    auto start = Clock::now();
    EXPECT_EQ(connectToHost("127.0.0.1", stalled.port(), control), kInvalidSocket);
    EXPECT_GE(since(start), 900ms);
}

TEST_F(ConnectionTest, ReceivingNothingOrAfterACancel) {
    ScriptedPop3Server server;
    server.greeting("+OK ready\r\n");
    server.start();
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[16];

    EXPECT_EQ(recvTimed(socket, buffer, 0, 0, &control), 0);

    control.cancelQuery = [](ConnectionControl&) { return true; };
    EXPECT_EQ(recvTimed(socket, buffer, sizeof buffer, 0, &control), -1);
    EXPECT_EQ(sendAll(socket, "NOOP\r\n", 6, 512, &control), -1);
    control.cancelQuery = nullptr;

    // Peeking leaves the bytes for the next read.
    int peeked = recvTimed(socket, buffer, sizeof buffer, kPeek, &control);
    ASSERT_GT(peeked, 0);
    EXPECT_EQ(recvTimed(socket, buffer, sizeof buffer, 0, &control), peeked);
    closeConnection(socket);
    EXPECT_TRUE(server.received().empty());
}

TEST_F(ConnectionTest, SendAllDeliversEveryPiece) {
    std::string line(998, 'x');
    ScriptedPop3Server server;
    server.greeting("+OK\r\n").expect(line, "+OK\r\n");
    server.start();
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);

    std::string data = line + "\r\n";
    EXPECT_EQ(sendAll(socket, data.data(), static_cast<int>(data.size()), 512, &control), 1000);
    EXPECT_EQ(sendAll(socket, data.data(), 0, 512, &control), 0);
    char buffer[119];
    ASSERT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    ASSERT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    closeConnection(socket);
    EXPECT_EQ(server.received(), std::vector<std::string>{data});
}

TEST_F(ConnectionTest, ASilentServerTimesOutAfterTheWholeSecondsHavePassed) {
    ScriptedPop3Server server;
    server.greeting({}, AfterReply::StaySilent);
    server.start();
    control.timeoutSeconds = 1;
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[64];

    auto start = Clock::now();
    EXPECT_EQ(recvTimed(socket, buffer, sizeof buffer, 0, &control), -1);
    EXPECT_GE(since(start), 900ms);
    EXPECT_LT(since(start), 5s);
    closeConnection(socket);
}

TEST_F(ConnectionTest, WithoutTimeOutOnlyACancelEndsTheWait) {
    ScriptedPop3Server server;
    server.greeting({}, AfterReply::StaySilent);
    server.start();
    control.timeoutSeconds = 0;
    control.timeoutEnabled = false;
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    auto start = Clock::now();
    control.cancelQuery = [start](ConnectionControl&) { return since(start) > 1500ms; };
    char buffer[64];

    EXPECT_EQ(recvTimed(socket, buffer, sizeof buffer, 0, &control), -1);
    EXPECT_GE(since(start), 1500ms);
    closeConnection(socket);
}

TEST_F(ConnectionTest, EachWaitStartsItsOwnClock) {
    // Pieces 700 ms apart: the reply as a whole takes longer than the time-out, no single
    // wait does.
    ScriptedPop3Server server;
    server.greeting({{"+OK", 700ms}, {" slow", 700ms}, {" server\r\n", 700ms}});
    server.start();
    control.timeoutSeconds = 1;
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[64];

    EXPECT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    EXPECT_STREQ(buffer, "+OK slow server\r\n");
    closeConnection(socket);
}

TEST(TimeOutTest, CountsWholeSecondsInUnsignedArithmetic) {
    ConnectionControl control;
    control.timeoutSeconds = 1;
    std::uint32_t now = nowSeconds();

    EXPECT_FALSE(isTimedOut(&control, now));
    EXPECT_FALSE(isTimedOut(&control, now - 1));
    EXPECT_TRUE(isTimedOut(&control, now - 2));
    // A start "after" now is a wrapped difference, which is huge.
    EXPECT_TRUE(isTimedOut(&control, now + 5));
    EXPECT_FALSE(isTimedOut(nullptr, now - 1000));
    control.timeoutEnabled = false;
    EXPECT_FALSE(isTimedOut(&control, now - 1000));
}

TEST_F(ConnectionTest, ReadUntilTakesExactlyOneReply) {
    ScriptedPop3Server server;
    server.greeting("+OK first\r\n+OK second\r\nthird");
    server.start();
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[119];

    ASSERT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    EXPECT_STREQ(buffer, "+OK first\r\n");
    ASSERT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    EXPECT_STREQ(buffer, "+OK second\r\n");
    ASSERT_EQ(recvTimed(socket, buffer, 5, 0, &control), 5);
    EXPECT_EQ(std::string(buffer, 5), "third");
    closeConnection(socket);
}

// Of a reply longer than the buffer, the first half of the buffer and the tail survive, joined
// by a space, however the reply arrives.
class OverflowTest : public ConnectionTest, public testing::WithParamInterface<bool> {};

TEST_P(OverflowTest, KeepsTheFirstHalfAndTheTail) {
    std::string reply = "+OK ";
    for (int i = 0; reply.size() < 198; ++i) {
        reply += static_cast<char>('a' + i % 26);
    }
    reply += "\r\n";
    ASSERT_EQ(reply.size(), 200u);
    std::vector<ReplyPiece> pieces;
    if (GetParam()) {
        for (std::size_t at = 0; at < reply.size(); at += 7) {
            pieces.push_back({reply.substr(at, 7), 3ms});
        }
    } else {
        pieces.push_back({reply});
    }
    ScriptedPop3Server server;
    server.greeting(pieces).expect("QUIT", "+OK bye\r\n");
    server.start();
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[119];

    ASSERT_TRUE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    // 118 bytes fill the buffer; the other 82 wrap through its second half once. Each fold
    // keeps the first 59 bytes, a space and the last 3 bytes before the fold (where a line end
    // may have begun), and the rest streams in behind them from 63 on.
    EXPECT_EQ(std::string(buffer), reply.substr(0, 59) + " " + reply.substr(200 - 30));

    // Nothing of what followed was taken.
    Pop3Session session;
    session.attach(socket);
    session.control = &control;
    EXPECT_TRUE(pop3Quit(session));
}

INSTANTIATE_TEST_SUITE_P(Arrival, OverflowTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "InPieces" : "AtOnce";
                         });

TEST_F(ConnectionTest, APeerThatClosesFailsTheRead) {
    ScriptedPop3Server server;
    server.greeting({{"+OK incomp"}}, AfterReply::Close);
    server.start();
    Socket socket = connectTo(server);
    ASSERT_NE(socket, kInvalidSocket);
    char buffer[119];

    EXPECT_FALSE(readUntil(socket, buffer, sizeof buffer, findStatusLineEnd, 0, &control));
    // Writing to the closed connection fails instead of raising SIGPIPE.
    int result = 0;
    for (int i = 0; i < 5 && result >= 0; ++i) {
        result = sendAll(socket, "NOOP\r\n", 6, 512, &control);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(result, -1);
    closeConnection(socket);
}

} // namespace
