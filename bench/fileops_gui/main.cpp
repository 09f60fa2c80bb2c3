// What the progress window, the scanning window and the error pane cost on top of the logic
// they show: a run over 100,000 tiny entries, a scan of a tree of 100,000 files, and a
// validation run that leaves thousands of pages. Run with QT_QPA_PLATFORM=offscreen (or xcb).
#include "common/QuietView.h"
#include "engine/TidyEngine.h"
#include "fileops/FileProgressRun.h"
#include "fileops/FolderScan.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/gui/TErrorPane.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

double RunItems(FileProgressRun& run, const QStringList& paths) {
    run.OnNameQuery = [](FileProgressRun&, const QString& item) {
        return QStringLiteral("Processing ") + item.mid(item.lastIndexOf(QLatin1Char('/')) + 1);
    };
    qsizetype index = 0;
    run.OnNextItem = [&index](FileProgressRun& sender, const QString& item) {
        if (++index % 1000 == 0)
            sender.AddNotice(item + QStringLiteral(": No backup exists."));
        return true;
    };
    ListWorkItems items(paths);
    QElapsedTimer timer;
    timer.start();
    run.RunItems(items);
    const double ms = timer.nsecsElapsed() / 1e6;
    run.ResetRun();
    return ms;
}

void MakeTree(const QString& root, int folders, int filesPerFolder) {
    for (int f = 0; f < folders; ++f) {
        const QString folder = QStringLiteral("%1/d%2/s%3").arg(root).arg(f / 10).arg(f);
        QDir().mkpath(folder);
        const QByteArray base = QFile::encodeName(folder);
        for (int i = 0; i < filesPerFolder; ++i) {
            const QByteArray name =
                base + "/page" + QByteArray::number(i) + (i % 4 == 3 ? ".txt" : ".htm");
            const int fd = ::open(name.constData(), O_CREAT | O_WRONLY, 0644);
            if (fd >= 0)
                ::close(fd);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    // Progress: 100,000 entries whose step does next to nothing.
    QStringList paths;
    for (int i = 0; i < 100000; ++i)
        paths << QStringLiteral("/srv/www/site/folder%1/page%2.htm").arg(i / 100).arg(i);
    QuietView none;
    FileProgressRun plain(none);
    const double plainMs = RunItems(plain, paths);
    TFormFileProgress progress;
    const double windowMs = RunItems(progress.Run(), paths);
    progress.SetShowMessages(true);
    const double listMs = RunItems(progress.Run(), paths);
    std::printf("progress, 100000 tiny entries: logic %.0f ms, window %.0f ms (%.1fx), "
                "window with its messages list shown %.0f ms (%.1fx)\n",
                plainMs, windowMs, windowMs / plainMs, listMs, listMs / plainMs);

    // Scan: 100,000 files in 1,000 folders, three quarters of them matching.
    QTemporaryDir tree;
    MakeTree(tree.path(), 1000, 100);
    const QString filter = QStringLiteral("*.htm;*.html;*.asp;*.php");
    PlainFolderScanner plainScanner;
    QStringList found;
    plainScanner.ScanFolder(tree.path(), filter, found); // warms the directory cache
    found.clear();
    QElapsedTimer timer;
    timer.start();
    plainScanner.ScanFolder(tree.path(), filter, found);
    const double plainScanMs = timer.nsecsElapsed() / 1e6;
    const qsizetype plainFound = found.size();
    found.clear();
    TFormFileList scanner;
    timer.start();
    scanner.ScanFolder(tree.path(), filter, found);
    const double windowScanMs = timer.nsecsElapsed() / 1e6;
    std::printf("scan, 100000 files in 1000 folders: plain %.0f ms (%lld found), window %.0f ms "
                "(%lld found, %.2fx)\n",
                plainScanMs, static_cast<long long>(plainFound), windowScanMs,
                static_cast<long long>(found.size()), windowScanMs / plainScanMs);

    // Error pane: a validation run that leaves a page of 20 lines for every file.
    for (const int pages : {1000, 5000}) {
        TErrorPane pane;
        pane.resize(640, 127);
        QStringList lines;
        for (int i = 0; i < 20; ++i)
            lines
                << QStringLiteral("Line %1, Column 1 - Warning: <p> proprietary attribute").arg(i);
        timer.start();
        for (int i = 0; i < pages; ++i) {
            const QString path = QStringLiteral("/srv/www/site/page%1.htm").arg(i);
            int index = pane.FindErrorPage(path);
            if (index < 0)
                index = pane.AddErrorPage(path);
            TTidyErrors* page = pane.Page(index);
            page->Heading = QStringLiteral("Validation results for file \"%1\"").arg(path);
            page->Messages = lines;
            pane.SelectPage(index);
            pane.ShowErrorPane(true);
            if (i % 50 == 0)
                QCoreApplication::processEvents();
        }
        const double fillMs = timer.nsecsElapsed() / 1e6;
        timer.start();
        pane.actCloseAllErrors->trigger();
        const double closeMs = timer.nsecsElapsed() / 1e6;
        std::printf("error pane, %d validated files: %.0f ms (%.2f ms a page), Close All %.0f ms\n",
                    pages, fillMs, fillMs / pages, closeMs);
    }
    return 0;
}
