#include "signin/AccountSetup.h"

namespace toppeek::signin {

OAuthSetup oauthSetupOf(const storage::Account& account) {
    const storage::OAuthSettings& oauth = account.oauth;
    OAuthSetup setup = presetFor(providerFromKey(oauth.provider).value_or(ProviderKind::Other));
    if (setup.kind == ProviderKind::Other) {
        setup.authorizationUrl = oauth.authorizationUrl;
        setup.tokenUrl = oauth.tokenUrl;
        setup.scope = oauth.scope;
    }
    if (!oauth.clientId.empty()) {
        setup.clientId = oauth.clientId;
        setup.clientSecret = oauth.clientSecret;
    }
    return setup;
}

} // namespace toppeek::signin
