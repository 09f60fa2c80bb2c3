// Review Changes from the main window on many pages of a real manual (scripts/fetch-manual),
// as a user runs it: the pages are listed in one folder, all selected, and the review window
// fills while the check run goes on. Measured against kelvane-batch tidy --check on the same
// files: files a second, the longest stall of the event loop, the program's memory as the list
// fills (it keeps digests and counts, not texts), then how soon a file chosen in the list is
// shown and how long Save as Patch of every file takes.

#include "Benchmarks.h"
#include "EventLoopMeters.h"
#include "ManualSite.h"
#include "ManualWindow.h"
#include "common/PeakMemory.h"
#include "engine/TidyProcessPool.h"
#include "engine/TidyRunner.h"
#include "fileops/gui/TFormFileList.h"
#include "fileops/gui/TFormFileProgress.h"
#include "fileops/gui/TFormReviewChanges.h"
#include "mainwindow/gui/FileListModel.h"
#include "mainwindow/gui/TFormKelvane.h"
#include "support/SettingsFile.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTreeView>
#include <cstdio>
#include <vector>

int ReviewBenchmark(TimedApplication& app, int files) {
    QTemporaryDir dir;
    const QString site = ManualSite(dir, files);
    if (site.isEmpty())
        return 1;
    const double batch =
        BatchSeconds(dir, {QStringLiteral("tidy"), QStringLiteral("--check"),
                           QStringLiteral("--force"), QStringLiteral("-r"), QStringLiteral("-q"),
                           QStringLiteral("-m"), QStringLiteral("*.html"), site});
    if (batch < 0)
        return 1;

    const QString patchFile = dir.filePath(QStringLiteral("review.patch"));
    GoAheadPrompts prompts;
    prompts.saveAs = patchFile;
    ManualWindow setup(prompts, site, files);
    TFormKelvane& window = setup.window;
    {
        std::printf("Review Changes from the window on %d pages of a manual (load average %s)\n",
                    files, qPrintable(LoadAverageText()));
        std::printf("  kelvane-batch tidy --check: %7.2f s, %6.0f files/s\n", batch, files / batch);

        // Memory as the list fills: sampled at every tenth of the run.
        struct Sample {
            qint64 reached;
            qint64 listed;
            qint64 kb;
        };
        std::vector<Sample> samples;
        const qint64 before = ResidentKb(QCoreApplication::applicationPid());
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            const TFormReviewChanges* form = window.ReviewWindow();
            if (form == nullptr)
                return;
            const ReviewList& list = form->Session().List();
            const qint64 reached = list.Count() + list.Unchanged() + list.NotTidied();
            if (samples.empty() || reached >= samples.back().reached + files / 10)
                samples.push_back(
                    {reached, list.Count(), ResidentKb(QCoreApplication::applicationPid())});
        });
        sampler.start(50);
        StallMeter meter;
        app.ResetLongest();
        meter.start();
        QElapsedTimer timer;
        timer.start();
        window.actReviewChanges->trigger(); // modal: returns when the run has ended
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        RunUntil([] { return false; }, 300);
        meter.stop();
        sampler.stop();
        TFormReviewChanges* form = window.ReviewWindow();
        if (form == nullptr || !form->isVisible()) {
            std::fprintf(stderr, "the review window did not open\n");
            return 1;
        }
        const ReviewList& list = form->Session().List();
        std::printf("  window: %7.2f s, %6.0f files/s, %.2fx kelvane-batch (target <= 1.5); %lld "
                    "files would change, %lld would not, %lld could not be tidied\n",
                    seconds, files / seconds, seconds / batch, static_cast<long long>(list.Count()),
                    static_cast<long long>(list.Unchanged()),
                    static_cast<long long>(list.NotTidied()));
        std::printf("  longest stall %lld ms at %.1f s (target <= 100), longest event %s\n",
                    static_cast<long long>(meter.longest()), meter.longestAt() / 1000.0,
                    qPrintable(app.Longest()));
        std::printf("  resident memory: %lld KB before the review", static_cast<long long>(before));
        for (const Sample& sample : samples)
            std::printf(", %lld KB at %lld files (%lld listed)", static_cast<long long>(sample.kb),
                        static_cast<long long>(sample.reached),
                        static_cast<long long>(sample.listed));
        std::printf(", %lld KB at the end\n",
                    static_cast<long long>(ResidentKb(QCoreApplication::applicationPid())));

        // A file chosen in the middle of the list: read, tidied and compared again.
        QTreeView* rows = form->FileList();
        const int middle = rows->model()->rowCount() / 2;
        const QString path = list.Path(middle);
        meter.start();
        app.ResetLongest();
        QElapsedTimer showing;
        showing.start();
        rows->setCurrentIndex(rows->model()->index(middle, 0));
        RunUntil([&] { return form->Shown().path == path; }, 60000);
        const qint64 shownMs = showing.elapsed();
        meter.stop();
        std::printf("  a file chosen in the list shown after %lld ms (%lld changes, %lld bytes), "
                    "longest stall %lld ms\n",
                    static_cast<long long>(shownMs),
                    static_cast<long long>(form->Shown().changes.blocks.size()),
                    static_cast<long long>(form->Shown().original.size()),
                    static_cast<long long>(meter.longest()));

        // Save as Patch of every file that would change.
        meter.start();
        QElapsedTimer saving;
        saving.start();
        form->btSavePatchClick();
        const double saveSeconds = double(saving.nsecsElapsed()) / 1e9;
        meter.stop();
        std::printf("  Save as Patch of %lld files: %7.2f s, %lld MB, longest stall %lld ms\n",
                    static_cast<long long>(list.CheckedCount()), saveSeconds,
                    static_cast<long long>(QFileInfo(patchFile).size() >> 20),
                    static_cast<long long>(meter.longest()));
        form->close();
    }
    return 0;
}
