// The words of the new-mail notice.
#include "shell/DesktopNotifier.h"

#include <gtest/gtest.h>

using toppeek::shell::newMailNotice;

TEST(NewMailNotice, CountsEveryAccountWithNewMessagesAndTheSpamAmongThem) {
    EXPECT_FALSE(newMailNotice({}));
    EXPECT_FALSE(newMailNotice({{"a@example.org", 0, 0}}));

    const auto one = newMailNotice({{"a@example.org", 1, 0}, {"b@example.org", 0, 0}});
    ASSERT_TRUE(one);
    EXPECT_EQ(one->summary, "1 new message");
    EXPECT_EQ(one->body, "a@example.org: 1");

    const auto three = newMailNotice(
        {{"a@example.org", 2, 1}, {"quiet@example.org", 0, 0}, {"b@example.org", 1, 0}});
    ASSERT_TRUE(three);
    EXPECT_EQ(three->summary, "3 new messages");
    EXPECT_EQ(three->body, "a@example.org: 2, 1 marked as spam\nb@example.org: 1");
}
