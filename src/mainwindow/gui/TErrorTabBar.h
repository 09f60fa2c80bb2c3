#pragma once
// The error pane's row of tabs, at the bottom of the pane. A validation run can leave tens of
// thousands of pages, and Qt's QTabBar lays out every tab again (and measures and elides every
// caption at each paint) whenever one is added. This row keeps each caption's width, adds and
// removes tabs without laying out the others, and draws only the tabs in sight, the way the style
// draws QTabBar's. It scrolls with the buttons at its right end, the mouse wheel and the arrow
// keys.

#include <QString>
#include <QWidget>
#include <vector>

class QToolButton;

class TErrorTabBar : public QWidget {
    Q_OBJECT
public:
    explicit TErrorTabBar(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(m_tabs.size()); }
    // Inserts before `index` (at the end when it is out of range); answers the tab's index. The
    // first tab becomes the current one; a tab inserted at or before the current one shifts it.
    int insertTab(int index, const QString& caption);
    int addTab(const QString& caption) { return insertTab(count(), caption); }
    // The tab to the right of a removed current tab becomes current (the last when there is none).
    void removeTab(int index);
    void clear();
    QString tabText(int index) const;
    // Where the tab is drawn, in this widget's coordinates (scrolled); empty when out of range.
    QRect tabRect(int index) const;
    int tabAt(const QPoint& position) const;
    int currentIndex() const { return m_current; }
    // Selects and scrolls into sight; emits currentChanged when the current tab changed.
    void setCurrentIndex(int index);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    void currentChanged(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Tab {
        QString caption;
        int width = -1; // measured when first needed
        int left = 0;   // valid up to m_laidOut
    };

    int TabWidth(Tab& tab) const;
    int TabHeight() const;
    // Positions of the tabs before `end`, from the first that is not laid out yet.
    void LayOut(int end) const;
    int TotalWidth() const;
    // The width the tabs have beside the scroll buttons.
    int ViewWidth() const;
    void ScrollTo(int offset);
    void ScrollBy(int tabs);
    void KeepCurrentInSight();
    void UpdateButtons();
    void Remeasure();

    mutable std::vector<Tab> m_tabs;
    mutable int m_laidOut = 0; // tabs whose `left` is known
    mutable int m_tabHeight = -1;
    int m_current = -1;
    int m_hover = -1;
    int m_offset = 0; // pixels scrolled
    bool m_showCurrent = false;
    QToolButton* m_left;
    QToolButton* m_right;
};
