// Opens a folder of 20,000 pages in the main window (offscreen) and reports how long the first
// rows took, how long until every row was listed, and the longest stall of the event loop
// meanwhile; then selects every item and reports the longest stall of the idle passes that
// follow. The interface must never stall for more than 100 ms.

#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "support/SettingsFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <cstdio>

namespace {

constexpr int kPages = 20000;
constexpr int kTickMs = 5;

// Measures the gaps between ticks of a short timer: a gap much longer than the interval is
// time the event loop could not run.
class StallMeter {
public:
    StallMeter() {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.elapsed();
            m_longest = std::max(m_longest, now - m_last - kTickMs);
            m_last = now;
        });
    }
    void start() {
        m_longest = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start(kTickMs);
    }
    qint64 longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Remembers the longest single event and whom it was for: what to look at when stalls are long.
class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (++m_depth > 1) {
            const bool result = QApplication::notify(receiver, event);
            --m_depth;
            return result;
        }
        QElapsedTimer clock;
        clock.start();
        const bool result = QApplication::notify(receiver, event);
        const qint64 took = clock.elapsed();
        if (took > longest) {
            longest = took;
            culprit = QStringLiteral("%1 (%2), event %3")
                          .arg(QString::fromLatin1(receiver->metaObject()->className()),
                               receiver->objectName())
                          .arg(int(event->type()));
        }
        --m_depth;
        return result;
    }
    qint64 longest = 0;
    QString culprit;

private:
    int m_depth = 0;
};

void RunUntil(const std::function<bool()>& done, int limitMs) {
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

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
    const QString site = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    for (int i = 0; i < kPages; ++i) {
        QFile page(QStringLiteral("%1/page%2.html").arg(site).arg(i, 5, 10, QLatin1Char('0')));
        if (!page.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(page.fileName()));
            return 1;
        }
        page.write("<p>page</p>\n");
    }

    TFormKelvane window;
    window.show();
    RunUntil([] { return false; }, 200); // the window settles on its default folder
    FileListModel* model = window.fileListModel();
    QTreeView* list = window.fileList();

    StallMeter meter;
    meter.start();
    app.longest = 0;
    QElapsedTimer clock;
    clock.start();
    window.GoToFolder(site);
    qint64 firstRows = -1;
    RunUntil(
        [&] {
            const int rows = model->rowCount();
            if (rows > 0 && firstRows < 0)
                firstRows = clock.elapsed();
            return rows == kPages;
        },
        120000);
    const qint64 allRows = clock.elapsed();
    RunUntil([] { return false; }, 300);
    const qint64 openStall = meter.longest();
    const QString openCulprit = QStringLiteral("%1 ms in %2").arg(app.longest).arg(app.culprit);
    app.longest = 0;

    meter.start();
    clock.restart();
    list->selectAll();
    const qint64 selectCall = clock.elapsed();
    RunUntil([] { return false; }, 1000); // idle passes over the whole selection
    const qint64 selectStall = meter.longest();
    clock.restart();
    window.UpdateActions();
    const qint64 idlePass = clock.elapsed();
    const QString selectCulprit = QStringLiteral("%1 ms in %2").arg(app.longest).arg(app.culprit);
    const qint64 selected = window.SelectedPaths().size();

    std::printf("folder of %d pages (machine shared with other builds)\n", kPages);
    std::printf("  first rows after      %6lld ms\n", static_cast<long long>(firstRows));
    std::printf("  all %d rows after  %6lld ms\n", model->rowCount(),
                static_cast<long long>(allRows));
    std::printf("  longest stall opening %6lld ms (target <= 100 ms)\n",
                static_cast<long long>(openStall));
    std::printf("  longest stall after selecting all %lld items: %lld ms\n",
                static_cast<long long>(selected), static_cast<long long>(selectStall));
    std::printf("  selecting all took %lld ms; one pass of the enabling rules %lld ms\n",
                static_cast<long long>(selectCall), static_cast<long long>(idlePass));
    std::printf("  longest event opening: %s\n  longest event selecting: %s\n",
                qPrintable(openCulprit), qPrintable(selectCulprit));
    return 0;
}
