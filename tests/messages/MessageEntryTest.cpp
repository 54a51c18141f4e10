#include "messages/MessageEntry.h"

#include <gtest/gtest.h>

using namespace toppeek::messages;

namespace {

std::optional<std::string> field(const char* name, std::string_view text) {
    std::string value = "stale";
    if (!findHeaderField(name, text, value)) {
        EXPECT_EQ(value, "");
        return std::nullopt;
    }
    return value;
}

TEST(HeaderLookup, NamesMatchCaseInsensitivelyButExactly) {
    const std::string block = "to: alice@example.com\r\nSubject : hi\r\nReply-To: r@x.org\r\n\r\n";
    EXPECT_EQ(field("To", block), "alice@example.com");
    EXPECT_EQ(field("Subject", block), std::nullopt); // blank before the colon
    auto entry = createMessageEntry(block);
    EXPECT_EQ(entry->to, "alice@example.com");
    EXPECT_EQ(entry->subject, std::nullopt);
}

TEST(HeaderLookup, FirstFieldWinsAndEmptyDiffersFromAbsent) {
    const std::string block = "From: first@a.org\r\nFrom: second@b.org\r\nSubject:\r\n\r\n";
    auto entry = createMessageEntry(block);
    EXPECT_EQ(entry->from, "first@a.org");
    EXPECT_EQ(entry->subject, "");
    EXPECT_EQ(entry->to, std::nullopt);
    EXPECT_EQ(entry->date, MailDate{});
    EXPECT_EQ(entry->headerText, block);
    EXPECT_EQ(entry->body, std::nullopt);
    EXPECT_FALSE(entry->bodyLoaded);
}

TEST(HeaderLookup, LfOnlyBlockYieldsNothing) {
    auto entry = createMessageEntry("Date: Fri, 5 Mar 2010 09:07:09 +0100\nTo: a@b.org\n"
                                    "From: c@d.org\nSubject: s\n\n");
    EXPECT_EQ(entry->to, std::nullopt);
    EXPECT_EQ(entry->from, std::nullopt);
    EXPECT_EQ(entry->subject, std::nullopt);
    EXPECT_EQ(entry->date, MailDate{});
}

TEST(HeaderLookup, OverlongLineHidesLaterFields) {
    const std::string fits =
        "From: a@b.org\r\nReceived: " + std::string(8047, 'x') + "\r\nSubject: after\r\n\r\n";
    EXPECT_EQ(field("Subject", fits), "after");
    const std::string hides =
        "From: a@b.org\r\nReceived: " + std::string(8048, 'x') + "\r\nSubject: after\r\n\r\n";
    EXPECT_EQ(field("From", hides), "a@b.org");
    EXPECT_EQ(field("Subject", hides), std::nullopt);
    // A name of 250 characters is no name either.
    EXPECT_EQ(field("Subject", std::string(250, 'n') + ": v\r\nSubject: s\r\n"), std::nullopt);
    EXPECT_EQ(field(std::string(249, 'n').c_str(), std::string(249, 'n') + ": v\r\n"), "v");
}

TEST(HeaderLookup, FoldedLinesJoinWithOneSpace) {
    EXPECT_EQ(field("Subject", "Subject: one  \r\n\ttwo\r\n   three\r\nTo: x\r\n"),
              "one two three");
    EXPECT_EQ(field("Subject", "Subject:\r\n folded only\r\n\r\n"), "folded only");
    // Each line stays within the limit, the joined value is cut to it.
    const std::string line(5000, 'y');
    auto value = field("Subject", "Subject: " + line + "\r\n " + line + "\r\n\r\n");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->size(), 8047u);
    // A folded line without its CR ends the lookup like any other line.
    EXPECT_EQ(field("Subject", "Subject: a\r\n b"), std::nullopt);
}

TEST(HeaderLookup, DamagedBlocksAreSafe) {
    EXPECT_EQ(field("To", ""), std::nullopt);
    EXPECT_EQ(field("To", "To: x"), std::nullopt); // no CR at the end
    EXPECT_EQ(field("To", "To: x\r"), "x");        // lone CR as the last byte
    EXPECT_EQ(field("To", "no colon at all"), std::nullopt);
    EXPECT_EQ(field("To", std::string("To\0X: y\r\n", 9)), std::nullopt);
    auto entry = createMessageEntry(std::string_view("Subject: a\0b\r\n", 14));
    EXPECT_EQ(entry->headerText.size(), 14u);
}

TEST(HeaderLookup, UnparsableDateGivesNow) {
    MailDate now;
    setMailDateToNow(now);
    for (const char* block : {"Date:   \r\n\r\n", "Date: yesterday\r\n\r\n"}) {
        auto entry = createMessageEntry(block);
        EXPECT_GE(entry->date.year, now.year) << block;
        EXPECT_GE(entry->date.month, 1) << block;
    }
}

TEST(BodyStart, FirstBlankLine) {
    EXPECT_EQ(findBodyStart("Abcd\r\n\r\nbody\r\n\r\nmore"), 8);
    EXPECT_EQ(findBodyStart("Abcd\n\nbody"), 6);
    EXPECT_EQ(findBodyStart("Abcd\r\nbody\r\n"), -1);
    EXPECT_EQ(findBodyStart(""), -1);
}

} // namespace
