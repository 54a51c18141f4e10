// Watching the mailbox: checks driven by a clock the test ticks by hand, in the background with
// their progress in the status bar; messages new since the check before, across a restart, on a
// real Dovecot; the tray icon's menu and closing to the tray.
#include "MainWindowHarness.h"

#include "dialogs/MsgBox.h"
#include "operations/OperationHost.h"
#include "storage/ReservedOptions.h"
#include "support/DovecotServer.h"
#include "ui/BackgroundProgress.h"
#include "ui/MainWindow.h"
#include "ui/PreferencesDialog.h"
#include "ui/ProgressDialogHost.h"
#include "ui/TrayIcon.h"

#include <QAbstractItemModel>
#include <QDir>
#include <QFont>
#include <QGroupBox>
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
using toppeek::dialogs::kIdYes;
using toppeek::dialogs::kMbAskYesNo;

namespace {

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
        // Cancelled while message 2 is read: the list appears only once the check has ended.
        WhenTrue during([&] { return window->backgroundProgress->progressBar->value() >= 2; },
                        [&] {
                            // A background check runs without the progress dialog.
                            dialogShown = !toppeek::operations::operationRunning() ||
                                          ProgressDialogHost::current() != nullptr;
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
        // A cancelled check leaves the window as it was: no list, not a part of one.
        QVERIFY(!window->connected());
        QCOMPARE(window->messageView->rowCount(), 0);
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
        QVERIFY(!window->connected());

        // The next tick re-lists, from a server that has gone: said in the status bar only.
        clock.tick();
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
        QVERIFY2(window->statusText->text().contains("The mail server"),
                 qPrintable(window->statusText->text()));
        QVERIFY(!window->connected());
    }

    // Messages a check finds that the check before did not list are bold, until the next
    // check, also after a restart; a background check that found some tells of them once;
    // marks do not keep a listed mailbox from being checked, and survive the check.
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

        // Marks do not hold the next check back, and it keeps them.
        window->messageView->goToRow(0);
        window->markItem->trigger();
        server.addMessage("alice", mail("dee@example.org", "four"));
        clock->tick();
        QCOMPARE(marksOf(*window), QString("x---"));
        QCOMPARE(boldRows(*window), QString("---B"));
        QCOMPARE(notices.size(), std::size_t{2});

        // Across a restart: only the message no check has listed yet is new.
        window->markItem->trigger();
        window->closeButton->click();
        window.reset();
        server.addMessage("alice", mail("eve@example.org", "five"));
        window = startWindow({server.hostAndPort()}, 1, hooks);
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        window->connectButton->click();
        QCOMPARE(boldRows(*window), QString("----B"));
        // A check by hand tells nobody else.
        QCOMPARE(notices.size(), std::size_t{2});
        clock = &handClock(*window);
        clock->tick();
        QCOMPARE(boldRows(*window), QString("-----"));
    }

