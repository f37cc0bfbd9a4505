#include "console/shell/pictures.h"

#include <QHash>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace console {
namespace {

// The pictures are drawn once, here, rather than shipped as image files.
QPixmap drawButton(int width, bool focus) {
    QPixmap pixmap(width, 22);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(0, 0, 0, 22);
    fill.setColorAt(0, focus ? QColor(255, 236, 190) : QColor(250, 253, 255));
    fill.setColorAt(1, focus ? QColor(247, 190, 90) : QColor(196, 222, 240));
    p.setBrush(fill);
    p.setPen(QPen(focus ? QColor(214, 140, 30) : QColor(120, 160, 195), 1));
    p.drawRoundedRect(QRectF(0.5, 0.5, width - 1, 21), 4, 4);
    return pixmap;
}

QPixmap drawShield(int size, const QColor& colour) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    QPainterPath shield;
    shield.moveTo(s * 0.5, s * 0.05);
    shield.lineTo(s * 0.9, s * 0.2);
    shield.cubicTo(s * 0.9, s * 0.6, s * 0.7, s * 0.85, s * 0.5, s * 0.95);
    shield.cubicTo(s * 0.3, s * 0.85, s * 0.1, s * 0.6, s * 0.1, s * 0.2);
    shield.closeSubpath();
    p.setBrush(colour);
    p.setPen(QPen(colour.darker(160), s / 16));
    p.drawPath(shield);
    p.setPen(QPen(Qt::white, s / 10, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(s * 0.5, s * 0.25), QPointF(s * 0.5, s * 0.72));
    return pixmap;
}

} // namespace

QPixmap picture(const QString& key) {
    static const QHash<QString, QPixmap> pictures = {
        {QStringLiteral("btn4w"), drawButton(72, false)},
        {QStringLiteral("btn4wfocus"), drawButton(72, true)},
        {QStringLiteral("btn6w"), drawButton(104, false)},
        {QStringLiteral("btn6wfocus"), drawButton(104, true)},
    };
    return pictures.value(key);
}

QIcon trayIcon(int id) {
    const QColor colour = id == kIconRunning ? QColor(40, 160, 70) : QColor(170, 60, 50);
    QIcon icon;
    for (int size : {16, 32, 48}) {
        icon.addPixmap(drawShield(size, colour));
    }
    return icon;
}

} // namespace console
