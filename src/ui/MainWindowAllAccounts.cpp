// The main window over "All accounts": one check reads every account's mailbox into the one list,
// one account after another, and the commands that reach a server take each message's own
// account. A mailbox that cannot be read must not keep the others from being read, so the
// operations leave their log-in failures to this side, which tells them all in one box at the end.

// The account list names a variable `slots`, which Qt's keyword macro would
// rewrite: the storage header comes before every Qt header.
#include "storage/AccountTags.h"

#include "dialogs/DisplayText.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "messages/Filters.h"
#include "ui/MainWindow.h"
#include "ui/MessageTableModel.h"

#include <QFontMetrics>
#include <QStyle>

#include <algorithm>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace toppeek::core;
using namespace toppeek::dialogs;
using namespace toppeek::messages;
using namespace toppeek::storage;

using namespace toppeek::operations;

namespace toppeek::ui {

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

std::uint32_t totalSize(const MessageList& list) {
    std::uint64_t bytes = 0;
    for (const MessageEntry* entry : list)
        bytes += static_cast<std::uint64_t>(std::max(entry->size, 0));
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
}

// One box for everything a run over the accounts has to say, each account's part on its own;
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

void MainWindow::checkAllAccounts() {
    if (connected_)
        return;
    // Every password is at hand before the first log-in, so that no prompt comes between two
    // mailboxes; a prompt the user cancels cancels the whole check.
    // The keyring's answer comes back to the check that asked, a background one included.
    const auto retry =
        automaticCheck_ ? &MainWindow::runAutomaticCheck : &MainWindow::OpenConnection;
    for (Account* account : settings_->accounts)
        if (!passwordReady(retry, account))
            return;
    // Copies: the operations must not depend on the account list while the window answers
    // events.
    std::vector<Account> accounts;
    std::map<std::uint16_t, std::string> names;
    for (const Account* account : settings_->accounts) {
        accounts.push_back(*account);
        names.emplace(tagOf(*account), account->address);
    }
    messageRows_->setAccountNames(std::move(names));
    messages_->clear();
    mailboxCounts_.clear();
    forgetSortOrder();
    refreshList();

    OperationOptions options = operationOptions();
    options.quiet = true;
    std::vector<std::string> failures;
    std::vector<std::string> emptyMailboxes;
    std::vector<Account> read;
    std::uint64_t bytes = 0;
    long meant = 0;
    bool partial = false;
    enterBusy();
    for (const Account& account : accounts) {
        const OperationOutcome outcome = checkMailbox(
            account, *settings_, *filters_, *messages_, [this](int) { rowArrived(); }, options);
        checkEnded(account, outcome);
        bytes += settings_->mailboxBytes;
        if (outcome.result == OperationResult::Cancelled || outcome.result == OperationResult::Busy)
            break;
        if (loginFailed(outcome.result)) {
            failures.push_back(account.address + ": " + outcome.reason);
        } else {
            read.push_back(account);
            meant += std::max(outcome.listed, outcome.toList);
            partial = partial || outcome.listed < outcome.toList;
            const std::string report = checkReport(outcome, account.address);
            if (outcome.result == OperationResult::BrokeOff)
                failures.push_back(report);
            else if (!report.empty())
                emptyMailboxes.push_back(report);
        }
        if (closePending_)
            break;
    }
    listGrowth_.stop();
    settings_->mailboxBytes =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    leaveBusy();

    if (!read.empty() && messages_->count() > 0) {
        listedAccounts_ = std::move(read);
        connected_ = true;
        meantToList_ = partial ? meant : -1;
    }
    refreshList();
    if (closePending_)
        return;
    std::string opening;
    if (!failures.empty())
        opening = failures.size() == 1 ? "One account could not be read in full:"
                                       : "Some accounts could not be read in full:";
    // Empty mailboxes are worth a word only when no account had anything to list.
    if (!connected_)
        failures.insert(failures.end(), emptyMailboxes.begin(), emptyMailboxes.end());
    if (std::string report = accountsReport(opening, failures); !report.empty())
        tellCheckReport(report);
    if (!connected_)
        return;
    setConnectedCommands(true);
    updateCaption();
    updateGroupCaption();
}

void MainWindow::removeMarkedOfEachAccount() {
    OperationOptions options = operationOptions();
    options.quiet = true;
    std::vector<std::string> reports;
    const int listedBefore = messages_->count();
    enterBusy();
    for (const Account& listed : listedAccounts_) {
        // This account's entries, borrowed in list order, and where each sits in the whole list:
        // the removal sees only its own mailbox's messages and renumbers only those.
        MessageList own(10, 5);
        std::vector<int> places;
        bool anyMarked = false;
        for (int i = 0; i < messages_->count(); ++i) {
            MessageEntry* entry = messages_->at(i);
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
            messages_->removeAt(place);
            messageView->removeRow(place);
            places.erase(places.begin() + index);
            for (int& later : places)
                if (later > place)
                    --later;
        };
        // The removal compares the mailbox with what this account's check found in it.
        const auto known = mailboxCounts_.find(tagOf(listed));
        settings_->mailboxMessages = known != mailboxCounts_.end() ? known->second : -1;
        const OperationOutcome outcome =
            removeMarkedMessages(*account, *settings_, own, onRemoved, options);
        const std::int32_t left = settings_->mailboxMessages;
        setMailboxCount(tagOf(listed), left);
        listOutdated_ = listOutdated_ || outcome.mailboxChanged;
        const std::string report =
            loginFailed(outcome.result) ? outcome.reason : removalReport(outcome);
        if (!report.empty())
            reports.push_back(listed.address + ":\n" + report);
        if (outcome.result == OperationResult::Cancelled ||
            outcome.result == OperationResult::Busy || closePending_)
            break;
    }
    settings_->mailboxBytes = totalSize(*messages_);
    // The messages a partial list leaves out are still left out.
    if (meantToList_ >= 0)
        meantToList_ -= listedBefore - messages_->count();
    refreshList();
    leaveBusy();
    if (std::string report = accountsReport("The removal did not go as asked everywhere:", reports);
        !report.empty() && !closePending_)
        msgBox(kMbInformation, kProgramTitle, "%s", report.c_str());
}

void MainWindow::sortByAccountNow() {
    const auto& names = messageRows_->accountNames();
    auto nameOf = [&names](const MessageEntry& entry) {
        const auto name = names.find(entry.accountTag);
        return name != names.end() ? std::string_view(name->second) : std::string_view();
    };
    // Within an account the messages keep the order they had, either way round: the list's sort
    // is not stable, so the place each had decides between equal names.
    std::unordered_map<const MessageEntry*, int> placeOf;
    for (int i = 0; i < messages_->count(); ++i)
        placeOf.emplace(messages_->at(i), i);
    const bool ascending = sortAscending_;
    messages_->sort(
        [&](const MessageEntry& one, const MessageEntry& other) {
            if (const int byName = nameOf(one).compare(nameOf(other)); byName != 0)
                return byName;
            const int byPlace = placeOf.at(&one) - placeOf.at(&other);
            return ascending ? byPlace : -byPlace;
        },
        ascending);
}

void MainWindow::SortByAccount() {
    if (!busy() && connected_ && listsAllAccounts() && messages_->count() > 0) {
        const MessageEntry* focusedEntry = messages_->at(messageView->focusedRow());
        if (sortKey_ == kSortByAccount)
            sortAscending_ = !sortAscending_;
        sortKey_ = kSortByAccount;
        sortByAccountNow();
        refreshList();
        if (focusedEntry != nullptr)
            if (const int index = indexOfEntry(*messages_, focusedEntry); index >= 0)
                messageView->goToRow(index);
    }
    syncSortChecks();
}

std::optional<Account> MainWindow::listedAccountOf(const MessageEntry& entry) const {
    for (const Account& listed : listedAccounts_) {
        if (tagOf(listed) != entry.accountTag)
            continue;
        Account account = listed;
        // A password changed in the preferences since the check is the one to log in with now.
        const Account* live = accountWithTag(settings_->accounts, entry.accountTag);
        if (live != nullptr && sameMailbox(*live, listed) && live->passwordKnown)
            account.password = live->password;
        return account;
    }
    return std::nullopt;
}

bool MainWindow::listedAccountsKept() const {
    if (!allAccountsChosen())
        return false;
    return std::all_of(listedAccounts_.begin(), listedAccounts_.end(),
                       [this](const Account& listed) {
                           const Account* live = accountWithTag(settings_->accounts, tagOf(listed));
                           return live != nullptr && sameMailbox(*live, listed);
                       });
}

void MainWindow::updateAccountColumn() {
    bool mixed = false;
    if (const MessageEntry* first = messages_->at(0))
        mixed =
            std::any_of(messages_->begin(), messages_->end(), [first](const MessageEntry* entry) {
                return entry->accountTag != first->accountTag;
            });
    const bool shown = messageView->columnCount() > MessageTableModel::kAccountColumn;
    if (mixed == shown)
        return;
    if (!mixed) {
        messageView->removeLastColumn();
        return;
    }
    applyingWidths_ = true;
    // Subject stays last, taking the width the others leave. The new column must never be the
    // stretched last one on its way there: moving it away would give it back the width it had
    // before the stretch, which was none, and it would stay out of sight until dragged.
    messageView->setStretchLastColumn(false);
    const int column = messageView->addColumn(tr("Account"), 0);
    messageView->placeColumnBefore(column, 4);
    // Addresses alone, without the names the other address columns carry: as wide as the
    // longest of them, so that Subject keeps what it can.
    const QFontMetrics metrics(messageView->font());
    int widest = 0;
    for (const auto& [tag, address] : messageRows_->accountNames())
        widest = std::max(widest, metrics.horizontalAdvance(dialogs::displayText(address)));
    const int padding =
        2 * (messageView->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, messageView) +
             1) +
        6;
    const int fitting = std::max(metrics.horizontalAdvance(messageView->columnCaption(column)) + 16,
                                 std::min(widest, fittingColumnWidth(column))) +
                        padding;
    messageView->setColumnWidth(column,
                                userAccountColumnWidth_ > 0 ? userAccountColumnWidth_ : fitting);
    messageView->setStretchLastColumn(true);
    applyingWidths_ = false;
}

} // namespace toppeek::ui
