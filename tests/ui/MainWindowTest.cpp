// The main window driven as a user would: against scripted POP3 servers for
// the exact conversations, and against a real Dovecot from start-up to
// shutdown. Message boxes are answered by script; the operations run on the
// test's thread, so everything "during an operation" is done from timers
// that the operation's own event processing fires.

#include "ui/MainWindow.h"
#include "dialogs/MsgBox.h"
#include "dialogs/ProgressDialog.h"
#include "mail/Connection.h"
#include "messages/Filters.h"
#include "operations/OperationHost.h"
#include "storage/FiltersFile.h"
#include "storage/Settings.h"
#include "support/DovecotServer.h"
#include "support/PressCancel.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedPop3Server.h"
#include "ui/MainWindowHarness.h"
#include "ui/MessageTableModel.h"
#include "ui/MessageViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/TextPrompt.h"

#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace toppeek::ui;
using namespace toppeek::dialogs;
using namespace toppeek::storage;
using namespace toppeek::messages;
using namespace std::chrono_literals;
using toppeek::test::AfterReply;
using toppeek::test::clickColumn;
using toppeek::test::columnTexts;
using toppeek::test::connectTo;
using toppeek::test::DovecotServer;
using toppeek::test::headerOf;
using toppeek::test::kThree;
using toppeek::test::listed;
using toppeek::test::loggedIn;
using toppeek::test::Mail;
using toppeek::test::onDialog;
using toppeek::test::scriptCheck;
using toppeek::test::ScriptedMessageBoxes;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::uidListing;
using toppeek::test::WhenTrue;

namespace {

// A check of five messages whose server falls silent after listing two.
void scriptStallingCheck(ScriptedPop3Server& server) {
    loggedIn(server).expect("STAT", "+OK 5 9999\r\n").expect("UIDL", uidListing(5));
    listed(server, 1, {"bob@example.org", "alice@example.com", "one", 100});
    listed(server, 2, {"carol@example.org", "alice@example.com", "two", 200});
    server.expect("LIST 3", std::vector<toppeek::test::ReplyPiece>{}, AfterReply::StaySilent);
}

} // namespace

class MainWindowTest : public QObject, private toppeek::test::WindowTestFiles {
    Q_OBJECT

private:
    // A settings file with the given accounts (user alice, password secret)
    // and a window started on it, past its first activation.
    std::unique_ptr<MainWindow> startWindow(const std::vector<std::string>& hosts,
                                            std::int16_t selected = 0) {
        return toppeek::test::startMainWindow(settingsPath_, filtersPath_, hosts, selected);
    }

private slots:
    void init() { setUpFiles(); }

    void cleanup() {
        QVERIFY(!toppeek::operations::operationRunning());
        tearDownFiles();
    }

