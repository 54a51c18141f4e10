// The POP3 client in whole conversations with a scripted server that does what real servers
// rarely do: odd status lines, bodies with odd terminators, replies in pieces, more than was
// asked, silence and closing.

#include "mail/Pop3.h"
#include "support/ScriptedPop3Server.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;
using namespace std::chrono_literals;
using toppeek::test::AfterReply;
using toppeek::test::ReplyPiece;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::unusedLoopbackPort;
using Lines = std::vector<std::string>;

class Pop3SessionTest : public testing::Test {
protected:
    void SetUp() override {
        startConnectionLayer();
        control.timeoutSeconds = 5;
        control.statusCallback = [this](ConnectionControl& c) {
            if (c.status == ConnectStatus::CommandSent) {
                trace.push_back(c.statusText);
            }
        };
    }
    void TearDown() override { session.close(); }

    // A server that greets and accepts alice with her password.
    static ScriptedPop3Server& loggingIn(ScriptedPop3Server& server) {
        return server.greeting("+OK ready\r\n")
            .expect("CAPA", "-ERR\r\n")
            .expect("USER alice", "+OK\r\n")
            .expect("PASS secret", "+OK logged in\r\n");
    }

    int logIn(ScriptedPop3Server& server) {
        server.start();
        return pop3Login(session, server.hostAndPort(), "alice", "secret", control);
    }

    // Ends the conversation and checks that the server saw exactly the script.
    void finish(ScriptedPop3Server& server) {
        session.close();
        EXPECT_TRUE(server.waitUntilDone(5s));
        EXPECT_EQ(server.problems(), Lines{});
    }

    ConnectionControl control;
    Pop3Session session;
    Lines trace;
};

TEST_F(Pop3SessionTest, ATypicalCheck) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("STAT", "+OK 2 5120\r\n")
        .expect("LIST 1", "+OK 1 2048\r\n")
        .expect("TOP 1 0", "+OK\r\nSubject: hi\r\nFrom: bob@example.com\r\n\r\n.\r\n")
        .expect("DELE 2", "+OK deleted\r\n")
        .expect("QUIT", "+OK bye\r\n");

    ASSERT_EQ(logIn(server), kLoginOk);
    EXPECT_EQ(session.control, &control);
    long count = -1;
    long octets = -1;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(octets, 5120);
    long size = -1;
    EXPECT_TRUE(pop3List(session, 1, size));
    EXPECT_EQ(size, 2048);
    char buffer[20000];
    EXPECT_TRUE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Subject: hi\r\nFrom: bob@example.com\r\n\r\n.\r\n");
    EXPECT_TRUE(pop3Dele(session, 2));
    EXPECT_TRUE(pop3Quit(session));
    finish(server);

    EXPECT_EQ(server.received(), (Lines{"CAPA\r\n", "USER alice\r\n", "PASS secret\r\n", "STAT\r\n",
                                        "LIST 1\r\n", "TOP 1 0\r\n", "DELE 2\r\n", "QUIT\r\n"}));
    EXPECT_EQ(trace, (Lines{"CAPA\r\n", "USER alice\r\n", "PASS xxxx", "STAT\r\n", "LIST 1\r\n",
                            "TOP 1 0\r\n", "DELE 2\r\n", "QUIT\r\n"}));
}

