#pragma once

// Where an account's OAuth2 settings lead: its provider's preset endpoints, or the ones it names.

#include "signin/OAuthProviders.h"
#include "storage/Settings.h"

namespace toppeek::signin {

// The setup of the account's sign-in: a preset provider's endpoints and scope, an Other
// provider's from the account; the account's client ID and secret, else the ones built in.
OAuthSetup oauthSetupOf(const storage::Account& account);

} // namespace toppeek::signin
