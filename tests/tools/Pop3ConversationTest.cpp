// The demo server's side of POP3: what each state accepts, the replies' framing (CR LF, dot
// stuffing, the terminating line), and that deletions happen only when QUIT ends a session.

#include "Pop3Conversation.h"
#include "DemoMailbox.h"
#include "mail/Pop3.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace toppeek::demo;

const std::string kStamp = "<1896.697170952@dbc.mtview.ca.us>";

DemoMailbox threeMessages() {
    return DemoMailbox({
        {"a.eml", withCrlfLineEnds("Subject: one\nFrom: a@example.org\n\nline 1\n.dot line\n"
                                   "line 3\n")},
        {"b.eml", withCrlfLineEnds("Subject: two\n\nbody\n")},
        {"c.eml", withCrlfLineEnds("Subject: header only\nX-Note: no body at all\n")},
    });
}

bool positive(const Reply& reply) {
    return reply.bytes.starts_with("+OK");
}

class Pop3ConversationTest : public testing::Test {
protected:
    void logIn() {
        ASSERT_TRUE(positive(talk.handle("USER demo")));
        ASSERT_TRUE(positive(talk.handle("PASS demo")));
    }

    DemoMailbox mailbox = threeMessages();
    Pop3Conversation talk{mailbox, {"demo", "demo"}, kStamp};
};

