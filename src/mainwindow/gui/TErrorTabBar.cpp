#include "mainwindow/gui/TErrorTabBar.h"

#include <QEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QTabBar>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>

namespace {

QStyleOptionTab TabOption(const QWidget* bar, const QString& caption) {
    QStyleOptionTab option;
    option.initFrom(bar);
    option.shape = QTabBar::RoundedSouth;
    option.text = caption;
    return option;
}

} // namespace

TErrorTabBar::TErrorTabBar(QWidget* parent)
    : QWidget(parent), m_left(new QToolButton(this)), m_right(new QToolButton(this)) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    for (QToolButton* button : {m_left, m_right}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->hide();
    }
    m_left->setObjectName(QStringLiteral("ScrollLeftButton"));
    m_left->setArrowType(Qt::LeftArrow);
    m_right->setObjectName(QStringLiteral("ScrollRightButton"));
    m_right->setArrowType(Qt::RightArrow);
    connect(m_left, &QToolButton::clicked, this, [this] { ScrollBy(-1); });
    connect(m_right, &QToolButton::clicked, this, [this] { ScrollBy(1); });
}

int TErrorTabBar::insertTab(int index, const QString& caption) {
    if (index < 0 || index > count())
        index = count();
    m_tabs.insert(m_tabs.begin() + index, Tab{caption, -1, 0});
    m_laidOut = std::min(m_laidOut, index);
    if (m_current < 0)
        m_current = index;
    else if (index <= m_current)
        ++m_current;
    if (m_hover >= index)
        m_hover = -1;
    update();
    if (count() == 1) {
        KeepCurrentInSight();
        Q_EMIT currentChanged(m_current);
    }
    return index;
}

void TErrorTabBar::removeTab(int index) {
    if (index < 0 || index >= count())
        return;
    m_tabs.erase(m_tabs.begin() + index);
    m_laidOut = std::min(m_laidOut, index);
    m_hover = -1;
    update();
    if (index > m_current) {
        return;
    } else if (index < m_current) {
        --m_current;
        return;
    }
    m_current = std::min(index, count() - 1);
    KeepCurrentInSight();
    Q_EMIT currentChanged(m_current);
}

void TErrorTabBar::clear() {
    const bool hadCurrent = m_current >= 0;
    m_tabs.clear();
    m_laidOut = 0;
    m_current = -1;
    m_hover = -1;
    m_offset = 0;
    update();
    if (hadCurrent)
        Q_EMIT currentChanged(-1);
}

QString TErrorTabBar::tabText(int index) const {
    return index >= 0 && index < count() ? m_tabs[std::size_t(index)].caption : QString();
}

void TErrorTabBar::setCurrentIndex(int index) {
    if (index < 0 || index >= count() || index == m_current)
        return;
    m_current = index;
    KeepCurrentInSight();
    update();
    Q_EMIT currentChanged(index);
}

int TErrorTabBar::TabWidth(Tab& tab) const {
    if (tab.width < 0) {
        // As QTabBar measures a tab without icon or buttons.
        const QStyleOptionTab option = TabOption(this, tab.caption);
        const QFontMetrics metrics = fontMetrics();
        const int hframe = style()->pixelMetric(QStyle::PM_TabBarTabHSpace, &option, this);
        const int vframe = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
        const QSize contents(metrics.size(Qt::TextShowMnemonic, tab.caption).width() + hframe,
                             metrics.height() + vframe);
        tab.width =
            style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this).width();
    }
    return tab.width;
}

int TErrorTabBar::TabHeight() const {
    if (m_tabHeight < 0) {
        const QStyleOptionTab option = TabOption(this, QStringLiteral("Xg"));
        const QFontMetrics metrics = fontMetrics();
        const int vframe = style()->pixelMetric(QStyle::PM_TabBarTabVSpace, &option, this);
        const QSize contents(metrics.horizontalAdvance(option.text), metrics.height() + vframe);
        m_tabHeight =
            style()->sizeFromContents(QStyle::CT_TabBarTab, &option, contents, this).height();
    }
    return m_tabHeight;
}

