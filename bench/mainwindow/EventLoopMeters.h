#pragma once
// What the main window's benchmarks measure the event loop with: the longest gap between the
// ticks of a short timer (time the loop could not run), the longest single event and whom it was
// for, and a wait that lets the loop run until a condition holds.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QString>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

inline constexpr int kTickMs = 5;

// A gap much longer than the interval is time the event loop could not run; nested loops (a
// modal window's) count as the loop running.
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            if (now - m_last - kTickMs > m_longest) {
                m_longest = now - m_last - kTickMs;
                m_at = m_last;
            }
            m_last = now;
        });
    }
    void start() {
        m_longest = 0;
        m_at = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start(kTickMs);
    }
    void stop() { m_timer.stop(); }
    qint64 longest() const { return m_longest; }
    // When the longest stall began, in milliseconds from start().
    qint64 longestAt() const { return m_at; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_at = 0;
};

// Remembers the longest event that ran no other event inside it, and whom it was for: what to
// look at when stalls are long. (An event that turns a loop of its own, as a modal run does,
// would otherwise hide every event it dispatched.)
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (!m_nested.empty())
            m_nested.back() = true;
        m_nested.push_back(false);
        QElapsedTimer clock;
        clock.start();
        const bool result = QApplication::notify(receiver, event);
        const qint64 took = clock.elapsed();
        const bool ranOthers = m_nested.back();
        m_nested.pop_back();
        if (!ranOthers && took > longest) {
            longest = took;
            culprit = QStringLiteral("%1 (%2), event %3")
                          .arg(QString::fromLatin1(receiver->metaObject()->className()),
                               receiver->objectName())
                          .arg(int(event->type()));
        }
        return result;
    }
    QString Longest() const { return QStringLiteral("%1 ms in %2").arg(longest).arg(culprit); }
    void ResetLongest() {
        longest = 0;
        culprit.clear();
    }

    qint64 longest = 0;
    QString culprit;

private:
    std::vector<bool> m_nested; // per dispatch level: whether it dispatched others
};

// Lets the event loop run until `done` holds or `limitMs` have passed.
inline void RunUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (done() || clock.elapsed() > limitMs)
            loop.quit();
    });
    poll.start(1);
    loop.exec();
}