    // A check nobody asked for brings the list on show up to date in place: the unique-ids
    // first, then only what the list lacks; the rows of messages gone leave, the others are
    // renumbered and keep their marks, the focus, the selection and the sort. One that fails
    // leaves the list and the tray's count as they were. A new check by hand lists in the
    // server's order, and the sort arrow goes.
    void listOnShowIsUpdatedInPlace() {
        const std::vector<Mail> mails = {{"a@example.org", "alice0@example.com", "one", 400},
                                         {"b@example.org", "alice0@example.com", "two", 100},
                                         {"c@example.org", "alice0@example.com", "three", 300},
                                         {"d@example.org", "alice0@example.com", "four", 200},
                                         {"e@example.org", "alice0@example.com", "five", 250}};
        ScriptedPop3Server byHand;
        scriptCheck(byHand, {mails[0], mails[1], mails[2], mails[3]});
        auto window = startWindow({"127.0.0.1:1"}, 1);
        QVERIFY(window);
        HandClock& clock = handClock(*window);
        window->createTrayIcon();
        QVERIFY(connectTo(*window, byHand));
        clickColumn(*window, 2); // by size
        QCOMPARE(columnTexts(*window, 4), (QStringList{"two", "four", "three", "one"}));
        window->messageView->goToRow(1);
        window->markItem->trigger();
        window->messageView->goToRow(2);

        // Message 1 was taken by other hands, message 5 arrived.
        ScriptedPop3Server update;
        loggedIn(update)
            .expect("STAT", "+OK 4 9999\r\n")
            .expect("UIDL", "+OK\r\n1 uid-2\r\n2 uid-3\r\n3 uid-4\r\n4 uid-5\r\n.\r\n");
        listed(update, 4, mails[4]).expect("QUIT", "+OK bye\r\n");
        update.start();
        window->settings().accounts.at(0)->host = update.hostAndPort();
        clock.tick();
        QVERIFY(update.waitUntilDone(5s));
        QCOMPARE(update.problems(), std::vector<std::string>{});
        QCOMPARE(columnTexts(*window, 4), (QStringList{"two", "four", "five", "three"}));
        QCOMPARE(marksOf(*window), QString("-x--"));
        QCOMPARE(window->messageView->focusedRow(), 3);
        QVERIFY(window->messageView->isRowSelected(3));
        QVERIFY(!window->messageView->isRowSelected(2));
        QCOMPARE(window->messageView->headerView()->sortIndicatorSection(), 2);
        std::vector<int> numbers;
        for (const MessageEntry* entry : window->messageList())
            numbers.push_back(entry->messageNumber);
        QCOMPARE(numbers, (std::vector<int>{1, 3, 4, 2}));
        QVERIFY2(window->messageGroup->title().startsWith("Messages: 4 ("),
                 qPrintable(window->messageGroup->title()));
        // (Another server's port is another mailbox to the record of what was seen: no word
        // of new mail here.)
        QVERIFY2(window->statusText->text().startsWith("No new mail"),
                 qPrintable(window->statusText->text()));

        // The server cannot be reached: the list, its marks and the tray's count stay.
        window->settings().accounts.at(0)->host = "127.0.0.1:1";
        clock.tick();
        QVERIFY(window->connected());
        QCOMPARE(columnTexts(*window, 4), (QStringList{"two", "four", "five", "three"}));
        QCOMPARE(marksOf(*window), QString("-x--"));
        QCOMPARE(window->messageView->focusedRow(), 3);
        QVERIFY2(window->statusText->text().contains("Could not connect"),
                 qPrintable(window->statusText->text()));
        QVERIFY2(window->trayIcon->toolTip().contains("4 messages waiting, 1 marked"),
                 qPrintable(window->trayIcon->toolTip()));
        QVERIFY(boxes_->shown().empty());

        // Closed without removing, and checked again by hand: the server's order, no arrow.
        boxes_->answer(toppeek::dialogs::kIdNo);
        window->closeButton->click();
        QCOMPARE(boxes_->shown().at(0).text,
                 std::string("1 message is marked for deletion.\nRemove it from the server now?"));
        ScriptedPop3Server again;
        scriptCheck(again, {mails[1], mails[2]});
        QVERIFY(connectTo(*window, again));
        QCOMPARE(columnTexts(*window, 4), (QStringList{"two", "three"}));
        QVERIFY(!window->messageView->headerView()->isSortIndicatorShown());
    }

    // Scrolled down a long list, the user keeps the rows in view when messages above them go.
    void scrolledListStaysWhereItWas() {
        std::vector<Mail> mails;
        for (int n = 1; n <= 40; ++n)
            mails.push_back({"a@example.org", "alice0@example.com", "m" + std::to_string(n), n});
        ScriptedPop3Server byHand;
        scriptCheck(byHand, mails);
        auto window = startWindow({"127.0.0.1:1"}, 1);
        QVERIFY(window);
        HandClock& clock = handClock(*window);
        QVERIFY(connectTo(*window, byHand));
        window->messageView->goToRow(39);
        QAbstractItemView* view = window->messageView->activeView();
        const int topBefore = view->indexAt(QPoint(1, 1)).row();
        QVERIFY(topBefore > 5);

        std::string listing = "+OK\r\n";
        for (int n = 2; n <= 40; ++n)
            listing += std::to_string(n - 1) + " uid-" + std::to_string(n) + "\r\n";
        ScriptedPop3Server update;
        loggedIn(update)
            .expect("STAT", "+OK 39 9999\r\n")
            .expect("UIDL", listing + ".\r\n")
            .expect("QUIT", "+OK bye\r\n");
        update.start();
        window->settings().accounts.at(0)->host = update.hostAndPort();
        clock.tick();
        QVERIFY(update.waitUntilDone(5s));
        QCOMPARE(window->messageView->rowCount(), 39);
        QCOMPARE(window->messageView->focusedRow(), 38);
        QCOMPARE(view->indexAt(QPoint(1, 1)).row(), topBefore - 1);
    }

