// An account's OAuth2 sign-in in the settings file: kept in the reserved texts, read back into
// the account, and invisible to the file's layout, so that older versions read it as before.

#include "storage/SignInOptions.h"
#include "core/RecordStream.h"
#include "storage/AccountOptions.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>

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
    EXPECT_LE(texts[0].size(), static_cast<std::size_t>(Settings::kMaxReservedText1Length));
    for (std::size_t i = 1; i < texts.size(); ++i)
        EXPECT_LE(texts[i].size(), static_cast<std::size_t>(Settings::kMaxReservedTextLength));
}

// What the account editor asks before it takes an OAuth2 sign-in: whether the file would keep
// it, without pushing out another account's, and never at the cost of the other options.
TEST(SignInOptions, RoomForAnEditedSignInIsJudgedAgainstEveryOtherLine) {
    Settings settings;
    settings.reservedText1 = "check-every=15";
    auto outlook = [](int i) {
        auto made = account("user" + std::to_string(i) + "@outlook.com");
        made->signIn = SignInMethod::OAuth2;
        made->oauth = {"microsoft", "00000000-1111-2222-3333-444444444444", "", "", "", ""};
        return made;
    };
    int dropped = 0;
    while (true) {
        auto next = outlook(settings.accounts.count());
        if (signInRoomFor(settings, nullptr, *next) != SignInRoom::Fits)
            break;
        settings.accounts.append(next.release());
    }
    reservedTextsForFile(settings, &dropped);
    EXPECT_EQ(dropped, 0) << "every line taken in was kept";
    ASSERT_GT(settings.accounts.count(), 2);

    // Full: a password account may still be added, and an OAuth2 one edited in place if its
    // line grows no longer; a longer line or one more account is refused.
    EXPECT_EQ(signInRoomFor(settings, nullptr, *account("plain@example.net")), SignInRoom::Fits);
    const Account* first = settings.accounts.at(0);
    auto edited = cloneAccount(*first);
    edited->oauth.clientId = "11111111-1111-2222-3333-444444444444";
    EXPECT_EQ(signInRoomFor(settings, first, *edited), SignInRoom::Fits);
    edited->oauth.clientSecret = std::string(120, 's');
    EXPECT_EQ(signInRoomFor(settings, first, *edited), SignInRoom::NoRoom);
    edited->oauth.clientSecret = "two words";
    EXPECT_EQ(signInRoomFor(settings, first, *edited), SignInRoom::NotAField);

    // The other options stay whole whatever the sign-ins need, and a long one that would push
    // a sign-in out is refused rather than have the save drop the sign-in.
    EXPECT_EQ(reservedTextsForFile(settings)[0].substr(0, 14), "check-every=15");
    const std::string before = settings.reservedText1;
    EXPECT_FALSE(setTrustedCertificate(settings, *first,
                                       {"outlook.office365.com", 995, std::string(64, 'a')}));
    EXPECT_EQ(settings.reservedText1, before);
    reservedTextsForFile(settings, &dropped);
    EXPECT_EQ(dropped, 0);
    Settings roomy;
    roomy.accounts.append(cloneAccount(*first).release());
    EXPECT_TRUE(
        setTrustedCertificate(roomy, *first, {"outlook.office365.com", 995, std::string(64, 'a')}));
}

// Without a keyring, a refresh token longer than the file's password field (Microsoft's run
// over a kilobyte) is kept whole beside the file, so that the account need not sign in anew at
// every start; the settings file itself keeps its layout and holds nothing of the token.
TEST(SignInOptions, LongRefreshTokenWithoutKeyringIsKeptBesideTheFileAndGoesWithTheKeyring) {
    toppeek::test::TemporaryFolder folder;
    const std::string path = folder.file("toppeek-settings.dat");
    const std::string secretsPath = folder.file("toppeek-settings-tokens.dat");
    EXPECT_EQ(longSecretsFilePath(path), secretsPath);
    std::string token;
    for (int i = 0; token.size() < 2048; ++i)
        token += "M.C5" + std::to_string(i * 7919) + "_BAY.";
    Settings saved;
    auto outlook = account("reader@outlook.com");
    outlook->signIn = SignInMethod::OAuth2;
    outlook->oauth = {"microsoft", "00000000-1111-2222-3333-444444444444", "", "", "", ""};
    outlook->password = token;
    saved.accounts.append(account("plain@example.net").release());
    saved.accounts.at(0)->password = "short secret";
    saved.accounts.append(outlook.release());
    ASSERT_TRUE(saveSettings(path, saved));

    // Nothing of the token in the settings file: it is smaller than the token alone.
    EXPECT_LT(std::filesystem::file_size(path), token.size());
    struct stat info {};
    ASSERT_EQ(::stat(secretsPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600);
    std::ifstream raw(secretsPath, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(raw), {}};
    EXPECT_EQ(bytes.find(token.substr(0, 16)), std::string::npos) << "kept scrambled";

    Settings loaded;
    ASSERT_TRUE(loadSettings(path, loaded));
    ASSERT_EQ(loaded.accounts.count(), 2);
    EXPECT_EQ(loaded.accounts.at(0)->password, "short secret");
    EXPECT_EQ(loaded.accounts.at(1)->password, token);
    EXPECT_TRUE(loaded.accounts.at(1)->passwordKnown);

    // Without the file beside it (as an older version leaves things, or after a copy of the
    // settings file alone) the account is one that signs in anew, not a broken one.
    std::filesystem::copy_file(secretsPath, folder.file("kept"));
    std::filesystem::remove(secretsPath);
    Settings alone;
    ASSERT_TRUE(loadSettings(path, alone));
    EXPECT_TRUE(alone.accounts.at(1)->password.empty());
    EXPECT_TRUE(alone.accounts.at(1)->passwordKnown);
    std::filesystem::rename(folder.file("kept"), secretsPath);

    // A token the user chose not to keep is not written beside the file either, and once the
    // keyring holds it the file beside goes: no secret is left lying about.
    ASSERT_TRUE(setRemembersPassword(loaded, *loaded.accounts.at(1), false));
    ASSERT_TRUE(saveSettings(path, loaded));
    EXPECT_FALSE(std::filesystem::exists(secretsPath));
    ASSERT_TRUE(setRemembersPassword(loaded, *loaded.accounts.at(1), true));
    ASSERT_TRUE(saveSettings(path, loaded));
    ASSERT_TRUE(std::filesystem::exists(secretsPath));
    loaded.accounts.at(1)->keyringItem = keyringItemFor(*loaded.accounts.at(1));
    ASSERT_TRUE(saveSettings(path, loaded));
    EXPECT_FALSE(std::filesystem::exists(secretsPath));
    Settings fromKeyring;
    ASSERT_TRUE(loadSettings(path, fromKeyring));
    EXPECT_FALSE(fromKeyring.accounts.at(1)->passwordKnown);
}

} // namespace
