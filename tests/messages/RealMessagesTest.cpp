// Real e-mail messages (see tests/data/messages/LICENSE) turned into the
// header block a POP3 server returns for TOP n 0.
#include "messages/Address.h"
#include "messages/Filters.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace toppeek::messages;

namespace {

const std::filesystem::path dataDir = std::filesystem::path(TOPPEEK_TEST_DATA_DIR) / "messages";

// The header lines with CR LF ends, the blank line and the terminating dot.
std::string topReply(const std::string& name) {
    std::ifstream in(dataDir / name, std::ios::binary);
    std::string line;
    std::string block;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            break;
        block += line + "\r\n";
    }
    return block + "\r\n.\r\n";
}

struct Expected {
    const char* file;
    MailDate date; // all zero: no Date field
    const char* from;
    const char* sender; // first valid address of From, "" when none
};

constexpr MailDate d(int day, int month, int year, int h, int m, int s) {
    return MailDate{static_cast<std::uint8_t>(day),  static_cast<std::uint8_t>(month),
                    static_cast<std::int16_t>(year), static_cast<std::uint8_t>(h),
                    static_cast<std::uint8_t>(m),    static_cast<std::uint8_t>(s)};
}

const Expected messages[] = {
    {"msg_01.txt", d(4, 5, 2001, 14, 5, 44), "bbb@ddd.com (John X. Doe)", "bbb@ddd.com"},
    {"msg_02.txt", d(20, 4, 2001, 20, 18, 0), "ppp-request@zzz.org", "ppp-request@zzz.org"},
    {"msg_04.txt", d(11, 9, 2001, 0, 5, 5), "barry@python.org (Barry A. Warsaw)",
     "barry@python.org"},
    {"msg_05.txt", {}, "foo", ""},
    {"msg_07.txt", d(20, 4, 2001, 19, 35, 2), "Barry <barry@digicool.com>", "barry@digicool.com"},
    {"msg_11.txt", {}, nullptr, ""},
    {"msg_16.txt", d(23, 9, 2001, 20, 14, 35), "Internet Mail Delivery <postmaster@ucla.edu>",
     "postmaster@ucla.edu"},
    {"msg_22.txt", d(16, 10, 2001, 13, 59, 25), "b@example.com", "b@example.com"},
    {"msg_25.txt", d(6, 4, 2001, 9, 23, 6),
     "Mail Delivery Subsystem <MAILER-DAEMON@zinfandel.lacita.com>",
     "MAILER-DAEMON@zinfandel.lacita.com"},
    {"msg_26.txt", d(12, 5, 2002, 8, 56, 15), "Father Time <father.time@xcar.wooster.local>",
     "father.time@xcar.wooster.local"},
    {"msg_36.txt", d(22, 12, 1998, 16, 55, 6), "Internet-Drafts@ietf.org",
     "Internet-Drafts@ietf.org"},
    {"msg_41.txt", d(11, 7, 2004, 16, 9, 27), "\"Allison Dunlap\" <xxx@example.com>",
     "xxx@example.com"},
    {"msg_43.txt", d(26, 11, 2004, 19, 41, 44), "MAILER DAEMON <>", ""},
    {"msg_45.txt", {}, "<foo@bar.baz>", "foo@bar.baz"},
    {"msg_46.txt", d(1, 2, 2010, 12, 21, 16), "\"Sender\" <sender@example.net>",
     "sender@example.net"},
};

TEST(RealMessages, EveryMessageYieldsItsEntry) {
    for (const Expected& m : messages) {
        SCOPED_TRACE(m.file);
        const std::string reply = topReply(m.file);
        ASSERT_GT(reply.size(), 20u) << "test data missing in " << dataDir;
        auto entry = createMessageEntry(reply);
        EXPECT_EQ(entry->date, m.date);
        EXPECT_EQ(entry->from, m.from ? std::optional<std::string>(m.from) : std::nullopt);
        EXPECT_EQ(entry->headerText, reply);
        std::string sender;
        std::size_t position = 0;
        if (entry->from)
            findFirstAddress(sender, 100, *entry->from, position);
        EXPECT_EQ(sender, m.sender);
    }
}

TEST(RealMessages, FoldedAndRepeatedFields) {
    auto entry = createMessageEntry(topReply("msg_25.txt"));
    EXPECT_EQ(entry->to, "<linuxuser-admin@www.linux.org.uk>"); // the first of two To fields
    EXPECT_EQ(entry->subject->substr(0, 32), "Returned mail: Too many hops 19 ");
    std::string value;
    ASSERT_TRUE(findHeaderField("X-Long-Line", topReply("msg_45.txt"), value));
    EXPECT_EQ(value, "Some really long line contains a lot of text and thus has to be rewrapped "
                     "because it is some really long line");
}

TEST(RealMessages, FiltersOverRealMessages) {
    auto filters = createFilters();
    filters->bannedDomains.add("ucla.edu");
    filters->bannedEnabled = 1;
    auto list = createMessageList();
    for (const Expected& m : messages)
        list->append(createMessageEntry(topReply(m.file)).release());
    EXPECT_EQ(applyFilters(*list, *filters), 1);
    EXPECT_EQ(markNotAddressed(*list, "me@python.org"), list->count() - 2); // msg_04 and msg_43
}

} // namespace
