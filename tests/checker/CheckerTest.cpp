// The mailbox checker without a window: runs over several accounts against a real Dovecot, the
// OAuth2 token renewed once when the server refuses it, and the password gate with a keyring that
// answers later.
#include "checker/Checker.h"
#include "mail/Connection.h"
#include "storage/Settings.h"
#include "support/DovecotServer.h"
#include "support/OAuthTestServer.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace toppeek;
using checker::AccountState;
using checker::Checker;
using checker::GatePrompts;
using checker::RunResult;
using checker::SignInMode;
using checker::SignInState;
using storage::Account;
using storage::KeyringResult;
using test::DovecotServer;
using test::OAuthTestServer;
using test::TemporaryFolder;

std::string message(int n) {
    return "From: Bob <bob@example.org>\nTo: alice@example.com\nSubject: Note " +
           std::to_string(n) + "\nMessage-ID: <" + std::to_string(n) + "@example.org>\n\nHello.\n";
}

// A host that records what an operation tells and answers no question.
class RecordingHost : public operations::SilentHost {
public:
    void tell(const std::string& text, bool) override { told.push_back(text); }
    std::vector<std::string> told;
};

// Writes a settings file with the accounts (address, host, user, password) and selected.
std::string settingsWith(const TemporaryFolder& folder, const std::vector<Account>& accounts,
                         std::int16_t selected) {
    auto settings = storage::createDefaultSettings();
    for (const Account& given : accounts) {
        auto account = storage::newAccount();
        const int tag = account->accountTag;
        *account = given;
        account->accountTag = tag;
        settings->accounts.append(account.release());
    }
    settings->selectedAccount = selected;
    const std::string path = folder.file("settings");
    EXPECT_TRUE(storage::saveSettings(path, *settings));
    return path;
}

Account accountOf(const std::string& address, const std::string& host, const std::string& user,
                  const std::string& password) {
    Account account;
    account.address = address;
    account.host = host;
    account.userName = user;
    account.password = password;
    account.passwordKnown = true;
    return account;
}

class CheckerTest : public testing::Test {
protected:
    static void SetUpTestSuite() { mail::startConnectionLayer(); }
    static void TearDownTestSuite() { mail::stopConnectionLayer(); }

    std::unique_ptr<Checker> checkerOn(const std::string& settingsPath, GatePrompts prompts = {}) {
        auto made = std::make_unique<Checker>(settingsPath, folder.file("filters"),
                                              folder.file("seen"), std::move(prompts));
        checker::CheckerEvents events;
        events.rowAppended = [this](int) { ++appended; };
        events.rowRemoved = [this](int) { ++removed; };
        events.rowInserted = [this](int) { ++inserted; };
        events.accountStateChanged = [this](const Account& account) {
            changedStates.push_back(account.address);
        };
        made->setEvents(std::move(events));
        return made;
    }

    operations::OperationOptions options() {
        operations::OperationOptions how;
        how.timeoutSeconds = 10;
        how.host = &host;
        return how;
    }

    TemporaryFolder folder{"checker"};
    RecordingHost host;
    int appended = 0;
    int removed = 0;
    int inserted = 0;
    std::vector<std::string> changedStates;
};

