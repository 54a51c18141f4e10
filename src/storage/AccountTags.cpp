#include "storage/AccountTags.h"

#include <bitset>
#include <memory>

namespace toppeek::storage {

namespace {

constexpr std::size_t kTagValues = std::size_t{1} << 16;

std::size_t slotOf(std::int16_t tag) {
    return static_cast<std::uint16_t>(tag);
}

std::optional<std::int16_t> firstFree(const std::bitset<kTagValues>& taken) {
    // Non-negative tags first, as older versions made them; negative ones only once those run out.
    for (std::size_t slot = 0; slot < kTagValues; ++slot)
        if (!taken[slot])
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(slot));
    return std::nullopt;
}

} // namespace

std::optional<std::int16_t> freeAccountTag(const AccountList& accounts) {
    auto taken = std::make_unique<std::bitset<kTagValues>>();
    for (const Account* account : accounts)
        taken->set(slotOf(account->accountTag));
    return firstFree(*taken);
}

int giveAccountsOwnTags(AccountList& accounts) {
    auto taken = std::make_unique<std::bitset<kTagValues>>();
    for (const Account* account : accounts)
        taken->set(slotOf(account->accountTag));
    auto seen = std::make_unique<std::bitset<kTagValues>>();
    int changed = 0;
    for (Account* account : accounts) {
        if (!seen->test(slotOf(account->accountTag))) {
            seen->set(slotOf(account->accountTag));
            continue;
        }
        const std::optional<std::int16_t> tag = firstFree(*taken);
        if (!tag)
            break;
        account->accountTag = *tag;
        taken->set(slotOf(*tag));
        seen->set(slotOf(*tag));
        ++changed;
    }
    return changed;
}

const Account* accountWithTag(const AccountList& accounts, std::uint16_t tag) {
    for (const Account* account : accounts)
        if (static_cast<std::uint16_t>(account->accountTag) == tag)
            return account;
    return nullptr;
}

} // namespace toppeek::storage
