#include "ui/TrayIcon.h"

#include "ui/MainIcons.h"

#include <QAction>
#include <QPainter>
#include <QPixmap>

namespace toppeek::ui {

namespace {

// The program's icon with the number of waiting messages over its lower right corner.
QIcon countedIcon(int waiting) {
    const QIcon plain = programIcon();
    if (waiting <= 0)
        return plain;
    constexpr int kSide = 32;
    QPixmap pixmap = plain.pixmap(kSide, kSide);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QString text = waiting > 99 ? QStringLiteral("99+") : QString::number(waiting);
    QFont font = painter.font();
    font.setPixelSize(13);
    font.setBold(true);
    painter.setFont(font);
    const int width = std::max(16, painter.fontMetrics().horizontalAdvance(text) + 6);
    const QRect badge(kSide - width, kSide - 16, width, 16);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(200, 30, 30));
    painter.drawRoundedRect(badge, 7, 7);
    painter.setPen(Qt::white);
    painter.drawText(badge, Qt::AlignCenter, text);
    return QIcon(pixmap);
}

} // namespace

TrayIcon::TrayIcon(Commands commands, QObject* parent) : QSystemTrayIcon(parent) {
    setObjectName(QStringLiteral("trayIcon"));
    checkNowItem = menu.addAction(tr("Check now"));
    showItem = menu.addAction(tr("Show"));
    menu.addSeparator();
    quitItem = menu.addAction(tr("Quit"));
    connect(checkNowItem, &QAction::triggered, this, commands.checkNow);
    connect(showItem, &QAction::triggered, this, commands.show);
    connect(quitItem, &QAction::triggered, this, commands.quit);
    // A plain click on the icon brings the window, as the desktop's other tray icons do.
    connect(this, &QSystemTrayIcon::activated, this,
            [show = commands.show](ActivationReason reason) {
                if (reason == Trigger || reason == DoubleClick)
                    show();
            });
    setContextMenu(&menu);
    showCounts(-1, 0, QString());
}

void TrayIcon::showCounts(int waiting, int marked, const QString& problem) {
    QString tip = QStringLiteral("TopPeek");
    if (waiting >= 0)
        tip += waiting == 1 ? tr("\n1 message waiting") : tr("\n%1 messages waiting").arg(waiting);
    if (marked > 0)
        tip += tr(", %1 marked").arg(marked);
    if (!problem.isEmpty())
        tip += QStringLiteral("\n") + problem;
    setToolTip(tip);
    setIcon(countedIcon(waiting));
}

} // namespace toppeek::ui
