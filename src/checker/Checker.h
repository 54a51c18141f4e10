// The mailbox behind the main window: the program's run-time state (settings, filters, the
// message list and the accounts it was read from, the new mail, each account's state) and the
// checks, removals and fetches that change it, for one account or for all of them, asked for by
// the user or run in the background. It shows nothing: each run returns what the window is to
// tell, and the callbacks say what changed while it ran, so that the list view keeps in step.
//
// Like the operations it runs, it works on the thread of the user interface; an operation keeps
// the program answering through the host the window passes in.
//
// "Connected" means that a message list has been read and is on show; no POP3 session stays
// open between runs.
#pragma once

#include "checker/PasswordGate.h"
#include "messages/Filters.h"
#include "messages/MessageList.h"
#include "operations/MailboxOperations.h"
#include "storage/SeenMessages.h"
#include "storage/Settings.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace toppeek::checker {

// The selectedAccount that stands for "All accounts", the selector's last item. The settings
// file keeps it where it keeps the account's row; an older version, finding no account there,
// clamps it and shows the first account.
inline constexpr std::int16_t kAllAccountsSelected = -1;

// Where an account stands after the last run that reached it.
enum class AccountState {
    Unchecked,    // not read in this run of the program
    Checked,      // its last check got through
    Failed,       // its last check could not log in or broke off
    SignInNeeded, // an OAuth2 account whose sign-in must be done again in the browser
};

// What changed while a run went on, for the list view.
struct CheckerEvents {
    // A check appended the entry at index.
    std::function<void(int index)> rowAppended;
    // A removal or an update took the entry at index out of the list, or put one in there.
    std::function<void(int index)> rowRemoved;
    std::function<void(int index)> rowInserted;
    // The list changed as a whole (emptied or put away).
    std::function<void()> listChanged;
    // Entries changed their state (which ones are new) but none came or went.
    std::function<void()> rowsChanged;
    // Asked between the accounts of a run over several: true stops the run there (the window is
    // closing).
    std::function<bool()> stopRequested;
    // Something went wrong beside the run (the seen messages could not be saved).
    std::function<void(const std::string& text)> notice;
    // An account's state changed (see accountState).
    std::function<void(const storage::Account& account)> accountStateChanged;
};

// What a run has to say. report is for the user (empty: nothing to say); the window shows it in
// a box for a run asked for, in the status bar for one in the background.
struct RunResult {
    std::string report;
    // The run ended because the user cancelled it (or another operation was running).
    bool cancelled = false;
    // At least one mailbox was read to its end.
    bool gotThrough = false;
};

class Checker {
public:
    // Reads the settings at settingsPath (filters are read by loadFilters); seenPath is the file
    // of the messages already seen. prompts are the window's part of the password gate.
    Checker(std::string settingsPath, std::string filtersPath, std::string seenPath,
            GatePrompts prompts);
    // Saves the settings.
    ~Checker();
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    void setEvents(CheckerEvents events) { events_ = std::move(events); }

    // --- State ---
    storage::Settings& settings() { return *settings_; }
    const storage::Settings& settings() const { return *settings_; }
    messages::Filters& filters() { return *filters_; }
    messages::MessageList& list() { return *list_; }
    const messages::MessageList& list() const { return *list_; }
    const std::string& settingsPath() const { return settingsPath_; }
    const std::string& filtersPath() const { return filtersPath_; }
    PasswordGate& passwords() { return gate_; }

    bool connected() const { return connected_; }
    // The list was read from every account; each run reaches the message's own account.
    bool listsAllAccounts() const { return !listedAccounts_.empty(); }
    // "All accounts" is chosen and there are accounts to mix.
    bool allAccountsChosen() const;
    // The selected account, or null (none, or "All accounts").
    const storage::Account* currentAccount() const;
    storage::Account* currentAccount();
    // While connected to one account: the account the list was read from.
    const std::optional<storage::Account>& listedAccount() const { return listedAccount_; }
    // While connected to "All accounts": every account that was read, as it was read.
    const std::vector<storage::Account>& listedAccounts() const { return listedAccounts_; }
    // account is the one the list was read from (same address, server and user).
    bool isListedAccount(const storage::Account* account) const;
    // The account a message of a list read from every account came from, as it was checked,
    // with a password changed since in the preferences.
    std::optional<storage::Account> listedAccountOf(const messages::MessageEntry& entry) const;
    // The listed accounts are all still there, unchanged, and "All accounts" still chosen.
    bool listedAccountsKept() const;
    // Every listed account's address by its tag, for the Account column.
    const std::map<std::uint16_t, std::string>& accountNames() const { return accountNames_; }
    // While connected after a check that ended early: how many messages the list would hold had
    // it run to its end; -1 when the list is complete.
    long meantToList() const { return meantToList_; }
    // The mailbox changed since the check under a list without unique-ids.
    bool listOutdated() const { return listOutdated_; }
    // What the last check found new, for each account with new messages.
    const std::vector<storage::NewMailCount>& newMail() const { return newMail_; }
    void forgetNewMail() { newMail_.clear(); }
    AccountState accountState(const storage::Account& account) const;
    // The addresses of the accounts that need a sign-in in the browser.
    std::vector<std::string> signInsNeeded() const;

