// A Secret Service that holds its name on the session bus and never answers a call, as a keyring
// daemon does that hangs: every call to it waits for the bus's own time-out. It runs until it is
// ended; it prints "ready" once the name is its own.
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {

class Swallower : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }
    // Taken, and never answered.
    bool handleMessage(const QDBusMessage&, const QDBusConnection&) override { return true; }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    Swallower swallower;
    if (!bus.registerVirtualObject(QStringLiteral("/"), &swallower, QDBusConnection::SubPath) ||
        !bus.registerService(QStringLiteral("org.freedesktop.secrets"))) {
        std::fputs("could not take the Secret Service's name\n", stderr);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    return application.exec();
}
