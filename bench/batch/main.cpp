// Batch throughput of the ways to run HTML Tidy over one corpus, timed in the same run: the bare
// library in this process, the helper-process pool with one helper and with one helper per
// core, and the `tidy` command-line program in its multi-file mode (-m) as one process.
// Wall-clock seconds; each road runs five rounds, and the median and the best round are shown.
// Then the whole batch tidy run over files (WholeRun.h), the kelvane-batch program as a whole
// process (BatchProgram.h), and its validate run against tidy -e on real manuals
// (ValidateProgram.h). `--whole-run` measures the whole run and the program, `--batch-program`
// the program, `--validate [FOLDER...]` only the validate run (on the manuals by default).
//
// Corpus: the example site replicated to at least 2,000 pages, plus a few generated pages of
// a few MB spread through the list.

#include "BatchProgram.h"
#include "TidyProgram.h"
#include "ValidateProgram.h"
#include "WholeRun.h"
#include "common/Corpus.h"
#include "engine/TidyBatch.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyProcessPool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

QList<QByteArray> Corpus() {
    const QList<QByteArray> site = ExampleSitePages();
    QList<QByteArray> corpus;
    if (site.isEmpty())
        return corpus;
    while (corpus.size() < 2000)
        corpus << site;
    // A few large pages among the small ones, as in a real site's folder.
    const qsizetype step = corpus.size() / 4;
    corpus.insert(step, GeneratedPage(2 << 20));
    corpus.insert(2 * step, GeneratedPage(3 << 20));
    corpus.insert(3 * step, GeneratedPage(4 << 20));
    return corpus;
}

size_t Consume(const TidyResult& result) {
    return size_t(result.output.size() + result.reports.size());
}