    // With "All accounts" chosen the ticks check every account, the first one listing them,
    // the next ones updating the list; the filters' own marks do not stop the watching.
    void allAccountsAreWatchedAndSpamMarksDoNotStopIt() {
        DovecotServer server;
        server.addUser("ann", "secret");
        server.addUser("ben", "secret");
        server.addMessage("ann", mail("friend@example.org", "for ann"));
        server.addMessage("ben", mail("kim@spam.test", "buy now"));
        QVERIFY2(server.start(), server.failure().c_str());
        auto window = startMainWindow(
            settingsPath_, filtersPath_, {server.hostAndPort(), server.hostAndPort()},
            kAllAccountsSelected, [&server](Settings& settings) {
                setCheckIntervalMinutes(settings, 1);
                settings.accounts.at(0)->userName = server.loginName("ann");
                settings.accounts.at(1)->userName = server.loginName("ben");
            });
        QVERIFY(window);
        window->filters().bannedDomains.add("spam.test");
        window->filters().bannedEnabled = 1;
        HandClock& clock = handClock(*window);

        clock.tick();
        QVERIFY(window->connected());
        QVERIFY(window->listsAllAccounts());
        QCOMPARE(columnTexts(*window, 4), (QStringList{"for ann", "buy now"}));
        QCOMPARE(marksOf(*window), QString("-x"));
        QVERIFY(window->messageView->columnWidth(5) > 20);

        server.addMessage("ann", mail("kim@spam.test", "more spam"));
        server.addMessage("ben", mail("friend@example.org", "for ben"));
        clock.tick();
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"for ann", "more spam", "buy now", "for ben"}));
        QCOMPARE(marksOf(*window), QString("-xx-"));
        QCOMPARE(boldRows(*window), QString("-B-B"));
        QCOMPARE(columnTexts(*window, 5),
                 (QStringList{"alice0@example.com", "alice0@example.com", "alice1@example.com",
                              "alice1@example.com"}));
        QVERIFY(window->messageView->columnWidth(5) > 20);
        QVERIFY(boxes_->shown().empty());
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

    // An OAuth2 account whose sign-in is gone: the background check opens no browser and does
    // not reach the server; the status bar and the tray's tooltip name the account.
    void backgroundCheckSaysWhichAccountNeedsASignIn() {
        ScriptedPop3Server server; // never reached: nothing to sign in with
        server.start();
        auto window = startMainWindow(settingsPath_, filtersPath_, {server.hostAndPort()}, 0,
                                      [](Settings& settings) {
                                          setCheckIntervalMinutes(settings, 1);
                                          Account& account = *settings.accounts.at(0);
                                          account.signIn = SignInMethod::OAuth2;
                                          account.password.clear();
                                      });
        QVERIFY(window);
        window->createTrayIcon();
        handClock(*window).tick();
        QVERIFY(!window->connected());
        QVERIFY(boxes_->shown().empty());
        QVERIFY2(window->statusText->text().contains("alice0@example.com"),
                 qPrintable(window->statusText->text()));
        QVERIFY2(window->trayIcon->toolTip().contains("Sign-in needed for alice0@example.com"),
                 qPrintable(window->trayIcon->toolTip()));
        QCOMPARE(server.received(), std::vector<std::string>{});
    }
};

QTEST_MAIN(MainWindowWatchTest)
#include "MainWindowWatchTest.moc"
