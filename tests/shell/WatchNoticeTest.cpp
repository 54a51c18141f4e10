// The new-mail notice of a background check, from a real Dovecot to a notification service of
// the test's own on a private session bus: one notice telling what arrived and what the filters
// marked, whose click brings the hidden window back; and where no service answers, a check that
// goes on without a word.
#include "messages/Filters.h"
#include "shell/DesktopNotifier.h"
#include "shell/MainWindowHooks.h"
#include "storage/FiltersFile.h"
#include "storage/ReservedOptions.h"
#include "support/DovecotServer.h"
#include "ui/MainWindowHarness.h"

#include "TestNotificationService.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace toppeek::core;
using namespace toppeek::ui;
using namespace toppeek::messages;
using namespace toppeek::storage;

using namespace toppeek::test;
using notification_test::TestNotificationService;
using toppeek::shell::DesktopNotifier;

namespace {

std::string mail(const std::string& from, const std::string& subject) {
    return "From: " + from + "\nTo: alice0@example.com\nSubject: " + subject +
           "\nDate: Mon, 1 Mar 2010 10:00:00 +0000\n\nHello\n";
}

} // namespace

class WatchNoticeTest : public QObject {
    Q_OBJECT

    void backgroundCheckWith(bool service) {
        std::unique_ptr<TestNotificationService> notices;
        if (service) {
            notices = std::make_unique<TestNotificationService>(QStringList{"body", "actions"});
            QVERIFY(notices->start());
        }
        ScriptedMessageBoxes boxes;
        QTemporaryDir dir;
        const std::string settingsPath = dir.filePath("settings.dat").toStdString();
        const std::string filtersPath = dir.filePath("filters.dat").toStdString();
        {
            auto filters = createFilters();
            filters->bannedDomains.add("spam.test");
            filters->bannedEnabled = 1;
            QVERIFY(saveFilters(*filters, filtersPath));
        }
        DovecotServer server;
        server.addUser("alice", "secret");
        server.addMessage("alice", mail("ann@example.org", "one"));
        QVERIFY2(server.start(), server.failure().c_str());

        ShellHooks hooks;
        hooks.newMailNotice = toppeek::shell::mainWindowHooks().newMailNotice;
        auto window = startMainWindow(
            settingsPath, filtersPath, {server.hostAndPort()}, 0,
            [](Settings& settings) { setCheckIntervalMinutes(settings, 1); }, hooks);
        QVERIFY(window);
        window->settings().accounts.at(0)->userName = server.loginName("alice");
        HandClock& minutes = handClock(*window);

        minutes.tick(); // the first check only learns what is there
        QVERIFY(window->connected());
        QVERIFY(window->findChild<DesktopNotifier*>() == nullptr);

        server.addMessage("alice", mail("win@spam.test", "two"));
        minutes.tick();
        auto* notifier = window->findChild<DesktopNotifier*>();
        QVERIFY(notifier != nullptr);
        QSignalSpy finished(notifier, &DesktopNotifier::finished);
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.at(0).at(0).toBool(), service);
        QVERIFY(boxes.shown().empty());
        QCOMPARE(window->messageView->rowCount(), 2);
        if (!service)
            return;

        QCOMPARE(notices->notices.size(), 1);
        QCOMPARE(notices->notices[0].summary, QStringLiteral("1 new message"));
        QCOMPARE(notices->notices[0].body,
                 QStringLiteral("alice0@example.com: 1, 1 marked as spam"));
        window->hide();
        notices->emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
        QTRY_VERIFY_WITH_TIMEOUT(window->isVisible(), 10000);
    }

private slots:
    void backgroundCheckSendsOneNoticeThatShowsTheWindow() { backgroundCheckWith(true); }
    void withoutAServiceTheCheckGoesOnQuietly() { backgroundCheckWith(false); }
};

QTEST_MAIN(WatchNoticeTest)
#include "WatchNoticeTest.moc"
