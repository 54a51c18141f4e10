// The main window's side of watching the mailbox: checks on a timer that run in the background
// with their progress in the status bar, the messages that arrived since the check before, the
// new-mail notice and the tray icon.

#include "dialogs/MsgBox.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/ProgressDialog.h"
#include "messages/MessageList.h"
#include "storage/ReservedOptions.h"
#include "ui/BackgroundProgress.h"
#include "ui/MainWindow.h"
#include "ui/MessageTableModel.h"
#include "ui/TrayIcon.h"

#include <QApplication>
#include <QLabel>
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
    if (busy() || closePending_ || waitingForKeyring() || firstActivation_ ||
        QApplication::activeModalWidget() != nullptr || currentAccount() == nullptr)
        return;
    if (connected_ && countMarked(*messages_) > 0) {
        // A new list would drop the marks; the user has work in hand on this one.
        statusText->setText(tr("No automatic check while messages are marked for deletion."));
        return;
    }
    runAutomaticCheck();
}

void MainWindow::runAutomaticCheck() {
    // Also the keyring's way back here, when the password had to be read first.
    if (busy() || closePending_ || QApplication::activeModalWidget() != nullptr ||
        (!allAccountsChosen() &&
         (currentAccount() == nullptr || !passwordReady(&MainWindow::runAutomaticCheck))))
        return;
    if (connected_) {
        if (countMarked(*messages_) > 0)
            return;
        discardList();
    }
    minutesSinceCheck_ = 0;
    newMail_.clear();
    automaticProblem_.clear();
    const OperationOptions asSet = operationOptions_;
    operationOptions_.quiet = true;
    operationOptions_.progressElsewhere = [this] { backgroundProgress->follow(); };
    automaticCheck_ = true;
    backgroundProgress->begin();
    OpenConnection();
    backgroundProgress->end();
    automaticCheck_ = false;
    operationOptions_ = asSet;

    int arrived = 0;
    for (const NewMailCount& count : newMail_)
        arrived += count.newMessages;
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (!automaticProblem_.isEmpty())
        statusText->setText(automaticProblem_);
    else if (arrived == 0)
        statusText->setText(tr("No new mail (checked at %1).").arg(at));
    else
        statusText->setText(
            arrived == 1
                ? tr("1 new message (checked at %1).").arg(at)
                : tr("%1 new messages (checked at %2).").arg(QString::number(arrived), at));
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
    std::vector<std::string_view> ids;
    for (int i = first; i < count; ++i)
        ids.push_back(messages_->at(i)->uniqueId);
    const std::vector<bool> fresh = seen_.recordCheck(account, ids);
    NewMailCount arrived{account.address};
    for (int i = first; i < count; ++i) {
        MessageEntry& entry = *messages_->at(i);
        entry.isNew = fresh[static_cast<std::size_t>(i - first)];
        if (!entry.isNew)
            continue;
        ++arrived.newMessages;
        if (entry.mark == MarkState::MarkedForDelete)
            ++arrived.markedAsSpam;
    }
    if (arrived.newMessages > 0) {
        newMail_.push_back(std::move(arrived));
        messageView->redrawRows(count);
    }
    seen_.save(seenMessagesPath());
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
