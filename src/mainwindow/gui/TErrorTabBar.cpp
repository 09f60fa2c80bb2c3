#include "mainwindow/gui/TErrorTabBar.h"

#include <QEvent>

TErrorTabBar::TErrorTabBar(QWidget* parent) : QTabBar(parent) {}

QSize TErrorTabBar::tabSizeHint(int index) const {
    const QString caption = tabText(index);
    if (const auto known = m_sizes.constFind(caption); known != m_sizes.constEnd())
        return *known;
    const QSize size = QTabBar::tabSizeHint(index);
    m_sizes.insert(caption, size);
    return size;
}

void TErrorTabBar::changeEvent(QEvent* event) {
    // Captions measure differently in another font or style.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        m_sizes.clear();
    QTabBar::changeEvent(event);
}

void TErrorTabBar::tabRemoved(int index) {
    // The sizes of captions no longer shown are dropped now and then, not kept for ever.
    if (m_sizes.size() > 2 * count() + 64)
        m_sizes.clear();
    QTabBar::tabRemoved(index);
}
