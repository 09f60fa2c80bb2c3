#include "fileops/gui/TCaptionStrip.h"

#include <QPainter>

namespace {

int Blend(int from, int to, int step, int steps) {
    return from + (to - from) * step / (steps - 1);
}

} // namespace

TCaptionStrip::TCaptionStrip(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    QFont bold = font();
    bold.setBold(true);
    setFont(bold);
    // Painted whole on every change: nothing behind it needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TCaptionStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor from = palette().color(QPalette::Dark);
    const QColor to = palette().color(QPalette::Button);
    const int width = this->width();
    for (int step = 0; step < kGradientSteps; ++step) {
        const int left = width * step / kGradientSteps;
        const int right = width * (step + 1) / kGradientSteps;
        painter.fillRect(left, 0, right - left, height(),
                         QColor(Blend(from.red(), to.red(), step, kGradientSteps),
                                Blend(from.green(), to.green(), step, kGradientSteps),
                                Blend(from.blue(), to.blue(), step, kGradientSteps)));
    }
    const QRect area = contentsRect().adjusted(4, 0, -4, 0);
    painter.setPen(palette().color(QPalette::Highlight));
    painter.setFont(font());
    // Long names are cut with an ellipsis rather than clipped mid-letter.
    painter.drawText(area, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(text(), Qt::ElideRight, area.width()));
}