void TErrorTabBar::LayOut(int end) const {
    end = std::min(end, count());
    for (int i = m_laidOut; i < end; ++i) {
        Tab& tab = m_tabs[std::size_t(i)];
        if (i == 0) {
            tab.left = 0;
        } else {
            Tab& before = m_tabs[std::size_t(i - 1)];
            tab.left = before.left + TabWidth(before);
        }
    }
    m_laidOut = std::max(m_laidOut, end);
}

int TErrorTabBar::TotalWidth() const {
    if (m_tabs.empty())
        return 0;
    LayOut(count());
    Tab& last = m_tabs.back();
    return last.left + TabWidth(last);
}

int TErrorTabBar::ViewWidth() const {
    const int buttons = m_left->isHidden() ? 0 : m_left->width() + m_right->width();
    return std::max(0, width() - buttons);
}

QRect TErrorTabBar::tabRect(int index) const {
    if (index < 0 || index >= count())
        return {};
    LayOut(index + 1);
    Tab& tab = m_tabs[std::size_t(index)];
    return QRect(tab.left - m_offset, 0, TabWidth(tab), TabHeight());
}

int TErrorTabBar::tabAt(const QPoint& position) const {
    if (m_tabs.empty() || position.x() >= ViewWidth() || position.y() < 0 ||
        position.y() >= TabHeight())
        return -1;
    LayOut(count());
    const int x = position.x() + m_offset;
    // The last tab that starts at or before x.
    const auto after = std::upper_bound(m_tabs.begin(), m_tabs.end(), x,
                                        [](int at, const Tab& tab) { return at < tab.left; });
    if (after == m_tabs.begin())
        return -1;
    const int index = int(after - m_tabs.begin()) - 1;
    return x < m_tabs[std::size_t(index)].left + TabWidth(m_tabs[std::size_t(index)]) ? index : -1;
}

void TErrorTabBar::ScrollTo(int offset) {
    const int limit = std::max(0, TotalWidth() - ViewWidth());
    offset = std::clamp(offset, 0, limit);
    if (offset != m_offset) {
        m_offset = offset;
        update();
    }
    m_left->setEnabled(m_offset > 0);
    m_right->setEnabled(m_offset < limit);
}

void TErrorTabBar::ScrollBy(int tabs) {
    const int first = tabAt(QPoint(0, 0));
    const int from = first < 0 ? 0 : first;
    if (tabs < 0 && first >= 0 && tabRect(first).left() < 0)
        ++tabs; // a tab cut at the left edge comes into sight first
    const int target = std::clamp(from + tabs, 0, std::max(0, count() - 1));
    LayOut(target + 1);
    ScrollTo(m_tabs.empty() ? 0 : m_tabs[std::size_t(target)].left);
}

void TErrorTabBar::KeepCurrentInSight() {
    // Done when the row is next drawn: a burst of selections lays out the tabs once.
    m_showCurrent = true;
    update();
}

void TErrorTabBar::UpdateButtons() {
    const bool needed = TotalWidth() > width();
    if (needed == !m_left->isHidden())
        return;
    const int side = style()->pixelMetric(QStyle::PM_TabBarScrollButtonWidth, nullptr, this);
    m_left->setGeometry(width() - 2 * side, 0, side, height());
    m_right->setGeometry(width() - side, 0, side, height());
    m_left->setVisible(needed);
    m_right->setVisible(needed);
}

void TErrorTabBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int side = style()->pixelMetric(QStyle::PM_TabBarScrollButtonWidth, nullptr, this);
    m_left->setGeometry(width() - 2 * side, 0, side, height());
    m_right->setGeometry(width() - side, 0, side, height());
    m_showCurrent = true;
}

