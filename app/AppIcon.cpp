#include "app/AppIcon.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

void drawApplicationIcon(QPainter& painter, double side) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    // Work in a 64-unit square so every size has the same proportions.
    painter.scale(side / 64.0, side / 64.0);

    // The map: a rounded dark-green tile with a survey grid.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(24, 64, 48));
    painter.drawRoundedRect(QRectF(1, 1, 62, 62), 8, 8);
    QPen gridPen(QColor(90, 150, 120), 1.5);
    painter.setPen(gridPen);
    for (int line = 12; line < 64; line += 13) {
        painter.drawLine(QPointF(line, 4), QPointF(line, 60));
        painter.drawLine(QPointF(4, line), QPointF(60, line));
    }

    // The aircraft: a yellow arrowhead heading up and to the right, outlined for small sizes.
    QPainterPath arrow;
    arrow.moveTo(0, -24);
    arrow.lineTo(14, 18);
    arrow.lineTo(0, 9);
    arrow.lineTo(-14, 18);
    arrow.closeSubpath();
    painter.translate(32, 33);
    painter.rotate(35);
    painter.setPen(QPen(QColor(20, 20, 20), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(QColor(250, 210, 40));
    painter.drawPath(arrow);
    painter.restore();
}

QPixmap paintApplicationIcon(int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    drawApplicationIcon(painter, side);
    painter.end();
    return pixmap;
}

QIcon makeApplicationIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128}) icon.addPixmap(paintApplicationIcon(side));
    return icon;
}
