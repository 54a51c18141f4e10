// Account tags: the number every listed message carries to say which account it was read from.
// Files written before one list could hold several accounts give every account the tag 0, and an
// account made in the preferences starts with 0 as well; a list that mixes accounts needs each
// tag to name one account only. The settings file keeps the tags where it always has.
#pragma once

#include "storage/Settings.h"

#include <cstdint>
#include <optional>

namespace toppeek::storage {

// The smallest tag, from 0 upwards, that no account of the list holds; none when every 16-bit
// value is taken.
std::optional<std::int16_t> freeAccountTag(const AccountList& accounts);

// Gives each account whose tag an earlier account of the list already holds the smallest free
// tag; the first holder keeps its tag, so messages listed under it still name it. Returns how
// many accounts changed.
int giveAccountsOwnTags(AccountList& accounts);

// The account of the list holding tag; null when none does.
const Account* accountWithTag(const AccountList& accounts, std::uint16_t tag);

} // namespace toppeek::storage
