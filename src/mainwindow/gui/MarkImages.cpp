#include "mainwindow/gui/MarkImages.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int kIconSize = 16;

void DrawPadlock(QPainter& p, int size) {
    const qreal s = size;
    p.setPen(QPen(QColor(90, 90, 90), s / 8.0));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(s * 0.28, s * 0.08, s * 0.44, s * 0.5), 0, 180 * 16);
    p.setPen(QPen(QColor(60, 60, 60), 1));
    p.setBrush(QColor(230, 180, 40));
    p.drawRect(QRectF(s * 0.15, s * 0.42, s * 0.7, s * 0.5));
}

void DrawTick(QPainter& p, int size) {
    const qreal s = size;
    QPainterPath tick;
    tick.moveTo(s * 0.12, s * 0.55);
    tick.lineTo(s * 0.4, s * 0.85);
    tick.lineTo(s * 0.9, s * 0.15);
    p.setPen(QPen(Qt::white, s / 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    p.setPen(QPen(QColor(20, 150, 40), s / 6.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
}

} // namespace

QPixmap MarkImage(int mark, int size) {
    QPixmap image(size, size);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (mark == 0)
        DrawPadlock(painter, size);
    else if (mark == 1)
        DrawTick(painter, size);
    return image;
}

QIcon MarkedIcon(const QIcon& base, int mark) {
    if (mark < 0)
        return base;
    static QHash<QPair<qint64, int>, QIcon> cache;
    const QPair<qint64, int> key(base.cacheKey(), mark);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd())
        return found.value();
    QPixmap composed(kIconSize, kIconSize);
    composed.fill(Qt::transparent);
    {
        QPainter painter(&composed);
        if (!base.isNull())
            painter.drawPixmap(0, 0, base.pixmap(kIconSize, kIconSize));
        painter.drawPixmap(0, kIconSize / 2 - 1, MarkImage(mark, kIconSize / 2 + 1));
    }
    const QIcon icon(composed);
    // The list's icons come from a small set (one per file type), so the cache stays small.
    if (cache.size() > 512)
        cache.clear();
    cache.insert(key, icon);
    return icon;
}