TEST(DemoMailboxText, EveryLineEndBecomesCrlf) {
    EXPECT_EQ(withCrlfLineEnds("a\nb\r\nc\rd"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(withCrlfLineEnds("\n\n"), "\r\n\r\n");
    EXPECT_EQ(withCrlfLineEnds(""), "");
}

TEST(DemoMailboxText, DotStuffingAndTerminator) {
    EXPECT_EQ(dotStuffed(".a\r\nb.\r\n..c\r\n.\r\n"), "..a\r\nb.\r\n...c\r\n..\r\n.\r\n");
    EXPECT_EQ(dotStuffed("no end"), "no end\r\n.\r\n");
}

TEST(DemoMailboxText, ApopDigestMatchesTheRfcExampleAndTheClient) {
    EXPECT_EQ(apopDigestOf(kStamp, "tanstaaf"), "c4c9334bac560ecc979e58001b3e22fb");
    EXPECT_EQ(apopDigestOf("<x.1@demo>", "demo"), toppeek::mail::apopDigest("<x.1@demo>", "demo"));
}

TEST_F(Pop3ConversationTest, GreetingCarriesTheStampAndLoginNeedsUserThenPass) {
    EXPECT_EQ(talk.greeting(), "+OK TopPeek demo POP3 server ready " + kStamp + "\r\n");
    EXPECT_FALSE(positive(talk.handle("STAT")));
    EXPECT_FALSE(positive(talk.handle("PASS demo"))); // no USER yet
    EXPECT_TRUE(positive(talk.handle("USER demo")));
    EXPECT_FALSE(positive(talk.handle("PASS wrong")));
    EXPECT_FALSE(positive(talk.handle("PASS demo"))); // the refused PASS used up the USER
    EXPECT_TRUE(positive(talk.handle("user demo")));
    EXPECT_EQ(talk.handle("pass demo").bytes,
              "+OK demo's maildrop has 3 messages (132 octets)\r\n");
    EXPECT_TRUE(talk.loggedIn());
    EXPECT_FALSE(positive(talk.handle("USER demo")));
}

TEST_F(Pop3ConversationTest, PasswordMayHoldSpacesAndTheUserMustMatch) {
    Pop3Conversation spaced(mailbox, {"demo", "two words"}, kStamp);
    EXPECT_TRUE(positive(spaced.handle("USER demo")));
    EXPECT_TRUE(positive(spaced.handle("PASS two words")));
    Pop3Conversation other(mailbox, {"demo", "demo"}, kStamp);
    EXPECT_TRUE(positive(other.handle("USER someone")));
    EXPECT_FALSE(positive(other.handle("PASS demo")));
}

TEST_F(Pop3ConversationTest, ApopLogsInWithTheDigestOfThisGreetingsStamp) {
    EXPECT_FALSE(positive(talk.handle("APOP demo " + apopDigestOf("<other@stamp>", "demo"))));
    EXPECT_FALSE(positive(talk.handle("APOP intruder " + apopDigestOf(kStamp, "demo"))));
    EXPECT_FALSE(positive(talk.handle("APOP demo")));
    std::string upper = apopDigestOf(kStamp, "demo");
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(positive(talk.handle("APOP demo " + upper)));
    EXPECT_TRUE(talk.loggedIn());
}

TEST_F(Pop3ConversationTest, QuitBeforeLoginEndsWithoutTouchingTheMailbox) {
    const Reply reply = talk.handle("QUIT");
    EXPECT_TRUE(positive(reply));
    EXPECT_TRUE(reply.close);
    EXPECT_TRUE(talk.finished());
    EXPECT_EQ(mailbox.size(), 3u);
}

TEST_F(Pop3ConversationTest, StatListAndUidlCountOctetsWithCrlf) {
    logIn();
    EXPECT_EQ(talk.handle("STAT").bytes, "+OK 3 132\r\n");
    EXPECT_EQ(talk.handle("LIST 2").bytes, "+OK 2 22\r\n");
    EXPECT_EQ(talk.handle("LIST").bytes,
              "+OK 3 messages (132 octets)\r\n1 64\r\n2 22\r\n3 46\r\n.\r\n");
    EXPECT_EQ(talk.handle("UIDL 3").bytes, "+OK 3 c.eml\r\n");
    for (const char* bad : {"LIST 0", "LIST 4", "LIST x", "LIST -1", "LIST 1 2", "STAT 1",
                            "LIST 99999999999999999999"})
        EXPECT_FALSE(positive(talk.handle(bad))) << bad;
    EXPECT_TRUE(positive(talk.handle("NOOP")));
    EXPECT_FALSE(positive(talk.handle("XYZZY")));
}

TEST_F(Pop3ConversationTest, TopSendsTheHeaderTheBlankLineAndTheAskedLinesDotStuffed) {
    logIn();
    EXPECT_EQ(talk.handle("TOP 1 0").bytes, "+OK top of message follows\r\n"
                                            "Subject: one\r\nFrom: a@example.org\r\n\r\n.\r\n");
    EXPECT_EQ(talk.handle("TOP 1 2").bytes, "+OK top of message follows\r\n"
                                            "Subject: one\r\nFrom: a@example.org\r\n\r\n"
                                            "line 1\r\n..dot line\r\n.\r\n");
    EXPECT_EQ(talk.handle("TOP 2 100").bytes,
              "+OK top of message follows\r\nSubject: two\r\n\r\nbody\r\n.\r\n");
    EXPECT_EQ(talk.handle("TOP 3 0").bytes,
              "+OK top of message follows\r\n"
              "Subject: header only\r\nX-Note: no body at all\r\n.\r\n");
    EXPECT_EQ(talk.handle("RETR 1").bytes, "+OK 64 octets\r\nSubject: one\r\nFrom: a@example.org"
                                           "\r\n\r\nline 1\r\n..dot line\r\nline 3\r\n.\r\n");
    EXPECT_FALSE(positive(talk.handle("TOP 1")));
    EXPECT_FALSE(positive(talk.handle("TOP 1 -1")));
}

TEST_F(Pop3ConversationTest, DeletionsHideMessagesButTakeEffectOnlyAtQuit) {
    logIn();
    EXPECT_TRUE(positive(talk.handle("DELE 2")));
    EXPECT_FALSE(positive(talk.handle("DELE 2")));
    EXPECT_FALSE(positive(talk.handle("LIST 2")));
    EXPECT_FALSE(positive(talk.handle("TOP 2 0")));
    EXPECT_EQ(talk.handle("STAT").bytes, "+OK 2 110\r\n");
    EXPECT_EQ(talk.handle("LIST").bytes, "+OK 2 messages (110 octets)\r\n1 64\r\n3 46\r\n.\r\n");
    EXPECT_EQ(mailbox.size(), 3u);

    EXPECT_TRUE(positive(talk.handle("RSET")));
    EXPECT_EQ(talk.handle("STAT").bytes, "+OK 3 132\r\n");

    EXPECT_TRUE(positive(talk.handle("DELE 1")));
    EXPECT_TRUE(positive(talk.handle("DELE 3")));
    EXPECT_EQ(mailbox.size(), 3u);
    const Reply bye = talk.handle("QUIT");
    EXPECT_TRUE(positive(bye));
    EXPECT_TRUE(bye.close);
    ASSERT_EQ(mailbox.size(), 1u);
    EXPECT_EQ(mailbox.messages()[0].name, "b.eml");
    EXPECT_FALSE(positive(talk.handle("STAT")));
}

TEST_F(Pop3ConversationTest, ASessionThatEndsWithoutQuitDeletesNothing) {
    {
        Pop3Conversation dropped(mailbox, {"demo", "demo"}, kStamp);
        ASSERT_TRUE(positive(dropped.handle("USER demo")));
        ASSERT_TRUE(positive(dropped.handle("PASS demo")));
        EXPECT_TRUE(positive(dropped.handle("DELE 1")));
    }
    EXPECT_EQ(mailbox.size(), 3u);
}

TEST_F(Pop3ConversationTest, OverlongCommandLinesAreRefused) {
    EXPECT_FALSE(positive(talk.handle("USER " + std::string(300, 'u'))));
    EXPECT_FALSE(talk.loggedIn());
}

TEST_F(Pop3ConversationTest, WithoutStlsOfferedCapaAndStlsAreAsBefore) {
    EXPECT_EQ(talk.handle("CAPA").bytes,
              "+OK capability list follows\r\nUSER\r\nTOP\r\nUIDL\r\n.\r\n");
    Reply refused = talk.handle("STLS");
    EXPECT_EQ(refused.bytes, "-ERR not allowed before logging in\r\n");
    EXPECT_FALSE(refused.startTls);
}

TEST_F(Pop3ConversationTest, StlsIsOfferedOnceBeforeLoginAndForgetsWhatCameBefore) {
    talk.offerStartTls();
    EXPECT_NE(talk.handle("CAPA").bytes.find("\r\nSTLS\r\n.\r\n"), std::string::npos);
    EXPECT_FALSE(talk.handle("STLS now").startTls);
    // A USER given in the clear must not count once the connection is secured (RFC 2595).
    ASSERT_TRUE(positive(talk.handle("USER demo")));
    Reply upgrade = talk.handle("STLS");
    EXPECT_TRUE(positive(upgrade));
    EXPECT_TRUE(upgrade.startTls);
    EXPECT_FALSE(upgrade.close);
    talk.secured();
    EXPECT_TRUE(talk.isSecured());
    EXPECT_EQ(talk.handle("PASS demo").bytes, "-ERR send USER first\r\n");
    EXPECT_EQ(talk.handle("CAPA").bytes.find("STLS"), std::string::npos);
    Reply again = talk.handle("STLS");
    EXPECT_FALSE(positive(again));
    EXPECT_FALSE(again.startTls);
    // The greeting's stamp still serves APOP after the upgrade.
    EXPECT_TRUE(positive(talk.handle("APOP demo " + apopDigestOf(kStamp, "demo"))));
    EXPECT_FALSE(talk.handle("STLS").startTls);
}

TEST_F(Pop3ConversationTest, StlsAfterLoginIsRefused) {
    talk.offerStartTls();
    logIn();
    Reply late = talk.handle("STLS");
    EXPECT_FALSE(positive(late));
    EXPECT_FALSE(late.startTls);
    // STLS belongs to the authorization state alone, and so does its mention (RFC 2595).
    EXPECT_EQ(talk.handle("CAPA").bytes.find("STLS"), std::string::npos);
}

} // namespace
