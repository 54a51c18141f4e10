// The provider table that the settings search and the OAuth2 presets share.

#include "mail/Providers.h"

#include <gtest/gtest.h>

namespace {

using namespace toppeek::mail;

TEST(MailProviderTable, CountryDomainPatternsAndPresetsAgree) {
    const MailProvider* outlook = mailProviderForDomain("outlook.com");
    ASSERT_NE(outlook, nullptr);
    for (const char* domain : {"Hotmail.co.UK.", "hotmail.com.br", "live.nl", "msn.com"})
        EXPECT_EQ(mailProviderForDomain(domain), outlook) << domain;
    // A company's own subdomain named like the pattern is not Microsoft's.
    for (const char* domain : {"hotmail", "hotmail.", "live.example.org", "mail.live.com",
                               "livex.com", "hotmail.co.uk.example"})
        EXPECT_EQ(mailProviderForDomain(domain), nullptr) << domain;

    // Every preset belongs to a provider whose POP3 server takes it, over TLS on 995.
    ASSERT_FALSE(oauthPresets().empty());
    for (const OAuthPreset* preset : oauthPresets()) {
        EXPECT_EQ(oauthPreset(preset->key), preset);
        const MailProvider* provider = providerSigningInWith(*preset);
        ASSERT_NE(provider, nullptr) << preset->key;
        EXPECT_TRUE(provider->offersPop3());
        EXPECT_EQ(provider->security, Security::Tls);
        EXPECT_EQ(provider->port, kPop3sPort);
        EXPECT_TRUE(preset->authorizationUrl.starts_with("https://"));
        EXPECT_TRUE(preset->tokenUrl.starts_with("https://"));
    }
    EXPECT_EQ(outlook->oauth, oauthPreset("microsoft"));
    EXPECT_EQ(mailProviderForDomain("googlemail.com")->oauth, oauthPreset("google"));
    EXPECT_EQ(mailProviderForDomain("yahoo.com")->oauth, nullptr);
    EXPECT_EQ(oauthPreset("other"), nullptr);
}

} // namespace