TEST_F(Pop3SessionTest, NegativeRepliesFailTheCommandButKeepTheSession) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("LIST 9", "-ERR no such message\r\n")
        .expect("TOP 9 5", "-ERR no such message\r\n")
        .expect("DELE 9", "-ERR no such message\r\n")
        .expect("STAT", "+OK 1 10\r\n")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);

    long size = -1;
    EXPECT_FALSE(pop3List(session, 9, size));
    char buffer[256];
    EXPECT_FALSE(pop3Top(session, 9, 5, buffer, sizeof buffer));
    EXPECT_FALSE(pop3Dele(session, 9));
    long count = 0;
    long octets = 0;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, APasswordInAnyLineIsMaskedInTheTraceOnly) {
    ScriptedPop3Server server;
    server.greeting("+OK\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER PASSenger", "+OK\r\n")
        .expect("PASS secret", "+OK\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();

    ASSERT_EQ(pop3Login(session, server.hostAndPort(), "PASSenger", "secret", control), 1);
    pop3Quit(session);
    finish(server);
    EXPECT_EQ(trace, (Lines{"CAPA\r\n", "PASS xxxx", "PASS xxxx", "QUIT\r\n"}));
    EXPECT_EQ(server.received()[1], "USER PASSenger\r\n");
}

TEST_F(Pop3SessionTest, TheLongestUserNameIsSentWholeAndTracedCut) {
    std::string user(kCredentialLimit, 'u');
    ScriptedPop3Server server;
    server.greeting("+OK\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER " + user, "+OK\r\n")
        .expect("PASS secret", "+OK\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();

    ASSERT_EQ(pop3Login(session, server.hostAndPort(), user, "secret", control), 1);
    pop3Quit(session);
    finish(server);
    ASSERT_GE(trace.size(), 2u);
    EXPECT_EQ(trace[1], ("USER " + user).substr(0, 117));
}

// Account fields that would end the command line early or not fit it are never sent.
class UnsafeCredentialTest
    : public Pop3SessionTest,
      public testing::WithParamInterface<std::pair<std::string, std::string>> {};

TEST_P(UnsafeCredentialTest, IsRefusedWithoutSendingIt) {
    ScriptedPop3Server server;
    server.greeting("+OK\r\n").expect("QUIT", "+OK\r\n");
    server.start();
    auto [user, password] = GetParam();

    EXPECT_EQ(pop3Login(session, server.hostAndPort(), user, password, control), kLoginRefused);
    EXPECT_EQ(session.socket(), kInvalidSocket);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.receivedBytes(), "QUIT\r\n");
    EXPECT_EQ(server.problems(), Lines{});
}

INSTANTIATE_TEST_SUITE_P(
    Fields, UnsafeCredentialTest,
    testing::Values(std::pair<std::string, std::string>{"alice\r\nDELE 1", "secret"},
                    std::pair<std::string, std::string>{"alice\n", "secret"},
                    std::pair<std::string, std::string>{"alice", "secret\rDELE 1"},
                    std::pair<std::string, std::string>{"alice", std::string("sec\0ret", 7)},
                    std::pair<std::string, std::string>{std::string(113, 'u'), "secret"},
                    std::pair<std::string, std::string>{"alice", std::string(113, 'p')}));

TEST_F(Pop3SessionTest, ApopSendsTheDigestOfStampAndPassword) {
    ScriptedPop3Server server;
    server.greeting("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("APOP mrose c4c9334bac560ecc979e58001b3e22fb", "+OK maildrop has 1 message\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();

    ASSERT_EQ(pop3LoginApop(session, server.hostAndPort(), "mrose", "tanstaaf", control), 1);
    pop3Quit(session);
    finish(server);
    EXPECT_EQ(trace.at(1), "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n");
}

TEST_F(Pop3SessionTest, ApopChecksOnlyWhatItSends) {
    // The password only goes into the digest, so line ends in it do no harm.
    std::string password = "pa\r\nss";
    ScriptedPop3Server accepting;
    accepting.greeting("+OK <7.8@host>\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("APOP alice " + apopDigest("<7.8@host>", password), "+OK\r\n")
        .expect("QUIT", "+OK\r\n");
    accepting.start();
    ASSERT_EQ(pop3LoginApop(session, accepting.hostAndPort(), "alice", password, control), 1);
    pop3Quit(session);
    finish(accepting);

    // The user name goes into the line and must be safe.
    ScriptedPop3Server refusing;
    refusing.greeting("+OK <7.8@host>\r\n").expect("QUIT", "+OK\r\n");
    refusing.start();
    EXPECT_EQ(pop3LoginApop(session, refusing.hostAndPort(), "alice\r\nDELE 1", "x", control),
              kLoginRefused);
    EXPECT_TRUE(refusing.waitUntilDone(5s));
    EXPECT_EQ(refusing.receivedBytes(), "QUIT\r\n");
}

// With a server that pipelines, PASS goes out behind USER without waiting for its reply; both
// replies are read, so a refused user name still ends with a QUIT that is answered in step.
TEST_F(Pop3SessionTest, WithPipeliningUserAndPassGoTogether) {
    for (bool accept : {false, true}) {
        SCOPED_TRACE(accept);
        ScriptedPop3Server server;
        server.greeting("+OK ready\r\n")
            .expect("CAPA", "+OK\r\nUSER\r\nPIPELINING\r\n.\r\n")
            .expect("USER alice", accept ? "+OK\r\n" : "-ERR no such user\r\n")
            .expect("PASS secret", accept ? "+OK logged in\r\n" : "-ERR no user given\r\n")
            .expect("QUIT", "+OK\r\n");
        EXPECT_EQ(logIn(server), accept ? kLoginOk : kLoginRefused);
        if (accept) {
            EXPECT_TRUE(session.pipelines());
            EXPECT_TRUE(pop3Quit(session));
        }
        finish(server);
        EXPECT_EQ(server.received(),
                  (Lines{"CAPA\r\n", "USER alice\r\n", "PASS secret\r\n", "QUIT\r\n"}));
    }
}

// A greeting without a time stamp may be one whose stamp was taken out on the way: in the clear
// the password goes out with PASS only when the user allowed it.
TEST_F(Pop3SessionTest, ApopWithoutAStampSendsNoPasswordInTheClearUnlessAllowed) {
    ScriptedPop3Server refusing;
    refusing.greeting("+OK ready\r\n").expect("QUIT", "+OK\r\n");
    refusing.start();
    EXPECT_EQ(pop3LoginApop(session, refusing.hostAndPort(), "alice", "secret", control),
              kLoginRefused);
    EXPECT_EQ(session.socket(), kInvalidSocket);
    EXPECT_NE(control.failureReason.find("did not offer APOP"), std::string::npos)
        << control.failureReason;
    EXPECT_TRUE(refusing.waitUntilDone(5s));
    EXPECT_EQ(refusing.received(), Lines{"QUIT\r\n"});
    EXPECT_EQ(refusing.receivedBytes().find("secret"), std::string::npos);

    ScriptedPop3Server server;
    loggingIn(server).expect("QUIT", "+OK\r\n");
    server.start();
    ASSERT_EQ(pop3LoginApop(session, server.hostAndPort(), "alice", "secret", control,
                            PlainPasswordFallback::Allowed),
              1);
    pop3Quit(session);
    finish(server);
}

TEST_F(Pop3SessionTest, ARefusedApopDoesNotFallBackToPassword) {
    ScriptedPop3Server server;
    server.greeting("+OK <1.2@host>\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("APOP alice " + apopDigest("<1.2@host>", "secret"),
                "-ERR authentication failed\r\n")
        .expect("QUIT", "+OK\r\n");
    server.start();

    EXPECT_EQ(pop3LoginApop(session, server.hostAndPort(), "alice", "secret", control),
              kLoginRefused);
    EXPECT_EQ(session.socket(), kInvalidSocket);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.problems(), Lines{});
    EXPECT_EQ(server.received().size(), 3u);
}

TEST_F(Pop3SessionTest, ARefusedGreetingOrPasswordEndsWithQuit) {
    for (bool refuseGreeting : {true, false}) {
        ScriptedPop3Server server;
        if (refuseGreeting) {
            server.greeting("-ERR too busy\r\n");
        } else {
            server.greeting("+OK\r\n")
                .expect("CAPA", "-ERR\r\n")
                .expect("USER alice", "+OK\r\n")
                .expect("PASS secret", "-ERR wrong password\r\n");
        }
        server.expect("QUIT", "+OK\r\n");
        server.start();

        EXPECT_EQ(pop3Login(session, server.hostAndPort(), "alice", "secret", control),
                  kLoginRefused);
        EXPECT_EQ(session.socket(), kInvalidSocket);
        EXPECT_TRUE(server.waitUntilDone(5s));
        EXPECT_EQ(server.problems(), Lines{});
        EXPECT_EQ(server.received().back(), "QUIT\r\n");
    }
}

TEST_F(Pop3SessionTest, NoConnectionGivesMinusOne) {
    std::string refused = "127.0.0.1:" + std::to_string(unusedLoopbackPort());
    for (const std::string& host : {refused, std::string("127.0.0.1:0"),
                                    std::string("127.0.0.1:70000"), std::string("127.0.0.1:x")}) {
        EXPECT_EQ(pop3Login(session, host, "alice", "secret", control), kLoginNoConnection) << host;
        EXPECT_EQ(session.socket(), kInvalidSocket);
    }
}

TEST_F(Pop3SessionTest, StatusLinesInTinyPieces) {
    ScriptedPop3Server server;
    server.greeting({{"+"}, {"O", 20ms}, {"K", 20ms}, {" ", 20ms}, {"hi\r", 20ms}, {"\n", 20ms}})
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", {{"+OK"}, {"\r\n", 30ms}})
        .expect("PASS secret", {{"+OK lo"}, {"gged in\r", 30ms}, {"\n", 30ms}})
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, AFourByteReplyNeverCompletes) {
    ScriptedPop3Server server;
    server.greeting("+OK\r\n")
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", {{"+OK\n"}}, AfterReply::StaySilent);
    control.timeoutSeconds = 1;

    EXPECT_EQ(logIn(server), kLoginRefused);
    EXPECT_TRUE(server.waitUntilDone(5s));
    // USER waited for more and timed out; a QUIT would only wait out a second time-out.
    EXPECT_EQ(server.received(), (Lines{"CAPA\r\n", "USER alice\r\n"}));
}

TEST_F(Pop3SessionTest, FiveByteStatusLinesAndLowerCaseIndicators) {
    ScriptedPop3Server server;
    server.greeting({{"+ok\r"}, {"\n", 30ms}})
        .expect("CAPA", "-ERR\r\n")
        .expect("USER alice", "+OK\r\n")
        .expect("PASS secret", "+Ok\r\n")
        .expect("STAT", "+ok 2 320\r\n")
        .expect("LIST 1", "+oK 1 120\r\n")
        .expect("TOP 1 0", "+ok\r\nSubject: x\r\n.\r\n")
        .expect("QUIT", "+OK\r\n");

    ASSERT_EQ(logIn(server), kLoginOk);
    long count = -1;
    long octets = -1;
    // Positive, but the numbers are read only after an exact "+OK".
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(octets, 0);
    long size = -1;
    EXPECT_TRUE(pop3List(session, 1, size));
    EXPECT_EQ(size, 0);
    char buffer[512];
    EXPECT_FALSE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    // The body is still in the socket; QUIT's reply reader takes it as a non-status reply.
    EXPECT_FALSE(pop3Quit(session));
    session.close();
}

TEST_F(Pop3SessionTest, StatWithOneNumberOrOddNumbers) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("STAT", "+OK 7\r\n")
        .expect("STAT", "+OK\r\n")
        .expect("STAT", "+OK  -3 12abc\r\n")
        .expect("STAT", "+OK 99999999999999999999999 x\r\n")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    long count = -1;
    long octets = -1;

    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 7);
    EXPECT_EQ(octets, 0);
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(octets, 0);
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, -3);
    EXPECT_EQ(octets, 12);
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, LONG_MAX);
    EXPECT_EQ(octets, 0);
    pop3Quit(session);
    finish(server);
}

