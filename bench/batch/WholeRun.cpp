#include "WholeRun.h"

#include "TidyProgram.h"
#include "common/PeakMemory.h"
#include "common/GoAheadPrompts.h"
#include "common/QuietView.h"
#include "engine/TidyProcessPool.h"
#include "fileops/BatchCommands.h"
#include "fileops/FolderScan.h"
#include "support/Prompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {


// Collects every report, as the headless program's report would.
class ReportCounter final : public BatchObserver {
public:
    void FileDone(const FileRecord& record) override { reports += record.reports.size(); }
    qint64 reports = 0;
};

struct ChildFigures {
    double wall = -1; // seconds, process start to end
    double run = 0;   // seconds inside the run
    qint64 tidied = 0;
    qint64 reports = 0;
    qint64 selfKb = 0;
    qint64 helpersKb = 0;
};

ChildFigures RunChild(const QString& folder) {
    QProcess child;
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(),
                {QString::fromLatin1(kWholeRunChild), folder});
    ChildFigures figures;
    if (!child.waitForFinished(-1) || child.exitStatus() != QProcess::NormalExit ||
        child.exitCode() != 0)
        return figures;
    figures.wall = double(timer.nsecsElapsed()) / 1e9;
    const QList<QByteArray> values = child.readAllStandardOutput().simplified().split(' ');
    if (values.size() == 5) {
        figures.run = values[0].toDouble();
        figures.tidied = values[1].toLongLong();
        figures.reports = values[2].toLongLong();
        figures.selfKb = values[3].toLongLong();
        figures.helpersKb = values[4].toLongLong();
    }
    return figures;
}

} // namespace

int WholeRunChild(const QString& folder) {
    GoAheadPrompts prompts;
    SetPrompts(&prompts);
    qint64 tidied = 0;
    qint64 reports = 0;
    double seconds = 0;
    {
        TidyProcessPool pool; // one helper per core beside this program
        ScopedTidyRunner runner(pool);
        QElapsedTimer timer;
        timer.start();
        QStringList paths;
        PlainFolderScanner().ScanFolder(folder, QStringLiteral("*.html"), paths);
        QuietView view;
        FileProgressRun progress(view);
        ReportCounter counter;
        BatchEnvironment environment;
        environment.progress = &progress;
        environment.observer = &counter;
        BatchCommands commands(environment);
        ListWorkItems items(paths);
        commands.RunTidyBatch(items);
        seconds = double(timer.nsecsElapsed()) / 1e9;
        tidied = commands.SuccessCount();
        reports = counter.reports;
    } // the helpers end and are waited for here: their figures count as children's
    SetPrompts(nullptr);
    rusage children{};
    ::getrusage(RUSAGE_CHILDREN, &children);
    // ru_maxrss of this process would include the benchmark's memory at the fork.
    std::printf("%.3f %lld %lld %lld %ld\n", seconds, qlonglong(tidied), qlonglong(reports),
                qlonglong(PeakKb(::getpid())), children.ru_maxrss);
    return 0;
}

int WholeRunBenchmark(const QList<QByteArray>& corpus, const QString& tidy, int cores) {
    QTemporaryDir base;
    if (!base.isValid())
        return 1;
    std::printf("whole tidy run over files (%d helpers, backups flushed to disk), against tidy "
                "-m over copies; load average before: %s\n",
                cores, LoadAverage().constData());
    const int rounds = 3;
    std::vector<double> kelvane, inRun, one, two, selfMb, helpersMb;
    for (int round = 0; round < rounds; ++round) {
        const QString folder = base.path() + QStringLiteral("/round%1").arg(round);
        if (WriteCorpus(folder + QStringLiteral("/kelvane"), corpus).isEmpty())
            return 1;
        ::sync(); // the copies' own write-back must not land in the run's flushes
        const ChildFigures figures = RunChild(folder + QStringLiteral("/kelvane"));
        if (figures.wall < 0 || figures.tidied != corpus.size()) {
            std::fprintf(stderr, "the run failed or left files untidied (%lld of %lld)\n",
                         qlonglong(figures.tidied), qlonglong(corpus.size()));
            return 1;
        }
        one.push_back(TidyProgram(tidy, folder + QStringLiteral("/one"), corpus));
        two.push_back(TwoTidyPrograms(tidy, folder + QStringLiteral("/two"), corpus));
        if (one.back() < 0 || two.back() < 0) {
            std::fprintf(stderr, "tidy -m failed\n");
            return 1;
        }
        kelvane.push_back(figures.wall);
        inRun.push_back(figures.run);
        selfMb.push_back(double(figures.selfKb) / 1024);
        helpersMb.push_back(double(figures.helpersKb) / 1024);
        std::printf("  round %d: Kelvane %.2f s (run %.2f s, %lld reports), tidy -m %.2f s, two "
                    "tidy -m %.2f s\n",
                    round + 1, figures.wall, figures.run, qlonglong(figures.reports), one.back(),
                    two.back());
        QDir(folder).removeRecursively();
    }
    const auto report = [&](const char* title, double (*pick)(std::vector<double>)) {
        const double k = pick(kelvane), a = pick(one), b = pick(two);
        std::printf("%s\n", title);
        std::printf("  Kelvane, whole process:    %7.2f s (run loop %.2f s)\n", k, pick(inRun));
        std::printf("  tidy -m, one process:      %7.2f s\n", a);
        std::printf("  tidy -m, two side by side: %7.2f s\n", b);
        std::printf("  tidy -m / Kelvane:         %7.3f (target >= 1.70)\n", a / k);
        std::printf("  two tidy -m / Kelvane:     %7.3f (target >= 1.00)\n", b / k);
    };
    report("median round:", Median);
    report("best round:", Best);
    std::printf("peak memory: program %.1f MB (target < 200), largest helper %.1f MB; load "
                "average after: %s\n",
                *std::max_element(selfMb.begin(), selfMb.end()),
                *std::max_element(helpersMb.begin(), helpersMb.end()), LoadAverage().constData());
    return 0;
}
