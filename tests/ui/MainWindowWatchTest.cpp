// Watching the mailbox: checks driven by a clock the test ticks by hand, in the background with
// their progress in the status bar; messages new since the check before, across a restart, on a
// real Dovecot; the tray icon's menu and closing to the tray.
#include "MainWindowHarness.h"

#include "dialogs/MsgBox.h"
#include "dialogs/ProgressDialog.h"
#include "storage/ReservedOptions.h"
#include "support/DovecotServer.h"
#include "ui/BackgroundProgress.h"
#include "ui/MainWindow.h"
#include "ui/PreferencesDialog.h"
#include "ui/TrayIcon.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QToolButton>

using namespace toppeek::core;
using namespace toppeek::ui;
using namespace toppeek::messages;
using namespace toppeek::storage;

using namespace std::chrono_literals;
using namespace toppeek::test;
using toppeek::dialogs::currentProgressDialog;
using toppeek::dialogs::kIdYes;
using toppeek::dialogs::kMbAskYesNo;

namespace {

class HandClock : public CheckClock {
public:
    void start(std::function<void()> tick) override { tick_ = std::move(tick); }
    void tick() { tick_(); }

private:
    std::function<void()> tick_;
};

// Each minute of the window's clock is one call of tick().
HandClock& handClock(MainWindow& window) {
    auto clock = std::make_unique<HandClock>();
    HandClock& kept = *clock;
    window.setCheckClock(std::move(clock));
    return kept;
}

QString boldRows(MainWindow& window) {
    QString rows;
    QAbstractItemModel* model = window.messageView->activeView()->model();
    for (int row = 0; row < window.messageView->rowCount(); ++row)
        rows += model->index(row, 4).data(Qt::FontRole).value<QFont>().bold() ? 'B' : '-';
    return rows;
}

std::string mail(const std::string& from, const std::string& subject) {
    return "From: " + from + "\nTo: alice0@example.com\nSubject: " + subject +
           "\nDate: Mon, 1 Mar 2010 10:00:00 +0000\n\nHello\n";
}

} // namespace

class MainWindowWatchTest : public QObject, public WindowTestFiles {
    Q_OBJECT

    std::unique_ptr<MainWindow> startWindow(const std::vector<std::string>& hosts, int minutes,
                                            ShellHooks hooks = {}) {
        return startMainWindow(
            settingsPath_, filtersPath_, hosts, 0,
            [minutes](Settings& settings) { setCheckIntervalMinutes(settings, minutes); },
            std::move(hooks));
    }

private slots:
    void init() { setUpFiles(); }
    void cleanup() { tearDownFiles(); }

    // A due tick checks in the background: no progress dialog, the status bar shows the
    // progress and cancels; meanwhile ticks do nothing and the user's commands get a word.
    // Later, a tick under a modal dialog does nothing, and a failed check says so in the status
    // bar, not in a box.
    void ticksCheckInTheBackground() {
        ScriptedPop3Server server;
        loggedIn(server).expect("STAT", "+OK 3 9999\r\n").expect("UIDL", uidListing(3));
        listed(server, 1, kThree[0]);
        server.expect("LIST 2", "+OK 2 100\r\n")
            .expect("TOP 2 0", {{"+OK\r\n" + headerOf(kThree[1]) + "\r\n.\r\n", 3000ms}});
        server.start();
        auto window = startWindow({server.hostAndPort()}, 2);
        QVERIFY(window);
        HandClock& clock = handClock(*window);

        clock.tick();
        QVERIFY(!window->automaticCheckRunning());
        QVERIFY(!window->connected());

        bool dialogShown = true;
        bool panelShown = false;
        QString refusal;
        WhenTrue during([&] { return window->messageView->rowCount() >= 1; },
                        [&] {
                            dialogShown = currentProgressDialog() == nullptr ||
                                          currentProgressDialog()->isVisible();
                            panelShown = window->backgroundProgress->isVisible();
                            // Due again, but the check runs: no second one.
                            clock.tick();
                            clock.tick();
                            window->connectButton->click();
                            refusal = window->statusText->text();
                            boxes_->answer(kIdYes);
                            window->backgroundProgress->cancelButton->click();
                        });
        clock.tick();
        QVERIFY(during.fired());
        QVERIFY(!dialogShown);
        QVERIFY(panelShown);
        QVERIFY(!window->backgroundProgress->isVisible());
        QVERIFY2(refusal.contains("try again"), qPrintable(refusal));
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{kMbAskYesNo}); // the cancel question
        QVERIFY2(window->statusText->text().contains("cancelled"),
                 qPrintable(window->statusText->text()));
        QVERIFY(window->connected());
        QCOMPARE(window->messageView->rowCount(), 1);
        QVERIFY(server.waitUntilDone(5s));

        // The counting starts again after the check; the due tick finds a modal dialog open.
        clock.tick();
        bool dialogSeen = false;
        auto preferences = onDialog<PreferencesDialog>([&](PreferencesDialog* dialog) {
            dialogSeen = true;
            clock.tick();
            dialog->reject();
        });
        window->Preferences();
        QVERIFY(dialogSeen);
        QCOMPARE(window->messageView->rowCount(), 1);

