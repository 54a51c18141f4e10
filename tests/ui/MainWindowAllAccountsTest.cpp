// "All accounts" against a real Dovecot with a mailbox per user: one list of every account's
// messages, the commands that reach each message's own mailbox, and accounts that cannot be read
// among those that can.

#include "dialogs/MsgBox.h"
#include "storage/Settings.h"
#include "support/DovecotServer.h"
#include "support/PressCancel.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedPop3Server.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowHarness.h"
#include "ui/MessageViewer.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace toppeek::core;
using namespace toppeek::dialogs;
using namespace toppeek::ui;
using namespace toppeek::messages;
using namespace toppeek::storage;

using namespace toppeek::operations;
using toppeek::test::AfterReply;
using toppeek::test::columnTexts;
using toppeek::test::DovecotServer;
using toppeek::test::listed;
using toppeek::test::loggedIn;
using toppeek::test::marksOf;
using toppeek::test::onDialog;
using toppeek::test::scriptCheck;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::uidListing;

namespace {

std::string message(const std::string& to, const std::string& subject, const std::string& body) {
    return "From: sender@example.org\nTo: " + to + "\nSubject: " + subject +
           "\nDate: Mon, 1 Mar 2010 10:00:00 +0000\n\n" + body + "\n";
}

// The subjects of the messages left in a user's Maildir, sorted.
QStringList subjectsOnServer(const DovecotServer& server, const std::string& user) {
    QStringList subjects;
    const std::filesystem::path maildir = server.directory() / "home" / user / "Maildir";
    for (const char* folder : {"cur", "new"}) {
        for (const auto& item : std::filesystem::directory_iterator(maildir / folder)) {
            std::ifstream in(item.path(), std::ios::binary);
            std::string line;
            while (std::getline(in, line))
                if (line.rfind("Subject: ", 0) == 0)
                    subjects << QString::fromStdString(line.substr(9));
        }
    }
    subjects.sort();
    return subjects;
}

} // namespace

class MainWindowAllAccountsTest : public QObject, private toppeek::test::WindowTestFiles {
    Q_OBJECT

private slots:
    void init() { setUpFiles(); }
    void cleanup() { tearDownFiles(); }

