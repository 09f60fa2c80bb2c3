// Validate from the main window on many pages of a real manual (scripts/fetch-manual), as a user
// runs it: the pages are listed in one folder, all selected, and Validate leaves an error page
// for every page with messages. Measured against kelvane-batch validate on the same files:
// files a second, the longest stall of the event loop, and how soon Cancel ends a run. A second
// run validates the same files again while their pages are open.

#include "Benchmarks.h"
#include "EventLoopMeters.h"
#include "ManualSite.h"
#include "ManualWindow.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyRunner.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TErrorPane.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "support/Prompts.h"
#include "support/SettingsFile.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>
#include <unistd.h>

namespace {

struct WindowRun {
    double seconds = 0;
    qint64 stall = 0;
    qint64 stallAt = 0;
    QString longestEvent;
    int pages = 0;
};

WindowRun ValidateInWindow(TimedApplication& app, TFormKelvane& window) {
    StallMeter meter;
    window.UpdateActions();
    app.ResetLongest();
    meter.start();
    QElapsedTimer timer;
    timer.start();
    window.actValidate->trigger(); // modal: returns when the run has ended
    WindowRun run;
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    RunUntil([] { return false; }, 300); // the pane's last updates
    meter.stop();
    run.stall = meter.longest();
    run.stallAt = meter.longestAt();
    run.longestEvent = app.Longest();
    run.pages = window.errorPane()->PageCount();
    return run;
}

} // namespace

int ValidateBenchmark(TimedApplication& app, int files) {
    QTemporaryDir dir;
    const QString site = ManualSite(dir, files);
    if (site.isEmpty())
        return 1;
    const double batch =
        BatchSeconds(dir, {QStringLiteral("validate"), QStringLiteral("-r"), QStringLiteral("-q"),
                           QStringLiteral("-m"), QStringLiteral("*.html"), site});
    if (batch < 0)
        return 1;

    GoAheadPrompts prompts;
    ManualWindow setup(prompts, site, files);
    TFormKelvane& window = setup.window;
    TFormFileProgress& progress = setup.progress;
    {
        std::printf("Validate from the window on %d pages of a manual (load average %s)\n", files,
                    qPrintable(LoadAverageText()));
        std::printf("  kelvane-batch validate: %7.2f s, %6.0f files/s\n", batch, files / batch);
        const WindowRun first = ValidateInWindow(app, window);
        std::printf("  window, no pages open:  %7.2f s, %6.0f files/s, %.2fx kelvane-batch "
                    "(target <= 1.5), %d pages; longest stall %lld ms at %.1f s (target <= 100), "
                    "longest event %s\n",
                    first.seconds, files / first.seconds, first.seconds / batch, first.pages,
                    static_cast<long long>(first.stall), first.stallAt / 1000.0,
                    qPrintable(first.longestEvent));
        const WindowRun again = ValidateInWindow(app, window);
        std::printf("  window, pages open:     %7.2f s, %6.0f files/s, %.2fx kelvane-batch, "
                    "%d pages; longest stall %lld ms at %.1f s, longest event %s\n",
                    again.seconds, files / again.seconds, again.seconds / batch, again.pages,
                    static_cast<long long>(again.stall), again.stallAt / 1000.0,
                    qPrintable(again.longestEvent));

        // Cancel a run a second in: how long until the window has closed.
        QElapsedTimer sinceCancel;
        QTimer::singleShot(1000, &progress, [&] {
            sinceCancel.start();
            progress.actCancelExecute();
        });
        window.actValidate->trigger();
        const qint64 cancelMs = sinceCancel.isValid() ? sinceCancel.elapsed() : -1;
        std::printf("  Cancel a second into a run: closed after %lld ms\n",
                    static_cast<long long>(cancelMs));

        QElapsedTimer closing;
        closing.start();
        window.errorPane()->actCloseAllErrors->trigger();
        std::printf("  Close All on %d pages: %lld ms\n", again.pages,
                    static_cast<long long>(closing.elapsed()));
    }
    return 0;
}
