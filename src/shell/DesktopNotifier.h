// The desktop notification that tells of new mail, sent to the desktop's notification service
// (org.freedesktop.Notifications on the session bus).
#pragma once

#include "storage/SeenMessages.h"

#include <QDBusConnection>
#include <QObject>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QDBusPendingCallWatcher;

namespace toppeek::shell {

struct NoticeText {
    std::string summary;
    std::string body; // lines apart by '\n'; plain text
};

// "N new messages" and a line for each account that has new ones, with how many of them the
// filters marked as spam; none when no account has new messages.
std::optional<NoticeText> newMailNotice(const std::vector<storage::NewMailCount>& counts);

// Sends notices and reports the click on the last one. Everything happens in the background:
// show() returns at once, and where no session bus or no notification service is there nothing
// is shown, nothing waits and nothing is said.
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    // onClicked runs when the user clicks the notice shown last (its default action).
    explicit DesktopNotifier(std::function<void()> onClicked, QObject* parent = nullptr);

    // Shows notice, in place of the one shown before if that one is still up.
    void show(const NoticeText& notice);

signals:
    // An attempt of show() ended: shown, or not (no bus, no service, an error, no reply).
    void finished(bool shown);

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    void send(const NoticeText& notice, bool markup);
    // Calls back with the reply once it came, or with an error reply.
    void callInBackground(const QString& method, const QVariantList& arguments,
                          std::function<void(const QDBusPendingCallWatcher&)> done);

    QDBusConnection bus_;
    std::function<void()> onClicked_;
    uint shownId_ = 0; // 0: none up
};

} // namespace toppeek::shell
