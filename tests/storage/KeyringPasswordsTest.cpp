// Passwords kept in a keyring: the settings file keeps a marker in their
// place, and the keyring work takes passwords in, moves and removes items.
// The keyring here is a map that answers at once or when told to; the
// real Secret Service is exercised in the keyring scenarios of the window.
#include "storage/KeyringPasswords.h"

#include "StorageTestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>

using namespace toppeek::storage;
using namespace storage_test;

namespace {

class FakeKeyring : public PasswordStore {
public:
    std::map<std::string, std::string> items; // key -> password
    bool usable = true;
    bool deferred = false;
    std::deque<std::function<void()>> pending;
    std::vector<std::string> requests;

    void store(const KeyringItem& item, const std::string& password, Finished done) override {
        requests.push_back("store " + item.key);
        answer([=, this] {
            if (usable)
                items[item.key] = password;
            done(usable ? KeyringResult::Done : KeyringResult::Unavailable);
        });
    }
    void load(const KeyringItem& item, Loaded done) override {
        requests.push_back("load " + item.key);
        answer([=, this] {
            const auto found = items.find(item.key);
            if (!usable)
                done(KeyringResult::Unavailable, "");
            else if (found == items.end())
                done(KeyringResult::NotFound, "");
            else
                done(KeyringResult::Done, found->second);
        });
    }
    void remove(const KeyringItem& item, Finished done) override {
        requests.push_back("remove " + item.key);
        answer([=, this] {
            if (usable)
                items.erase(item.key);
            done(usable ? KeyringResult::Done : KeyringResult::Unavailable);
        });
    }
    void answerAll() {
        while (!pending.empty()) {
            auto next = std::move(pending.front());
            pending.pop_front();
            next();
        }
    }

private:
    void answer(std::function<void()> f) {
        if (deferred)
            pending.push_back(std::move(f));
        else
            f();
    }
};

Account* account(std::string address, std::string user, std::string password) {
    Account* a = newAccount().release();
    a->address = std::move(address);
    a->host = "pop.example.org";
    a->userName = std::move(user);
    a->password = std::move(password);
    return a;
}

// Runs the keyring work to its end; its outcome.
std::optional<bool> sync(Settings& settings, FakeKeyring& keyring) {
    std::optional<bool> outcome;
    KeyringSync work(settings, keyring);
    work.start([&](bool usable) { outcome = usable; });
    keyring.answerAll();
    return outcome;
}

struct KeyringPasswords : ::testing::Test {
    TempDir dir;
    std::string path = dir.file("settings.dat");
    FakeKeyring keyring;

    std::unique_ptr<Settings> reload() {
        auto settings = createDefaultSettings();
        EXPECT_TRUE(loadSettings(path, *settings));
        return settings;
    }
};

} // namespace

// An account whose password the keyring holds is written exactly as an older
// version would write an account whose password is the marker text: same
// layout, nothing of the password, and an older version reads the marker as
// a password that gives nothing away. Reading it back gives an account whose
// password is still to be looked up.
TEST_F(KeyringPasswords, FileKeepsOnlyTheMarkerInTheOldLayout) {
    auto settings = createDefaultSettings();
    settings->accounts.append(account("me@example.org", "me", "s3cret-pass"));
    Account& kept = *settings->accounts.at(0);
    kept.keyringItem = keyringItemFor(kept);
    ASSERT_TRUE(saveSettings(path, *settings));
    const std::string file = readAll(path);

    auto asOlderVersion = createDefaultSettings();
    asOlderVersion->accounts.append(account("me@example.org", "me", keyringPasswordMarker()));
    ASSERT_TRUE(saveSettings(dir.file("older.dat"), *asOlderVersion));
    EXPECT_EQ(file, readAll(dir.file("older.dat")));
    EXPECT_EQ(file.find("s3cret"), std::string::npos);

    auto loaded = reload();
    const Account& back = *loaded->accounts.at(0);
    EXPECT_FALSE(back.passwordKnown);
    EXPECT_EQ(back.password, "");
    EXPECT_EQ(back.keyringItem, keyringItemFor(back));
    // Saved again unread, it stays a marker.
    ASSERT_TRUE(saveSettings(path, *loaded));
    EXPECT_EQ(readAll(path), file);
}

