#include "storage/AccountTags.h"

#include <gtest/gtest.h>

#include <vector>

using namespace toppeek::storage;

namespace {

void addAccount(AccountList& accounts, std::int16_t tag) {
    auto account = newAccount();
    account->accountTag = tag;
    accounts.append(account.release());
}

std::vector<int> tagsOf(const AccountList& accounts) {
    std::vector<int> tags;
    for (const Account* account : accounts)
        tags.push_back(account->accountTag);
    return tags;
}

} // namespace

// An older file gives every account 0; the first holder keeps a tag, later sharers get the
// smallest free ones, and tags already apart stay as they are.
TEST(AccountTags, SharedTagsBecomeFreeOnesAndTheFirstHolderKeepsItsOwn) {
    AccountList accounts(20, 5, AccountList::deleter());
    for (std::int16_t tag : {0, 0, 2, 0, -3, 2})
        addAccount(accounts, tag);
    EXPECT_EQ(giveAccountsOwnTags(accounts), 3);
    EXPECT_EQ(tagsOf(accounts), (std::vector<int>{0, 1, 2, 3, -3, 4}));
    EXPECT_EQ(giveAccountsOwnTags(accounts), 0);
    EXPECT_EQ(freeAccountTag(accounts), std::optional<std::int16_t>(5));
    ASSERT_NE(accountWithTag(accounts, static_cast<std::uint16_t>(-3)), nullptr);
    EXPECT_EQ(accountWithTag(accounts, static_cast<std::uint16_t>(-3)), accounts.at(4));
    EXPECT_EQ(accountWithTag(accounts, 9), nullptr);
}