TEST_F(Pop3SessionTest, AStatusReplyLongerThanItsBufferKeepsItsNumbers) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("STAT", "+OK 3 4500 " + std::string(300, 'z') + "\r\n")
        .expect("LIST 2", "+OK 2 1500\r\n")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);

    long count = 0;
    long octets = 0;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(octets, 4500);
    long size = 0;
    EXPECT_TRUE(pop3List(session, 2, size));
    EXPECT_EQ(size, 1500);
    pop3Quit(session);
    finish(server);
}

TEST_F(Pop3SessionTest, TopBodiesWithBareLineEnds) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("TOP 1 0", "+OK\r\nSubject: lf\nFrom: a\n\n.\n")
        .expect("TOP 2 0", "+OK\r\nSubject: cr\rFrom: b\r\r.\r")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    char buffer[512];

    EXPECT_TRUE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Subject: lf\nFrom: a\n\n.\n");
    EXPECT_TRUE(pop3Top(session, 2, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Subject: cr\rFrom: b\r\r.\r");
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, TopBodyEndsAtAnUnstuffedDotAndKeepsStuffedDots) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("TOP 1 5", "+OK\r\nSubject: x\r\n\r\n..stuffed\r\n.\r\nafter\r\n.\r\n")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    char buffer[512];

    EXPECT_TRUE(pop3Top(session, 1, 5, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Subject: x\r\n\r\n..stuffed\r\n.\r\n");
    session.close();
}

TEST_F(Pop3SessionTest, AnEmptyTopBodyIsRecognisedAtOnce) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("TOP 1 0", "+OK\r\n.\r\n")
        .expect("TOP 2 0", {{"+OK\r\n"}, {".\r", 30ms}, {"\n", 30ms}})
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    // Waiting for a time-out would fail the calls.
    control.timeoutEnabled = false;
    control.cancelQuery = [start = std::chrono::steady_clock::now()](ConnectionControl&) {
        return std::chrono::steady_clock::now() - start > 4s;
    };
    char buffer[512];

    EXPECT_TRUE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, ".\r\n");
    EXPECT_TRUE(pop3Top(session, 2, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, ".\r\n");
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, ATopReplyInPiecesAndOneLongerThanTheBuffer) {
    std::string body;
    for (int i = 0; i < 20; ++i) {
        body += "Line-" + std::to_string(100 + i) + ": abcdefghijklmnopqrstuvwxyz\r\n";
    }
    body += ".\r\n";
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("TOP 1 0",
                {{"+OK 600 octets\r\n"}, {body.substr(0, 300), 20ms}, {body.substr(300), 20ms}})
        .expect("TOP 1 20", "+OK\r\n" + body)
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    std::vector<char> buffer(2000);

    EXPECT_TRUE(pop3Top(session, 1, 0, buffer.data(), 2000));
    EXPECT_EQ(std::string(buffer.data()), body);

    // 64 bytes: the first 31 stay, the tail ends with the terminator.
    EXPECT_TRUE(pop3Top(session, 1, 20, buffer.data(), 64));
    std::string kept(buffer.data());
    EXPECT_EQ(kept.substr(0, 31), body.substr(0, 31));
    EXPECT_EQ(body.substr(body.size() - (kept.size() - 31)), kept.substr(31));
    EXPECT_EQ(kept.substr(kept.size() - 5), "\r\n.\r\n");
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, MoreThanWasAskedNeverShiftsTheReplies) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("STAT", "+OK 2 320\r\n+OK 1 120\r\n+OK\r\nSubject: one\r\n.\r\n")
        .expect("LIST 1", std::vector<ReplyPiece>{})
        .expect("TOP 1 0", std::vector<ReplyPiece>{})
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);

    long count = 0;
    long octets = 0;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 2);
    long size = 0;
    EXPECT_TRUE(pop3List(session, 1, size));
    EXPECT_EQ(size, 120);
    char buffer[256];
    EXPECT_TRUE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Subject: one\r\n.\r\n");
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

