#include "checker/Checker.h"

#include "core/Translation.h"
#include "messages/ListUpdate.h"
#include "storage/AccountTags.h"
#include "storage/FiltersFile.h"

#include <algorithm>
#include <climits>
#include <utility>

namespace toppeek::checker {

using messages::MarkState;
using messages::MessageEntry;
using messages::MessageList;
using operations::OperationOptions;
using operations::OperationOutcome;
using operations::OperationResult;
using storage::Account;
using storage::NewMailCount;

using core::filled;
using core::translate;

namespace {

std::uint16_t tagOf(const Account& account) {
    return static_cast<std::uint16_t>(account.accountTag);
}

bool sameMailbox(const Account& one, const Account& other) {
    return one.accountTag == other.accountTag && one.address == other.address &&
           one.host == other.host && one.userName == other.userName;
}

bool loginFailed(OperationResult result) {
    return result == OperationResult::NoConnection || result == OperationResult::LoginRefused ||
           result == OperationResult::NoAnswer;
}

bool stopped(OperationResult result) {
    return result == OperationResult::Cancelled || result == OperationResult::Busy;
}

std::uint32_t totalSize(const MessageList& list) {
    std::uint64_t bytes = 0;
    for (const MessageEntry* entry : list)
        bytes += static_cast<std::uint64_t>(std::max(entry->size, 0));
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
}

std::int32_t clampedCount(long count) {
    return static_cast<std::int32_t>(std::min<long>(count, INT32_MAX));
}

// One text for everything a run over the accounts has to say, each account's part on its own;
// an opening line only where there is something to open with.
std::string accountsReport(const std::string& opening, const std::vector<std::string>& parts) {
    if (parts.empty())
        return {};
    std::string text = opening;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : "\n\n") + part;
    return text;
}

} // namespace

Checker::Checker(std::string settingsPath, std::string filtersPath, std::string seenPath,
                 GatePrompts prompts)
    : settingsPath_(std::move(settingsPath)), filtersPath_(std::move(filtersPath)),
      seenPath_(std::move(seenPath)), settings_(storage::createDefaultSettings()),
      filters_(messages::createFilters()), list_(messages::createMessageList()),
      gate_(*settings_, settingsPath_, std::move(prompts)) {
    storage::loadSettings(settingsPath_, *settings_);
    storage::giveAccountsOwnTags(settings_->accounts);
    seen_ = storage::SeenMessages::load(seenPath_);
}

Checker::~Checker() {
    // Keyring answers still to come would find the state gone.
    gate_.release();
    storage::saveSettings(settingsPath_, *settings_);
    list_.reset();
    messages::destroyFilters(std::move(filters_));
    storage::freeSettings(std::move(settings_));
}

// --- State ---

bool Checker::allAccountsChosen() const {
    return settings_->selectedAccount == kAllAccountsSelected && settings_->accounts.count() > 1;
}

const Account* Checker::currentAccount() const {
    return settings_->accounts.at(settings_->selectedAccount);
}

Account* Checker::currentAccount() {
    return settings_->accounts.at(settings_->selectedAccount);
}

bool Checker::isListedAccount(const Account* account) const {
    return account != nullptr && listedAccount_ && account->address == listedAccount_->address &&
           account->host == listedAccount_->host && account->userName == listedAccount_->userName;
}

std::optional<Account> Checker::listedAccountOf(const MessageEntry& entry) const {
    for (const Account& listed : listedAccounts_) {
        if (tagOf(listed) != entry.accountTag)
            continue;
        Account account = listed;
        // A password changed in the preferences since the check is the one to log in with now.
        const Account* live = storage::accountWithTag(settings_->accounts, entry.accountTag);
        if (live != nullptr && sameMailbox(*live, listed) && live->passwordKnown)
            account.password = live->password;
        return account;
    }
    return std::nullopt;
}

bool Checker::listedAccountsKept() const {
    if (!allAccountsChosen())
        return false;
    return std::all_of(
        listedAccounts_.begin(), listedAccounts_.end(), [this](const Account& listed) {
            const Account* live = storage::accountWithTag(settings_->accounts, tagOf(listed));
            return live != nullptr && sameMailbox(*live, listed);
        });
}

