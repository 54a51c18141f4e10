// The main window's side of watching the mailbox: checks on a timer that run in the background
// with their progress in the status bar, the messages that arrived since the check before, the
// new-mail notice and the tray icon.

#include "core/Counted.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "messages/ListUpdate.h"
#include "messages/MessageList.h"
#include "storage/ReservedOptions.h"
#include "ui/BackgroundProgress.h"
#include "ui/MainWindow.h"
#include "ui/MessageTableModel.h"
#include "ui/TrayIcon.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QStatusBar>
#include <QTime>

#include <algorithm>
#include <array>
#include <filesystem>

using namespace toppeek::core;
using namespace toppeek::dialogs;
using namespace toppeek::messages;
using namespace toppeek::storage;

using namespace toppeek::operations;

namespace toppeek::ui {

namespace {

const char* const kRefusedDuringCheck =
    "Checking for new mail in the background - try again when it has ended.";

} // namespace

void MainWindow::startWatching() {
    seen_ = SeenMessages::load(seenMessagesPath());
    backgroundProgress = new BackgroundProgress(statusPanel);
    statusPanel->addPermanentWidget(backgroundProgress);
    trayRefresh_.setSingleShot(true);
    trayRefresh_.setInterval(200);
    connect(&trayRefresh_, &QTimer::timeout, this, &MainWindow::updateTray);
    // Marks change from many commands and rows come and go during a check; the tray follows
    // the list's model rather than each of them, and at most a few times a second.
    // The timer is the connections' context: the model may still signal while the window's
    // children go, after the timer has.
    const auto refresh = qOverload<>(&QTimer::start);
    connect(messageRows_, &QAbstractItemModel::dataChanged, &trayRefresh_, refresh);
    connect(messageRows_, &QAbstractItemModel::rowsInserted, &trayRefresh_, refresh);
    connect(messageRows_, &QAbstractItemModel::rowsRemoved, &trayRefresh_, refresh);
    connect(messageRows_, &QAbstractItemModel::modelReset, &trayRefresh_, refresh);
    // At the end of the desktop session the program ends, tray or not.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] { quitting_ = true; });
    if (QSystemTrayIcon::isSystemTrayAvailable())
        createTrayIcon();
    setCheckClock(std::make_unique<MinuteClock>());
}

std::string MainWindow::seenMessagesPath() const {
    // Beside the settings file the window was given, which tests put in a folder of their own.
    std::filesystem::path path(settingsPath_);
    path.replace_filename(std::filesystem::path(seenMessagesFilePath()).filename());
    return path.string();
}

void MainWindow::setCheckClock(std::unique_ptr<CheckClock> clock) {
    checkClock_ = std::move(clock);
    minutesSinceCheck_ = 0;
    if (checkClock_)
        checkClock_->start([this] { checkClockTicked(); });
}

void MainWindow::checkClockTicked() {
    const int interval = checkIntervalMinutes(*settings_);
    if (interval <= 0) {
        minutesSinceCheck_ = 0;
        return;
    }
    if (++minutesSinceCheck_ < interval)
        return;
    // Whatever stands in the way, the tick is not kept for later: the next one tries again, so
    // that checks never queue up behind a long one or an open dialog.
    // Before the first activation the filters are not read yet: a check would mark nothing.
    // Marks do not hold a check back: the list is updated in place and keeps them.
    if (busy() || closePending_ || waitingForKeyring() || firstActivation_ ||
        QApplication::activeModalWidget() != nullptr ||
        (currentAccount() == nullptr && !allAccountsChosen()))
        return;
    runAutomaticCheck();
}

void MainWindow::runAutomaticCheck() {
    // Also the keyring's way back here, when the password had to be read first.
    if (busy() || closePending_ || QApplication::activeModalWidget() != nullptr ||
        (!allAccountsChosen() &&
         (currentAccount() == nullptr || !passwordReady(&MainWindow::runAutomaticCheck))))
        return;
    minutesSinceCheck_ = 0;
    newMail_.clear();
    automaticProblem_.clear();
    automaticCheck_ = true;
    updateListedMailboxes();
    automaticCheck_ = false;

    int arrived = 0;
    for (const NewMailCount& count : newMail_)
        arrived += count.newMessages;
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (!automaticProblem_.isEmpty())
        statusText->setText(automaticProblem_);
    else if (arrived == 0)
        statusText->setText(tr("No new mail (checked at %1).").arg(at));
    else
        statusText->setText(QStringLiteral("%1 (checked at %2).")
                                .arg(QString::fromStdString(countOf(arrived, "new message")), at));
    updateTray();
    if (arrived > 0 && hooks_.newMailNotice && !closePending_)
        hooks_.newMailNotice(this, newMail_, [this] { ShowFromTray(); });
}

void MainWindow::tellCheckReport(const std::string& report) {
    if (!automaticCheck_) {
        msgBox(kMbInformation, kProgramTitle, "%s", report.c_str());
        return;
    }
    // Nobody asked for this check: a box every few minutes would be worse than the failure.
    QString line = QString::fromStdString(report).simplified();
    automaticProblem_ =
        automaticProblem_.isEmpty() ? line : automaticProblem_ + QStringLiteral(" ") + line;
}

void MainWindow::checkEnded(const Account& account, const OperationOutcome& outcome) {
    minutesSinceCheck_ = 0;
    if (outcome.mailboxCount >= 0)
        setMailboxCount(static_cast<std::uint16_t>(account.accountTag),
                        static_cast<std::int32_t>(std::min<long>(outcome.mailboxCount, INT32_MAX)));
    if (outcome.result == OperationResult::Cancelled && automaticCheck_)
        tellCheckReport("The check for new mail was cancelled.");
    // A check that did not reach the end would bring the messages it missed back as new.
    if (outcome.result != OperationResult::Completed)
        return;
    // What the tray says of the last background check is stale once a check by hand got through.
    if (!automaticCheck_)
        automaticProblem_.clear();
    const int count = messages_->count();
    const int first = std::max(0, count - static_cast<int>(outcome.listed));
    std::vector<MessageEntry*> entries;
    for (int i = first; i < count; ++i)
        entries.push_back(messages_->at(i));
    recordListing(account, entries);
}

void MainWindow::recordListing(const Account& account, const std::vector<MessageEntry*>& entries) {
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
    messageView->redrawRows(messages_->count());
    if (!seen_.save(seenMessagesPath()))
        statusText->setText(QStringLiteral("Could not save the seen messages to %1: the next "
                                           "check shows them as new again.")
                                .arg(QString::fromStdString(seenMessagesPath())));
}

void MainWindow::updateListedMailboxes() {
    // Without a list on show the check is the same update of an empty one: the list appears,
    // whole, once the check has ended, and stays away when it fails or is cancelled.
    const bool allAccounts = connected_ ? listsAllAccounts() : allAccountsChosen();
    std::vector<Account> accounts;
    if (allAccounts) {
        // Every password at hand first, as for a check of all accounts; the keyring's answer
        // comes back to the automatic check.
        for (Account* account : settings_->accounts)
            if (!passwordReady(&MainWindow::runAutomaticCheck, account))
                return;
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
        messages_->clear();
        mailboxCounts_.clear();
        listedAccounts_.clear();
        forgetSortOrder();
        refreshList();
        if (allAccounts) {
            std::map<std::uint16_t, std::string> names;
            for (const Account& account : accounts)
                names.emplace(static_cast<std::uint16_t>(account.accountTag), account.address);
            messageRows_->setAccountNames(std::move(names));
        }
    }
    // The message at the top of the view stays there, whatever joins or leaves above it.
    QAbstractItemView* view = messageView->activeView();
    const MessageEntry* topEntry = messages_->at(view->indexAt(QPoint(1, 1)).row());
    std::vector<std::string> problems;
    std::vector<Account> read;
    bool complete = true;
    enterBusy();
    for (const Account& account : accounts) {
        const UpdateResult result = updateMailboxInPlace(account, problems);
        const bool listedBefore = std::any_of(
            listedAccounts_.begin(), listedAccounts_.end(),
            [&account](const Account& listed) { return listed.accountTag == account.accountTag; });
        if (result == UpdateResult::Updated || listedBefore)
            read.push_back(account);
        complete = complete && result == UpdateResult::Updated;
        if (result == UpdateResult::Cancelled || closePending_)
            break;
    }
    leaveBusy();
    if (!connected_ && !read.empty() && messages_->count() > 0) {
        connected_ = true;
        if (!allAccounts)
            listedAccount_ = read.front();
        setConnectedCommands(true);
        updateCaption();
    }
    if (allAccounts)
        listedAccounts_ = std::move(read);
    if (complete) {
        meantToList_ = -1;
        listOutdated_ = false;
    }
    std::uint64_t bytes = 0;
    for (const MessageEntry* entry : *messages_)
        bytes += static_cast<std::uint64_t>(std::max(entry->size, 0));
    settings_->mailboxBytes =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(bytes, UINT32_MAX));
    if (!problems.empty()) {
        std::string report;
        for (const std::string& problem : problems)
            report += (report.empty() ? "" : " ") + problem;
        tellCheckReport(report);
    }
    if (messages_->count() == 0) {
        // Everything listed has gone from the server: as a check of an empty mailbox ends.
        discardList();
        return;
    }
    if (sortKey_ >= 0)
        sortAgainKeepingView();
    updateAccountColumn();
    updateGroupCaption();
    if (const int top = topEntry != nullptr ? indexOfEntry(*messages_, topEntry) : -1; top >= 0) {
        // Only the rows move; the columns stay where the user put them.
        const int across = view->horizontalScrollBar()->value();
        view->scrollTo(view->model()->index(top, 0), QAbstractItemView::PositionAtTop);
        view->horizontalScrollBar()->setValue(across);
    }
}