    void realDovecotMixedListViewMarkRemoveAndBack() {
        DovecotServer server;
        server.addUser("ann", "secret");
        server.addUser("ben", "secret");
        server.addMessage("ann", message("alice0@example.com", "Ann one", "first of ann"));
        server.addMessage("ann", message("someone@else.test", "Ann stray", "not for ann"));
        server.addMessage("ann", message("alice0@example.com", "Ann three", "third of ann"));
        server.addMessage("ben", message("alice1@example.com", "Ben one", "ben's own text"));
        server.addMessage("ben", message("nobody@else.test", "Ben stray", "not for ben"));
        QVERIFY2(server.start(), server.failure().c_str());

        // Both accounts come with the tag 0, as files of older versions have them.
        auto window = toppeek::test::startMainWindow(
            settingsPath_, filtersPath_, {server.hostAndPort(), server.hostAndPort()},
            kAllAccountsSelected, [&server](Settings& settings) {
                settings.accounts.at(0)->userName = server.loginName("ann");
                settings.accounts.at(1)->userName = server.loginName("ben");
                settings.bodyLines = 5;
            });
        QVERIFY(window);
        QCOMPARE(window->accountSelector->currentIndex(), 2);
        QCOMPARE(window->messageView->columnCount(), 5);

        window->connectButton->click();
        QVERIFY(window->connected());
        QVERIFY(window->listsAllAccounts());
        QCOMPARE(window->windowTitle(), QString("TopPeek - All accounts"));
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"Ann one", "Ann stray", "Ann three", "Ben one", "Ben stray"}));
        QCOMPARE(window->messageView->columnCount(), 6);
        QCOMPARE(window->messageView->columnCaption(5), QString("Account"));
        // Wide enough to show the addresses, though nobody dragged it.
        QVERIFY2(window->messageView->columnWidth(5) >=
                     window->messageView->fontMetrics().horizontalAdvance("alice0@example.com"),
                 qPrintable(QString::number(window->messageView->columnWidth(5))));
        QCOMPARE(columnTexts(*window, 5),
                 (QStringList{"alice0@example.com", "alice0@example.com", "alice0@example.com",
                              "alice1@example.com", "alice1@example.com"}));
        // Subject keeps the last place, where it takes the width the others leave.
        QHeaderView* header = window->messageView->headerView();
        QVERIFY(header->visualIndex(5) < header->visualIndex(4));
        QVERIFY(boxes_->shown().empty());

        // The second account's message comes from the second mailbox, though both share the
        // number 1 with a message of the first.
        QStringList shown;
        window->messageView->goToRow(3);
        auto viewer = onDialog<MessageViewer>([&shown](MessageViewer* dialog) {
            shown << dialog->textView->toPlainText();
            dialog->closeButton->click();
        });
        window->viewButton->click();
        QVERIFY(viewer->fired());
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("ben's own text"), qPrintable(shown[0]));

        // Each message is measured against its own account's address.
        window->markNotAddressedItem->trigger();
        QCOMPARE(marksOf(*window), QString("-x--x"));

        // One question for both mailboxes; each loses only its own marked message, and only
        // the first account's later message moves up a number.
        boxes_->answer(kIdYes);
        window->removeButton->click();
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{kMbAskYesNoCancel});
        QCOMPARE(boxes_->shown()[0].text,
                 std::string("Remove the 2 marked messages from the mailboxes of 2 accounts?"));
        QCOMPARE(subjectsOnServer(server, "ann"), (QStringList{"Ann one", "Ann three"}));
        QCOMPARE(subjectsOnServer(server, "ben"), (QStringList{"Ben one"}));
        QCOMPARE(columnTexts(*window, 4), (QStringList{"Ann one", "Ann three", "Ben one"}));
        std::vector<int> numbers;
        for (const MessageEntry* entry : window->messageList())
            numbers.push_back(entry->messageNumber);
        QCOMPARE(numbers, (std::vector<int>{1, 2, 1}));
        QCOMPARE(columnTexts(*window, 5).last(), QString("alice1@example.com"));
        // Sorted by account, the second account's message comes first when descending; within
        // an account the messages keep their order either way.
        toppeek::test::clickColumn(*window, 5);
        toppeek::test::clickColumn(*window, 5);
        QCOMPARE(columnTexts(*window, 4), (QStringList{"Ben one", "Ann one", "Ann three"}));

        // Back to one account: its list alone, without the Account column.
        window->accountSelector->setCurrentIndex(1);
        window->accountChosen();
        QVERIFY(window->connected());
        QVERIFY(!window->listsAllAccounts());
        QCOMPARE(columnTexts(*window, 4), (QStringList{"Ben one"}));
        QCOMPARE(window->messageView->columnCount(), 5);

        // Chosen again, "All accounts" is what the next start finds; the accounts now have tags
        // of their own.
        window->accountSelector->setCurrentIndex(2);
        window->accountChosen();
        QCOMPARE(window->messageList().count(), 3);
        window.reset();
        std::unique_ptr<Settings> saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->selectedAccount, kAllAccountsSelected);
        QVERIFY(saved->accounts.at(0)->accountTag != saved->accounts.at(1)->accountTag);
    }

    void accountsThatCannotBeReadAreToldOnceAndTheOthersListed() {
        DovecotServer server;
        server.addUser("ann", "secret");
        server.addUser("ben", "secret");
        server.addMessage("ann", message("alice0@example.com", "For ann", "a"));
        server.addMessage("ben", message("alice3@example.com", "For ben", "b"));
        QVERIFY2(server.start(), server.failure().c_str());
        // A refused password and a port nobody listens on between two good accounts.
        auto window = toppeek::test::startMainWindow(
            settingsPath_, filtersPath_,
            {server.hostAndPort(), server.hostAndPort(), "127.0.0.1:1", server.hostAndPort()},
            kAllAccountsSelected, [&server](Settings& settings) {
                settings.accounts.at(0)->userName = server.loginName("ann");
                settings.accounts.at(1)->userName = server.loginName("ben");
                settings.accounts.at(1)->password = "wrong";
                settings.accounts.at(3)->userName = server.loginName("ben");
            });
        QVERIFY(window);

        window->OpenConnection();
        QVERIFY(window->connected());
        QCOMPARE(columnTexts(*window, 4), (QStringList{"For ann", "For ben"}));
        QCOMPARE(columnTexts(*window, 5),
                 (QStringList{"alice0@example.com", "alice3@example.com"}));
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{kMbInformation});
        const std::string& report = boxes_->shown()[0].text;
        QVERIFY2(report.find("alice1@example.com: Could not log in") != std::string::npos,
                 report.c_str());
        QVERIFY2(report.find("alice2@example.com: Could not connect") != std::string::npos,
                 report.c_str());
        QVERIFY(report.find("alice0@") == std::string::npos);
        QVERIFY(report.find("alice3@") == std::string::npos);
    }

    // Cancel belongs to the whole check: the accounts after the cancelled one are not read, and
    // what was listed stays.
    void cancelStopsTheWholeCheck() {
        ScriptedPop3Server first;
        loggedIn(first).expect("STAT", "+OK 3 9999\r\n").expect("UIDL", uidListing(3));
        listed(first, 1, {"bob@example.org", "alice0@example.com", "one", 100});
        first.expect("LIST 2", std::vector<toppeek::test::ReplyPiece>{}, AfterReply::StaySilent);
        first.start();
        ScriptedPop3Server second;
        scriptCheck(second, {{"kim@example.org", "alice1@example.com", "never", 100}});
        second.start();
        auto window = toppeek::test::startMainWindow(settingsPath_, filtersPath_,
                                                     {first.hostAndPort(), second.hostAndPort()},
                                                     kAllAccountsSelected);
        QVERIFY(window);
        toppeek::test::PressCancelWhen cancel(
            [&](ProgressDialog&) { return window->messageView->rowCount() == 1; });
        boxes_->answer(kIdYes);
        window->OpenConnection();
        QVERIFY(cancel.pressed());
        QCOMPARE(columnTexts(*window, 4), QStringList{"one"});
        QVERIFY(second.received().empty());
        // Only the cancel question: a cancel is the user's own doing.
        QCOMPARE(boxes_->shown().size(), std::size_t{1});
    }
};

QTEST_MAIN(MainWindowAllAccountsTest)
#include "MainWindowAllAccountsTest.moc"
