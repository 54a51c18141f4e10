#include "messages/Address.h"

#include <gtest/gtest.h>

using namespace toppeek::messages;

namespace {

std::optional<std::string> firstAddress(const std::string& text, int size = 100) {
    std::string address = "stale";
    std::size_t position = 0;
    if (!findFirstAddress(address, size, text, position)) {
        EXPECT_EQ(address, "");
        return std::nullopt;
    }
    return address;
}

TEST(Addresses, FirstValidTokenWins) {
    EXPECT_EQ(firstAddress("\"Doe, John\" <John.Doe@Example.COM>"), "John.Doe@Example.COM");
    EXPECT_EQ(firstAddress("bbb@ddd.com (John X. Doe)"), "bbb@ddd.com");
    EXPECT_EQ(firstAddress("a@@b.org, x@y, z@w., q@1a.org, last@a1.org"), "last@a1.org");
    EXPECT_EQ(firstAddress("MAILER DAEMON <>"), std::nullopt);
    EXPECT_EQ(firstAddress(""), std::nullopt);
    EXPECT_EQ(firstAddress("caf\xE9@x.org b\xE9@y.org"), std::nullopt); // 8-bit bytes separate
}

TEST(Addresses, Validity) {
    for (const char* good :
         {"a@b.co", "first.last+tag@sub.example-1.org", "!#$%&'*/=?^_`{|}~-@a.b", "u@A1.B2"})
        EXPECT_TRUE(isValidAddress(good)) << good;
    for (const char* bad :
         {"", "plain", "@a.org", "a@b", "a@b.org.", "a.@b.org", ".a@b.org", "a..b@c.org",
          "a@b@c.org", "a@1b.org", "a@b-.org", "a@.org", "a b@c.org", "a@b_c.org"})
        EXPECT_FALSE(isValidAddress(bad)) << bad;
}

TEST(Addresses, AccountAddressMayCarryAComment) {
    for (const char* good : {"demo@example.org (STARTTLS)", "a@b.co(work)", "a@b.co", "a@b.co ()"})
        EXPECT_TRUE(isValidAccountAddress(good)) << good;
    for (const char* bad : {"(STARTTLS)", "demo (x)", "a@b.co (x", "a@b.co (x) y", "a@b.co (x(y))",
                            "a@b.co (x\r\ny)", "a@b (x)"})
        EXPECT_FALSE(isValidAccountAddress(bad)) << bad;
}

TEST(Addresses, OverlongTokenContinuesAsNextToken) {
    const std::string text = "abcdefghij@x.org next";
    std::string token;
    std::size_t position = 0;
    ASSERT_TRUE(nextAddressToken(token, 6, text, position));
    EXPECT_EQ(token, "abcde");
    EXPECT_EQ(position, 5u);
    ASSERT_TRUE(nextAddressToken(token, 6, text, position));
    EXPECT_EQ(token, "fghij");
    // The cut-off remainder is examined by findFirstAddress as well.
    EXPECT_EQ(firstAddress("zzzzzzzzzzzzzzzzz@x.org", 11), std::nullopt);
    EXPECT_EQ(firstAddress("zzzzzzzzzza@x.org", 11), "a@x.org");
    // A buffer without room for a character produces nothing, and ends.
    EXPECT_EQ(firstAddress("a@b.org", 1), std::nullopt);
}

TEST(Addresses, DomainKeepsCaseAndLimit) {
    std::string domain;
    EXPECT_TRUE(domainOf(domain, 100, "u@Mail.Example.ORG"));
    EXPECT_EQ(domain, "Mail.Example.ORG");
    EXPECT_TRUE(domainOf(domain, 5, "u@abcdefgh"));
    EXPECT_EQ(domain, "abcd");
    EXPECT_FALSE(domainOf(domain, 100, "no-at-sign"));
    EXPECT_EQ(domain, "");
}

} // namespace