MainWindow::UpdateResult MainWindow::updateMailboxInPlace(const Account& account,
                                                          std::vector<std::string>& problems) {
    const auto tag = static_cast<std::uint16_t>(account.accountTag);
    const auto removeRow = [this](int index) { messageView->removeRow(index); };
    const auto insertRow = [this](int index) { messageView->insertRow(index); };
    const auto entriesOf = [this, tag] {
        std::vector<MessageEntry*> entries;
        for (MessageEntry* entry : *messages_)
            if (entry->accountTag == tag)
                entries.push_back(entry);
        std::sort(entries.begin(), entries.end(), [](const MessageEntry* a, const MessageEntry* b) {
            return a->messageNumber < b->messageNumber;
        });
        return entries;
    };
    // Unique-ids match the list with the server without reading again what it holds; a list
    // read without them can only be read again in full.
    bool byUniqueIds =
        std::all_of(messages_->begin(), messages_->end(), [tag](const MessageEntry* entry) {
            return entry->accountTag != tag || !entry->uniqueId.empty();
        });
    OperationOutcome outcome;
    if (byUniqueIds) {
        MailboxUpdate update;
        outcome =
            updateMailbox(account, *settings_, *filters_, *messages_, update, operationOptions());
        if (outcome.result == OperationResult::Completed && update.byUniqueIds) {
            mergeServerListing(*messages_, tag, update.uniqueIds, outcome.toList,
                               std::move(update.arrived), removeRow, insertRow);
            setMailboxCount(
                tag, static_cast<std::int32_t>(std::min<long>(outcome.mailboxCount, INT32_MAX)));
            recordListing(account, entriesOf());
            return UpdateResult::Updated;
        }
        byUniqueIds = outcome.result != OperationResult::Completed;
    }
    if (!byUniqueIds) {
        // The check writes the mailbox's figures, which stay the list's until it is complete.
        const std::uint32_t bytesBefore = settings_->mailboxBytes;
        const std::int32_t countBefore = settings_->mailboxMessages;
        std::unique_ptr<MessageList> fresh = createMessageList();
        outcome = checkMailbox(account, *settings_, *filters_, *fresh, {}, operationOptions());
        const std::int32_t count = settings_->mailboxMessages;
        settings_->mailboxBytes = bytesBefore;
        settings_->mailboxMessages = countBefore;
        if (outcome.result == OperationResult::Completed) {
            carryOverState(*messages_, tag, *fresh);
            replaceAccountEntries(*messages_, tag, *fresh, removeRow, insertRow);
            setMailboxCount(tag, count);
            recordListing(account, entriesOf());
            return UpdateResult::Updated;
        }
    }
    switch (outcome.result) {
    case OperationResult::Cancelled:
    case OperationResult::Busy:
        problems.emplace_back("The check for new mail was cancelled.");
        return UpdateResult::Cancelled;
    case OperationResult::BrokeOff:
        problems.push_back("Could not check the mailbox of " + account.address +
                           " for new mail: " + outcome.reason + ".");
        break;
    default:
        problems.push_back(outcome.reason);
        break;
    }
    return UpdateResult::Failed;
}

