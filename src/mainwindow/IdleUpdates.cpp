#include "mainwindow/IdleUpdates.h"

#include <QAbstractEventDispatcher>
#include <QThread>
#include <QTimer>
#include <algorithm>

IdleUpdates::IdleUpdates(std::function<void()> update, int intervalMs, QObject* parent)
    : QObject(parent), m_update(std::move(update)), m_interval(intervalMs),
      m_wake(new QTimer(this)) {
    // Without events the loop would sleep through a change on disk: a timer wakes it once per
    // interval while the program is idle, which costs nothing while it is not.
    m_wake->setInterval(intervalMs);
    connect(m_wake, &QTimer::timeout, this, [] {});
    m_wake->start();
    if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                &IdleUpdates::AboutToBlock);
}

void IdleUpdates::RunNow() {
    if (m_running)
        return; // an update that lets events run must not start itself again
    m_running = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{m_running};
    m_dirty = false;
    QElapsedTimer took;
    took.start();
    m_update();
    m_lastCost = took.elapsed();
    m_sinceLast.start();
}

void IdleUpdates::AboutToBlock() {
    // A pass over a selection of many thousands of files costs tens of milliseconds: such
    // passes are spaced further, so that an idle window stays idle.
    const qint64 spacing = std::max<qint64>(m_interval, m_lastCost * kCostFactor);
    if (m_dirty || !m_sinceLast.isValid() || m_sinceLast.elapsed() >= spacing)
        RunNow();
}
