// The icon in the desktop's system tray: how many messages wait and how many of them are
// marked, and a menu to check, to bring the window back and to quit.
#pragma once

#include <QMenu>
#include <QSystemTrayIcon>

#include <functional>

class QAction;

namespace toppeek::ui {

class TrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    struct Commands {
        std::function<void()> checkNow;
        std::function<void()> show;
        std::function<void()> quit;
    };
    TrayIcon(Commands commands, QObject* parent = nullptr);

    // waiting: the messages listed, -1 before the first check; problem: why the last automatic
    // check failed, empty when it did not.
    void showCounts(int waiting, int marked, const QString& problem);

    QMenu menu;
    QAction* checkNowItem;
    QAction* showItem;
    QAction* quitItem;
};

} // namespace toppeek::ui
