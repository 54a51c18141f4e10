// The main window's list commands as a user gives them: sorting with the
// cursor, the Delete key, the group dialogs, viewing after the preferences,
// the header listing's box, and the whole day's work against a real Dovecot.

#include "dialogs/MsgBox.h"
#include "messages/Filters.h"
#include "operations/OperationHost.h"
#include "storage/FiltersFile.h"
#include "storage/Settings.h"
#include "support/DovecotServer.h"
#include "support/ScriptedMessageBoxes.h"
#include "support/ScriptedPop3Server.h"
#include "ui/FilterEditor.h"
#include "ui/MainWindow.h"
#include "ui/MainWindowHarness.h"
#include "ui/MessageViewer.h"
#include "ui/PreferencesDialog.h"
#include "ui/TextPrompt.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace toppeek::ui;
using toppeek::dialogs::kIdYes;
using toppeek::operations::operationRunning;
using namespace toppeek::storage;
using namespace toppeek::messages;
using namespace std::chrono_literals;
using toppeek::test::clickColumn;
using toppeek::test::columnTexts;
using toppeek::test::connectTo;
using toppeek::test::DovecotServer;
using toppeek::test::headerOf;
using toppeek::test::kThree;
using toppeek::test::loggedIn;
using toppeek::test::Mail;
using toppeek::test::marksOf;
using toppeek::test::onDialog;
using toppeek::test::scriptCheck;
using toppeek::test::ScriptedMessageBoxes;
using toppeek::test::ScriptedPop3Server;
using toppeek::test::uidListing;
using toppeek::test::WhenTrue;

namespace {

// Closes the next viewer and keeps what it showed.
std::unique_ptr<WhenTrue> readViewer(QStringList& shown) {
    return onDialog<MessageViewer>([&shown](MessageViewer* viewer) {
        shown << viewer->textView->toPlainText();
        viewer->closeButton->click();
    });
}

// Answers the fetch of message 1 with lines lines of the message text.
void scriptFetch(ScriptedPop3Server& server, int lines, const std::string& body) {
    loggedIn(server)
        .expect("UIDL 1", "+OK 1 uid-1\r\n")
        .expect("TOP 1 " + std::to_string(lines),
                "+OK\r\n" + headerOf(kThree[0]) + "\r\n" + body + ".\r\n")
        .expect("QUIT", "+OK bye\r\n");
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The header block of a stored message, with the CR LF line ends the
// server sends it with.
std::string storedHeaderBlock(const std::string& message) {
    std::string header = message.substr(0, message.find("\n\n") + 1);
    std::string crlf;
    for (char c : header) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    return crlf;
}

} // namespace

class MainWindowCommandsTest : public QObject, private toppeek::test::WindowTestFiles {
    Q_OBJECT

private:
    std::unique_ptr<MainWindow> startWindow(const std::vector<std::string>& hosts,
                                            const std::function<void(Settings&)>& adjust = {}) {
        return toppeek::test::startMainWindow(settingsPath_, filtersPath_, hosts, 0, adjust);
    }

private slots:
    void init() { setUpFiles(); }

    void cleanup() {
        QVERIFY(!operationRunning());
        tearDownFiles();
    }

    void sortingFlipsOnTheSameKeyAndTheCursorFollowsItsMessage() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        // Nothing to sort while not connected: no key is taken, no item checked.
        window->sortBySubjectItem->trigger();
        QCOMPARE(window->sortKey(), -1);
        QVERIFY(!window->sortBySubjectItem->isChecked());

        ScriptedPop3Server check;
        scriptCheck(check, {{"abe@example.org", "alice@example.com", "delta", 400},
                            {"dan@example.org", "alice@example.com", "alpha", 100},
                            {"bea@example.org", "alice@example.com", "charlie", 300},
                            {"cal@example.org", "alice@example.com", "bravo", 200}});
        QVERIFY(connectTo(*window, check));
        MessageListView& list = *window->messageView;
        list.goToRow(0); // "delta" has the cursor throughout
        const auto cursorSubject = [&] { return columnTexts(*window, 4).value(list.focusedRow()); };