TEST_F(Pop3SessionTest, AFirstTokenOf255CharactersIsNoStatus) {
    ScriptedPop3Server server;
    server.greeting("+OK" + std::string(252, 'k') + " ready\r\n").expect("QUIT", "+OK\r\n");
    server.start();

    EXPECT_EQ(pop3Login(session, server.hostAndPort(), "alice", "secret", control), kLoginRefused);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.received(), Lines{"QUIT\r\n"});
}

TEST_F(Pop3SessionTest, AServerThatClosesMidReply) {
    ScriptedPop3Server server;
    loggingIn(server).expect("TOP 1 0", {{"+OK\r\nSubject: cut sh"}}, AfterReply::Close);
    ASSERT_EQ(logIn(server), kLoginOk);
    char buffer[512];

    EXPECT_FALSE(pop3Top(session, 1, 0, buffer, sizeof buffer));
    long count = 0;
    long octets = 0;
    EXPECT_FALSE(pop3Stat(session, count, octets));
    EXPECT_FALSE(pop3Quit(session));
}

TEST_F(Pop3SessionTest, ASilentServerTimesTheLoginOut) {
    ScriptedPop3Server server;
    server.greeting({}, AfterReply::StaySilent);
    server.start();
    control.timeoutSeconds = 1;

    EXPECT_EQ(pop3Login(session, server.hostAndPort(), "alice", "secret", control), kLoginRefused);
    EXPECT_EQ(session.socket(), kInvalidSocket);
    EXPECT_TRUE(server.waitUntilDone(5s));
    // Nothing is sent to a server that never greeted.
    EXPECT_TRUE(server.received().empty());
}

