#include "mainwindow/SelectionCheck.h"

#include <QMetaObject>
#include <algorithm>

namespace {

// Looks again at an unchanged selection (files come and go behind the program's back) at most
// this often, and never more often than ten times what a look costs.
constexpr qint64 kRecheckMs = 250;
constexpr qint64 kCostFactor = 10;

} // namespace

SelectionCheck::SelectionCheck(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(1);
}

SelectionCheck::~SelectionCheck() {
    m_pool.waitForDone();
}

SelectionFacts SelectionCheck::For(const QStringList& paths, bool mayLook) {
    if (paths.size() <= kInlinePaths)
        return SelectionFactsOf(paths);
    const bool same = m_known && m_lookedAt == paths;
    const bool due = !same || !m_sinceLook.isValid() ||
                     m_sinceLook.elapsed() >= std::max(kRecheckMs, m_cost * kCostFactor);
    if (mayLook && due && !m_looking)
        Look(paths);
    return same ? m_facts : SelectionFacts();
}

void SelectionCheck::Look(const QStringList& paths) {
    m_looking = true;
    m_pool.start([this, paths] {
        QElapsedTimer took;
        took.start();
        const SelectionFacts facts = SelectionFactsOf(paths);
        const qint64 cost = took.elapsed();
        // Delivered on the interface thread; dropped with this object if it is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, paths, facts, cost] {
                m_looking = false;
                m_lookedAt = paths;
                m_facts = facts;
                m_known = true;
                m_cost = cost;
                m_sinceLook.start();
                Q_EMIT Checked();
            },
            Qt::QueuedConnection);
    });
}