bool MainWindow::refusedDuringAutomaticCheck() {
    if (!automaticCheck_)
        return false;
    statusText->setText(QString::fromLatin1(kRefusedDuringCheck));
    return true;
}

void MainWindow::runCommand(void (MainWindow::*command)()) {
    // What touches neither the list nor the server goes on during a background check; the
    // rest is refused with a word, since a second operation cannot start under the running one.
    static constexpr std::array kAlwaysAnswers{
        &MainWindow::Exit,          &MainWindow::ToggleToolbar, &MainWindow::ToggleStatusBar,
        &MainWindow::HelpIndex,     &MainWindow::OnlineHelp,    &MainWindow::ProgramHomePage,
        &MainWindow::AuthorHomePage};
    if (std::find(kAlwaysAnswers.begin(), kAlwaysAnswers.end(), command) == kAlwaysAnswers.end() &&
        refusedDuringAutomaticCheck())
        return;
    (this->*command)();
}

void MainWindow::createTrayIcon() {
    if (trayIcon != nullptr)
        return;
    trayIcon = new TrayIcon(
        {[this] { CheckNow(); }, [this] { ShowFromTray(); }, [this] { QuitFromTray(); }}, this);
    updateTray();
    trayIcon->show();
}

void MainWindow::updateTray() {
    if (trayIcon == nullptr)
        return;
    const int waiting = !connected_                       ? -1
                        : settings_->mailboxMessages >= 0 ? settings_->mailboxMessages
                                                          : messages_->count();
    trayIcon->showCounts(waiting, countMarked(*messages_), automaticProblem_);
}