// All accounts: one whose password is wrong does not keep the other from being listed; only
// mail that arrived since the check before counts as new; the removal and the background update
// keep the list in step with the server.
TEST_F(CheckerTest, AllAccountsAgainstDovecot) {
    DovecotServer server;
    server.addUser("alice", "Secret-1");
    server.addUser("bob", "Secret-2");
    for (int n = 1; n <= 3; ++n)
        server.addMessage("alice", message(n));
    ASSERT_TRUE(server.start()) << server.failure();
    const std::string at = server.hostAndPort();
    auto checker = checkerOn(settingsWith(folder,
                                          {accountOf("alice@example.com", at, "alice", "Secret-1"),
                                           accountOf("bob@example.com", at, "bob", "wrong")},
                                          checker::kAllAccountsSelected));
    ASSERT_TRUE(checker->allAccountsChosen());
    ASSERT_TRUE(checker->secretsReady({}, true));

    const RunResult first = checker->check(options());
    EXPECT_TRUE(checker->connected());
    EXPECT_TRUE(checker->listsAllAccounts());
    EXPECT_EQ(checker->list().count(), 3);
    EXPECT_EQ(appended, 3);
    EXPECT_NE(first.report.find("bob@example.com"), std::string::npos) << first.report;
    EXPECT_TRUE(host.told.empty()) << "the failures are said together, not one box each";
    Account* alice = checker->settings().accounts.at(0);
    Account* bob = checker->settings().accounts.at(1);
    EXPECT_EQ(checker->accountState(*alice), AccountState::Checked);
    EXPECT_EQ(checker->accountState(*bob), AccountState::Failed);
    EXPECT_EQ(changedStates, (std::vector<std::string>{"alice@example.com", "bob@example.com"}));
    // The first check of an account is the baseline: nothing in it counts as new.
    EXPECT_TRUE(checker->newMail().empty());

    checker->list().at(1)->mark = messages::MarkState::MarkedForDelete;
    const RunResult removal = checker->removeMarked(options());
    EXPECT_EQ(removal.report, "");
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(checker->list().count(), 2);
    EXPECT_EQ(server.messageCount("alice"), 2u);

    // Nothing new, then one message more: the update adds only that one, and only it is new.
    checker->forgetNewMail();
    checker->update(options());
    EXPECT_TRUE(checker->newMail().empty());
    EXPECT_EQ(checker->list().count(), 2);
    server.addMessage("alice", message(4));
    checker->update(options());
    EXPECT_EQ(checker->list().count(), 3);
    EXPECT_EQ(inserted, 1);
    ASSERT_EQ(checker->newMail().size(), 1u);
    EXPECT_EQ(checker->newMail()[0].newMessages, 1);

    checker->discardList();
    EXPECT_FALSE(checker->connected());
    EXPECT_EQ(checker->list().count(), 0);
}

// An access token the provider withdrew before its time is refused by the server; the checker
// renews it once and the check gets through without a word to the user. A refresh token that is
// refused too leaves the account needing a sign-in.
TEST_F(CheckerTest, RefusedAccessTokenIsRenewedOnce) {
    const std::string user = "alice";
    OAuthTestServer authority{user, "toppeek-test-client"};
    ASSERT_TRUE(authority.start()) << authority.failure();
    DovecotServer server;
    server.offerMechanisms("plain xoauth2 oauthbearer");
    server.acceptOAuth2(authority.introspectionUrlForDovecot());
    server.addUser(user, "unused-Password-1");
    server.addMessage(user, message(1));
    ASSERT_TRUE(server.start()) << server.failure();

    const OAuthTestServer::Issued signedIn = authority.issueTokens();
    ASSERT_TRUE(authority.revoke(signedIn.accessToken));
    Account oauth =
        accountOf(user + "@example.com", server.hostAndPort(), user, signedIn.refreshToken);
    oauth.signIn = storage::SignInMethod::OAuth2;
    std::vector<SignInMode> asked;
    bool refreshRefused = false;
    GatePrompts prompts;
    prompts.signIn = [&](Account& account, SignInMode mode) {
        asked.push_back(mode);
        if (mode != SignInMode::Renew) {
            // Still fresh by its expiry, so it is given without asking the provider.
            account.accessToken = signedIn.accessToken;
            return SignInState::Ready;
        }
        if (refreshRefused) {
            account.password.clear();
            account.accessToken.clear();
            return SignInState::SignInNeeded;
        }
        const OAuthTestServer::Issued renewed = authority.issueTokens();
        account.accessToken = renewed.accessToken;
        account.password = renewed.refreshToken;
        return SignInState::Ready;
    };
    auto checker = checkerOn(settingsWith(folder, {oauth}, 0), prompts);
    ASSERT_TRUE(checker->secretsReady({}, true));

    const RunResult result = checker->check(options());
    EXPECT_EQ(result.report, "");
    EXPECT_EQ(host.told, std::vector<std::string>{});
    EXPECT_EQ(checker->list().count(), 1);
    EXPECT_EQ(asked, (std::vector<SignInMode>{SignInMode::Interactive, SignInMode::Renew}));
    // The renewed refresh token is the account's from now on.
    EXPECT_NE(checker->settings().accounts.at(0)->password, signedIn.refreshToken);

    checker->discardList();
    refreshRefused = true;
    ASSERT_TRUE(authority.revoke(checker->settings().accounts.at(0)->accessToken));
    const RunResult refused = checker->check(options());
    EXPECT_FALSE(checker->connected());
    ASSERT_EQ(host.told.size(), 1u) << "the refusal is told once, after the renewal failed";
    EXPECT_EQ(checker->accountState(*checker->settings().accounts.at(0)),
              AccountState::SignInNeeded);
    EXPECT_EQ(checker->signInsNeeded(), (std::vector<std::string>{user + "@example.com"}));
}