    void shellHooksRunAtStartAndFromTheHelpMenu() {
        {
            std::unique_ptr<Settings> settings = createDefaultSettings();
            settings->lastUpdateCheckDay = 700000;
            QVERIFY(saveSettings(settingsPath_, *settings));
        }
        std::vector<std::string> calls;
        std::uint32_t daySeen = 0;
        ShellHooks hooks;
        hooks.startupUpdateCheck = [&](std::uint32_t& day) {
            daySeen = day;
            day = 700002;
            calls.push_back("update");
        };
        hooks.helpIndex = [&](QWidget*) { calls.push_back("index"); };
        hooks.onlineHelp = [&] { calls.push_back("online"); };
        hooks.programHomePage = [&] { calls.push_back("program"); };
        hooks.authorHomePage = [&] { calls.push_back("author"); };
        hooks.about = [&](QWidget*) { calls.push_back("about"); };
        hooks.closeHelp = [&] { calls.push_back("close"); };
        {
            MainWindow window(settingsPath_, filtersPath_, nullptr, hooks);
            // The check runs while the window is created, on the day read from the file.
            QCOMPARE(calls, std::vector<std::string>{"update"});
            QCOMPARE(daySeen, 700000u);
            window.helpIndexItem->trigger();
            window.onlineHelpItem->trigger();
            window.programHomePageItem->trigger();
            window.authorHomePageItem->trigger();
            window.aboutItem->trigger();
        }
        QCOMPARE(calls, (std::vector<std::string>{"update", "index", "online", "program", "author",
                                                  "about", "close"}));
        // The day the check recorded is saved at shutdown.
        std::unique_ptr<Settings> saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->lastUpdateCheckDay, 700002u);
    }

    void layoutCaptionsAndStartState() {
        auto window = startWindow({"127.0.0.1:1", "127.0.0.1:2"}, 7);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QString("TopPeek - Not connected"));
        QCOMPARE(window->statusText->text(), QString("For Help Press F1"));
        // The selector lists the accounts, then every account together, and clamps the selection
        // into the accounts.
        QCOMPARE(window->accountSelector->count(), 3);
        QCOMPARE(window->accountSelector->itemText(1), QString("alice1@example.com"));
        QCOMPARE(window->accountSelector->itemText(2), QString("All accounts"));
        QCOMPARE(window->settings().selectedAccount, 1);
        QCOMPARE(window->accountSelector->currentIndex(), 1);
        QCOMPARE(window->messageView->columnCount(), 5);
        const QStringList captions{"To:", "From:", "Size", "Date", "Subject"};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(window->messageView->columnCaption(i), captions[i]);

        // Controls are found by their design names, whatever the members are called.
        QCOMPARE(window->objectName(), QString("FMain"));
        const std::pair<const char*, QObject*> designNames[] = {
            {"BB", window->toolbarPanel},
            {"CBAcc", window->accountSelector},
            {"LVMsg", window->messageView},
            {"Options2", window->optionsMenu},
            {"Options1", window->preferencesItem},
            {"ByPosition1", window->sortByDateItem},
            {"POPViewHeaders", window->popupViewHeaders}};
        for (const auto& [name, control] : designNames)
            QVERIFY2(window->findChild<QObject*>(name) == control, name);
        QCOMPARE(window->exitItem->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
        QCOMPARE(window->popupOpenConnection->shortcut(), QKeySequence(Qt::Key_F2));
        QCOMPARE(window->viewHeadersItem->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F3));
        QCOMPARE(window->fileMenu->actions().size(), 4); // Open, Close, separator, Exit
        QCOMPARE(window->listMenu->actions().size(), 15);
        QCOMPARE(window->filterLabel->text(),
                 QString("Friendly domains: off\nBanned domains: off\nRejection rules: off"));

        // Not connected: only Open connection and the commands of no state work.
        QVERIFY(window->connectButton->isEnabled());
        QVERIFY(window->openConnectionItem->isEnabled());
        QVERIFY(!window->closeButton->isEnabled());
        QVERIFY(!window->viewMessageItem->isEnabled());
        QVERIFY(!window->popupSelectGroup->isEnabled());
        QVERIFY(window->editFiltersItem->isEnabled());
        QVERIFY(window->preferencesButton->isEnabled());
        QVERIFY(window->messageGroup->title().isEmpty());

        window->showToolbarItem->trigger();
        QVERIFY(!window->toolbarPanel->isVisible());
        QVERIFY(!window->showToolbarItem->isChecked());
        window->showToolbarItem->trigger();
        QVERIFY(window->toolbarPanel->isVisible());
        QCOMPARE(window->toolbarPanel->height(), 41);
        window->listStyleItem->trigger();
        QCOMPARE(window->messageView->viewStyle(), ListViewStyle::List);
        QVERIFY(window->listStyleItem->isChecked() && !window->detailsItem->isChecked());
    }

    // At the window's first size the sized columns show their typical texts whole in the font
    // in use and Subject takes the rest; widths the user drags stay through refreshes, resizes
    // and the next start.
    void columnsFitTheFontAndKeepTheUsersWidths() {
        const QStringList samples{"Anna Berg <anna.berg@example.com>",
                                  "Anna Berg <anna.berg@example.com>", "9999.9 Kb",
                                  "30 Dec 2026 - 23:59:59"};
        {
            auto window = startWindow({"127.0.0.1:1"});
            QVERIFY(window);
            MessageListView& list = *window->messageView;
            const QFontMetrics metrics(list.font());
            QCOMPARE(list.font().pixelSize(), 11);
            for (int column = 0; column < 4; ++column)
                QVERIFY2(list.columnWidth(column) >
                             metrics.horizontalAdvance(samples[column]) + (column == 0 ? 16 : 0),
                         qPrintable(samples[column]));
            const int viewport = list.activeView()->viewport()->width();
            int sized = 0;
            for (int column = 0; column < 4; ++column)
                sized += list.columnWidth(column);
            QCOMPARE(sized + list.columnWidth(4), viewport);
            QVERIFY(list.columnWidth(4) >= metrics.averageCharWidth() * 30);

            const int fromWidth = list.columnWidth(1);
            list.headerView()->resizeSection(1, 260);
            const int dateWidth = list.columnWidth(3);
            window->resize(window->width() + 200, window->height());
            window->refreshList();
            QTRY_COMPARE(sized - fromWidth + 260 + list.columnWidth(4),
                         list.activeView()->viewport()->width());
            QCOMPARE(list.columnWidth(1), 260);
            QCOMPARE(list.columnWidth(3), dateWidth);
        }
        auto again = startWindow({"127.0.0.1:1"});
        QVERIFY(again);
        QCOMPARE(again->messageView->columnWidth(1), 260);
    }

    void firstStartWithoutAccountsOpensThePreferences() {
        WhenTrue cancel(
            [] { return qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget()); },
            [] {
                qobject_cast<PreferencesDialog*>(QApplication::activeModalWidget())
                    ->cancelButton->click();
            });
        auto window = startWindow({});
        QVERIFY(window);
        QVERIFY(cancel.fired());
        QCOMPARE(window->accountSelector->count(), 0);
        window->OpenConnection(); // no account: nothing to open
        QVERIFY(boxes_->shown().empty());
        QVERIFY(!toppeek::operations::operationRunning());
    }

    void preferencesRemovingTheListedAccountCloseTheList() {
        auto window = startWindow({"127.0.0.1:1", "127.0.0.1:2"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        window->messageList().at(0)->mark = MarkState::MarkedForDelete;
        // With no row chosen, Delete removes the first account, the listed one.
        auto deleteFirst = onDialog<PreferencesDialog>([](PreferencesDialog* dialog) {
            dialog->deleteAccountButton->click();
            dialog->okButton->click();
        });
        boxes_->answer(kIdNo);
        window->preferencesButton->click();
        QVERIFY(deleteFirst->fired());
        QCOMPARE(window->accountSelector->count(), 1);
        QCOMPARE(window->accountSelector->currentText(), QString("alice1@example.com"));
        // The marked-messages question of Close connection, answered No.
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
        QVERIFY(!window->connected());
        QCOMPARE(window->messageView->rowCount(), 0);
        auto saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->accounts.count(), 1);
    }

    void cellFormats() {
        QCOMPARE(MessageTableModel::sizeText(1023), std::string("1023 b"));
        QCOMPARE(MessageTableModel::sizeText(1024), std::string("1.0 Kb"));
        QCOMPARE(MessageTableModel::sizeText(1535), std::string("1.4 Kb"));
        QCOMPARE(MessageTableModel::sizeText(1536), std::string("1.5 Kb"));
        QCOMPARE(MessageTableModel::sizeText(2047), std::string("1.9 Kb"));
        MailDate date{5, 3, 2010, 9, 7, 9};
        QCOMPARE(MessageTableModel::dateText(date), std::string("5 Mar 2010 - 9:7:9"));
        date.month = 0;
        QCOMPARE(MessageTableModel::dateText(date), std::string("(no date)"));
        date.month = 13;
        QCOMPARE(MessageTableModel::dateText(date), std::string("(no date)"));

        // The cells of a listed entry, as the list reads them.
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        auto entry = createMessageEntry("From: bob@example.org\r\nTo: alice@example.com\r\n"
                                        "Date: Fri, 5 Mar 2010 09:07:09 +0100\r\n\r\n");
        entry->size = 1535;
        entry->mark = MarkState::MarkedForDelete;
        window->messageList().append(entry.release());
        window->messageView->setRowCount(2); // the second row has no entry
        const ListRowsModel& rows = *window->messageView->model();
        auto cell = [&](int column) { return rows.cellText(0, column).toStdString(); };
        QCOMPARE(cell(0), std::string("alice@example.com"));
        QCOMPARE(rows.cellImage(0), 1);
        QCOMPARE(cell(1), std::string("bob@example.org"));
        QCOMPARE(cell(2), std::string("1.4 Kb"));
        QCOMPARE(cell(3), std::string("5 Mar 2010 - 9:7:9"));
        QCOMPARE(cell(4), std::string()); // no Subject field
        // Images only in the first column.
        QVERIFY(!rows.index(0, 1).data(Qt::DecorationRole).isValid());
        QVERIFY(rows.index(0, 0).data(Qt::DecorationRole).isValid());
        window->messageList().at(0)->mark = MarkState::Unmarked;
        QCOMPARE(rows.cellImage(0), 0);
        // A row without an entry reads empty.
        QCOMPARE(rows.cellText(1, 0), QString());
        QCOMPARE(rows.cellImage(1), -1);
        QVERIFY(!rows.index(1, 0).data(Qt::DecorationRole).isValid());
    }

    void choosingTheCurrentAccountDoesNothing() {
        auto window = startWindow({"127.0.0.1:1", "127.0.0.1:2"});
        QVERIFY(window);
        emit window->accountSelector->activated(0);
        window->accountChosen();
        QVERIFY(boxes_->shown().empty());
        QVERIFY(!window->connected());
        QCOMPARE(window->settings().selectedAccount, 0);

        // Another account opens a connection to it: here a refused one.
        window->settings().accounts.at(1)->host =
            "127.0.0.1:" + std::to_string(toppeek::test::unusedLoopbackPort());
        window->accountSelector->setCurrentIndex(1);
        emit window->accountSelector->activated(1);
        QCOMPARE(window->settings().selectedAccount, 1);
        QVERIFY(!window->connected());
        // The failed connection, and nothing said of a mailbox that was never read.
        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x40}));
        QVERIFY(boxes_->shown()[0].text.find("Could not connect") != std::string::npos);
    }

    void checkThenRemovingEveryMessageStaysConnected() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        QCOMPARE(window->messageView->rowCount(), 3);
        QVERIFY(window->windowTitle().startsWith("TopPeek - 127.0.0.1:"));
        QCOMPARE(window->messageGroup->title(), QString("Messages: 3 (4.9 Kb)"));
        QVERIFY(!window->connectButton->isEnabled());
        QVERIFY(window->removeButton->isEnabled());

        window->messageView->setAllRowsSelected(true);
        window->markButton->click();
        QCOMPARE(countMarked(window->messageList()), 3);

        ScriptedPop3Server removal;
        loggedIn(removal)
            .expect("UIDL", uidListing(3))
            .expect("DELE 1", "+OK\r\n")
            .expect("DELE 2", "+OK\r\n")
            .expect("DELE 3", "+OK\r\n")
            .expect("QUIT", "+OK bye\r\n");
        removal.start();
        window->settings().accounts.at(0)->host = removal.hostAndPort();
        boxes_->answer(kIdYes);
        window->removeButton->click();
        QVERIFY(removal.waitUntilDone(5s));
        QCOMPARE(removal.problems(), std::vector<std::string>{});
        QCOMPARE(window->messageList().count(), 0);
        QCOMPARE(window->messageView->rowCount(), 0);
        QVERIFY(window->connected());
        QCOMPARE(window->messageGroup->title(), QString("Messages: 0 (0 bytes)"));
        QVERIFY(window->closeButton->isEnabled());

        // Nothing marked any more: Remove only says so.
        window->RemoveMarked();
        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x23, 0x40}));
        window->CloseConnection();
        QVERIFY(!window->connected());
        QCOMPARE(window->windowTitle(), QString("TopPeek - Not connected"));
    }

    // Rows join the list in batches while a check runs, each batch all that has arrived, and
    // the list grows during the check rather than only at its end.
    void checkAddsRowsInBatchesAsTheyArrive() {
        using namespace std::chrono_literals;
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        constexpr int kMessages = 12;
        std::vector<Mail> mails;
        for (int n = 1; n <= kMessages; ++n)
            mails.push_back({"bob@example.org", "alice@example.com", "m" + std::to_string(n), n});
        ScriptedPop3Server check;
        loggedIn(check)
            .expect("STAT", "+OK " + std::to_string(kMessages) + " 9999\r\n")
            .expect("UIDL", uidListing(kMessages));
        for (int n = 1; n <= kMessages; ++n) {
            if (n % 5 != 0) {
                listed(check, n, mails[n - 1]);
                continue;
            }
            // Messages 5 and 10 come after a pause well beyond the batch interval.
            const std::string number = std::to_string(n);
            check.expect("LIST " + number, "+OK " + number + " " + number + "\r\n")
                .expect(
                    "TOP " + number + " 0",
                    std::vector<toppeek::test::ReplyPiece>{
                        {"+OK\r\n" + toppeek::test::headerOf(mails[n - 1]) + "\r\n.\r\n", 400ms}});
        }
        check.expect("QUIT", "+OK bye\r\n");

        struct Batch {
            int first, last;
            bool duringCheck;
            int listed;
        };
        std::vector<Batch> batches;
        QObject::connect(
            window->messageView->activeView()->model(), &QAbstractItemModel::rowsInserted,
            window.get(), [&](const QModelIndex&, int first, int last) {
                batches.push_back({first, last, toppeek::operations::operationRunning(),
                                   window->messageList().count()});
            });
        QVERIFY(connectTo(*window, check));
        QCOMPARE(window->messageView->rowCount(), kMessages);
        QVERIFY(!batches.empty());
        int next = 0;
        int duringCheck = 0;
        for (const Batch& batch : batches) {
            QCOMPARE(batch.first, next);
            // Always the latest state: everything listed so far.
            QCOMPARE(batch.last + 1, batch.listed);
            next = batch.last + 1;
            duringCheck += batch.duringCheck ? 1 : 0;
        }
        QCOMPARE(next, kMessages);
        // At least the two pauses show what came before them; never a row at a time.
        QVERIFY2(duringCheck >= 2, qPrintable(QString::number(duringCheck)));
        QVERIFY2(batches.size() <= 5, qPrintable(QString::number(batches.size())));
        QVERIFY(boxes_->shown().empty());
    }

    void altF4WhileConnectedAsksOnceAndAnyAnswerCloses() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        window->messageList().at(1)->mark = MarkState::MarkedForDelete;
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        boxes_->answer(kIdCancel);
        QTest::keyClick(window->messageView->activeView(), Qt::Key_F4, Qt::AltModifier);
        QVERIFY(!window->isVisible());
        QVERIFY(!window->connected());
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
    }

    void closingDuringACheckCancelsItAndClosesAfterwards() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server server;
        scriptStallingCheck(server);
        server.start();
        window->settings().accounts.at(0)->host = server.hostAndPort();
        bool busyMenus = false;
        WhenTrue closeBox([&] { return window->messageView->rowCount() == 2; },
                          [&] {
                              busyMenus = !window->editMenu->menuAction()->isEnabled() &&
                                          !window->toolbarPanel->isEnabled() &&
                                          window->messageGroup->isEnabled();
                              window->close();
                          });
        boxes_->answer(kIdYes);
        window->OpenConnection();
        QVERIFY(closeBox.fired());
        QVERIFY(busyMenus);
        // The window is still there while the check returns ...
        QCOMPARE(window->messageList().count(), 2);
        // ... and closes right after, without a further question.
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x24});
        QVERIFY(!window->closePending());
        window.reset();
        QVERIFY(QFile::exists(QString::fromStdString(settingsPath_)));
    }

    void closeAnsweredNoLetsTheCheckGoOn() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server server;
        scriptStallingCheck(server);
        server.start();
        window->settings().accounts.at(0)->host = server.hostAndPort();
        WhenTrue exitKey([&] { return window->messageView->rowCount() == 2; },
                         [&] { window->exitItem->trigger(); });
        boxes_->answer(kIdNo);
        window->OpenConnection(); // ends when the silent server times out
        QVERIFY(exitKey.fired());
        QVERIFY(window->isVisible());
        QVERIFY(!window->closePending());
        QVERIFY(window->connected());
        QCOMPARE(window->messageList().count(), 2);
        // The question, then word that the list is incomplete and why.
        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x24, 0x40}));
        const std::string& report = boxes_->shown()[1].text;
        QVERIFY(report.find("Only 2 of 5 messages") == 0);
        QVERIFY(report.find("the server stopped answering") != std::string::npos);
        QCOMPARE(window->messageGroup->title(), QString("Messages: 2 of 5 (300 bytes)"));
    }

    void cancelledCheckNamesItsPartialListInTheCaption() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server server;
        scriptStallingCheck(server);
        server.start();
        window->settings().accounts.at(0)->host = server.hostAndPort();
        toppeek::test::PressCancelWhen cancel([&](toppeek::dialogs::ProgressDialog&) {
            return window->messageView->rowCount() == 2;
        });
        boxes_->answer(kIdYes);
        window->OpenConnection();
        QVERIFY(cancel.pressed());
        QCOMPARE(window->messageList().count(), 2);
        // The user asked for it: only the cancel question, no report, yet the list never looks
        // complete.
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
        QCOMPARE(window->messageGroup->title(), QString("Messages: 2 of 5 (300 bytes)"));
    }

    void listHandlersDoNothingDuringAnOperation() {
        auto window = startWindow({"127.0.0.1:1", "127.0.0.1:2"});
        QVERIFY(window);
        ScriptedPop3Server server;
        scriptStallingCheck(server);
        server.start();
        window->settings().accounts.at(0)->host = server.hostAndPort();
        std::vector<int> markedAfter;
        WhenTrue meddle([&] { return window->messageView->rowCount() == 2; },
                        [&] {
                            QAbstractItemView* view = window->messageView->activeView();
                            window->messageView->goToRow(0);
                            QTest::keyClick(view, Qt::Key_Delete);
                            markedAfter.push_back(countMarked(window->messageList()));
                            QTest::keyClick(view, Qt::Key_Insert);
                            markedAfter.push_back(countMarked(window->messageList()));
                            QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
                            window->listDoubleClicked();
                            markedAfter.push_back(countMarked(window->messageList()));
                            clickColumn(*window, 4);
                            window->accountSelector->setCurrentIndex(1);
                            window->accountChosen();
                            window->openConnectionItem->trigger();
                            window->connectButton->click();
                            window->Preferences();
                            window->EditFilters();
                        });
        window->OpenConnection();
        QVERIFY(meddle.fired());
        QCOMPARE(markedAfter, (std::vector<int>{0, 0, 0}));
        // Only the word that the check ended early.
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x40});
        QVERIFY(window->connected());
        QCOMPARE(window->messageList().count(), 2);
        QCOMPARE(countMarked(window->messageList()), 0);
        QCOMPARE(window->sortKey(), -1);
        QCOMPARE(window->settings().selectedAccount, 0);
        QCOMPARE(window->accountSelector->currentIndex(), 0);
    }

    void listCommands() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        MessageListView& list = *window->messageView;
        const auto marks = [&] {
            QString text;
            for (const MessageEntry* entry : window->messageList())
                text += entry->mark == MarkState::Unmarked ? '-' : 'x';
            return text;
        };

        // Sorting twice by one key reverses; the cursor stays on its message.
        list.goToRow(0); // "beta"
        window->sortBySubjectItem->trigger();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"alpha", "beta", "gamma"}));
        QCOMPARE(list.focusedRow(), 1);
        QVERIFY(window->sortBySubjectItem->isChecked());
        clickColumn(*window, 4);
        QCOMPARE(columnTexts(*window, 4), (QStringList{"gamma", "beta", "alpha"}));
        QCOMPARE(window->sortAscending(), false);
        clickColumn(*window, 2); // another key keeps the direction
        QCOMPARE(columnTexts(*window, 2), (QStringList{"2.9 Kb", "1.9 Kb", "100 b"}));
        QVERIFY(window->sortBySizeItem->isChecked() && !window->sortBySubjectItem->isChecked());
        QVERIFY(list.headerView()->isSortIndicatorShown());
        QCOMPARE(list.headerView()->sortIndicatorSection(), 2);
        QCOMPARE(list.headerView()->sortIndicatorOrder(), Qt::DescendingOrder);
        // Home and End go to the first and the last message.
        QTest::keyClick(list.activeView(), Qt::Key_End);
        QCOMPARE(list.focusedRow(), 2);
        QTest::keyClick(list.activeView(), Qt::Key_Home);
        QCOMPARE(list.focusedRow(), 0);

        // Insert flips the row and moves on, except on the last row.
        list.setAllRowsSelected(false);
        list.goToRow(1);
        QTest::keyClick(list.activeView(), Qt::Key_Insert);
        QCOMPARE(marks(), QString("-x-"));
        QCOMPARE(list.focusedRow(), 2);
        // The row says why it is marked; the status bar says it for the current message.
        const auto tip = [&list](int row) {
            return list.activeView()->model()->index(row, 3).data(Qt::ToolTipRole).toString();
        };
        QCOMPARE(tip(1), QString("Marked by hand"));
        QCOMPARE(tip(0), QString());
        QCOMPARE(window->statusText->text(), QString("For Help Press F1"));
        list.goToRow(1);
        QCOMPARE(window->statusText->text(), QString("Marked by hand"));
        list.goToRow(2);
        QTest::keyClick(list.activeView(), Qt::Key_Insert);
        QCOMPARE(marks(), QString("-xx"));
        QCOMPARE(list.focusedRow(), 2);

        // Double click flips the selected rows.
        list.setAllRowsSelected(true);
        window->listDoubleClicked();
        QCOMPARE(marks(), QString("x--"));

        // Mark not addressed marks the one to another domain, unmarks the rest.
        window->MarkNotAddressed();
        QCOMPARE(marks(), QString("-x-"));
        QVERIFY(boxes_->shown().empty());

        // Group commands take their text from the one-line dialog.
        auto typeGroup = onDialog<TextPrompt>([](TextPrompt* dialog) {
            dialog->textEdit->setText("gam*");
            dialog->okButton->click();
        });
        list.goToRow(0);
        window->popupSelectGroup->trigger();
        QVERIFY(typeGroup->fired());
        QCOMPARE(marks(), QString("-xx"));
        QCOMPARE(list.focusedRow(), 0);

        // Apply filters marks what a banned domain names.
        window->filters().bannedDomains.add("spam.test");
        window->filters().bannedEnabled = 1;
        for (MessageEntry* entry : window->messageList())
            entry->mark = MarkState::Unmarked;
        window->popupApplyFilters->trigger();
        QCOMPARE(marks(), QString("-x-"));
        QCOMPARE(tip(1), QString("Banned domain: spam.test"));
        list.goToRow(1);
        QCOMPARE(window->statusText->text(), QString("Banned domain: spam.test"));

        // Print headers lists every header block, each followed by an empty line.
        const QString listing = dir_->filePath("headers.txt");
        window->setHeaderListingPath(listing.toStdString());
        window->printHeadersItem->trigger();
        QFile file(listing);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll().count("Subject: "), 3);
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x40});

        // Nothing selected or focused: Mark only says so.
        list.clearRows();
        list.setRowCount(3);
        window->MarkOrUnmark();
        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x40, 0x40}));
    }

    void viewingFetchesTheTextOnceUntilItIsStale() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, {kThree[0]});
        QVERIFY(connectTo(*window, check));
        window->messageView->goToRow(0);

        QStringList shown;
        auto closeViewerEachTime = [&] {
            return std::make_unique<WhenTrue>(
                [] { return qobject_cast<MessageViewer*>(QApplication::activeModalWidget()); },
                [&] {
                    auto* viewer = qobject_cast<MessageViewer*>(QApplication::activeModalWidget());
                    shown << viewer->textView->toPlainText();
                    viewer->closeButton->click();
                });
        };
        auto fetchServer = [](ScriptedPop3Server& server, const std::string& body) {
            loggedIn(server)
                .expect("UIDL 1", "+OK 1 uid-1\r\n")
                .expect("TOP 1 0", "+OK\r\n" + headerOf(kThree[0]) + "\r\n" + body + ".\r\n")
                .expect("QUIT", "+OK bye\r\n");
        };

        ScriptedPop3Server first;
        fetchServer(first, "first text\r\n");
        first.start();
        window->settings().accounts.at(0)->host = first.hostAndPort();
        auto viewer = closeViewerEachTime();
        window->viewButton->click();
        QVERIFY(first.waitUntilDone(5s));
        viewer = closeViewerEachTime();
        window->popupViewMessage->trigger(); // no second fetch: no server answers now
        viewer = closeViewerEachTime();
        window->popupViewHeaders->trigger();

        // A changed number of lines makes the fetched text stale.
        setBodyLoadedAll(window->messageList(), false);
        ScriptedPop3Server second;
        fetchServer(second, "second text\r\n");
        second.start();
        window->settings().accounts.at(0)->host = second.hostAndPort();
        viewer = closeViewerEachTime();
        window->viewMessageItem->trigger();
        QVERIFY(second.waitUntilDone(5s));
        viewer.reset();

        QCOMPARE(shown.size(), 4);
        QVERIFY(shown[0].contains("first text"));
        QCOMPARE(shown[1], shown[0]);
        QVERIFY(shown[2].startsWith("From: zed@example.org"));
        QVERIFY(shown[3].contains("second text"));
        QVERIFY(boxes_->shown().empty());
    }

    void realDovecotFromStartToShutdown() {
        DovecotServer server;
        server.addUser("alice", "secret");
        const char* subjects[] = {"delta", "alpha", "echo", "charlie", "bravo"};
        for (int i = 0; i < 5; ++i)
            server.addMessage(
                "alice", std::string("From: sender") + std::to_string(i) +
                             "@example.org\nTo: alice@example.com\nSubject: " + subjects[i] +
                             "\nDate: Fri, 5 Mar 2010 09:07:0" + std::to_string(i) + " +0000\n\n" +
                             std::string(static_cast<std::size_t>(i) * 700, 'x') + "\n");
        QVERIFY2(server.start(), server.failure().c_str());

        // The file selects an account past the end, which the window clamps;
        // the file written at shutdown shows that it was written.
        auto window = startWindow({server.hostAndPort()}, 3);
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        QCOMPARE(window->accountSelector->currentText(), QString("alice0@example.com"));

        // The rows join in batches as they arrive (see checkAddsRowsInBatchesAsTheyArrive), the
        // list growing steadily to the whole mailbox.
        std::vector<int> rowsShown;
        QObject::connect(window->messageView->activeView()->model(),
                         &QAbstractItemModel::rowsInserted,
                         [&] { rowsShown.push_back(window->messageView->rowCount()); });
        window->connectButton->click();
        QVERIFY(window->connected());
        QVERIFY(!rowsShown.empty());
        QVERIFY(std::is_sorted(rowsShown.begin(), rowsShown.end()));
        QCOMPARE(rowsShown.back(), 5);
        QCOMPARE(window->windowTitle(),
                 QString::fromStdString("TopPeek - " + server.hostAndPort()));

        clickColumn(*window, 4);
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"alpha", "bravo", "charlie", "delta", "echo"}));
        clickColumn(*window, 3); // by date, in the direction of the last sort
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"delta", "alpha", "echo", "charlie", "bravo"}));
        clickColumn(*window, 3);
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"bravo", "charlie", "echo", "alpha", "delta"}));

        // Mark "charlie" and "alpha", then close and agree to remove them.
        window->messageView->setAllRowsSelected(false);
        window->messageView->setRowSelected(1, true);
        window->messageView->setRowSelected(3, true);
        window->markItem->trigger();
        boxes_->answer(kIdYes);
        window->closeButton->click();
        QVERIFY(!window->connected());
        QCOMPARE(window->messageView->rowCount(), 0);
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
        QCOMPARE(server.messageCount("alice"), std::size_t{3});

        // What is left is listed again in server order.
        window->OpenConnection();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"delta", "echo", "bravo"}));

        window.reset();
        auto saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->selectedAccount, 0);
        QCOMPARE(saved->accounts.count(), 1);
    }

    void preferencesLeavingTheListRemoveFromTheListedMailbox() {
        DovecotServer server;
        server.addUser("alice", "secret");
        for (const char* subject : {"one", "two", "three"})
            server.addMessage("alice", std::string("From: bob@example.org\nSubject: ") + subject +
                                           "\n\nText\n");
        QVERIFY2(server.start(), server.failure().c_str());
        auto window = startWindow({server.hostAndPort(), "127.0.0.1:1"});
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        window->OpenConnection();
        QVERIFY(window->connected());
        window->messageView->goToRow(0);
        window->MarkOrUnmark();

        // Deleting the listed account makes the other one current; the marked
        // message still goes from the mailbox it was listed from.
        auto deleteFirst = onDialog<PreferencesDialog>([](PreferencesDialog* dialog) {
            dialog->deleteAccountButton->click();
            dialog->okButton->click();
        });
        boxes_->answer(kIdYes);
        window->preferencesItem->trigger();
        QVERIFY(deleteFirst->fired());
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
        QVERIFY(!window->connected());
        QCOMPARE(server.messageCount("alice"), std::size_t{2});
    }

    // Settings that cannot be written when the program ends are said, not lost in silence.
    void aFailedSaveAtExitIsSaid() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        // The folder goes: the save has nowhere to write.
        dir_->remove();
        window->close();
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x30});
        QVERIFY(boxes_->shown()[0].text.find("Could not save the settings") != std::string::npos);
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