    // --- Files ---
    // Reads the filters file; at the first activation, after the accounts were set up.
    void loadFilters();
    bool saveFilters() const;
    // The settings, once the keyring has taken the passwords; see PasswordGate.
    void saveSettings(std::function<void(bool saved)> then) {
        gate_.saveSettingsFile(std::move(then));
    }
    bool saveSettingsNow() const;

    // --- Runs ---
    // The account's secret is at hand for a run (see PasswordGate::ready); every account's for
    // "All accounts". retry is called once the keyring has answered.
    bool secretsReady(const std::function<void()>& retry, bool interactive);
    bool secretReady(storage::Account& account, const std::function<void()>& retry,
                     bool interactive) {
        return gate_.ready(account, retry, interactive);
    }

    // Lists the selected account's mailbox, or every account's one after another for "All
    // accounts" (one failing does not stop the others; their failures are said together).
    RunResult check(const operations::OperationOptions& options);
    // Removes the marked messages of the listed mailbox, or of each listed account's; account
    // names the mailbox when the current account is no longer the listed one.
    RunResult removeMarked(const operations::OperationOptions& options,
                           const storage::Account* account = nullptr);
    // Reads the first lines of entry's message from its own mailbox.
    RunResult fetch(messages::MessageEntry& entry, const operations::OperationOptions& options);
    // The background check: each listed mailbox (or, with none on show, the chosen one) is
    // brought up to date in place; one that fails or is cancelled leaves its messages as they
    // were.
    RunResult update(const operations::OperationOptions& options);
    // The list is put away; no run reaches it any more.
    void discardList();

private:
    RunResult checkOne(const storage::Account& account,
                       const operations::OperationOptions& options);
    RunResult checkEach(const operations::OperationOptions& options);
    RunResult removeOfEach(const operations::OperationOptions& options);
    enum class UpdateResult { Updated, Failed, Cancelled };
    UpdateResult updateInPlace(const storage::Account& account,
                               const operations::OperationOptions& options,
                               std::vector<std::string>& problems);
    // An OAuth2 account whose token the server refused is given a new one and tried once more.
    // run(account, quiet) runs the operation; quiet asks it to leave a log-in failure in the
    // outcome rather than tell it, while a renewal may still help.
    template <class Run>
    operations::OperationOutcome withRenewal(storage::Account& account, const Run& run);
    // A check's end, for each account it read: records what it listed and finds what is new.
    void checkEnded(const storage::Account& account, const operations::OperationOutcome& outcome);
    void recordListing(const storage::Account& account,
                       const std::vector<messages::MessageEntry*>& entries);
    void setMailboxCount(std::uint16_t accountTag, std::int32_t count);
    void setAccountState(const storage::Account& account,
                         const operations::OperationOutcome& outcome);
    void emptyList();
    void changed() const;
    bool stopRequested() const;
    // A log-in failure that withRenewal kept quiet is told now, as the operation would have.
    static void tellLoginFailure(const operations::OperationOptions& options,
                                 operations::OperationOutcome& outcome, bool keptQuiet);

    std::string settingsPath_;
    std::string filtersPath_;
    std::string seenPath_;
    std::unique_ptr<storage::Settings> settings_;
    std::unique_ptr<messages::Filters> filters_;
    std::unique_ptr<messages::MessageList> list_;
    PasswordGate gate_;
    CheckerEvents events_;
    storage::SeenMessages seen_;
    std::vector<storage::NewMailCount> newMail_;
    std::map<std::string, AccountState> states_;

    bool connected_ = false;
    std::optional<storage::Account> listedAccount_;
    // While connected to "All accounts": every account that was read, as it was read (with the
    // password it logged in with), in the order of the settings.
    std::vector<storage::Account> listedAccounts_;
    std::map<std::uint16_t, std::string> accountNames_;
    long meantToList_ = -1;
    // While connected: how many messages each listed account's mailbox held at its last check or
    // removal, by account tag; settings_->mailboxMessages is their sum.
    std::map<std::uint16_t, std::int32_t> mailboxCounts_;
    bool listOutdated_ = false;
};

} // namespace toppeek::checker