AccountState Checker::accountState(const Account& account) const {
    const auto state = states_.find(account.address);
    return state != states_.end() ? state->second : AccountState::Unchecked;
}

std::vector<std::string> Checker::signInsNeeded() const {
    std::vector<std::string> addresses;
    for (const auto& [address, state] : states_)
        if (state == AccountState::SignInNeeded)
            addresses.push_back(address);
    return addresses;
}

void Checker::setAccountState(const Account& account, const OperationOutcome& outcome) {
    AccountState state = AccountState::Failed;
    if (outcome.result == OperationResult::Completed)
        state = AccountState::Checked;
    else if (stopped(outcome.result))
        return;
    else if (account.signIn == storage::SignInMethod::OAuth2 && account.accessToken.empty())
        state = AccountState::SignInNeeded;
    AccountState& kept = states_[account.address];
    if (kept == state)
        return;
    kept = state;
    if (events_.accountStateChanged)
        events_.accountStateChanged(account);
}

void Checker::changed() const {
    if (events_.listChanged)
        events_.listChanged();
}

bool Checker::stopRequested() const {
    return events_.stopRequested && events_.stopRequested();
}

void Checker::tellLoginFailure(const OperationOptions& options, OperationOutcome& outcome,
                               bool keptQuiet) {
    if (!keptQuiet || options.quiet || !loginFailed(outcome.result))
        return;
    if (options.host != nullptr && !outcome.reason.empty())
        options.host->tell(outcome.reason);
    // Said already, as a log-in failure of an operation that is not quiet is.
    outcome.reason.clear();
}

// --- Files ---

void Checker::loadFilters() {
    storage::loadFilters(*filters_, filtersPath_);
}

bool Checker::saveFilters() const {
    return storage::saveFilters(*filters_, filtersPath_);
}

bool Checker::saveSettingsNow() const {
    return storage::saveSettings(settingsPath_, *settings_);
}

// --- Runs ---

bool Checker::secretsReady(const std::function<void()>& retry, bool interactive) {
    if (!allAccountsChosen()) {
        Account* current = currentAccount();
        return current != nullptr && gate_.ready(*current, retry, interactive);
    }
    // Every secret is at hand before the first log-in, so that no prompt comes between two
    // mailboxes; a prompt the user cancels cancels the whole run.
    for (Account* account : settings_->accounts)
        if (!gate_.ready(*account, retry, interactive))
            return false;
    return true;
}

template <class Run> OperationOutcome Checker::withRenewal(Account& account, const Run& run) {
    if (account.signIn != storage::SignInMethod::OAuth2 || account.accessToken.empty())
        return run(account, false);
    // A token the provider has withdrawn before its time is refused by the server; a fresh one
    // from the refresh token usually gets in, so the refusal is kept from the user until that
    // has been tried.
    OperationOutcome outcome = run(account, true);
    if (outcome.result != OperationResult::LoginRefused ||
        (!outcome.refusalCode.empty() && outcome.refusalCode != "AUTH"))
        return outcome;
    // The account in the settings is renewed, so that its new tokens stay for the next run.
    for (Account* live : settings_->accounts) {
        if (!sameMailbox(*live, account))
            continue;
        const bool renewed = gate_.renewAccess(*live);
        // A refresh token that was refused too leaves the account without a token: it needs a
        // sign-in in the browser.
        account.accessToken = live->accessToken;
        account.password = live->password;
        if (renewed)
            outcome = run(account, true);
        break;
    }
    return outcome;
}

void Checker::emptyList() {
    list_->clear();
    mailboxCounts_.clear();
    changed();
}

RunResult Checker::check(const OperationOptions& options) {
    if (connected_)
        return {};
    if (allAccountsChosen())
        return checkEach(options);
    const Account* current = currentAccount();
    if (current == nullptr)
        return {};
    // A copy: the operation must not depend on the account list while the window answers
    // events.
    return checkOne(*current, options);
}

