#include "BatchProgram.h"

#include "TidyProgram.h"
#include "common/Corpus.h"
#include "common/PeakMemory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

QList<qint64> Children(qint64 pid) {
    QList<qint64> children;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile file(tasks.filePath(task) + QStringLiteral("/children"));
        if (file.open(QIODevice::ReadOnly))
            for (const QByteArray& child : file.readAll().simplified().split(' '))
                if (!child.isEmpty())
                    children << child.toLongLong();
    }
    return children;
}

} // namespace

ProgramFigures RunBatchProgram(const QString& folder) {
    const QString program =
        QCoreApplication::applicationDirPath() + QStringLiteral("/kelvane-batch");
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    ProgramFigures figures;
    QElapsedTimer timer;
    timer.start();
    // Without the result cache: every round tidies every page.
    process.start(program, {QStringLiteral("tidy"), QStringLiteral("--no-cache"),
                            QStringLiteral("-r"), QStringLiteral("-q"), QStringLiteral("--force"),
                            QStringLiteral("-m"), QStringLiteral("*.html"), folder});
    if (!process.waitForStarted())
        return figures;
    const qint64 pid = process.processId();
    // The high-water marks only grow: sampling them often misses at most the last moments.
    while (!process.waitForFinished(20)) {
        figures.selfKb = std::max(figures.selfKb, PeakKb(pid));
        for (const qint64 helper : Children(pid))
            figures.helpersKb = std::max(figures.helpersKb, PeakKb(helper));
    }
    // 1: Error-level messages in the corpus, which is expected; anything else failed.
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() <= 1)
        figures.wall = double(timer.nsecsElapsed()) / 1e9;
    return figures;
}

int BatchProgramBenchmark(const QList<QByteArray>& corpus, const QString& tidy) {
    QTemporaryDir base;
    if (!base.isValid())
        return 1;
    std::printf("kelvane-batch tidy -r, whole process, against tidy -m over copies; load average "
                "before: %s\n",
                LoadAverage().constData());
    std::vector<double> batch, one, two;
    qint64 selfKb = 0, helpersKb = 0;
    for (int round = 0; round < 3; ++round) {
        const QString folder = base.path() + QStringLiteral("/round%1").arg(round);
        if (WriteCorpus(folder + QStringLiteral("/batch"), corpus).isEmpty())
            return 1;
        ::sync();
        const ProgramFigures figures = RunBatchProgram(folder + QStringLiteral("/batch"));
        one.push_back(TidyProgram(tidy, folder + QStringLiteral("/one"), corpus));
        two.push_back(TwoTidyPrograms(tidy, folder + QStringLiteral("/two"), corpus));
        if (figures.wall < 0 || one.back() < 0 || two.back() < 0) {
            std::fprintf(stderr, "a road failed\n");
            return 1;
        }
        batch.push_back(figures.wall);
        selfKb = std::max(selfKb, figures.selfKb);
        helpersKb = std::max(helpersKb, figures.helpersKb);
        std::printf("  round %d: kelvane-batch %.2f s, tidy -m %.2f s, two tidy -m %.2f s\n",
                    round + 1, batch.back(), one.back(), two.back());
        QDir(folder).removeRecursively();
    }
    for (const auto& [title, pick] :
         {std::pair{"median round:", &Median}, std::pair{"best round:", &Best}}) {
        const double k = pick(batch), a = pick(one), b = pick(two);
        std::printf("%s\n", title);
        std::printf("  kelvane-batch, whole:      %7.2f s\n", k);
        std::printf("  tidy -m / kelvane-batch:   %7.3f (target >= 1.70)\n", a / k);
        std::printf("  two tidy -m / kelvane-b.:  %7.3f (target >= 1.00)\n", b / k);
    }
    std::printf("peak memory: kelvane-batch %.1f MB (target < 200), largest helper %.1f MB\n",
                double(selfKb) / 1024, double(helpersKb) / 1024);

    // Memory must not grow with the length of the list: the corpus, and the same large pages
    // among ten times as many small ones.
    const auto scaled = [&](qsizetype pages) {
        QList<QByteArray> list = corpus;
        const QList<QByteArray> site = ExampleSitePages();
        for (qsizetype i = 0; list.size() < pages; ++i)
            list.append(site[i % site.size()]); // the walk meets them in the folder's order
        const QString folder = base.path() + QStringLiteral("/scale%1").arg(pages);
        WriteCorpus(folder, list);
        ::sync();
        const ProgramFigures figures = RunBatchProgram(folder);
        QDir(folder).removeRecursively();
        return figures;
    };
    const ProgramFigures small = scaled(2000), large = scaled(20000);
    if (small.wall < 0 || large.wall < 0)
        return 1;
    std::printf("memory over 2,000 and 20,000 pages: kelvane-batch %.1f / %.1f MB (%+.1f%%, "
                "target within 10%%), largest helper %.1f / %.1f MB; %.2f / %.2f s\n",
                double(small.selfKb) / 1024, double(large.selfKb) / 1024,
                100.0 * double(large.selfKb - small.selfKb) / double(small.selfKb),
                double(small.helpersKb) / 1024, double(large.helpersKb) / 1024, small.wall,
                large.wall);
    std::printf("load average after: %s\n", LoadAverage().constData());
    return 0;
}
