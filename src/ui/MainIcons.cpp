#include "ui/MainIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>

#include <cmath>
#include <functional>
#include <numbers>

namespace toppeek::ui {

namespace {

// Every picture is drawn on a 24 x 24 grid and scaled, so one drawing
// serves every size.
using Drawing = std::function<void(QPainter&)>;

QPixmap render(const Drawing& draw, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 24.0, size / 24.0);
    draw(painter);
    return pixmap;
}

QIcon iconOf(const Drawing& draw) {
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addPixmap(render(draw, size));
    return icon;
}

const QColor kOutline(60, 60, 70);

void envelope(QPainter& p, const QColor& paper) {
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(paper);
    p.drawRoundedRect(QRectF(2.5, 5.5, 19, 13), 1.5, 1.5);
    p.setBrush(Qt::NoBrush);
    QPolygonF flap;
    flap << QPointF(3, 6.5) << QPointF(12, 13) << QPointF(21, 6.5);
    p.drawPolyline(flap);
}

void drawConnect(QPainter& p) {
    envelope(p, QColor(250, 246, 230));
    // A green arrow coming down into the mailbox.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 150, 60));
    QPolygonF arrow;
    arrow << QPointF(16, 0.5) << QPointF(21, 0.5) << QPointF(21, 7) << QPointF(23.5, 7)
          << QPointF(18.5, 13) << QPointF(13.5, 7) << QPointF(16, 7);
    p.drawPolygon(arrow);
}

void drawClose(QPainter& p) {
    envelope(p, QColor(235, 235, 235));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 50, 40));
    p.drawEllipse(QPointF(18, 17), 5.5, 5.5);
    p.setBrush(Qt::white);
    p.drawRect(QRectF(15, 16, 6, 2));
}

void drawView(QPainter& p) {
    // A page with lines under a magnifying glass.
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 2.5, 13, 18));
    p.setPen(QPen(QColor(120, 120, 140), 1));
    for (double y = 6; y < 18; y += 3)
        p.drawLine(QPointF(6, y), QPointF(14, y));
    p.setPen(QPen(QColor(90, 60, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(18.5, 18.5), QPointF(22, 22));
    p.setPen(QPen(kOutline, 1.5));
    p.setBrush(QColor(170, 210, 250, 200));
    p.drawEllipse(QPointF(15, 15), 4.5, 4.5);
}

void drawMark(QPainter& p) {
    envelope(p, QColor(250, 246, 230));
    // A red flag planted on the mailbox.
    p.setPen(QPen(kOutline, 1.5));
    p.drawLine(QPointF(17, 23), QPointF(17, 8));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(210, 40, 40));
    QPolygonF flag;
    flag << QPointF(17.5, 8) << QPointF(23.5, 10.5) << QPointF(17.5, 13);
    p.drawPolygon(flag);
}

void drawRemove(QPainter& p) {
    // A waste bin.
    p.setPen(QPen(kOutline, 1.2));
    p.setBrush(QColor(150, 160, 175));
    QPolygonF bin;
    bin << QPointF(5, 7) << QPointF(19, 7) << QPointF(17.5, 22) << QPointF(6.5, 22);
    p.drawPolygon(bin);
    p.drawRoundedRect(QRectF(3.5, 4, 17, 3), 1, 1);
    p.drawRect(QRectF(9.5, 2, 5, 2));
    p.setPen(QPen(QColor(90, 95, 110), 1.2));
    for (double x : {9.0, 12.0, 15.0})
        p.drawLine(QPointF(x, 10), QPointF(x, 19.5));
}

void drawOptions(QPainter& p) {
    // A gear wheel.
    const QPointF centre(12, 12);
    QPainterPath gear;
    const int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        double angle = i * std::numbers::pi / teeth;
        double radius = (i % 2 == 0) ? 10.5 : 7.5;
        for (double step : {-0.22, 0.22}) {
            QPointF point(centre.x() + radius * std::cos(angle + step),
                          centre.y() + radius * std::sin(angle + step));
            if (gear.elementCount() == 0)
                gear.moveTo(point);
            else
                gear.lineTo(point);
        }
    }
    gear.closeSubpath();
    gear.addEllipse(centre, 3.5, 3.5);
    gear.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(kOutline, 1));
    p.setBrush(QColor(120, 140, 170));
    p.drawPath(gear);
}

void drawMessage(QPainter& p) {
    envelope(p, QColor(250, 246, 230));
}

void drawMarkedMessage(QPainter& p) {
    envelope(p, QColor(245, 220, 215));
    p.setPen(QPen(QColor(200, 30, 30), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 4), QPointF(19, 20));
    p.drawLine(QPointF(19, 4), QPointF(5, 20));
}

} // namespace

QIcon toolbarIcon(ToolbarIcon which) {
    switch (which) {
    case ToolbarIcon::Connect:
        return iconOf(drawConnect);
    case ToolbarIcon::Close:
        return iconOf(drawClose);
    case ToolbarIcon::View:
        return iconOf(drawView);
    case ToolbarIcon::Mark:
        return iconOf(drawMark);
    case ToolbarIcon::Remove:
        return iconOf(drawRemove);
    case ToolbarIcon::Options:
        return iconOf(drawOptions);
    }
    return {};
}

QList<QIcon> messageImages(int size) {
    return {QIcon(render(drawMessage, size)), QIcon(render(drawMarkedMessage, size))};
}

QIcon programIcon() {
    return iconOf(drawConnect);
}

} // namespace toppeek::ui
