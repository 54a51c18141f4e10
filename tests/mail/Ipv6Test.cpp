// IPv6 against a real server: Dovecot listening on ::1 besides 127.0.0.1, reached through the
// host texts an account may hold, and through a name whose addresses include ones that refuse.

#include "mail/Pop3.h"
#include "support/DovecotServer.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <string>
#include <vector>

namespace {

using namespace toppeek::mail;
using toppeek::test::DovecotServer;

const std::string kPassword = "six-Six6";

TEST(Ipv6Login, ReachesDovecotOnTheIpv6Loopback) {
    if (!toppeek::test::hasIpv6Loopback())
        GTEST_SKIP() << "this machine has no IPv6 loopback address ::1";
    startConnectionLayer();
    DovecotServer server;
    server.alsoListenOnIpv6Loopback();
    server.addUser("reader", kPassword);
    server.addMessage("reader", "From: a@example.org\nSubject: Over IPv6\n\nBody\n");
    server.addMessage("reader", "From: b@example.org\nSubject: Second\n\nBody\n");
    ASSERT_TRUE(server.start()) << server.failure();
    const std::string port = std::to_string(server.port());

    // The name's first address has no server; the second, ::1, has.
    setNameLookup([](const std::string&) {
        return AddressList{IpAddress::fromIpv4(htonl(0x7F0000FE)), *parseIpv6Literal("::1")};
    });
    for (const std::string& host : {"[::1]:" + port, "both.example:" + port}) {
        ConnectionControl control;
        control.timeoutSeconds = 15;
        std::vector<std::string> connected;
        control.statusCallback = [&connected](ConnectionControl& c) {
            if (c.status == ConnectStatus::Connected)
                connected.push_back(c.statusText);
        };
        Pop3Session session;
        ASSERT_EQ(pop3LoginApop(session, host, "reader", kPassword, control), kLoginOk) << host;
        EXPECT_EQ(connected, std::vector<std::string>{"::1"}) << host;
        long count = 0;
        long octets = 0;
        EXPECT_TRUE(pop3Stat(session, count, octets));
        EXPECT_EQ(count, 2);
        std::vector<char> top(4096);
        ASSERT_TRUE(pop3Top(session, 1, 0, top.data(), static_cast<int>(top.size())));
        EXPECT_NE(std::string(top.data()).find("Subject: Over IPv6\r\n"), std::string::npos);
        EXPECT_TRUE(pop3Quit(session));
        session.close();
    }
    setNameLookup({});
}

} // namespace