void MainWindow::CheckNow() {
    if (refusedDuringAutomaticCheck() || busy())
        return;
    // A check by hand belongs to the window: its questions and its list are shown there.
    ShowFromTray();
    if (connected_)
        CloseConnection();
    if (!connected_ && !closePending_)
        OpenConnection();
    updateTray();
}

void MainWindow::ShowFromTray() {
    QApplication::setQuitOnLastWindowClosed(true);
    show();
    raise();
    activateWindow();
}

void MainWindow::QuitFromTray() {
    quitting_ = true;
    close();
}

bool MainWindow::hideInsteadOfClosing() {
    if (quitting_ || closePending_ || trayIcon == nullptr || !trayIcon->isVisible() ||
        checkIntervalMinutes(*settings_) <= 0)
        return false;
    // The program goes on checking; with the window hidden, closing a dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    hide();
    if (!trayCloseExplained(*settings_)) {
        setTrayCloseExplained(*settings_);
        msgBox(
            kMbInformation, kProgramTitle,
            QT_TRANSLATE_NOOP(
                "MsgBox",
                "TopPeek keeps checking for new mail while its window is closed. Its icon in the "
                "system tray brings the window back; \"Quit\" in the icon's menu ends the "
                "program."));
    }
    return true;
}

void MainWindow::windowClosed() {
    // A window closed from the tray was hidden: nothing else would end the event loop.
    if (!QApplication::quitOnLastWindowClosed() || !isVisible())
        QCoreApplication::quit();
}

} // namespace toppeek::ui
