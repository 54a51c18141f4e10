// The start-up notice and the About box.

#include "shell/Notices.h"

#include "core/Calendar.h"
#include "dialogs/MsgBox.h"
#include "shell/Help.h"
#include "shell/UpdateCheck.h"
#include "shell/WebLinks.h"
#include "support/HttpTestServer.h"
#include "support/ModalDialogDriver.h"
#include "support/ScriptedMessageBoxes.h"
#include "ui/HelpContext.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include <cstdint>

using toppeek::core::todayNumber;

using toppeek::shell::AboutBox;
using toppeek::shell::currentHelp;
using toppeek::shell::currentNotice;
using toppeek::shell::HelpWindow;
using toppeek::shell::removeNotice;
using toppeek::shell::showNotice;
using toppeek::test::HttpTestServer;
using toppeek::test::ModalDialogDriver;
using toppeek::test::ScriptedMessageBoxes;
using toppeek::ui::helpContext;

class NoticesTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cleanup() {
        removeNotice();
        toppeek::shell::closeHelp();
    }

    void theNoticeShowsTitleAndTextUntilRemoved() {
        showNotice(QStringLiteral("TopPeek"), QStringLiteral("Starting..."));
        QPointer<toppeek::shell::StartupNotice> notice = currentNotice();
        QVERIFY(notice != nullptr);
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->windowTitle(), QStringLiteral("TopPeek"));
        QCOMPARE(notice->textLabel->text(), QStringLiteral("Starting..."));
        QCOMPARE(notice->textLabel->objectName(), QStringLiteral("LBText"));
        QVERIFY(notice->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(!notice->windowFlags().testFlag(Qt::WindowCloseButtonHint));
        QCOMPARE(notice->size(), QSize(316, 70));

        removeNotice();
        QVERIFY(notice == nullptr); // destroyed, not just hidden
        QVERIFY(currentNotice() == nullptr);
        removeNotice(); // nothing up: nothing to do
    }

    void theNoticeIsUpWhileTheUpdateCheckRuns() {
        HttpTestServer server(HttpTestServer::reply(200, "OK", "99.0"));
        ScriptedMessageBoxes boxes; // the question is dismissed: Cancel
        bool noticeUp = false;
        boxes.whileShown([&noticeUp](const toppeek::dialogs::MessageBoxRequest&) {
            noticeUp = currentNotice() != nullptr && currentNotice()->isVisible();
        });
        std::uint32_t day = 0;
        {
            const toppeek::shell::NoticeScope notice(QStringLiteral("TopPeek"),
                                                     toppeek::shell::startupNoticeText());
            toppeek::shell::UpdateCheckHooks hooks;
            hooks.today = [] { return 7000; };
            toppeek::shell::checkForUpdate(server.url().c_str(), "1.0.0", "TopPeek", "Newer?",
                                           "https://example.org/", day, 2, hooks);
        }
        QCOMPARE(boxes.shown().size(), std::size_t{1});
        QVERIFY(noticeUp);
        QVERIFY(currentNotice() == nullptr);
        QCOMPARE(day, 7000u);
    }

    void theStartUpCheckRemovesTheNoticeAlsoWhenItHasNothingToDo() {
        // Checked today: no transfer at all.
        auto day = static_cast<std::uint32_t>(todayNumber());
        toppeek::shell::runStartupUpdateCheck(day);
        QCOMPARE(day, static_cast<std::uint32_t>(todayNumber()));
        QVERIFY(currentNotice() == nullptr);
    }

    void aboutShowsIconTextAndOk() {
        ModalDialogDriver driver;
        driver.expect(QStringLiteral("TFAbout"), [](QDialog* dialog) {
            auto* about = qobject_cast<AboutBox*>(dialog);
            QVERIFY(about != nullptr);
            QCOMPARE(about->windowTitle(), QStringLiteral("About TopPeek"));
            QCOMPARE(helpContext(about), 2);
            QCOMPARE(about->size(), QSize(277, 248));
            QVERIFY(!about->iconLabel->pixmap().isNull());
            QCOMPARE(about->iconLabel->geometry(), QRect(12, 12, 32, 32));
            QVERIFY(about->aboutLabel->text().contains(QStringLiteral("TopPeek")));
            QVERIFY(about->aboutLabel->text().contains(
                QString::fromLatin1(toppeek::shell::programVersion())));
            QVERIFY(!about->aboutLabel->wordWrap());
            QCOMPARE(about->aboutLabel->pos(), QPoint(64, 20));
            QVERIFY(about->aboutLabel->width() >= about->aboutLabel->sizeHint().width());
            // The whole text fits above the button and inside the box.
            QVERIFY(about->aboutLabel->geometry().bottom() < about->okButton->y());
            QVERIFY(about->aboutLabel->geometry().right() < about->width());
            QCOMPARE(about->okButton->text(), QStringLiteral("&OK"));
            QVERIFY(about->okButton->isDefault());
            QCOMPARE(about->okButton->geometry(), QRect(190, 212, 75, 25));
            ModalDialogDriver::clickLater(about->okButton);
        });
        toppeek::shell::showAbout();
        QVERIFY(!driver.failed());
        QVERIFY(driver.finished());
    }

    void aboutClosesWithEsc() {
        ModalDialogDriver driver;
        driver.expect(QStringLiteral("TFAbout"), [](QDialog* dialog) {
            QTRY_VERIFY(QApplication::activeWindow() == dialog);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        toppeek::shell::showAbout();
        QVERIFY(!driver.failed());
        QVERIFY(driver.finished());
    }

    void f1InAboutOpensTheHelpContents() {
        QPointer<HelpWindow> opened;
        bool sawHelp = false;
        ModalDialogDriver driver;
        driver.expect(QStringLiteral("TFAbout"), [&opened, &sawHelp](QDialog* dialog) {
            QTRY_VERIFY(QApplication::activeWindow() == dialog);
            QTest::keyClick(dialog, Qt::Key_F1);
            QTRY_VERIFY(currentHelp() != nullptr);
            opened = currentHelp();
            QCOMPARE(opened->pageBrowser->source(), toppeek::shell::helpContentsUrl());
            QCOMPARE(opened->parentWidget(), static_cast<QWidget*>(dialog));
            sawHelp = true;
            dialog->accept();
        });
        toppeek::shell::showAbout();
        QVERIFY(!driver.failed());
        QVERIFY(sawHelp);
        // The guide belonged to the About box and went with it.
        QVERIFY(opened.isNull());
        QVERIFY(currentHelp() == nullptr);
    }
};

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    NoticesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "NoticesTest.moc"