        window->sortBySubjectItem->trigger();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"alpha", "bravo", "charlie", "delta"}));
        QCOMPARE(list.focusedRow(), 3);
        window->sortBySubjectItem->trigger();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"delta", "charlie", "bravo", "alpha"}));
        QCOMPARE(list.focusedRow(), 0);
        QVERIFY(!window->sortAscending());

        // Another key keeps the reversed direction.
        window->sortByFromItem->trigger();
        QCOMPARE(columnTexts(*window, 1), (QStringList{"dan@example.org", "cal@example.org",
                                                       "bea@example.org", "abe@example.org"}));
        QCOMPARE(list.focusedRow(), 3);
        QCOMPARE(cursorSubject(), QString("delta"));
        window->sortBySizeItem->trigger();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"delta", "charlie", "bravo", "alpha"}));
        QCOMPARE(cursorSubject(), QString("delta"));
        QVERIFY(window->sortBySizeItem->isChecked() && !window->sortByFromItem->isChecked());
        window->sortBySizeItem->trigger();
        QCOMPARE(columnTexts(*window, 4), (QStringList{"alpha", "bravo", "charlie", "delta"}));
        QCOMPARE(cursorSubject(), QString("delta"));
        QCOMPARE(window->sortKey(), static_cast<int>(SortKey::BySize));
        QVERIFY(window->sortAscending());
        // "By Position" is the date order.
        window->sortByDateItem->trigger();
        QCOMPARE(window->sortKey(), static_cast<int>(SortKey::ByDate));
        QCOMPARE(cursorSubject(), QString("delta"));
        QVERIFY(boxes_->shown().empty());
    }

    void deleteKeyUnmarksASelectedMarkedMessageBeforeAskingAboutTheRest() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        MessageListView& list = *window->messageView;
        window->messageList().at(0)->mark = MarkState::MarkedForDelete;
        list.goToRow(0);
        list.setRowSelected(1, true);

        ScriptedPop3Server removal;
        loggedIn(removal)
            .expect("UIDL", uidListing(3))
            .expect("DELE 2", "+OK\r\n")
            .expect("QUIT", "+OK bye\r\n");
        removal.start();
        window->settings().accounts.at(0)->host = removal.hostAndPort();
        QString marksWhenAsked;
        boxes_->whileShown(
            [&](const ScriptedMessageBoxes::Request&) { marksWhenAsked = marksOf(*window); });
        boxes_->answer(kIdYes);
        QTest::keyClick(list.activeView(), Qt::Key_Delete);

        QCOMPARE(marksWhenAsked, QString("-x-"));
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
        QCOMPARE(boxes_->shown()[0].text,
                 std::string("Remove the marked message from the server?"));
        QVERIFY(removal.waitUntilDone(5s));
        QCOMPARE(removal.problems(), std::vector<std::string>{});
        QCOMPARE(columnTexts(*window, 4), (QStringList{"beta", "alpha"}));
        QCOMPARE(window->messageList().at(1)->messageNumber, 2);
        QVERIFY(window->connected());
    }

    // Without unique-ids a mailbox that lost a message to other hands since the check can only
    // be seen in its count: the removal says so, and the caption shows no count of its own.
    void removalWithoutUniqueIdsTellsOfAChangedMailbox() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        const std::string noUniqueIds = "+OK\r\nTOP\r\n.\r\n";
        ScriptedPop3Server check;
        loggedIn(check, noUniqueIds)
            .expect("STAT", "+OK 3 9999\r\n")
            .expect("UIDL", "-ERR not supported\r\n")
            .expect("LIST", "+OK\r\n1 3000\r\n2 100\r\n3 2000\r\n.\r\n");
        for (int n = 1; n <= 3; ++n)
            check.expect("TOP " + std::to_string(n) + " 0",
                         "+OK\r\n" + headerOf(kThree[static_cast<std::size_t>(n - 1)]) +
                             "\r\n.\r\n");
        check.expect("QUIT", "+OK bye\r\n");
        QVERIFY(connectTo(*window, check));
        window->messageView->goToRow(0);
        window->markItem->trigger();

        ScriptedPop3Server removal;
        loggedIn(removal, noUniqueIds)
            .expect("STAT", "+OK 2 9999\r\n")
            .expect("LIST 1", "+OK 1 3000\r\n")
            .expect("TOP 1 0", "+OK\r\n" + headerOf(kThree[0]) + "\r\n.\r\n")
            .expect("DELE 1", "+OK\r\n")
            .expect("QUIT", "+OK bye\r\n");
        removal.start();
        window->settings().accounts.at(0)->host = removal.hostAndPort();
        boxes_->answer(kIdYes);
        window->removeButton->click();
        QVERIFY(removal.waitUntilDone(5s));
        QCOMPARE(removal.problems(), std::vector<std::string>{});
        QCOMPARE(boxes_->shown().size(), std::size_t{2});
        QVERIFY2(boxes_->shown()[1].text.find("The mailbox changed since the check") !=
                     std::string::npos,
                 boxes_->shown()[1].text.c_str());
        QCOMPARE(window->messageGroup->title(),
                 QString("Messages: the mailbox changed since the check - check again"));
        QCOMPARE(window->settings().mailboxMessages, 1);
    }

    void groupDialogsShareTheirTextAndPutTheCursorBack() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));
        MessageListView& list = *window->messageView;
        QAbstractItemView* view = list.activeView();
        list.goToRow(2);
        QStringList offered;
        const auto typeAndOk = [&](const QString& text) {
            return onDialog<TextPrompt>([&offered, text](TextPrompt* dialog) {
                offered << dialog->textEdit->text();
                dialog->textEdit->setText(text);
                dialog->okButton->click();
            });
        };

        // A text that matches nothing changes nothing, and the cursor is back.
        auto answer = typeAndOk("nothing like it");
        QTest::keyClick(view, Qt::Key_Plus, Qt::KeypadModifier);
        QVERIFY(answer->fired());
        QCOMPARE(marksOf(*window), QString("---"));
        QCOMPARE(list.focusedRow(), 2);

        // Unselect group starts from the text Select group left; Cancel keeps it.
        answer = onDialog<TextPrompt>([&offered](TextPrompt* dialog) {
            offered << dialog->textEdit->text();
            dialog->textEdit->setText("gamma");
            dialog->cancelButton->click();
        });
        QTest::keyClick(view, Qt::Key_Minus, Qt::KeypadModifier);
        QVERIFY(answer->fired());
        QCOMPARE(offered, (QStringList{"", "nothing like it"}));
        QCOMPARE(list.focusedRow(), 2);

        // A match in any letter case marks; unselecting with the same text unmarks.
        answer = typeAndOk("GAM");
        window->selectGroupItem->trigger();
        QVERIFY(answer->fired());
        QCOMPARE(marksOf(*window), QString("-x-"));
        QCOMPARE(list.focusedRow(), 2);
        answer = typeAndOk("gam");
        window->popupUnselectGroup->trigger();
        QVERIFY(answer->fired());
        QCOMPARE(marksOf(*window), QString("---"));
        QCOMPARE(offered.last(), QString("GAM"));

        // The pattern holds at most 198 characters.
        answer = typeAndOk(QString(250, 'q'));
        window->popupSelectGroup->trigger();
        QVERIFY(answer->fired());
        answer = typeAndOk(QString());
        window->unselectGroupItem->trigger();
        QVERIFY(answer->fired());
        QCOMPARE(offered.last(), QString(198, 'q'));
        QVERIFY(boxes_->shown().empty());
    }

    void viewingFetchesAgainOnlyAfterTheLinesPreferenceChanged() {
        auto window = startWindow({"127.0.0.1:1"}, [](Settings& settings) {
            settings.bodyLines = 2;
            settings.showAbout = 0;
        });
        QVERIFY(window);
        ScriptedPop3Server check;
        scriptCheck(check, {kThree[0]});
        QVERIFY(connectTo(*window, check));
        window->messageView->goToRow(0);
        QStringList shown;
        // Each fetch has a server of its own; between fetches the account
        // names the listed server again, so that the preferences see the
        // list's own account (and nobody answers there any more).
        std::string& host = window->settings().accounts.at(0)->host;
        const std::string listedHost = host;

        ScriptedPop3Server first;
        scriptFetch(first, 2, "first\r\ntext\r\n");
        first.start();
        host = first.hostAndPort();
        auto viewer = readViewer(shown);
        window->viewButton->click();
        QVERIFY(first.waitUntilDone(5s));
        QCOMPARE(first.problems(), std::vector<std::string>{});
        host = listedHost;

        // Only a check box changed: saved, but the text is still good.
        auto preferences = onDialog<PreferencesDialog>([](PreferencesDialog* dialog) {
            dialog->showAboutBox->setChecked(true);
            dialog->okButton->click();
        });
        window->preferencesItem->trigger();
        QVERIFY(preferences->fired());
        auto saved = createDefaultSettings();
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->showAbout, 1);
        viewer = readViewer(shown);
        window->viewMessageItem->trigger(); // the server is gone: a fetch would fail loudly

        // Lines changed but the dialog cancelled: nothing saved, nothing stale.
        preferences = onDialog<PreferencesDialog>([](PreferencesDialog* dialog) {
            dialog->bodyLinesEdit->setText("9");
            dialog->cancelButton->click();
        });
        window->preferencesButton->click();
        QVERIFY(preferences->fired());
        QCOMPARE(window->settings().bodyLines, 2);
        viewer = readViewer(shown);
        window->popupViewMessage->trigger();

        // Lines changed and confirmed: the next view fetches with the new count.
        preferences = onDialog<PreferencesDialog>([](PreferencesDialog* dialog) {
            dialog->bodyLinesEdit->setText("5");
            dialog->okButton->click();
        });
        window->preferencesButton->click();
        QVERIFY(preferences->fired());
        QVERIFY(loadSettings(settingsPath_, *saved));
        QCOMPARE(saved->bodyLines, 5);
        ScriptedPop3Server second;
        scriptFetch(second, 5, "second\r\ntext\r\n");
        second.start();
        host = second.hostAndPort();
        viewer = readViewer(shown);
        window->viewButton->click();
        QVERIFY(second.waitUntilDone(5s));
        QCOMPARE(second.problems(), std::vector<std::string>{});
        viewer.reset();

        QCOMPARE(shown.size(), 4);
        // The message's header fields, then its lines, without the reply's terminating line.
        QVERIFY2(shown[0].endsWith("\n\nfirst\ntext\n"), qPrintable(shown[0]));
        QCOMPARE(shown[1], shown[0]);
        QCOMPARE(shown[2], shown[0]);
        QVERIFY2(shown[3].endsWith("\n\nsecond\ntext\n"), qPrintable(shown[3]));
        QVERIFY(boxes_->shown().empty());
        QVERIFY(window->connected());
    }

    void printHeadersNamesTheFullPathWhetherOrNotTheFileWasWritten() {
        auto window = startWindow({"127.0.0.1:1"});
        QVERIFY(window);
        window->setHeaderListingPath(dir_->filePath("unused.txt").toStdString());
        window->PrintHeaders(); // not connected: nothing
        QVERIFY(boxes_->shown().empty());
        QVERIFY(!QFile::exists(dir_->filePath("unused.txt")));

        ScriptedPop3Server check;
        scriptCheck(check, kThree);
        QVERIFY(connectTo(*window, check));

        // A file name without folder is named with the folder it went to.
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir_->path()));
        window->setHeaderListingPath("listing.txt");
        window->printHeadersItem->trigger();
        QVERIFY(QDir::setCurrent(previous));
        const std::string written = QDir(dir_->path()).filePath("listing.txt").toStdString();
        QVERIFY(QFile::exists(QString::fromStdString(written)));

        // A folder that is not there: no file, and the same kind of box.
        const std::string unwritable = dir_->filePath("missing/listing.txt").toStdString();
        window->setHeaderListingPath(unwritable);
        window->printHeadersItem->trigger();
        QVERIFY(!QFile::exists(QString::fromStdString(unwritable)));

        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x40, 0x40}));
        QVERIFY2(boxes_->shown()[0].text.find(written) != std::string::npos,
                 boxes_->shown()[0].text.c_str());
        QVERIFY2(boxes_->shown()[1].text.find(unwritable) != std::string::npos,
                 boxes_->shown()[1].text.c_str());
    }

    // Encoded mail through a real Dovecot: the list shows decoded names and subjects, a rule typed
    // as the subject reads marks its message and says so, and the viewer shows the decoded text
    // with the raw lines a click away.
    void realDovecotEncodedMailReadsDecoded() {
        DovecotServer server;
        server.addUser("alice", "secret");
        server.addMessage("alice",
                          "From: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <jm@example.de>\n"
                          "To: alice0@example.com\n"
                          "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_?=\n =?UTF-8?B?TcO8bmNoZW4=?=\n"
                          "Date: Mon, 1 Mar 2010 10:00:00 +0000\nMIME-Version: 1.0\n"
                          "Content-Type: text/plain; charset=iso-8859-1\n"
                          "Content-Transfer-Encoding: quoted-printable\n\n"
                          "Sch=F6ne Gr=FC=DFe!\n.Punkt\nZeile drei\n");
        server.addMessage("alice", "From: =?UTF-8?B?TG90dG8gQsO8cm8=?= <win@lotto.test>\n"
                                   "To: alice0@example.com\n"
                                   "Subject: =?UTF-8?Q?Gewinn_f=C3=BCr_Sie?=\n"
                                   "Date: Tue, 2 Mar 2010 10:00:00 +0000\n\nJetzt!\n");
        QVERIFY2(server.start(), server.failure().c_str());
        {
            auto filters = createFilters();
            auto rule = createFilterRule();
            rule->kind = RuleKind::SubjectContains;
            rule->subjectText = "Gewinn f\xC3\xBCr";
            filters->rules.append(rule.release());
            filters->rulesEnabled = 1;
            QVERIFY(saveFilters(*filters, filtersPath_));
        }
        auto window =
            startWindow({server.hostAndPort()}, [](Settings& settings) { settings.bodyLines = 2; });
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");

        window->connectButton->click();
        QVERIFY(window->connected());
        QCOMPARE(columnTexts(*window, 4), (QStringList{QString::fromUtf8("Grüße aus München"),
                                                       QString::fromUtf8("Gewinn für Sie")}));
        QCOMPARE(columnTexts(*window, 1),
                 (QStringList{QString::fromUtf8("Jürgen Müller <jm@example.de>"),
                              QString::fromUtf8("Lotto Büro <win@lotto.test>")}));
        QCOMPARE(marksOf(*window), QString("-x"));
        QAbstractItemModel* model = window->messageView->activeView()->model();
        QCOMPARE(model->index(1, 4).data(Qt::ToolTipRole).toString(),
                 QString::fromUtf8("Subject rule: Gewinn für"));

        QStringList shown;
        window->messageView->goToRow(0);
        auto viewer = onDialog<MessageViewer>([&shown](MessageViewer* dialog) {
            shown << dialog->windowTitle() << dialog->textView->toPlainText();
            dialog->rawLinesBox->click();
            shown << dialog->textView->toPlainText();
            dialog->closeButton->click();
        });
        window->viewButton->click();
        QVERIFY(viewer->fired());
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0], QString::fromUtf8("Message - Grüße aus München"));
        QVERIFY2(shown[1].endsWith(QString::fromUtf8("Subject: Grüße aus München\n\n"
                                                     "Schöne Grüße!\n.Punkt\n")),
                 qPrintable(shown[1]));
        QVERIFY2(shown[2].endsWith("\n\nSch=F6ne Gr=FC=DFe!\n.Punkt\n"), qPrintable(shown[2]));

        // View headers: the decoded form first, the raw one behind the same switch.
        shown.clear();
        viewer = onDialog<MessageViewer>([&shown](MessageViewer* dialog) {
            shown << dialog->textView->toPlainText();
            dialog->rawLinesBox->click();
            shown << dialog->textView->toPlainText();
            dialog->closeButton->click();
        });
        window->viewHeadersItem->trigger();
        QVERIFY(viewer->fired());
        QVERIFY2(shown[0].contains(QString::fromUtf8("\nSubject: Grüße aus München\n")),
                 qPrintable(shown[0]));
        QVERIFY(shown[1].contains("Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_?=\n =?UTF-8?B?"));
        for (const QString& text : shown)
            QVERIFY2(!text.endsWith("\n.\n") && !text.endsWith("\n.\n\n"), qPrintable(text));
    }

    void realDovecotCheckFilterRemoveViewAndList() {
        DovecotServer server;
        server.addUser("alice", "secret");
        std::string bodyLines;
        for (int i = 1; i <= 12; ++i)
            bodyLines += "line " + std::to_string(i) + "\n";
        const std::vector<std::string> messages = {
            "From: promo@junk.test\nTo: alice0@example.com\nSubject: Hello there\n"
            "Date: Mon, 1 Mar 2010 10:00:00 +0000\n\nBuy now\n",
            "From: bob@example.org\nTo: alice0@example.com\nSubject: Cheap PILLS today\n"
            "Date: Tue, 2 Mar 2010 10:00:00 +0000\n\nOffer\n",
            "From: carol@example.org\nTo: alice0@example.com\nSubject: Meeting notes\n"
            "Date: Wed, 3 Mar 2010 10:00:00 +0000\n\n" +
                bodyLines,
            "From: dave@example.org\nTo: alice0@example.com\nSubject: Lunch\n"
            "Date: Thu, 4 Mar 2010 10:00:00 +0000\n\nAt noon\n"};
        for (const std::string& message : messages)
            server.addMessage("alice", message);
        QVERIFY2(server.start(), server.failure().c_str());

        // The banned domain is on from the start; the subject rule is there but off.
        {
            auto filters = createFilters();
            filters->bannedDomains.add("junk.test");
            filters->bannedEnabled = 1;
            auto rule = createFilterRule();
            rule->kind = RuleKind::SubjectContains;
            rule->subjectText = "pills";
            filters->rules.append(rule.release());
            QVERIFY(saveFilters(*filters, filtersPath_));
        }
        auto window =
            startWindow({server.hostAndPort()}, [](Settings& settings) { settings.bodyLines = 3; });
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        const QString listing = dir_->filePath("headers.txt");
        window->setHeaderListingPath(listing.toStdString());

        window->connectButton->click();
        QVERIFY(window->connected());
        QCOMPARE(columnTexts(*window, 4),
                 (QStringList{"Hello there", "Cheap PILLS today", "Meeting notes", "Lunch"}));
        QCOMPARE(marksOf(*window), QString("x---"));

        // Switching the rules on in the editor saves the filters and applies them.
        auto editor = onDialog<FilterEditor>([](FilterEditor* dialog) {
            dialog->rulesEnabledBox->setChecked(true);
            dialog->okButton->click();
        });
        window->popupEditFilters->trigger();
        QVERIFY(editor->fired());
        QCOMPARE(marksOf(*window), QString("xx--"));
        QVERIFY(window->filterLabel->text().contains("Rejection rules: on"));
        auto stored = createFilters();
        QVERIFY(loadFilters(*stored, filtersPath_));
        QCOMPARE(stored->rulesEnabled, 1);

        // Apply filters marks again what was unmarked by hand.
        window->messageView->setAllRowsSelected(false);
        window->messageView->goToRow(1);
        window->MarkOrUnmark();
        QCOMPARE(marksOf(*window), QString("x---"));
        window->applyFiltersItem->trigger();
        QCOMPARE(marksOf(*window), QString("xx--"));

        boxes_->answer(kIdYes);
        window->removeButton->click();
        QCOMPARE(boxes_->flags(), std::vector<unsigned>{0x23});
        QVERIFY(boxes_->shown()[0].text.find('2') != std::string::npos);
        QCOMPARE(server.messageCount("alice"), std::size_t{2});
        QCOMPARE(columnTexts(*window, 4), (QStringList{"Meeting notes", "Lunch"}));

        // The message's first lines come from the server, as many as set.
        QStringList shown;
        window->messageView->goToRow(0);
        auto viewer = readViewer(shown);
        window->viewButton->click();
        QVERIFY(viewer->fired());
        viewer = readViewer(shown);
        window->viewHeadersItem->trigger();
        QVERIFY(viewer->fired());
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].contains("Subject: Meeting notes\n\nline 1\nline 2\nline 3\n"),
                 qPrintable(shown[0]));
        QVERIFY(!shown[0].endsWith("\n.\n"));
        QVERIFY(!shown[0].contains("line 4"));
        QVERIFY(shown[1].contains("Subject: Meeting notes"));
        QVERIFY(!shown[1].contains("line 1"));
        QVERIFY(!shown[1].endsWith(".\n"));

        // The listing holds exactly the header blocks of the messages left on
        // the server, in list order.
        window->printHeadersItem->trigger();
        QCOMPARE(boxes_->flags(), (std::vector<unsigned>{0x23, 0x40}));
        QVERIFY(boxes_->shown()[1].text.find(listing.toStdString()) != std::string::npos);
        const std::string written = readFile(listing.toStdString());
        std::string expected;
        for (const MessageEntry* entry : window->messageList())
            expected += entry->headerText + "\n\n";
        QCOMPARE(written, expected);
        std::vector<std::string> onServer;
        for (const auto& item : std::filesystem::recursive_directory_iterator(server.directory())) {
            const std::string folder = item.path().parent_path().filename().string();
            if (item.is_regular_file() && (folder == "cur" || folder == "new"))
                onServer.push_back(readFile(item.path()));
        }
        QCOMPARE(onServer.size(), std::size_t{2});
        std::size_t meeting = std::string::npos;
        std::size_t lunch = std::string::npos;
        for (const std::string& message : onServer) {
            const std::size_t at = written.find(storedHeaderBlock(message));
            QVERIFY2(at != std::string::npos, message.c_str());
            (message.find("Subject: Lunch") != std::string::npos ? lunch : meeting) = at;
        }
        QVERIFY(meeting < lunch);
        QVERIFY(written.find("junk.test") == std::string::npos);
        QVERIFY(written.find("PILLS") == std::string::npos);
    }
};

QTEST_MAIN(MainWindowCommandsTest)
#include "MainWindowCommandsTest.moc"