        // The next tick re-lists, from a server that has gone: said in the status bar only.
        clock.tick();
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
        QVERIFY2(window->statusText->text().contains("The mail server"),
                 qPrintable(window->statusText->text()));
        QVERIFY(!window->connected());
    }

    // Messages a check finds that the check before did not list are bold, until the next
    // check, also after a restart; a background check that found some tells of them once;
    // marks keep a listed mailbox from being checked again.
    void newMailAcrossChecksAndRestarts() {
        DovecotServer server;
        server.addUser("alice", "secret");
        server.addMessage("alice", mail("ann@example.org", "one"));
        server.addMessage("alice", mail("bob@example.org", "two"));
        QVERIFY2(server.start(), server.failure().c_str());
        std::vector<std::vector<NewMailCount>> notices;
        ShellHooks hooks;
        hooks.newMailNotice = [&](QWidget*, const std::vector<NewMailCount>& counts,
                                  std::function<void()>) { notices.push_back(counts); };
        auto window = startWindow({server.hostAndPort()}, 1, hooks);
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        HandClock* clock = &handClock(*window);

        window->connectButton->click(); // the first check ever: nothing is new
        QVERIFY(window->connected());
        QCOMPARE(boldRows(*window), QString("--"));

        server.addMessage("alice", mail("cy@example.org", "three"));
        clock->tick();
        QCOMPARE(boldRows(*window), QString("--B"));
        QCOMPARE(notices.size(), std::size_t{1});
        QCOMPARE(notices[0].size(), std::size_t{1});
        QCOMPARE(notices[0][0].account, std::string("alice0@example.com"));
        QCOMPARE(notices[0][0].newMessages, 1);
        QVERIFY(boxes_->shown().empty());

        // A mark would be lost with a new list: the tick leaves the list alone.
        window->messageView->goToRow(0);
        window->markItem->trigger();
        server.addMessage("alice", mail("dee@example.org", "four"));
        clock->tick();
        QCOMPARE(window->messageView->rowCount(), 3);
        QVERIFY(window->statusText->text().contains("marked"));

        // Across a restart: only the message no check has listed yet is new.
        window->markItem->trigger();
        window->closeButton->click();
        window.reset();
        window = startWindow({server.hostAndPort()}, 1, hooks);
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        window->connectButton->click();
        QCOMPARE(boldRows(*window), QString("---B"));
        // A check by hand tells nobody else.
        QCOMPARE(notices.size(), std::size_t{1});
        clock = &handClock(*window);
        clock->tick();
        QCOMPARE(boldRows(*window), QString("----"));
    }

    // Seen messages that cannot be written are said in the status bar: the next check would
    // show them as new again.
    void aFailedSaveOfTheSeenMessagesIsSaid() {
        DovecotServer server;
        server.addUser("alice", "secret");
        server.addMessage("alice", mail("ann@example.org", "one"));
        QVERIFY2(server.start(), server.failure().c_str());
        auto window = startWindow({server.hostAndPort()}, 0, {});
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        // A folder where the file would go: the save cannot replace it.
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("toppeek-seen.dat")));
        window->connectButton->click();
        QVERIFY(window->connected());
        QVERIFY2(window->statusText->text().contains("Could not save the seen messages"),
                 qPrintable(window->statusText->text()));
        QVERIFY(boxes_->shown().empty());
    }

    // The tray menu checks, shows and quits; with automatic checks on, closing the window hides
    // it, and says so the first time only.
    void trayMenuAndClosingToTheTray() {
        ScriptedPop3Server server;
        scriptCheck(server, kThree);
        server.start();
        auto window = startWindow({server.hostAndPort()}, 5);
        QVERIFY(window);
        window->createTrayIcon();
        QVERIFY(window->trayIcon != nullptr);

        window->close();
        QVERIFY(!window->isVisible());
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
        QVERIFY(trayCloseExplained(window->settings()));

        window->trayIcon->checkNowItem->trigger();
        QVERIFY(server.waitUntilDone(5s));
        QVERIFY(window->isVisible());
        QVERIFY(window->connected());
        QVERIFY2(window->trayIcon->toolTip().contains("3 messages waiting"),
                 qPrintable(window->trayIcon->toolTip()));

        window->close();
        QVERIFY(!window->isVisible());
        QVERIFY(window->connected()); // only hidden: the list stays
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
        window->trayIcon->showItem->trigger();
        QVERIFY(window->isVisible());

        window->trayIcon->quitItem->trigger();
        QVERIFY(!window->isVisible());
        QVERIFY(!window->connected()); // closed for good: the list went with it
    }

    void trayIconShownWhereTheDesktopHasATray() {
        if (!QSystemTrayIcon::isSystemTrayAvailable())
            QSKIP("This desktop has no system tray; the tray menu is driven without one in "
                  "trayMenuAndClosingToTheTray.");
        auto window = startWindow({"127.0.0.1:1"}, 0);
        QVERIFY(window);
        QVERIFY(window->trayIcon != nullptr);
        QVERIFY(window->trayIcon->isVisible());
    }
};

QTEST_MAIN(MainWindowWatchTest)
#include "MainWindowWatchTest.moc"