double InProcess(const ResolvedTidyOptions& options, const QList<QByteArray>& corpus,
                 size_t& sink) {
    QElapsedTimer timer;
    timer.start();
    for (const QByteArray& page : corpus)
        sink += Consume(RunTidyLibrary({options, page}));
    return double(timer.nsecsElapsed()) / 1e9;
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// A batch run as the program does it: keep the helpers fed, take the results in list order.
// `programCpu` gets the processor time this process spent on it (the helpers' is not counted).
double Pooled(TidyProcessPool& pool, const ResolvedTidyOptions& options,
              const QList<QByteArray>& corpus, size_t& sink, double* programCpu = nullptr) {
    const double cpuStart = CpuSeconds();
    QElapsedTimer timer;
    timer.start();
    TidyBatch batch(options, pool);
    batch.setPumpEvents(false);
    qsizetype submitted = 0;
    for (qsizetype taken = 0; taken < corpus.size(); ++taken) {
        while (submitted < corpus.size() && batch.wantsMore())
            batch.submit(corpus[submitted++]);
        const TidyResult result = batch.takeNext();
        if (result.status != TidyRunStatus::Completed)
            std::fprintf(stderr, "page %lld failed\n", qlonglong(taken));
        sink += Consume(result);
    }
    if (programCpu)
        *programCpu = CpuSeconds() - cpuStart;
    return double(timer.nsecsElapsed()) / 1e9;
}

int EngineRoads(const QList<QByteArray>& corpus, const QString& helper, const QString& tidy,
                const QString& copies, int cores) {
    const ResolvedTidyOptions options = ResolveOptions(TidyOptionSet{});
    TidyPoolSettings one = DefaultTidyPoolSettings();
    one.helperPath = helper;
    one.helperCount = 1;
    TidyPoolSettings perCore = one;
    perCore.helperCount = cores;
    TidyProcessPool poolOne(one);
    TidyProcessPool poolPerCore(perCore);

    size_t sink = 0;
    // Warm up: caches, and the helpers started (as the program's pool keeps them).
    const QList<QByteArray> warm = corpus.mid(0, 200);
    InProcess(options, warm, sink);
    Pooled(poolOne, options, warm, sink);
    Pooled(poolPerCore, options, warm, sink);

    const int rounds = 5;
    std::vector<double> inProcess, pooledOne, pooledPerCore, tidyProgram, programCpu;
    for (int round = 0; round < rounds; ++round) {
        inProcess.push_back(InProcess(options, corpus, sink));
        pooledOne.push_back(Pooled(poolOne, options, corpus, sink));
        double cpu = 0;
        pooledPerCore.push_back(Pooled(poolPerCore, options, corpus, sink, &cpu));
        programCpu.push_back(cpu);
        tidyProgram.push_back(TidyProgram(tidy, copies, corpus));
        if (tidyProgram.back() < 0) {
            std::fprintf(stderr, "tidy -m failed\n");
            return 1;
        }
        std::printf("  round %d: %.2f  %.2f  %.2f  %.2f s\n", round + 1, inProcess.back(),
                    pooledOne.back(), pooledPerCore.back(), tidyProgram.back());
    }
    // The median round, and the best round of each road: on a shared machine the fastest
    // round is the one least disturbed by other work.
    const auto report = [&](const char* title, double (*pick)(std::vector<double>)) {
        const double a = pick(inProcess), b = pick(pooledOne), c = pick(pooledPerCore),
                     d = pick(tidyProgram);
        std::printf("%s\n", title);
        std::printf("  library in this process:   %7.2f s\n", a);
        std::printf("  pool, 1 helper:            %7.2f s\n", b);
        std::printf("  pool, %d helpers:           %7.2f s\n", cores, c);
        std::printf("  tidy -m, one process:      %7.2f s\n", d);
        std::printf("  1 helper / in process:     %7.3f (target <= 1.10)\n", b / a);
        std::printf("  tidy -m / %d helpers:       %7.3f (target >= 1.70)\n", cores, d / c);
        std::printf("  in process / %d helpers:    %7.3f\n", cores, a / c);
    };
    report("median round:", Median);
    report("best round:", Best);
    std::printf("program's own processor time in a %d-helper run: %.2f s\n", cores,
                Median(programCpu));
    std::printf("helpers started: %d and %d; load average after: %s\n", poolOne.startedHelpers(),
                poolPerCore.startedHelpers(), LoadAverage().constData());
    return sink == 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], kWholeRunChild) == 0)
        return WholeRunChild(QString::fromLocal8Bit(argv[2]));
    const int jobs = std::max(1, QThread::idealThreadCount());
    if (argc > 1 && qstrcmp(argv[1], "--validate") == 0) {
        QStringList folders;
        for (int i = 2; i < argc; ++i)
            folders << QString::fromLocal8Bit(argv[i]);
        if (folders.isEmpty())
            folders = ManualFolders();
        return folders.isEmpty() ? 1 : ValidateBenchmark(folders, jobs);
    }
    const QList<QByteArray> corpus = Corpus();
    if (corpus.isEmpty()) {
        std::fprintf(stderr, "no pages under %s/site\n", KELVANE_EXAMPLES);
        return 1;
    }
    const QString helper =
        QCoreApplication::applicationDirPath() + QStringLiteral("/kelvane-engine");
    if (!QFileInfo(helper).isExecutable()) {
        std::fprintf(stderr, "%s is missing: build the kelvane-engine target first\n",
                     qPrintable(helper));
        return 1;
    }
    const QString tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));
    QTemporaryDir copies;
    if (tidy.isEmpty() || !copies.isValid()) {
        std::fprintf(stderr, "the tidy program or a temporary folder is missing\n");
        return 1;
    }

    qint64 bytes = 0;
    for (const QByteArray& page : corpus)
        bytes += page.size();
    const int cores = std::max(1, QThread::idealThreadCount());
    std::printf("corpus: %lld pages, %.1f MB; %d cores; load average before: %s\n",
                qlonglong(corpus.size()), double(bytes) / 1e6, cores, LoadAverage().constData());
    const bool wholeRunOnly = argc > 1 && qstrcmp(argv[1], "--whole-run") == 0;
    const bool programOnly = argc > 1 && qstrcmp(argv[1], "--batch-program") == 0;
    if (!wholeRunOnly && !programOnly &&
        EngineRoads(corpus, helper, tidy, copies.path(), cores) != 0)
        return 1;
    if (!programOnly && WholeRunBenchmark(corpus, tidy, cores) != 0)
        return 1;
    if (BatchProgramBenchmark(corpus, tidy) != 0)
        return 1;
    if (wholeRunOnly || programOnly)
        return 0;
    const QStringList manuals = ManualFolders();
    return manuals.isEmpty() ? 0 : ValidateBenchmark(manuals, jobs);
}