// A keyring that answers from the event loop: the gate says "not yet", keeps the window waiting,
// and runs the command again once the password is there; a keyring without the item leads to the
// prompt.
class LaterKeyring : public storage::PasswordStore {
public:
    void store(const storage::KeyringItem&, const std::string&, Finished done) override {
        done(KeyringResult::Done);
    }
    void load(const storage::KeyringItem& item, Loaded done) override {
        if (item.key == "keyring probe")
            done(KeyringResult::NotFound, {});
        else
            pending.push_back(std::move(done));
    }
    void remove(const storage::KeyringItem&, Finished done) override { done(KeyringResult::Done); }
    std::deque<Loaded> pending;
};

TEST_F(CheckerTest, PasswordGateWaitsForTheKeyringThenRetries) {
    Account kept = accountOf("alice@example.com", "127.0.0.1:1", "alice", "");
    kept.passwordKnown = false;
    kept.keyringItem = storage::KeyringItem{"TopPeek", "alice@example.com"};
    std::vector<bool> waits;
    int prompted = 0;
    GatePrompts prompts;
    prompts.keyringWait = [&](bool waiting) { waits.push_back(waiting); };
    prompts.askPassword = [&](Account& account, KeyringResult why) {
        ++prompted;
        EXPECT_EQ(why, KeyringResult::NotFound);
        account.password = "typed";
        account.passwordKnown = true;
        return true;
    };
    Account other = kept;
    other.address = "bob@example.com";
    other.keyringItem = storage::KeyringItem{"TopPeek", "bob@example.com"};
    auto checker = checkerOn(settingsWith(folder, {kept, other}, 0), prompts);
    auto keyring = std::make_unique<LaterKeyring>();
    LaterKeyring& later = *keyring;
    checker->passwords().setStore(std::move(keyring));
    EXPECT_EQ(checker->passwords().keyringState(), checker::KeyringState::Usable);

    int retries = 0;
    EXPECT_FALSE(checker->secretsReady([&] { ++retries; }, true));
    EXPECT_TRUE(checker->passwords().waiting());
    ASSERT_EQ(later.pending.size(), 1u);
    later.pending.front()(KeyringResult::Done, "from-keyring");
    later.pending.pop_front();
    EXPECT_EQ(retries, 1);
    EXPECT_FALSE(checker->passwords().waiting());
    EXPECT_EQ(checker->currentAccount()->password, "from-keyring");
    EXPECT_TRUE(checker->secretsReady([&] { ++retries; }, true));

    // The second account's item is not in the keyring: the user is asked, then the run retried.
    checker->settings().selectedAccount = 1;
    EXPECT_FALSE(checker->secretsReady([&] { ++retries; }, true));
    ASSERT_EQ(later.pending.size(), 1u);
    later.pending.front()(KeyringResult::NotFound, "");
    EXPECT_EQ(prompted, 1);
    EXPECT_EQ(retries, 2);
    EXPECT_EQ(checker->currentAccount()->password, "typed");
    EXPECT_EQ(waits, (std::vector<bool>{true, false, true, false}));
}

} // namespace
