#pragma once
// Runs an update whenever the application becomes idle (the event loop is about to wait), as
// the actions' enabling rules need. A pass that follows a change the window reported
// (Invalidate) runs at once; otherwise passes are spaced by `interval`, because the rules also
// look at the disk, which may change behind the program's back, and the event loop can become
// idle hundreds of times a second. Unprompted passes are spaced by ten times the cost of the
// last one when that is longer.

#include <QElapsedTimer>
#include <QObject>
#include <functional>

class QTimer;

class IdleUpdates : public QObject {
    Q_OBJECT
public:
    IdleUpdates(std::function<void()> update, int intervalMs, QObject* parent = nullptr);

    // Something the rules read has changed: the next idle moment runs the update.
    void Invalidate() { m_dirty = true; }
    // Runs the update now.
    void RunNow();

private:
    void AboutToBlock();

    // Unprompted passes come at least this many times their own cost apart.
    static constexpr qint64 kCostFactor = 10;

    std::function<void()> m_update;
    int m_interval;
    qint64 m_lastCost = 0;
    bool m_dirty = true;
    bool m_running = false;
    QElapsedTimer m_sinceLast;
    QTimer* m_wake;
};
