#pragma once
// The error pane's row of tabs. A validation run can leave thousands of pages, and Qt lays
// every tab out again whenever one is added; measuring each caption once keeps that cheap.

#include <QHash>
#include <QSize>
#include <QString>
#include <QTabBar>

class TErrorTabBar : public QTabBar {
    Q_OBJECT
public:
    explicit TErrorTabBar(QWidget* parent = nullptr);

protected:
    QSize tabSizeHint(int index) const override;
    void changeEvent(QEvent* event) override;
    void tabRemoved(int index) override;

private:
    mutable QHash<QString, QSize> m_sizes; // by caption
};