RunResult Checker::checkOne(const Account& chosen, const OperationOptions& options) {
    Account account = chosen;
    accountNames_.clear();
    emptyList();
    const operations::EntryCallback appended = [this](int index) {
        if (events_.rowAppended)
            events_.rowAppended(index);
    };
    bool keptQuiet = false;
    OperationOutcome outcome = withRenewal(account, [&](const Account& using_, bool quiet) {
        OperationOptions how = options;
        how.quiet = how.quiet || quiet;
        keptQuiet = quiet;
        return operations::checkMailbox(using_, *settings_, *filters_, *list_, appended, how);
    });
    tellLoginFailure(options, outcome, keptQuiet);
    checkEnded(account, outcome);
    RunResult result{operations::checkReport(outcome, account.address), stopped(outcome.result),
                     outcome.result == OperationResult::Completed};
    if (list_->count() > 0) {
        connected_ = true;
        listedAccount_ = account;
        meantToList_ = outcome.listed < outcome.toList ? outcome.toList : -1;
    }
    return result;
}

RunResult Checker::checkEach(const OperationOptions& given) {
    // Copies: the operations must not depend on the account list while the window answers
    // events.
    std::vector<Account> accounts;
    accountNames_.clear();
    for (const Account* account : settings_->accounts) {
        accounts.push_back(*account);
        accountNames_.emplace(tagOf(*account), account->address);
    }
    emptyList();

    // A mailbox that cannot be read must not keep the others from being read, so the operations
    // leave their log-in failures to this side, which tells them all together at the end.
    OperationOptions options = given;
    options.quiet = true;
    const operations::EntryCallback appended = [this](int index) {
        if (events_.rowAppended)
            events_.rowAppended(index);
    };
    std::vector<std::string> failures;
    std::vector<std::string> emptyMailboxes;
    std::vector<Account> read;
    std::uint64_t bytes = 0;
    long meant = 0;
    bool partial = false;
    bool cancelled = false;
    bool gotThrough = false;
    for (Account& account : accounts) {
        const OperationOutcome outcome =
            withRenewal(account, [&](const Account& using_, bool /*quiet*/) {
                return operations::checkMailbox(using_, *settings_, *filters_, *list_, appended,
                                                options);
            });
        checkEnded(account, outcome);
        gotThrough = gotThrough || outcome.result == OperationResult::Completed;
        bytes += settings_->mailboxBytes;
        if (stopped(outcome.result)) {
            cancelled = true;
            break;
        }
        if (loginFailed(outcome.result)) {
            failures.push_back(account.address + ": " + outcome.reason);
        } else {
            read.push_back(account);
            meant += std::max(outcome.listed, outcome.toList);
            partial = partial || outcome.listed < outcome.toList;
            const std::string report = operations::checkReport(outcome, account.address);
            if (outcome.result == OperationResult::BrokeOff)
                failures.push_back(report);
            else if (!report.empty())
                emptyMailboxes.push_back(report);
        }
        // The window is closing: what was read so far is all it will show.
        if (stopRequested())
            break;
    }
    settings_->mailboxBytes =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    if (!read.empty() && list_->count() > 0) {
        listedAccounts_ = std::move(read);
        connected_ = true;
        meantToList_ = partial ? meant : -1;
    }
    std::string opening;
    if (!failures.empty())
        opening = failures.size() == 1 ? translate("toppeek::checker::Checker",
                                                   "One account could not be read in full:")
                                       : translate("toppeek::checker::Checker",
                                                   "Some accounts could not be read in full:");
    // Empty mailboxes are worth a word only when no account had anything to list.
    if (!connected_)
        failures.insert(failures.end(), emptyMailboxes.begin(), emptyMailboxes.end());
    return {accountsReport(opening, failures), cancelled, gotThrough};
}

