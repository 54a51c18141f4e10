// A notification service of the test's own, on whatever session bus the test runs under: it
// serves the two calls the notifier makes, remembers what was sent, and sends the signals a
// desktop sends when the user clicks or closes a notice. Its notices are numbered from 41.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace notification_test {

inline const QString path = QStringLiteral("/org/freedesktop/Notifications");
inline const QString interface = QStringLiteral("org.freedesktop.Notifications");

class TestNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Notice {
        uint replaces;
        QString summary;
        QString body;
        QStringList actions;
    };

    explicit TestNotificationService(QStringList capabilities)
        : bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                             QStringLiteral("test-notification-service"))),
          capabilities_(std::move(capabilities)) {}
    ~TestNotificationService() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("test-notification-service"));
    }

    bool start() {
        return bus_.registerObject(path, this, QDBusConnection::ExportAllSlots) &&
               bus_.registerService(interface);
    }

    void emitSignal(const QString& name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(arguments);
        bus_.send(signal);
    }

    QList<Notice> notices;

public slots:
    QStringList GetCapabilities() { return capabilities_; }
    uint Notify(const QString&, uint replaces, const QString&, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap&, int) {
        notices.push_back({replaces, summary, body, actions});
        return replaces != 0 ? replaces : ++lastId_;
    }

private:
    QDBusConnection bus_;
    QStringList capabilities_;
    uint lastId_ = 40;
};

} // namespace notification_test
