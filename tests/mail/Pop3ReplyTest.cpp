// The POP3 client's text rules: reply tokens, where a status line and a TOP body end, the
// command trace, the APOP time stamp and digest, and the host:port form.

#include "mail/Pop3.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>
#include <utility>

namespace {

using namespace toppeek::mail;

int statusEnd(const std::string& text) {
    return findStatusLineEnd(text.data(), static_cast<int>(text.size()), 0);
}

int bodyEnd(const std::string& text) {
    return findTopBodyEnd(text.data(), static_cast<int>(text.size()), 0);
}

TEST(ReplyTokenTest, SkipsWhiteSpaceAndStopsAtSeparators) {
    std::string text = " \t\r\n\v\f+OK\t2 320\r\nnext";
    std::size_t position = 0;
    EXPECT_EQ(nextReplyToken(text, position), "+OK");
    EXPECT_EQ(nextReplyToken(text, position), "2");
    EXPECT_EQ(nextReplyToken(text, position), "320");
    EXPECT_EQ(nextReplyToken(text, position), "next");
    EXPECT_EQ(nextReplyToken(text, position), "");
}

TEST(ReplyTokenTest, CutsLongTokensAt254Characters) {
    std::string text = std::string(254, 'a') + std::string(46, 'b') + " c";
    std::size_t position = 0;
    EXPECT_EQ(nextReplyToken(text, position), std::string(254, 'a'));
    // The rest of the long token is the next one.
    EXPECT_EQ(nextReplyToken(text, position), std::string(46, 'b'));
    EXPECT_EQ(nextReplyToken(text, position), "c");
}

TEST(StatusLineEndTest, ReplyOfFourBytesOrLessIsNeverComplete) {
    EXPECT_EQ(statusEnd("+OK\n"), 0);
    EXPECT_EQ(statusEnd("-ER"), 0);
    EXPECT_EQ(statusEnd(""), 0);
    EXPECT_EQ(statusEnd("+OK\r\n"), 5);
}

TEST(StatusLineEndTest, KnownIndicatorsEndAtTheFirstLineEnd) {
    EXPECT_EQ(statusEnd("+OK 2 320\r\n+OK next\r\n"), 11);
    EXPECT_EQ(statusEnd("+ok fine\r\n"), 10);
    EXPECT_EQ(statusEnd("-eRr no\r\n"), 9);
    // Bare LF only when there is no CR LF anywhere.
    EXPECT_EQ(statusEnd("-ERR no\nmore"), 8);
    EXPECT_EQ(statusEnd("+OK a\nb\r\n"), 9);
    EXPECT_EQ(statusEnd("+OK no line end yet"), 0);
}

TEST(StatusLineEndTest, AnythingElseEndsWhereTheBytesEnd) {
    EXPECT_EQ(statusEnd("hello there"), 11);
    EXPECT_EQ(statusEnd("+OKAY\r\n"), 7);
    // A 255-character token is compared on its first 254 characters: never "+OK".
    std::string longToken = "+OK" + std::string(252, 'x') + " y\r\n+OK\r\n";
    EXPECT_EQ(statusEnd(longToken), static_cast<int>(longToken.size()));
}

TEST(TopBodyEndTest, RecognisesTheThreeTerminators) {
    EXPECT_EQ(bodyEnd("Subject: a\r\n\r\n.\r\n+OK"), 17);
    EXPECT_EQ(bodyEnd("Subject: a\n\n.\nmore"), 14);
    EXPECT_EQ(bodyEnd("Subject: a\r\r.\rmore"), 14);
    EXPECT_EQ(bodyEnd("Subject: a\r\n"), 0);
    // Dot-stuffed lines are not terminators.
    EXPECT_EQ(bodyEnd("a\r\n..\r\n"), 0);
    EXPECT_EQ(bodyEnd("a\r\n..\r\n.\r\n"), 10);
}

TEST(TopBodyEndTest, TriesThePatternsInOrderOverTheWholeBody) {
    // The bare-CR terminator comes first in the text but CR LF wins.
    EXPECT_EQ(bodyEnd("a\r.\rb\n.\r\n"), 9);
    // An unstuffed single dot ends the body at that line.
    EXPECT_EQ(bodyEnd("a\r\n.\r\nb\r\n.\r\n"), 6);
}

TEST(TopBodyEndTest, RecognisesAnEmptyBody) {
    EXPECT_EQ(bodyEnd(".\r\n"), 3);
    EXPECT_EQ(bodyEnd(".\r\n+OK next\r\n"), 3);
    EXPECT_EQ(bodyEnd(".\n"), 2);
    EXPECT_EQ(bodyEnd(".\rx"), 2);
    // ".\r" may still get its "\n": wait for it.
    EXPECT_EQ(bodyEnd(".\r"), 0);
    EXPECT_EQ(bodyEnd("."), 0);
    EXPECT_EQ(bodyEnd(".x\r\n"), 0);
}

TEST(TraceTextTest, MasksEveryLineWithPassAndCutsLongLines) {
    EXPECT_EQ(traceText("PASS secret\r\n"), "PASS xxxx");
    EXPECT_EQ(traceText("USER PASSenger\r\n"), "PASS xxxx");
    EXPECT_EQ(traceText("pass lower\r\n"), "pass lower\r\n");
    EXPECT_EQ(traceText("STAT\r\n"), "STAT\r\n");
    std::string longLine = "USER " + std::string(112, 'u') + "\r\n";
    EXPECT_EQ(traceText(longLine), longLine.substr(0, 117));
}

TEST(ApopTimestampTest, TakesFromTheFirstOpeningToTheFirstClosingBracket) {
    EXPECT_EQ(apopTimestamp("+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n"),
              "<1896.697170952@dbc.mtview.ca.us>");
    EXPECT_EQ(apopTimestamp("+OK <a<b>c> <d>\r\n"), "<a<b>");
    EXPECT_EQ(apopTimestamp("+OK a>b <c>\r\n"), "<c>");
    EXPECT_EQ(apopTimestamp("+OK <>\r\n"), "<>");
    EXPECT_FALSE(apopTimestamp("+OK ready\r\n"));
    EXPECT_FALSE(apopTimestamp("+OK ready>\r\n"));
}

TEST(ApopTimestampTest, UnclosedOrLongStamps) {
    // An unclosed stamp runs to the end of the greeting, line end included.
    EXPECT_EQ(apopTimestamp("+OK <abc@host\r\n"), "<abc@host\r\n");
    std::string longStamp = "<" + std::string(300, 's') + ">";
    EXPECT_EQ(apopTimestamp("+OK " + longStamp + "\r\n"), longStamp.substr(0, 199));
}

TEST(ApopDigestTest, MatchesTheExampleOfRfc1939) {
    EXPECT_EQ(apopDigest("<1896.697170952@dbc.mtview.ca.us>", "tanstaaf"),
              "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(ApopDigestTest, CoversTheWholeOfALongPassword) {
    std::string password;
    for (int i = 0; i < 180; ++i) {
        password += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(apopDigest("<1896.697170952@dbc.mtview.ca.us>", password),
              "28954ce7bf9393f5e6d03d53939461ec");
}

TEST(HostAndPortTest, SplitsAPortOffTheHost) {
    auto plain = splitHostAndPort("pop.example.com");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->name, "pop.example.com");
    EXPECT_EQ(plain->port, 0);

    auto withPort = splitHostAndPort("127.0.0.1:2110");
    ASSERT_TRUE(withPort);
    EXPECT_EQ(withPort->name, "127.0.0.1");
    EXPECT_EQ(withPort->port, 2110);

    EXPECT_EQ(splitHostAndPort("h:00110")->port, 110);
    EXPECT_EQ(splitHostAndPort("h:65535")->port, 65535);
    EXPECT_EQ(splitHostAndPort("h:1")->port, 1);
}

// Brackets set an IPv6 literal's colons apart from the port's; without them a text with more than
// one colon is a literal with no port.
TEST(HostAndPortTest, ReadsIpv6Literals) {
    const std::tuple<const char*, const char*, int> cases[] = {
        {"[::1]", "::1", 0},
        {"[::1]:1110", "::1", 1110},
        {"[2001:db8::1]:995", "2001:db8::1", 995},
        {"[fe80::1%lo]:110", "fe80::1%lo", 110},
        {"::1", "::1", 0},
        {"2001:db8::1:110", "2001:db8::1:110", 0},
    };
    for (const auto& [text, name, port] : cases) {
        auto split = splitHostAndPort(text);
        ASSERT_TRUE(split) << text;
        EXPECT_EQ(split->name, name) << text;
        EXPECT_EQ(split->port, port) << text;
    }
    for (const char* text : {"[::1", "[::1]x", "[::1]:", "[::1]:0", "[::1]:110:", "[]", "[]:110",
                             "[mail.example]", "[127.0.0.1]:110", "[::1]]:110", "[[::1]]"}) {
        EXPECT_FALSE(splitHostAndPort(text)) << text;
    }
}

TEST(HostAndPortTest, RefusesPortsThatAreNotAllDigitsOrOutOfRange) {
    for (const char* host :
         {"h:", "h:0", "h:65536", "h:99999999999", "h:-1", "h:+5", "h:12a", "h: 110", "h:110 "}) {
        EXPECT_FALSE(splitHostAndPort(host)) << host;
    }
}

} // namespace

TEST(UniqueIdLineTest, AcceptsOnlyANumberAndAUniqueIdOfPrintableCharacters) {
    using Parsed = std::optional<std::pair<long, std::string>>;
    EXPECT_EQ(parseUniqueIdLine("1 whqtswO00WBw418f9t5JxYwZ"),
              Parsed({1, "whqtswO00WBw418f9t5JxYwZ"}));
    EXPECT_EQ(parseUniqueIdLine("12  a~!\t"), Parsed({12, "a~!"}));
    EXPECT_EQ(parseUniqueIdLine("3 " + std::string(70, 'u')), Parsed({3, std::string(70, 'u')}));
    for (std::string bad :
         {std::string("3 ") + std::string(71, 'u'), std::string("0 a"), std::string("-1 a"),
          std::string("x a"), std::string("1"), std::string("1 "), std::string("1 a b"),
          std::string("1 a\x7f"), std::string("1 \xc3\xa9"), std::string("99999999999999999999 a"),
          std::string("1 a\0b", 5)})
        EXPECT_EQ(parseUniqueIdLine(bad), std::nullopt) << bad;
}
