// The new-mail notice against a notification service of the test's own on a private session
// bus, and where the bus has no such service or there is no bus at all. Each scenario is run by
// its own test, on the bus the wrapper script sets up.
#include "shell/DesktopNotifier.h"

#include "TestNotificationService.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QSignalSpy>
#include <QTest>

using namespace toppeek::shell;
using notification_test::TestNotificationService;

namespace {

NoticeText newMail() {
    return *newMailNotice({{"a&b@example.org", 2, 1}, {"c@example.org", 1, 0}});
}

} // namespace

class DesktopNotifierTest : public QObject {
    Q_OBJECT
private slots:
    void sendsTheNoticeAndReportsTheClick() {
        TestNotificationService service({"body", "body-markup", "actions"});
        QVERIFY(service.start());
        int clicks = 0;
        DesktopNotifier notifier([&] { ++clicks; });
        QSignalSpy finished(&notifier, &DesktopNotifier::finished);

        notifier.show(newMail());
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), true);
        QCOMPARE(service.notices.size(), 1);
        const auto& sent = service.notices.at(0);
        QCOMPARE(sent.replaces, 0u);
        QCOMPARE(sent.summary, QStringLiteral("3 new messages"));
        // The service reads markup, so the address's ampersand is escaped.
        QCOMPARE(sent.body,
                 QStringLiteral("a&amp;b@example.org: 2, 1 marked as spam\nc@example.org: 1"));
        QCOMPARE(sent.actions.value(0), QStringLiteral("default"));
        QCOMPARE(sent.actions.size(), 2);

        // Another notice's click, or another action of ours, is not the user asking for us.
        service.emitSignal(QStringLiteral("ActionInvoked"), {41u + 1u, QStringLiteral("default")});
        service.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("other")});
        service.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
        QTRY_COMPARE_WITH_TIMEOUT(clicks, 1, 10000);

        // A notice still up is replaced; once closed, the next one is a notice of its own.
        notifier.show(newMail());
        QVERIFY(finished.wait(10000));
        QCOMPARE(service.notices.at(1).replaces, 41u);
        service.emitSignal(QStringLiteral("NotificationClosed"), {41u, 2u});
        service.emitSignal(QStringLiteral("ActionInvoked"), {41u, QStringLiteral("default")});
        // The service sent both signals before it answers the next call, so they have arrived
        // when the notice below is sent.
        notifier.show(newMail());
        QVERIFY(finished.wait(10000));
        QCOMPARE(service.notices.at(2).replaces, 0u);
        QCOMPARE(clicks, 1);
    }

    void sendsPlainTextToAServiceWithoutMarkup() {
        TestNotificationService service({"body", "actions"});
        QVERIFY(service.start());
        DesktopNotifier notifier([] {});
        QSignalSpy finished(&notifier, &DesktopNotifier::finished);
        notifier.show(newMail());
        QVERIFY(finished.wait(10000));
        QCOMPARE(service.notices.value(0).body,
                 QStringLiteral("a&b@example.org: 2, 1 marked as spam\nc@example.org: 1"));
    }

    // Run on a bus without the service, and with no bus at all.
    void nothingIsShownWithoutAService() {
        bool clicked = false;
        DesktopNotifier notifier([&] { clicked = true; });
        QSignalSpy finished(&notifier, &DesktopNotifier::finished);
        notifier.show(newMail());
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished.takeFirst().at(0).toBool(), false);
        QVERIFY(!clicked);
    }
};

QTEST_GUILESS_MAIN(DesktopNotifierTest)
#include "DesktopNotifierTest.moc"