TEST_F(Pop3SessionTest, AfterATimedOutReplyLaterCommandsFailAtOnce) {
    ScriptedPop3Server server;
    loggingIn(server).expect("DELE 1", {}, AfterReply::StaySilent);
    ASSERT_EQ(logIn(server), kLoginOk);
    control.timeoutSeconds = 1;

    EXPECT_FALSE(pop3Dele(session, 1));
    EXPECT_TRUE(session.broken);
    // A removal goes on with its other marked messages: each must fail without another
    // time-out, and nothing more reaches the wire.
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pop3Dele(session, 2));
    EXPECT_FALSE(pop3Dele(session, 3));
    EXPECT_FALSE(pop3Quit(session));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
    session.close();
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.received().back(), "DELE 1\r\n");
}

TEST_F(Pop3SessionTest, ACancelDuringAReadSendsNothingMore) {
    ScriptedPop3Server server;
    loggingIn(server).expect("STAT", {}, AfterReply::StaySilent);
    ASSERT_EQ(logIn(server), kLoginOk);
    int asked = 0;
    control.cancelQuery = [&asked](ConnectionControl&) { return ++asked > 50; };

    long count = 0;
    long octets = 0;
    EXPECT_FALSE(pop3Stat(session, count, octets));
    EXPECT_FALSE(pop3Quit(session));
    finish(server);
    EXPECT_EQ(server.received().back(), "STAT\r\n");
}

