// The main window's side of watching the mailbox: checks on a timer that run in the background
// with their progress in the status bar, the messages that arrived since the check before, the
// new-mail notice and the tray icon.

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
    QT_TRANSLATE_NOOP("toppeek::ui::MainWindow",
                      "Checking for new mail in the background - try again when it has ended.");

} // namespace

void MainWindow::startWatching() {
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

void MainWindow::setCheckClock(std::unique_ptr<CheckClock> clock) {
    checkClock_ = std::move(clock);
    minutesSinceCheck_ = 0;
    if (checkClock_)
        checkClock_->start([this] { checkClockTicked(); });
}

void MainWindow::checkClockTicked() {
    const int interval = checkIntervalMinutes(settings());
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
        (currentAccount() == nullptr && !allAccountsChosen()))
        return;
    // Every password at hand first; the keyring's answer comes back to the automatic check.
    if (!passwordReady(&MainWindow::runAutomaticCheck))
        return;
    minutesSinceCheck_ = 0;
    checker_->forgetNewMail();
    automaticProblem_.clear();
    automaticCheck_ = true;
    updateListedMailboxes();
    automaticCheck_ = false;

    const std::vector<NewMailCount>& newMail = checker_->newMail();
    int arrived = 0;
    for (const NewMailCount& count : newMail)
        arrived += count.newMessages;
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    if (!automaticProblem_.isEmpty())
        statusText->setText(automaticProblem_);
    else if (arrived == 0)
        statusText->setText(tr("No new mail (checked at %1).").arg(at));
    else
        statusText->setText(arrived == 1
                                ? tr("%n new message (checked at %1).", nullptr, arrived).arg(at)
                                : tr("%n new messages (checked at %1).", nullptr, arrived).arg(at));
    updateTray();
    if (arrived > 0 && hooks_.newMailNotice && !closePending_)
        hooks_.newMailNotice(this, newMail, [this] { ShowFromTray(); });
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

void MainWindow::updateListedMailboxes() {
    const bool wasConnected = connected();
    // Without a list on show the check lists the mailbox in the server's order.
    if (!wasConnected)
        forgetSortOrder();
    // The message at the top of the view stays there, whatever joins or leaves above it.
    QAbstractItemView* view = messageView->activeView();
    const MessageEntry* topEntry = messageList().at(view->indexAt(QPoint(1, 1)).row());
    enterBusy();
    const checker::RunResult result = checker_->update(operationOptions());
    leaveBusy();
    if (!wasConnected && connected()) {
        setConnectedCommands(true);
        updateCaption();
    }
    if (!result.report.empty())
        tellCheckReport(result.report);
    if (messageList().count() == 0) {
        // Everything listed has gone from the server: as a check of an empty mailbox ends.
        discardList();
        return;
    }
    if (sortKey_ >= 0)
        sortAgainKeepingView();
    updateAccountColumn();
    updateGroupCaption();
    showRunNotice();
    if (const int top = topEntry != nullptr ? indexOfEntry(messageList(), topEntry) : -1;
        top >= 0) {
        // Only the rows move; the columns stay where the user put them.
        const int across = view->horizontalScrollBar()->value();
        view->scrollTo(view->model()->index(top, 0), QAbstractItemView::PositionAtTop);
        view->horizontalScrollBar()->setValue(across);
    }
}

bool MainWindow::refusedDuringAutomaticCheck() {
    if (!automaticCheck_)
        return false;
    statusText->setText(tr(kRefusedDuringCheck));
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
    const int waiting = !connected()                      ? -1
                        : settings().mailboxMessages >= 0 ? settings().mailboxMessages
                                                          : messageList().count();
    // An account that needs a sign-in in the browser is said there until a check by hand has
    // done it: the background checks cannot.
    QString problem = automaticProblem_;
    for (const std::string& address : checker_->signInsNeeded())
        if (!problem.contains(QString::fromStdString(address)))
            problem += (problem.isEmpty() ? QString() : QStringLiteral(" ")) +
                       tr("Sign-in needed for %1.").arg(QString::fromStdString(address));
    trayIcon->showCounts(waiting, countMarked(messageList()), problem);
}

void MainWindow::CheckNow() {
    if (refusedDuringAutomaticCheck() || busy())
        return;
    // A check by hand belongs to the window: its questions and its list are shown there.
    ShowFromTray();
    if (connected())
        CloseConnection();
    if (!connected() && !closePending_)
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
        checkIntervalMinutes(settings()) <= 0)
        return false;
    // The program goes on checking; with the window hidden, closing a dialog must not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    hide();
    if (!trayCloseExplained(settings())) {
        setTrayCloseExplained(settings());
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
