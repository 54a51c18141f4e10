// The account's host text as the account editor writes it: security, name and port composed
// into the one text that the log-in reads back.

#include "mail/Pop3.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

using namespace toppeek::mail;

// The host text read back: its scheme says how the connection is secured.
TEST(ServerAddressTest, SchemesPortsAndPlainHosts) {
    auto tls = parseServerAddress("pop3s://mail.example.com");
    ASSERT_TRUE(tls);
    EXPECT_EQ(tls->security, Security::Tls);
    EXPECT_EQ(tls->target.name, "mail.example.com");
    EXPECT_EQ(tls->target.port, 0);

    auto startTls = parseServerAddress("POP3+STLS://mail.example.com:1110");
    ASSERT_TRUE(startTls);
    EXPECT_EQ(startTls->security, Security::StartTls);
    EXPECT_EQ(startTls->target.name, "mail.example.com");
    EXPECT_EQ(startTls->target.port, 1110);

    // Without a scheme the text means what it always did.
    auto plain = parseServerAddress("mail.example.com:2110");
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->security, Security::None);
    EXPECT_EQ(plain->target.name, "mail.example.com");
    EXPECT_EQ(plain->target.port, 2110);

    EXPECT_FALSE(parseServerAddress("imaps://mail.example.com"));
    EXPECT_FALSE(parseServerAddress("pop3s://"));
    EXPECT_FALSE(parseServerAddress("pop3s://mail.example.com:0"));
    EXPECT_FALSE(parseServerAddress("pop3+stls://mail.example.com:pop"));
}

// The port is written only when it is not the one the security goes to anyway, so that a
// plain account on the usual port keeps the bare name it always had.
TEST(ServerAddressTest, WritesTheSchemeAndOnlyAPortThatDiffers) {
    const int plain = defaultServerPort(Security::None);
    EXPECT_EQ(formatServerAddress(Security::None, "mail.example.org", plain), "mail.example.org");
    EXPECT_EQ(formatServerAddress(Security::None, "mail.example.org", 995), "mail.example.org:995");
    EXPECT_EQ(formatServerAddress(Security::Tls, "mail.example.org", 995),
              "pop3s://mail.example.org");
    EXPECT_EQ(formatServerAddress(Security::Tls, "mail.example.org", plain),
              "pop3s://mail.example.org:" + std::to_string(plain));
    EXPECT_EQ(formatServerAddress(Security::StartTls, "10.0.0.1", plain), "pop3+stls://10.0.0.1");
    EXPECT_EQ(formatServerAddress(Security::StartTls, "10.0.0.1", 1110),
              "pop3+stls://10.0.0.1:1110");
    // A plain account may have no host at all.
    EXPECT_EQ(formatServerAddress(Security::None, "", plain), "");
}

TEST(ServerAddressTest, RefusesWhatWouldReadBackDifferently) {
    // The last colon would be taken for the port's separator, or spoil the port; only an IPv6
    // literal may hold colons (it is written in brackets).
    EXPECT_FALSE(formatServerAddress(Security::None, "mail:2110", 110));
    EXPECT_FALSE(formatServerAddress(Security::None, "::1:x", 110));
    EXPECT_FALSE(formatServerAddress(Security::None, "[::1]", 110));
    EXPECT_FALSE(formatServerAddress(Security::Tls, "pop3s://mail", 995));
    // A secured connection needs a name to check the certificate against.
    EXPECT_FALSE(formatServerAddress(Security::Tls, "", 995));
    EXPECT_FALSE(formatServerAddress(Security::StartTls, "", 1110));
    EXPECT_FALSE(formatServerAddress(Security::None, "mail", 0));
    EXPECT_FALSE(formatServerAddress(Security::None, "mail", 65536));
    EXPECT_FALSE(formatServerAddress(Security::None, "mail", -110));
}

TEST(ServerAddressTest, EveryFormReadsBackAsWritten) {
    const int plain = defaultServerPort(Security::None);
    for (Security security : {Security::None, Security::Tls, Security::StartTls}) {
        for (const char* name : {"mail.example.org", "127.0.0.1", "x", "", "::1", "2001:db8::1"}) {
            for (int port : {1, plain, kPop3sPort, 2110, 65535}) {
                std::optional<std::string> text = formatServerAddress(security, name, port);
                if (security != Security::None && *name == '\0') {
                    EXPECT_FALSE(text);
                    continue;
                }
                ASSERT_TRUE(text) << name << ' ' << port;
                std::optional<ServerAddress> parsed = parseServerAddress(*text);
                ASSERT_TRUE(parsed) << *text;
                EXPECT_EQ(parsed->security, security) << *text;
                EXPECT_EQ(parsed->target.name, name) << *text;
                EXPECT_EQ(serverPort(*parsed), port) << *text;
            }
        }
    }
}

// Texts written by hand, in any of the forms the log-in reads, come back to the same text once
// their parts are composed again, up to the case of the scheme and a port that says the default.
TEST(ServerAddressTest, HandWrittenTextsComposeToTheirCanonicalForm) {
    const std::tuple<const char*, const char*> cases[] = {
        {"mail.example.org", "mail.example.org"},
        {"mail.example.org:2110", "mail.example.org:2110"},
        {"POP3S://Mail.Example.org", "pop3s://Mail.Example.org"},
        {"pop3s://mail.example.org:995", "pop3s://mail.example.org"},
        {"pop3s://mail.example.org:0995", "pop3s://mail.example.org"},
        {"Pop3+Stls://mail.example.org:1110", "pop3+stls://mail.example.org:1110"},
        {"[::1]:1110", "[::1]:1110"},
        {"pop3s://[2001:db8::1]", "pop3s://[2001:db8::1]"},
        {"pop3s://[2001:db8::1]:995", "pop3s://[2001:db8::1]"},
        {"pop3+stls://[::1]", "pop3+stls://[::1]"},
        // Without brackets an IPv6 literal takes the whole text and so the default port.
        {"::1", "[::1]"},
        {"pop3s://2001:db8::995", "pop3s://[2001:db8::995]"},
    };
    for (const auto& [written, composed] : cases) {
        std::optional<ServerAddress> parsed = parseServerAddress(written);
        ASSERT_TRUE(parsed) << written;
        EXPECT_EQ(formatServerAddress(parsed->security, parsed->target.name, serverPort(*parsed)),
                  composed)
            << written;
    }
}

} // namespace
