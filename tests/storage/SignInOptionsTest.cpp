// An account's OAuth2 sign-in in the settings file: kept in the reserved texts, read back into
// the account, and invisible to the file's layout, so that older versions read it as before.

#include "storage/SignInOptions.h"
#include "core/RecordStream.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

namespace {

using namespace toppeek::storage;

std::unique_ptr<Account> account(const std::string& address) {
    auto made = newAccount();
    made->address = address;
    made->host = "pop3s://pop.example.com";
    made->userName = address;
    return made;
}

TEST(SignInOptions, OAuth2AccountsSurviveASaveAndLoadBesideTheOtherOptions) {
    toppeek::test::TemporaryFolder folder;
    const std::string path = (folder.path() / "settings").string();
    Settings saved;
    saved.reservedText1 = "check-every=15";
    auto google = account("reader@gmail.com");
    google->signIn = SignInMethod::OAuth2;
    google->oauth = {"google", "1234-abc.apps.googleusercontent.com", "GOCSPX-secret", "", "", ""};
    auto other = account("me@example.org");
    other->signIn = SignInMethod::OAuth2;
    other->oauth = {
        "other",      "client", "", "https://id.example.org/auth", "https://id.example.org/token",
        "openid pop3"};
    saved.accounts.append(google.release());
    saved.accounts.append(account("plain@example.net").release());
    saved.accounts.append(other.release());
    ASSERT_TRUE(saveSettings(path, saved));

    Settings loaded;
    ASSERT_TRUE(loadSettings(path, loaded));
    ASSERT_EQ(loaded.accounts.count(), 3);
    const Account& first = *loaded.accounts.at(0);
    EXPECT_EQ(first.signIn, SignInMethod::OAuth2);
    EXPECT_EQ(first.oauth.clientId, "1234-abc.apps.googleusercontent.com");
    EXPECT_EQ(first.oauth.clientSecret, "GOCSPX-secret");
    EXPECT_EQ(loaded.accounts.at(1)->signIn, SignInMethod::Password);
    const Account& third = *loaded.accounts.at(2);
    EXPECT_EQ(third.oauth.tokenUrl, "https://id.example.org/token");
    EXPECT_EQ(third.oauth.scope, "openid pop3");
    EXPECT_TRUE(third.oauth.clientSecret.empty());
    // The in-memory texts hold the other options only, so nothing is written twice.
    EXPECT_EQ(loaded.reservedText1, "check-every=15");
    EXPECT_EQ(reservedTextsForFile(loaded), reservedTextsForFile(saved));
}

TEST(SignInOptions, LinesThatFindNoRoomAreCountedAndTheTextsStayWithinTheirLimits) {
    Settings settings;
    for (int i = 0; i < 20; ++i) {
        auto made = account("user" + std::to_string(i) + "@outlook.com");
        made->signIn = SignInMethod::OAuth2;
        made->oauth = {"microsoft", "00000000-1111-2222-3333-444444444444", "", "", "", ""};
        settings.accounts.append(made.release());
    }
    int dropped = 0;
    const auto texts = reservedTextsForFile(settings, &dropped);
    EXPECT_GT(dropped, 0);
    EXPECT_LE(texts[0].size(), static_cast<std::size_t>(Settings::maxReservedText1Length));
    for (std::size_t i = 1; i < texts.size(); ++i)
        EXPECT_LE(texts[i].size(), static_cast<std::size_t>(Settings::maxReservedTextLength));
}

} // namespace
