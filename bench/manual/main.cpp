// The whole job on a real public manual, as people run it, against the `tidy` program on every
// core: kelvane-batch validate against `xargs -P N tidy -e`, and kelvane-batch tidy (backups,
// everything on disk before it says so) against `xargs -P N tidy -m` (no backups, nothing
// synced) and against one `tidy -m`. Whole processes, wall and processor seconds, rounds
// interleaved, medians. Every round works on a fresh copy of the manual that keeps its files'
// own dates, flushed to disk before the clock starts. The copies are all made before the first
// round: ext4 without a journal searches long for a free inode among inodes deleted in the last
// minutes (up to six while their table is unwritten), which would charge the cleaning-up to
// whichever road makes files next. The copies of an earlier run count as well: start a run some
// minutes after the last one ended, and after anything else that deleted many files there.
//
//   bench_manual [--rounds N] [--package DEBIAN-DOC-PACKAGE] [--manual FOLDER]
//
// The manual comes from scripts/fetch-manual (a Debian documentation package, downloaded once).
// kelvane-batch runs without its result cache here (bench_cache measures that): every round
// does the whole work.

#include "common/WholeProcess.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <thread>

using namespace whole_process;

namespace {

// Our default options as `tidy` configuration, so both sides do the same work.
const char* const kTidyOptions =
    "--show-errors 1000000 --show-warnings yes --force-output yes --break-before-br no "
    "--bare yes --clean yes --word-2000 yes --indent no --uppercase-tags yes "
    "--uppercase-attributes yes --drop-empty-paras yes --fix-bad-comments no --fix-uri no "
    "--tidy-mark no --wrap 0 --tab-size 1 --input-encoding raw --output-encoding raw";

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ManualArguments arguments = ParseManualArguments(app.arguments(), 3);
    const int rounds = arguments.rounds;
    QString manual = arguments.manual;
    const QString package = arguments.package;
    const QString tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));
    const QString batch = QDir(app.applicationDirPath()).filePath(QStringLiteral("kelvane-batch"));
    if (tidy.isEmpty() || !QFileInfo(batch).isExecutable()) {
        std::printf("bench_manual: needs the tidy program and kelvane-batch beside it\n");
        return 0;
    }
    manual = FindManual(manual, package, "bench_manual");
    if (manual.isEmpty())
        return 0;
    qint64 pages = 0, bytes = 0;
    QDirIterator it(manual, {"*.html", "*.htm"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        bytes += QFileInfo(it.next()).size();
        ++pages;
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::printf("bench_manual: %s, %lld pages, %.1f MB, %u cores, %d rounds (medians)\n",
                qPrintable(manual), pages, double(bytes) / 1e6, cores, rounds);

    QTemporaryDir work;
    const QString report = work.filePath(QStringLiteral("report.json"));
    const QString tidyCall = Quoted(tidy) + " -q ";
    // Four copies a round: validate (both roads read only), kelvane-batch tidy, xargs tidy -m,
    // one tidy -m.
    QStringList copies;
    for (int i = 0; i < 4 * rounds; ++i)
        copies << work.filePath(QStringLiteral("manual-%1").arg(i));
    if (!Copies(manual, copies))
        return 1;
    const auto find = [](const QString& copy) {
        return "find " + Quoted(copy) + " -name '*.htm*' -print0 | xargs -0 ";
    };

    Road validate("kelvane-batch validate -r"), tidyE("xargs -P N tidy -e");
    Road tidyRun("kelvane-batch tidy -r (backups, synced)"), tidyM("xargs -P N tidy -m"),
        oneTidyM("one tidy -m");
    qint64 ourMessages = -1, tidyMessages = -1;
    for (int round = 0; round < rounds; ++round) {
        const QString* copy = &copies[4 * round];
        Measure m = Timed(
            Quoted(batch) + " validate --no-cache -q -r --format json " + Quoted(copy[0]), report);
        validate.Add(m);
        const QJsonObject counts = QJsonDocument::fromJson(m.out).object()["counts"].toObject();
        const QJsonObject levels = counts["messages"].toObject();
        ourMessages = 0;
        for (const QString& level : levels.keys())
            ourMessages += levels[level].toInteger();
        tidyE.Add(Timed(find(copy[0]) + QStringLiteral("-P %1 -n 100 ").arg(cores) + tidyCall +
                        "-e " + kTidyOptions));
        // `tidy -e` writes its messages on standard error: counted once, untimed.
        if (round == 0) {
            const Measure counted = Timed("(" + find(copy[0]) + "-n 100 " + tidyCall + "-e " +
                                              kTidyOptions + ") 2>&1 | grep -c ' - '",
                                          report);
            tidyMessages = counted.out.trimmed().toLongLong();
        }
        tidyRun.Add(Timed(Quoted(batch) + " tidy --no-cache -q --force -r " + Quoted(copy[1])));
        tidyM.Add(Timed(find(copy[2]) + QStringLiteral("-P %1 -n 100 ").arg(cores) + tidyCall +
                        "-m " + kTidyOptions));
        oneTidyM.Add(Timed(find(copy[3]) + "-n 100000 " + tidyCall + "-m " + kTidyOptions));
    }

    std::printf("validate\n");
    validate.Print();
    tidyE.Print();
    std::printf("  ratio %.2f (target at most 0.80), %.2f cores busy (target at least %.1f); "
                "messages: kelvane %lld, tidy %lld\n",
                Median(validate.wall) / Median(tidyE.wall),
                Median(validate.cpu) / Median(validate.wall), 0.9 * cores, ourMessages,
                tidyMessages);
    std::printf("tidy in place\n");
    tidyRun.Print();
    tidyM.Print();
    oneTidyM.Print();
    std::printf("  ratio %.2f to xargs -P N tidy -m (target at most 0.80), %.2f to one tidy -m "
                "(target at most 0.50)\n",
                Median(tidyRun.wall) / Median(tidyM.wall),
                Median(tidyRun.wall) / Median(oneTidyM.wall));
    return 0;
}