TEST_F(Pop3SessionTest, ACancelDuringTheLoginSendsNoQuit) {
    ScriptedPop3Server server;
    server.greeting({}, AfterReply::StaySilent);
    server.start();
    int asked = 0;
    bool cancelled = false;
    control.cancelQuery = [&](ConnectionControl& c) {
        cancelled = cancelled || (c.status == ConnectStatus::Connected && ++asked > 20);
        return cancelled;
    };

    EXPECT_EQ(pop3Login(session, server.hostAndPort(), "alice", "secret", control), kLoginRefused);
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.receivedBytes(), "");
}

} // namespace

namespace {

// The listings are read line by line: a long one in pieces that split lines anywhere, with
// the next reply close behind it, must come out whole and leave the conversation in step.
TEST_F(Pop3SessionTest, CapabilitiesAndUniqueIdListingsOfAnyLength) {
    std::string listing = "+OK\r\n";
    for (int n = 1; n <= 20000; ++n)
        listing += std::to_string(n) + " id-" + std::to_string(n * 7) + "\r\n";
    listing += ".\r\n";
    std::vector<ReplyPiece> pieces;
    for (std::size_t at = 0; at < listing.size(); at += 7777)
        pieces.push_back({listing.substr(at, 7777)});
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("CAPA", "+OK list follows\r\nTOP\r\nuidl\r\nSASL PLAIN\r\n.\r\n")
        .expect("UIDL", pieces)
        .expect("UIDL", "+OK\r\n1 a\r\n..b c\r\n2 a\r\n1 d\r\n.\r\n")
        .expect("UIDL 3", "+OK 3 id-21\r\n")
        .expect("STAT", "+OK 20000 1\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    EXPECT_TRUE(pop3Capa(session));
    EXPECT_EQ(session.capabilities, (std::set<std::string>{"SASL", "TOP", "UIDL"}));
    UniqueIdListing ids;
    ASSERT_TRUE(pop3Uidl(session, ids));
    EXPECT_FALSE(ids.malformed);
    ASSERT_EQ(ids.byNumber.size(), 20000u);
    EXPECT_EQ(ids.byNumber.at(20000), "id-140000");
    // A dot-stuffed line is no "n unique-id" line, nor is a number given twice.
    ASSERT_TRUE(pop3Uidl(session, ids));
    EXPECT_TRUE(ids.malformed);
    std::string one;
    EXPECT_TRUE(pop3UidlOne(session, 3, one));
    EXPECT_EQ(one, "id-21");
    long count = 0, octets = 0;
    EXPECT_TRUE(pop3Stat(session, count, octets));
    EXPECT_EQ(count, 20000);
    finish(server);
}

} // namespace

// Commands sent ahead are answered in order through the same reply reading; a server that hangs
// up in the middle of the window fails the read of the first reply that did not arrive and
// everything after it, no QUIT goes out behind unread replies, and the session's socket is
// closed when the session goes, whatever path it took.
TEST_F(Pop3SessionTest, PipelinedRepliesInOrderAndAFailureInTheWindow) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("CAPA", "+OK\r\nUIDL\r\nPIPELINING\r\n.\r\n")
        .expect("LIST 1", "+OK 1 120\r\n")
        .expect("TOP 1 0", "+OK\r\nSubject: one\r\n\r\n.\r\n")
        .expect("DELE 1", "-ERR locked\r\n")
        .expect("TOP 2 0", {{"+OK\r\nSubject: cut"}}, toppeek::test::AfterReply::Close);
    const auto openDescriptors = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto before = openDescriptors();
    {
        Pop3Session moved;
        {
            Pop3Session local;
            ASSERT_EQ(logIn(server), kLoginOk);
            local = std::move(session);
            moved = std::move(local);
        }
        ASSERT_TRUE(pop3Capa(moved));
        ASSERT_TRUE(moved.pipelines());
        for (const char* line :
             {"LIST 1\r\n", "TOP 1 0\r\n", "DELE 1\r\n", "TOP 2 0\r\n", "LIST 3\r\n"}) {
            ASSERT_TRUE(windowHasRoom(moved, std::strlen(line)));
            ASSERT_TRUE(sendAhead(moved, line));
        }
        EXPECT_EQ(moved.commandsInFlight(), 5);
        long size = 0;
        EXPECT_TRUE(readListReply(moved, size));
        EXPECT_EQ(size, 120);
        char buffer[512];
        ASSERT_TRUE(readTopReply(moved, buffer, sizeof buffer));
        EXPECT_STREQ(buffer, "Subject: one\r\n\r\n.\r\n");
        EXPECT_FALSE(readStatusReply(moved, buffer, sizeof buffer));
        EXPECT_FALSE(moved.broken) << "a refusal keeps the conversation in step";
        EXPECT_FALSE(readTopReply(moved, buffer, sizeof buffer));
        EXPECT_TRUE(moved.broken);
        EXPECT_FALSE(readListReply(moved, size));
        EXPECT_FALSE(pop3Quit(moved));
        EXPECT_EQ(session.socket(), kInvalidSocket);
    }
    // The server's end of the connection is one of this process's descriptors too, closed once
    // it is done.
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(trace, (Lines{"CAPA\r\n", "USER alice\r\n", "PASS xxxx", "CAPA\r\n", "LIST 1\r\n",
                            "TOP 1 0\r\n", "DELE 1\r\n", "TOP 2 0\r\n", "LIST 3\r\n"}));
    const Lines received = server.received();
    EXPECT_EQ(std::count(received.begin(), received.end(), "QUIT\r\n"), 0);
}

