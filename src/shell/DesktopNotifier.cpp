#include "shell/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

namespace toppeek::shell {

using storage::NewMailCount;

namespace {

const QString service = QStringLiteral("org.freedesktop.Notifications");
const QString path = QStringLiteral("/org/freedesktop/Notifications");
const QString interface = QStringLiteral("org.freedesktop.Notifications");
const QString defaultAction = QStringLiteral("default");
// A service that takes longer than this is treated as absent.
constexpr int kReplyTimeoutMs = 5000;

// The source text follows the English plural, so that English needs no translation of its own;
// each translation gives both texts all the plural forms of its language.
QString messages(int n) {
    return n == 1 ? DesktopNotifier::tr("%n new message", nullptr, n)
                  : DesktopNotifier::tr("%n new messages", nullptr, n);
}

QString markedAsSpam(int n) {
    return DesktopNotifier::tr("%n marked as spam", nullptr, n);
}

// For services that read the body as markup: the few characters it gives a meaning.
QString escapedMarkup(const QString& text) {
    return text.toHtmlEscaped();
}

} // namespace

std::optional<NoticeText> newMailNotice(const std::vector<NewMailCount>& counts) {
    int total = 0;
    std::string body;
    for (const NewMailCount& count : counts) {
        if (count.newMessages <= 0)
            continue;
        total += count.newMessages;
        if (!body.empty())
            body += '\n';
        body += count.account + ": " + std::to_string(count.newMessages);
        if (count.markedAsSpam > 0)
            body += ", " + markedAsSpam(count.markedAsSpam).toStdString();
    }
    if (total == 0)
        return std::nullopt;
    return NoticeText{messages(total).toStdString(), body};
}

DesktopNotifier::DesktopNotifier(std::function<void()> onClicked, QObject* parent)
    : QObject(parent), bus_(QDBusConnection::sessionBus()), onClicked_(std::move(onClicked)) {
    if (!bus_.isConnected())
        return;
    // Any sender: naming the service would make the connection look up its owner and wait
    // for the answer. The notice's id tells ours apart.
    bus_.connect(QString(), path, interface, QStringLiteral("ActionInvoked"), this,
                 SLOT(actionInvoked(uint, QString)));
    bus_.connect(QString(), path, interface, QStringLiteral("NotificationClosed"), this,
                 SLOT(notificationClosed(uint, uint)));
}

void DesktopNotifier::show(const NoticeText& notice) {
    if (!bus_.isConnected()) {
        QTimer::singleShot(0, this, [this] { emit finished(false); });
        return;
    }
    // Asking for the capabilities first also finds out whether a service answers at all.
    callInBackground(QStringLiteral("GetCapabilities"), {},
                     [this, notice](const QDBusPendingCallWatcher& call) {
                         QDBusPendingReply<QStringList> reply = call;
                         if (reply.isError()) {
                             emit finished(false);
                             return;
                         }
                         send(notice, reply.value().contains(QStringLiteral("body-markup")));
                     });
}

void DesktopNotifier::send(const NoticeText& notice, bool markup) {
    const QString body = QString::fromStdString(notice.body);
    const QVariantMap hints{
        {QStringLiteral("category"), QStringLiteral("email.arrived")},
        {QStringLiteral("desktop-entry"), QStringLiteral("io.github.toppeek.TopPeek")}};
    const QVariantList arguments{QStringLiteral("TopPeek"),
                                 shownId_,
                                 QStringLiteral("mail-unread"),
                                 QString::fromStdString(notice.summary),
                                 markup ? escapedMarkup(body) : body,
                                 QStringList{defaultAction, tr("Show")},
                                 hints,
                                 -1};
    callInBackground(QStringLiteral("Notify"), arguments,
                     [this](const QDBusPendingCallWatcher& call) {
                         QDBusPendingReply<uint> reply = call;
                         if (reply.isError()) {
                             emit finished(false);
                             return;
                         }
                         shownId_ = reply.value();
                         emit finished(true);
                     });
}

void DesktopNotifier::callInBackground(const QString& method, const QVariantList& arguments,
                                       std::function<void(const QDBusPendingCallWatcher&)> done) {
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, kReplyTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [done = std::move(done)](QDBusPendingCallWatcher* finished) {
                finished->deleteLater();
                done(*finished);
            });
}

void DesktopNotifier::actionInvoked(uint id, const QString& action) {
    if (id != 0 && id == shownId_ && action == defaultAction && onClicked_)
        onClicked_();
}

void DesktopNotifier::notificationClosed(uint id, uint) {
    if (id == shownId_)
        shownId_ = 0;
}

} // namespace toppeek::shell