void TErrorTabBar::paintEvent(QPaintEvent* event) {
    UpdateButtons();
    if (m_showCurrent && m_current >= 0) {
        m_showCurrent = false;
        const QRect current = tabRect(m_current);
        if (current.left() < 0)
            ScrollTo(m_offset + current.left());
        else if (current.right() >= ViewWidth())
            ScrollTo(m_offset + current.right() + 1 - ViewWidth());
    }
    ScrollTo(m_offset); // within the range after tabs went

    QStylePainter painter(this);
    const int tabs = count();
    QStyleOptionTabBarBase base;
    base.initFrom(this);
    base.shape = QTabBar::RoundedSouth;
    QStyleOptionTab edge;
    edge.shape = QTabBar::RoundedSouth;
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, &edge, this);
    if (overlap > 0)
        base.rect = QRect(0, 0, width(), overlap);
    if (tabs > 0)
        base.tabBarRect = QRect(-m_offset, 0, TotalWidth(), TabHeight());
    base.selectedTabRect = tabRect(m_current);
    painter.drawPrimitive(QStyle::PE_FrameTabBarBase, base);

    painter.setClipRect(QRect(0, 0, ViewWidth(), height()) & event->rect());
    const int first = std::max(0, tabAt(QPoint(0, 0)));
    auto draw = [&](int index) {
        QStyleOptionTab option = TabOption(this, m_tabs[std::size_t(index)].caption);
        option.rect = tabRect(index);
        option.state &= ~(QStyle::State_HasFocus | QStyle::State_MouseOver);
        if (index == m_current) {
            option.state |= QStyle::State_Selected;
            if (hasFocus())
                option.state |= QStyle::State_HasFocus;
        }
        if (index == m_hover)
            option.state |= QStyle::State_MouseOver;
        option.position = tabs == 1           ? QStyleOptionTab::OnlyOneTab
                          : index == 0        ? QStyleOptionTab::Beginning
                          : index == tabs - 1 ? QStyleOptionTab::End
                                              : QStyleOptionTab::Middle;
        option.selectedPosition = m_current == index - 1   ? QStyleOptionTab::PreviousIsSelected
                                  : m_current == index + 1 ? QStyleOptionTab::NextIsSelected
                                                           : QStyleOptionTab::NotAdjacent;
        painter.drawControl(QStyle::CE_TabBarTab, option);
    };
    // The selected tab is drawn last, over its neighbours.
    for (int index = first; index < tabs && tabRect(index).left() < ViewWidth(); ++index)
        if (index != m_current)
            draw(index);
    if (m_current >= 0 && tabRect(m_current).intersects(rect()))
        draw(m_current);
}

void TErrorTabBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int index = tabAt(event->position().toPoint());
    if (index >= 0)
        setCurrentIndex(index);
}

void TErrorTabBar::mouseMoveEvent(QMouseEvent* event) {
    const int hover = tabAt(event->position().toPoint());
    if (hover != m_hover) {
        m_hover = hover;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void TErrorTabBar::leaveEvent(QEvent* event) {
    m_hover = -1;
    update();
    QWidget::leaveEvent(event);
}

void TErrorTabBar::wheelEvent(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    const int steps = (std::abs(delta.x()) > std::abs(delta.y()) ? delta.x() : delta.y()) / 120;
    if (steps != 0)
        ScrollBy(-steps);
    event->accept();
}

void TErrorTabBar::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrentIndex(m_current - 1);
        break;
    case Qt::Key_Right:
        setCurrentIndex(m_current + 1);
        break;
    case Qt::Key_Home:
        setCurrentIndex(0);
        break;
    case Qt::Key_End:
        setCurrentIndex(count() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TErrorTabBar::changeEvent(QEvent* event) {
    // Captions measure differently in another font or style.
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        Remeasure();
    QWidget::changeEvent(event);
}

void TErrorTabBar::Remeasure() {
    for (Tab& tab : m_tabs)
        tab.width = -1;
    m_laidOut = 0;
    m_tabHeight = -1;
    m_showCurrent = true;
    updateGeometry();
    update();
}

QSize TErrorTabBar::sizeHint() const {
    // The pane decides the width; measuring every caption here would cost a run dearly.
    return QSize(200, TabHeight());
}

QSize TErrorTabBar::minimumSizeHint() const {
    const int side = style()->pixelMetric(QStyle::PM_TabBarScrollButtonWidth, nullptr, this);
    return QSize(3 * side, TabHeight());
}