// A window far larger than both sides' socket buffers, behind a reply far larger than them too:
// the server stops reading commands while that reply waits to be taken, so the client must take
// it while its own commands still wait to go out, or both sides would wait on full buffers.
TEST_F(Pop3SessionTest, AFullWindowBehindALongReplyNeverDeadlocks) {
    constexpr int kCommands = 4000;
    std::string header;
    while (header.size() < 256 * 1024)
        header += "Received: from relay" + std::to_string(header.size()) + ".example.org\r\n";
    header += "\r\n.\r\n";
    ScriptedPop3Server server;
    loggingIn(server).socketBuffers(4096).expect("CAPA", "+OK\r\nPIPELINING\r\n.\r\n");
    server.expect("TOP 1 0", "+OK\r\n" + header);
    const auto shortHeader = [](int n) {
        return "Subject: " + std::to_string(n) + "\r\n\r\n.\r\n";
    };
    for (int n = 2; n <= kCommands; ++n)
        server.expect("TOP " + std::to_string(n) + " 0", "+OK\r\n" + shortHeader(n));
    server.expect("QUIT", "+OK bye\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    ASSERT_TRUE(pop3Capa(session));

    std::vector<char> buffer(header.size() + 1);
    const int size = static_cast<int>(buffer.size());
    std::size_t mostInFlight = 0;
    int next = 1;
    for (int n = 1; n <= kCommands; ++n) {
        for (; next <= kCommands; ++next) {
            const std::string line = "TOP " + std::to_string(next) + " 0\r\n";
            if (!windowHasRoom(session, line.size()))
                break;
            ASSERT_TRUE(sendAhead(session, line));
        }
        if (next > kCommands && !session.quitSentAhead()) {
            ASSERT_TRUE(sendQuitAhead(session));
        }
        mostInFlight = std::max(mostInFlight, session.bytesInFlight());
        ASSERT_TRUE(readTopReply(session, buffer.data(), size)) << "reply " << n;
        ASSERT_EQ(buffer.data(), n == 1 ? header : shortHeader(n));
    }
    // More than both sides' buffers hold at once, so a client that waited to send before it read
    // could not have got through.
    EXPECT_GT(mostInFlight, std::size_t{40000});
    EXPECT_TRUE(pop3Quit(session));
    finish(server);
}

// Without PIPELINING the window holds one command. The whole mailbox's LIST gives every size,
// tells a listing it cannot read, and a refusal leaves the session in step.
TEST_F(Pop3SessionTest, WithoutPipeliningOneCommandAtATimeAndWholeListings) {
    ScriptedPop3Server server;
    loggingIn(server)
        .expect("CAPA", "+OK\r\nUIDL\r\n.\r\n")
        .expect("LIST", "+OK 2 messages\r\n1 10\r\n2 20 extra\r\n.\r\n")
        .expect("LIST", "+OK\r\n1 10\r\nnonsense\r\n1 12\r\n.\r\n")
        .expect("LIST", "-ERR not here\r\n")
        .expect("QUIT", "+OK\r\n");
    ASSERT_EQ(logIn(server), kLoginOk);
    ASSERT_TRUE(pop3Capa(session));
    EXPECT_FALSE(session.pipelines());
    SizeListing listing;
    ASSERT_TRUE(windowHasRoom(session, 8));
    ASSERT_TRUE(pop3ListAll(session, listing));
    EXPECT_FALSE(listing.malformed);
    EXPECT_EQ(listing.byNumber, (std::map<long, long>{{1, 10}, {2, 20}}));
    ASSERT_TRUE(pop3ListAll(session, listing));
    EXPECT_TRUE(listing.malformed);
    EXPECT_FALSE(pop3ListAll(session, listing));
    EXPECT_FALSE(session.broken);
    ASSERT_TRUE(sendAhead(session, "QUIT\r\n"));
    EXPECT_FALSE(windowHasRoom(session, 6));
    char buffer[64];
    EXPECT_TRUE(readStatusReply(session, buffer, sizeof buffer));
    EXPECT_EQ(session.commandsInFlight(), 0);
    session.close();
    EXPECT_TRUE(server.waitUntilDone(5s));
    EXPECT_EQ(server.problems(), Lines{});
}