// An older file loads with its passwords; the keyring work moves them into
// the keyring, after which the saved file holds none. Renaming an account
// moves its item (also when its password was never read this run), a new
// password replaces the item, and removed accounts take their items along.
TEST_F(KeyringPasswords, OldFileMigratesThenRenamesAndRemovalsFollow) {
    auto old = createDefaultSettings();
    old->accounts.append(account("a@example.org", "alice", "pw-alice"));
    old->accounts.append(account("b@example.org", "bob", "pw-bob"));
    old->accounts.append(account("c@example.org", "carol", ""));
    ASSERT_TRUE(saveSettings(path, *old));

    auto settings = reload();
    EXPECT_EQ(settings->accounts.at(0)->password, "pw-alice");
    ASSERT_TRUE(keyringWorkPending(*settings));
    keyring.deferred = true; // as the real keyring answers: later
    EXPECT_EQ(sync(*settings, keyring), true);
    const KeyringItem alice = keyringItemFor(*settings->accounts.at(0));
    const KeyringItem bob = keyringItemFor(*settings->accounts.at(1));
    EXPECT_EQ(keyring.items,
              (std::map<std::string, std::string>{{alice.key, "pw-alice"}, {bob.key, "pw-bob"}}));
    EXPECT_FALSE(keyringWorkPending(*settings));
    ASSERT_TRUE(saveSettings(path, *settings));
    const std::string file = readAll(path);
    EXPECT_EQ(file.find("pw-"), std::string::npos);
    auto withMarkers = createDefaultSettings();
    withMarkers->accounts.append(account("a@example.org", "alice", keyringPasswordMarker()));
    withMarkers->accounts.append(account("b@example.org", "bob", keyringPasswordMarker()));
    withMarkers->accounts.append(account("c@example.org", "carol", ""));
    ASSERT_TRUE(saveSettings(dir.file("expected.dat"), *withMarkers));
    EXPECT_EQ(file, readAll(dir.file("expected.dat")));

    // Next run: nothing read yet. Alice is renamed with the password left
    // empty in the editor; Bob gets a new password; Carol is removed.
    settings = reload();
    keyring.requests.clear();
    {
        Account& before = *settings->accounts.at(0);
        auto edited = cloneAccount(before);
        edited->address = "alice@example.org";
        edited->password = "";
        noteAccountEdited(*settings, before, *edited);
        settings->accounts.replaceAt(0, edited.release());
    }
    {
        Account& before = *settings->accounts.at(1);
        auto edited = cloneAccount(before);
        edited->password = "new-bob";
        noteAccountEdited(*settings, before, *edited);
        settings->accounts.replaceAt(1, edited.release());
    }
    Account* carol = settings->accounts.at(2);
    noteAccountRemoved(*settings, *carol);
    settings->accounts.removeAt(2);
    freeAccount(carol);
    EXPECT_EQ(sync(*settings, keyring), true);
    const KeyringItem renamed = keyringItemFor(*settings->accounts.at(0));
    EXPECT_EQ(keyring.items, (std::map<std::string, std::string>{{renamed.key, "pw-alice"},
                                                                 {bob.key, "new-bob"}}));
    // Bob's old item was overwritten in place, not removed after the store.
    EXPECT_EQ(std::count(keyring.requests.begin(), keyring.requests.end(), "remove " + bob.key), 0);
    ASSERT_TRUE(saveSettings(path, *settings));
    EXPECT_EQ(readAll(path).find("bob"), readAll(path).rfind("bob")); // the user name only
    EXPECT_EQ(readAll(path).find("pw-alice"), std::string::npos);

    // A missing item leaves the account waiting for the login to ask.
    keyring.items.clear();
    settings = reload();
    {
        Account& before = *settings->accounts.at(0);
        auto edited = cloneAccount(before);
        edited->userName = "alice2";
        noteAccountEdited(*settings, before, *edited);
        settings->accounts.replaceAt(0, edited.release());
    }
    EXPECT_EQ(sync(*settings, keyring), true);
    EXPECT_FALSE(settings->accounts.at(0)->passwordKnown);
    EXPECT_EQ(settings->accounts.at(0)->keyringItem, keyringItemFor(*settings->accounts.at(0)));
}

// Without a usable keyring the passwords stay in the file as before, and
// work dropped half-way answers nothing.
TEST_F(KeyringPasswords, UnusableKeyringLeavesPasswordsInTheFile) {
    auto settings = createDefaultSettings();
    settings->accounts.append(account("a@example.org", "alice", "pw-alice"));
    keyring.usable = false;
    EXPECT_EQ(sync(*settings, keyring), false);
    ASSERT_TRUE(saveSettings(path, *settings));
    EXPECT_EQ(reload()->accounts.at(0)->password, "pw-alice");
    EXPECT_TRUE(keyringWorkPending(*settings));

    keyring.usable = true;
    keyring.deferred = true;
    bool answered = false;
    {
        KeyringSync work(*settings, keyring);
        work.start([&](bool) { answered = true; });
    }
    keyring.answerAll();
    EXPECT_FALSE(answered);
}
