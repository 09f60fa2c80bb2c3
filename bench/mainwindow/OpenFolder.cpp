// Opens a folder of 20,000 pages in the main window and reports how long the first rows took,
// how long until every row was listed, and the longest stall of the event loop meanwhile; then
// selects every item and reports the longest stall of the idle passes that follow.

#include "Benchmarks.h"
#include "EventLoopMeters.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "support/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>

int OpenFolderBenchmark(TimedApplication& app, int pages) {
    QTemporaryDir dir;
    SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
    const QString site = dir.filePath(QStringLiteral("site"));
    QDir().mkpath(site);
    for (int i = 0; i < pages; ++i) {
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
    app.ResetLongest();
    QElapsedTimer clock;
    clock.start();
    window.GoToFolder(site);
    qint64 firstRows = -1;
    RunUntil(
        [&] {
            const int rows = model->rowCount();
            if (rows > 0 && firstRows < 0)
                firstRows = clock.elapsed();
            return rows == pages;
        },
        120000);
    const qint64 allRows = clock.elapsed();
    RunUntil([] { return false; }, 300);
    const qint64 openStall = meter.longest();
    const QString openCulprit = app.Longest();
    app.ResetLongest();

    meter.start();
    clock.restart();
    list->selectAll();
    const qint64 selectCall = clock.elapsed();
    RunUntil([] { return false; }, 1000); // idle passes over the whole selection
    const qint64 selectStall = meter.longest();
    clock.restart();
    window.UpdateActions();
    const qint64 idlePass = clock.elapsed();
    const QString selectCulprit = app.Longest();
    const qint64 selected = window.SelectedPaths().size();

    std::printf("folder of %d pages (machine shared with other builds)\n", pages);
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
    SetSettingsFilePath({});
    return 0;
}
