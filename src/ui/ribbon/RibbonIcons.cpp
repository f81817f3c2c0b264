#include "ui/ribbon/RibbonIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int Size = 32; // pixels

QPixmap Canvas() {
    QPixmap pixmap(Size, Size);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

// An arrow along y from x0 to x1 with its head at x1.
void Arrow(QPainter& p, qreal x0, qreal x1, qreal y, const QColor& colour) {
    const qreal dir = x1 > x0 ? 1 : -1;
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x0, y), QPointF(x1 - dir * 6, y));
    QPainterPath head;
    head.moveTo(x1, y);
    head.lineTo(x1 - dir * 9, y - 6.5);
    head.lineTo(x1 - dir * 9, y + 6.5);
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPath(head);
}

} // namespace

QIcon ExchangeArrowsIcon() {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    Arrow(p, 4, 29, 10, QColor(30, 120, 40));
    Arrow(p, 28, 3, 22, QColor(25, 90, 180));
    return QIcon(pixmap);
}

QIcon MapIcon() {
    QPixmap pixmap = Canvas();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // Three folded panels.
    const QPointF panels[][4] = {
        {{2, 8}, {11, 5}, {11, 28}, {2, 31}},
        {{11, 5}, {21, 8}, {21, 31}, {11, 28}},
        {{21, 8}, {30, 5}, {30, 28}, {21, 31}},
    };
    const QColor shades[] = {QColor(200, 225, 170), QColor(170, 205, 140), QColor(200, 225, 170)};
    p.setPen(QPen(QColor(90, 110, 70), 1));
    for (int i = 0; i < 3; ++i) {
        p.setBrush(shades[i]);
        p.drawPolygon(panels[i], 4);
    }
    // The pin.
    QPainterPath pin;
    pin.moveTo(16, 24);
    pin.cubicTo(9, 15, 10, 4, 16, 4);
    pin.cubicTo(22, 4, 23, 15, 16, 24);
    p.setBrush(QColor(210, 40, 40));
    p.setPen(QPen(QColor(120, 20, 20), 1));
    p.drawPath(pin);
    p.setBrush(Qt::white);
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPointF(16, 10.5), 2.5, 2.5);
    return QIcon(pixmap);
}
