// What newer versions keep per account in the settings file's reserved text: a trusted
// certificate, whether the password is written down, and the APOP and keyring choices. They
// must survive a save and a load, leave the file's layout as older versions read it, and go
// with the account they belong to.
#include "storage/AccountOptions.h"
#include "storage/ReservedOptions.h"
#include "storage/Settings.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace toppeek::storage;
using storage_test::TempDir;
using toppeek::mail::TrustedCertificate;

namespace {

const std::string kDigest(64, 'a');
const std::string kOtherDigest = std::string(63, '0') + "f";

Account& addAccount(Settings& settings, std::int16_t tag, const std::string& password) {
    auto account = newAccount();
    account->accountTag = tag;
    account->address = "user" + std::to_string(tag) + "@example.com";
    account->host = "pop3s://mail.example.com";
    account->userName = "user" + std::to_string(tag);
    account->password = password;
    Account& added = *account;
    settings.accounts.append(account.release());
    return added;
}

TEST(AccountOptionsTest, OptionsBelongToTheirAccountAndSurviveTheFile) {
    TempDir dir;
    auto settings = createDefaultSettings();
    setCheckIntervalMinutes(*settings, 15);
    Account& first = addAccount(*settings, 0, "first-secret");
    Account& second = addAccount(*settings, 1, "second-secret");
    const TrustedCertificate ipv6{"2001:db8::1", 995, kDigest};
    ASSERT_TRUE(setTrustedCertificate(*settings, first, ipv6));
    ASSERT_TRUE(setRemembersPassword(*settings, second, false));
    setApopPlainFallback(*settings, true);

    const std::string path = dir.file("settings.dat");
    ASSERT_TRUE(saveSettings(path, *settings));
    // The password not to be kept is not in the file (it reads back empty, to be asked for); the
    // other one is, as before.
    auto loaded = createDefaultSettings();
    ASSERT_TRUE(loadSettings(path, *loaded));
    ASSERT_EQ(loaded->accounts.count(), 2);
    const Account& firstLoaded = *loaded->accounts.at(0);
    const Account& secondLoaded = *loaded->accounts.at(1);
    EXPECT_EQ(trustedCertificate(*loaded, firstLoaded), ipv6);
    EXPECT_FALSE(trustedCertificate(*loaded, secondLoaded));
    EXPECT_TRUE(remembersPassword(*loaded, firstLoaded));
    EXPECT_FALSE(remembersPassword(*loaded, secondLoaded));
    EXPECT_EQ(firstLoaded.password, "first-secret");
    EXPECT_TRUE(firstLoaded.passwordKnown);
    EXPECT_EQ(secondLoaded.password, "");
    EXPECT_FALSE(secondLoaded.passwordKnown);
    EXPECT_TRUE(apopPlainFallback(*loaded));
    EXPECT_EQ(checkIntervalMinutes(*loaded), 15);
    // Saved again before the password was asked for, it is still not taken for one in the
    // keyring.
    ASSERT_TRUE(saveSettings(path, *loaded));
    auto reloaded = createDefaultSettings();
    ASSERT_TRUE(loadSettings(path, *reloaded));
    EXPECT_FALSE(reloaded->accounts.at(1)->keyringItem);
    EXPECT_FALSE(reloaded->accounts.at(1)->passwordKnown);

    // A changed certificate replaces the trust; removing it and the account's other options
    // leaves the rest of the text as it was.
    ASSERT_TRUE(
        setTrustedCertificate(*loaded, firstLoaded, {"mail.example.com", 995, kOtherDigest}));
    EXPECT_EQ(trustedCertificate(*loaded, firstLoaded)->sha256, kOtherDigest);
    forgetAccountOptions(*loaded, firstLoaded);
    forgetAccountOptions(*loaded, secondLoaded);
    setApopPlainFallback(*loaded, false);
    EXPECT_FALSE(trustedCertificate(*loaded, firstLoaded));
    EXPECT_TRUE(remembersPassword(*loaded, secondLoaded));
    EXPECT_EQ(loaded->reservedText1, "check-every=15");
}

TEST(AccountOptionsTest, DamagedOrOverlongTrustsAreRefused) {
    auto settings = createDefaultSettings();
    Account& account = addAccount(*settings, 3, "secret");
    EXPECT_FALSE(setTrustedCertificate(*settings, account, {"mail.example.com", 995, "abc"}));
    EXPECT_FALSE(setTrustedCertificate(*settings, account, {"mail.example.com", 0, kDigest}));
    // A hand-edited line that is not a trust trusts nothing.
    for (const char* line :
         {"tls-trust.3=zz 995 host", "tls-trust.3=" /* empty */,
          "tls-trust.3=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"
          " 99999 host"}) {
        settings->reservedText1 = line;
        EXPECT_FALSE(trustedCertificate(*settings, account)) << line;
    }
    // The text has room for a few trusts; one that does not fit changes nothing.
    settings->reservedText1.clear();
    const std::string longHost(150, 'h');
    int kept = 0;
    for (std::int16_t tag = 10; tag < 20; ++tag) {
        Account& other = addAccount(*settings, tag, "x");
        const std::string before = settings->reservedText1;
        if (setTrustedCertificate(*settings, other, {longHost, 995, kDigest}))
            ++kept;
        else
            EXPECT_EQ(settings->reservedText1, before);
    }
    EXPECT_GE(kept, 2);
    EXPECT_LT(kept, 10);
    EXPECT_LE(settings->reservedText1.size(),
              static_cast<std::size_t>(Settings::kMaxReservedText1Length));
}

// A settings file kept elsewhere and linked to (a folder of dotfiles) stays a link: the save
// replaces its target.
TEST(AccountOptionsTest, ASavedSettingsFileThatIsALinkStaysALink) {
    TempDir dir;
    namespace fs = std::filesystem;
    fs::create_directories(dir.path() / "dotfiles");
    const std::string target = dir.file("dotfiles/settings.dat");
    const std::string link = dir.file("settings.dat");
    auto settings = createDefaultSettings();
    addAccount(*settings, 0, "first");
    ASSERT_TRUE(saveSettings(target, *settings));
    fs::create_symlink("dotfiles/settings.dat", link);

    settings->accounts.at(0)->password = "second";
    ASSERT_TRUE(saveSettings(link, *settings));
    EXPECT_TRUE(fs::is_symlink(link));
    auto loaded = createDefaultSettings();
    ASSERT_TRUE(loadSettings(target, *loaded));
    EXPECT_EQ(loaded->accounts.at(0)->password, "second");
    EXPECT_EQ(dir.names().size(), 2u);
}

} // namespace