RunResult Checker::removeMarked(const OperationOptions& options, const Account* account) {
    if (account == nullptr && listsAllAccounts())
        return connected_ ? removeOfEach(options) : RunResult{};
    const Account* chosen = account != nullptr ? account : currentAccount();
    if (chosen == nullptr || !connected_ || list_->count() == 0)
        return {};
    Account target = *chosen;
    // The list was read with this password; the keyring need not be asked again.
    if (!target.passwordKnown && isListedAccount(&target)) {
        target.password = listedAccount_->password;
        target.accessToken = listedAccount_->accessToken;
    }
    const int listedBefore = list_->count();
    const OperationOutcome outcome = operations::removeMarkedMessages(
        target, *settings_, *list_,
        [this](int index) {
            if (events_.rowRemoved)
                events_.rowRemoved(index);
        },
        options);
    setMailboxCount(tagOf(target), settings_->mailboxMessages);
    listOutdated_ = listOutdated_ || outcome.mailboxChanged;
    // The messages a partial list leaves out are still left out.
    if (meantToList_ >= 0)
        meantToList_ -= listedBefore - list_->count();
    return {operations::removalReport(outcome), stopped(outcome.result)};
}

RunResult Checker::removeOfEach(const OperationOptions& given) {
    OperationOptions options = given;
    options.quiet = true;
    std::vector<std::string> reports;
    const int listedBefore = list_->count();
    bool cancelled = false;
    for (const Account& listed : listedAccounts_) {
        // This account's entries, borrowed in list order, and where each sits in the whole list:
        // the removal sees only its own mailbox's messages and renumbers only those.
        MessageList own(10, 5);
        std::vector<int> places;
        bool anyMarked = false;
        for (int i = 0; i < list_->count(); ++i) {
            MessageEntry* entry = list_->at(i);
            if (entry->accountTag != tagOf(listed))
                continue;
            own.append(entry);
            places.push_back(i);
            anyMarked = anyMarked || entry->mark == MarkState::MarkedForDelete;
        }
        if (!anyMarked)
            continue;
        const std::optional<Account> account = listedAccountOf(*own.at(0));
        if (!account)
            continue;
        // The removal has released the entry already; the whole list only lets go of it.
        auto onRemoved = [this, &places](int index) {
            const int place = places[static_cast<std::size_t>(index)];
            list_->removeAt(place);
            if (events_.rowRemoved)
                events_.rowRemoved(place);
            places.erase(places.begin() + index);
            for (int& later : places)
                if (later > place)
                    --later;
        };
        // The removal compares the mailbox with what this account's check found in it.
        const auto known = mailboxCounts_.find(tagOf(listed));
        settings_->mailboxMessages = known != mailboxCounts_.end() ? known->second : -1;
        const OperationOutcome outcome =
            operations::removeMarkedMessages(*account, *settings_, own, onRemoved, options);
        setMailboxCount(tagOf(listed), settings_->mailboxMessages);
        listOutdated_ = listOutdated_ || outcome.mailboxChanged;
        const std::string report =
            loginFailed(outcome.result) ? outcome.reason : operations::removalReport(outcome);
        if (!report.empty())
            reports.push_back(listed.address + ":\n" + report);
        if (stopped(outcome.result)) {
            cancelled = true;
            break;
        }
        if (stopRequested())
            break;
    }
    settings_->mailboxBytes = totalSize(*list_);
    // The messages a partial list leaves out are still left out.
    if (meantToList_ >= 0)
        meantToList_ -= listedBefore - list_->count();
    return {accountsReport(translate("toppeek::checker::Checker",
                                     "The removal did not go as asked everywhere:"),
                           reports),
            cancelled};
}

RunResult Checker::fetch(MessageEntry& entry, const OperationOptions& options) {
    std::optional<Account> own;
    if (listsAllAccounts())
        // Logged in with at the check; the message is fetched from its own mailbox.
        own = listedAccountOf(entry);
    else if (const Account* current = currentAccount())
        own = *current;
    if (!own || !connected_)
        return {};
    // A text fetched with another number of lines is fetched again.
    if (!entry.bodyLoaded && entry.body)
        entry.body.reset();
    if (entry.body)
        return {};
    const OperationOutcome outcome = operations::fetchMessageText(*own, *settings_, entry, options);
    // A message that is gone, or could not be read, is said so; nothing else is shown under the
    // listed headers.
    return {operations::fetchReport(outcome), stopped(outcome.result)};
}

void Checker::discardList() {
    list_->clear();
    connected_ = false;
    listedAccount_.reset();
    listedAccounts_.clear();
    meantToList_ = -1;
    mailboxCounts_.clear();
    listOutdated_ = false;
    changed();
}

void Checker::setMailboxCount(std::uint16_t accountTag, std::int32_t count) {
    if (count >= 0)
        mailboxCounts_[accountTag] = count;
    std::int64_t sum = 0;
    for (const auto& [tag, held] : mailboxCounts_)
        sum += held;
    settings_->mailboxMessages =
        mailboxCounts_.empty() ? -1
                               : static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

void Checker::checkEnded(const Account& account, const OperationOutcome& outcome) {
    setAccountState(account, outcome);
    if (outcome.mailboxCount >= 0)
        setMailboxCount(tagOf(account), clampedCount(outcome.mailboxCount));
    // A check that did not reach the end would bring the messages it missed back as new.
    if (outcome.result != OperationResult::Completed)
        return;
    const int count = list_->count();
    const int first = std::max(0, count - static_cast<int>(outcome.listed));
    std::vector<MessageEntry*> entries;
    for (int i = first; i < count; ++i)
        entries.push_back(list_->at(i));
    recordListing(account, entries);
}

void Checker::recordListing(const Account& account, const std::vector<MessageEntry*>& entries) {
    std::vector<std::string_view> ids;
    for (const MessageEntry* entry : entries)
        ids.push_back(entry->uniqueId);
    const std::vector<bool> fresh = seen_.recordCheck(account, ids);
    NewMailCount arrived{account.address};
    for (std::size_t i = 0; i < entries.size(); ++i) {
        MessageEntry& entry = *entries[i];
        entry.isNew = fresh[i];
        if (!entry.isNew)
            continue;
        ++arrived.newMessages;
        if (entry.mark == MarkState::MarkedForDelete)
            ++arrived.markedAsSpam;
    }
    if (arrived.newMessages > 0)
        newMail_.push_back(std::move(arrived));
    // Rows that were new at the check before are no longer.
    if (events_.rowsChanged)
        events_.rowsChanged();
    if (!seen_.save(seenPath_) && events_.notice)
        events_.notice(filled(translate("toppeek::checker::Checker",
                                        "Could not save the seen messages to %1: the next check "
                                        "shows them as new again."),
                              {seenPath_}));
}

RunResult Checker::update(const OperationOptions& given) {
    OperationOptions options = given;
    options.quiet = true;
    // Without a list on show the check is the same update of an empty one: the list appears,
    // whole, once the check has ended, and stays away when it fails or is cancelled.
    const bool allAccounts = connected_ ? listsAllAccounts() : allAccountsChosen();
    std::vector<Account> accounts;
    if (allAccounts) {
        for (const Account* account : settings_->accounts) {
            // An account read before logs in as it did then.
            Account own = *account;
            for (const Account& listed : listedAccounts_)
                if (listed.accountTag == own.accountTag && !own.passwordKnown)
                    own.password = listed.password;
            accounts.push_back(std::move(own));
        }
    } else if (const Account* current = currentAccount()) {
        accounts.push_back(*current);
    }
    if (!connected_) {
        listedAccounts_.clear();
        accountNames_.clear();
        if (allAccounts)
            for (const Account& account : accounts)
                accountNames_.emplace(tagOf(account), account.address);
        emptyList();
    }
    std::vector<std::string> problems;
    std::vector<Account> read;
    bool complete = true;
    bool cancelled = false;
    for (Account& account : accounts) {
        const UpdateResult result = updateInPlace(account, options, problems);
        const bool listedBefore = std::any_of(
            listedAccounts_.begin(), listedAccounts_.end(),
            [&account](const Account& listed) { return listed.accountTag == account.accountTag; });
        if (result == UpdateResult::Updated || listedBefore)
            read.push_back(account);
        complete = complete && result == UpdateResult::Updated;
        cancelled = result == UpdateResult::Cancelled;
        if (cancelled || stopRequested())
            break;
    }
    if (!connected_ && !read.empty() && list_->count() > 0) {
        connected_ = true;
        if (!allAccounts)
            listedAccount_ = read.front();
    }
    if (allAccounts)
        listedAccounts_ = std::move(read);
    if (complete) {
        meantToList_ = -1;
        listOutdated_ = false;
    }
    settings_->mailboxBytes = totalSize(*list_);
    std::string report;
    for (const std::string& problem : problems)
        report += (report.empty() ? "" : " ") + problem;
    return {report, cancelled, complete && !accounts.empty()};
}

Checker::UpdateResult Checker::updateInPlace(const Account& given, const OperationOptions& options,
                                             std::vector<std::string>& problems) {
    Account account = given;
    const auto tag = tagOf(account);
    const auto removeRow = [this](int index) {
        if (events_.rowRemoved)
            events_.rowRemoved(index);
    };
    const auto insertRow = [this](int index) {
        if (events_.rowInserted)
            events_.rowInserted(index);
    };
    const auto entriesOf = [this, tag] {
        std::vector<MessageEntry*> entries;
        for (MessageEntry* entry : *list_)
            if (entry->accountTag == tag)
                entries.push_back(entry);
        std::sort(entries.begin(), entries.end(), [](const MessageEntry* a, const MessageEntry* b) {
            return a->messageNumber < b->messageNumber;
        });
        return entries;
    };
    // Unique-ids match the list with the server without reading again what it holds; a list
    // read without them can only be read again in full.
    bool byUniqueIds = std::all_of(list_->begin(), list_->end(), [tag](const MessageEntry* entry) {
        return entry->accountTag != tag || !entry->uniqueId.empty();
    });
    OperationOutcome outcome;
    if (byUniqueIds) {
        operations::MailboxUpdate update;
        outcome = withRenewal(account, [&](const Account& using_, bool) {
            return operations::updateMailbox(using_, *settings_, *filters_, *list_, update,
                                             options);
        });
        setAccountState(account, outcome);
        if (outcome.result == OperationResult::Completed && update.byUniqueIds) {
            messages::mergeServerListing(*list_, tag, update.uniqueIds, outcome.toList,
                                         std::move(update.arrived), removeRow, insertRow);
            setMailboxCount(tag, clampedCount(outcome.mailboxCount));
            recordListing(account, entriesOf());
            return UpdateResult::Updated;
        }
        byUniqueIds = outcome.result != OperationResult::Completed;
    }
    if (!byUniqueIds) {
        // The check writes the mailbox's figures, which stay the list's until it is complete.
        const std::uint32_t bytesBefore = settings_->mailboxBytes;
        const std::int32_t countBefore = settings_->mailboxMessages;
        std::unique_ptr<MessageList> fresh = messages::createMessageList();
        outcome = withRenewal(account, [&](const Account& using_, bool) {
            return operations::checkMailbox(using_, *settings_, *filters_, *fresh, {}, options);
        });
        setAccountState(account, outcome);
        const std::int32_t count = settings_->mailboxMessages;
        settings_->mailboxBytes = bytesBefore;
        settings_->mailboxMessages = countBefore;
        if (outcome.result == OperationResult::Completed) {
            messages::carryOverState(*list_, tag, *fresh);
            messages::replaceAccountEntries(*list_, tag, *fresh, removeRow, insertRow);
            setMailboxCount(tag, count);
            recordListing(account, entriesOf());
            return UpdateResult::Updated;
        }
    }
    switch (outcome.result) {
    case OperationResult::Cancelled:
    case OperationResult::Busy:
        problems.push_back(
            translate("toppeek::checker::Checker", "The check for new mail was cancelled."));
        return UpdateResult::Cancelled;
    case OperationResult::BrokeOff:
        problems.push_back(filled(translate("toppeek::checker::Checker",
                                            "Could not check the mailbox of %1 for new mail: %2."),
                                  {account.address, outcome.reason}));
        break;
    default:
        problems.push_back(outcome.reason);
        break;
    }
    return UpdateResult::Failed;
}

} // namespace toppeek::checker
