// The result cache on a real public manual with its own dates, whole kelvane-batch processes as
// a pre-commit hook or a CI job runs them, rounds interleaved, medians:
// - validate: without the cache, the first run with it (an empty cache), a rerun over the
//   unchanged manual, and a rerun after 1 % of the pages were edited (their sizes and dates
//   kept, as `touch -r` after an edit leaves them);
// - tidy: without the cache, the first run with it (which also checks each text it writes),
//   and a rerun over the tidied manual;
// - the cache's size per 1,000 pages.
// Every round works on fresh copies made before the first round (see bench_manual on why).
//
//   bench_cache [--rounds N] [--package DEBIAN-DOC-PACKAGE] [--manual FOLDER]

#include "common/WholeProcess.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>

using namespace whole_process;

namespace {

// Changes one byte of the page's text, keeping its size and its dates. False when the page
// has no letter to change.
bool EditKeepingSizeAndDates(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    QByteArray bytes = file.readAll();
    const qsizetype body = std::max<qsizetype>(0, bytes.indexOf("<body"));
    qsizetype at = bytes.indexOf("<p>", body);
    if (at < 0)
        return false;
    at = bytes.indexOf('>', at) + 1;
    while (at < bytes.size() && !std::isalpha(static_cast<unsigned char>(bytes[at])))
        ++at;
    if (at >= bytes.size())
        return false;
    struct stat before {};
    if (::stat(QFile::encodeName(path).constData(), &before) != 0)
        return false;
    bytes[at] = char(std::islower(static_cast<unsigned char>(bytes[at])) ? std::toupper(bytes[at])
                                                                         : std::tolower(bytes[at]));
    file.seek(0);
    file.write(bytes);
    file.close();
    const timespec times[2] = {before.st_atim, before.st_mtim};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

qint64 FolderBytes(const QString& folder) {
    qint64 bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        bytes += file.size();
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const ManualArguments arguments = ParseManualArguments(app.arguments(), 5);
    const int rounds = arguments.rounds;
    QString manual = arguments.manual;
    const QString package = arguments.package;
    const QString batch = QDir(app.applicationDirPath()).filePath(QStringLiteral("kelvane-batch"));
    if (!QFileInfo(batch).isExecutable()) {
        std::printf("bench_cache: needs kelvane-batch beside it\n");
        return 0;
    }
    manual = FindManual(manual, package, "bench_cache");
    if (manual.isEmpty())
        return 0;
    const QStringList pages = ManualPages(manual);
    std::printf("bench_cache: %s, %lld pages, %d rounds (medians)\n", qPrintable(manual),
                qint64(pages.size()), rounds);

    QTemporaryDir work;
    // Three copies a round: validated, tidied without the cache, tidied with it.
    QStringList copies;
    for (int i = 0; i < 3 * rounds; ++i)
        copies << work.filePath(QStringLiteral("manual-%1").arg(i));
    if (!Copies(manual, copies))
        return 1;
    // The same pages of every copy are edited: 1 %, spread over the manual.
    const qsizetype step = 100;
    QStringList edited;
    for (qsizetype i = step / 2; i < pages.size(); i += step)
        edited << pages[i].mid(manual.size());

    const QString batchCall = Quoted(batch) + QStringLiteral(" ");
    const auto validate = [&](const QString& copy, const QString& cache) {
        return Timed(batchCall + "validate -q -r " +
                     (cache.isEmpty() ? QStringLiteral("--no-cache ")
                                      : "--cache-location " + Quoted(cache) + " ") +
                     Quoted(copy));
    };
    const auto tidy = [&](const QString& copy, const QString& cache) {
        return Timed(batchCall + "tidy -q --force -r " +
                     (cache.isEmpty() ? QStringLiteral("--no-cache ")
                                      : "--cache-location " + Quoted(cache) + " ") +
                     Quoted(copy));
    };

    Road validateUncached("validate, no cache"), validateFirst("validate, first run with cache"),
        validateAgain("validate, rerun, unchanged"), validateEdited("validate, rerun, 1 % edited");
    Road tidyUncached("tidy, no cache"), tidyFirst("tidy, first run with cache"),
        tidyAgain("tidy, rerun over the tidied manual");
    qint64 editedPages = 0;
    double validateCacheBytes = 0, tidyCacheBytes = 0;
    for (int round = 0; round < rounds; ++round) {
        const QString* copy = &copies[3 * round];
        const QString validateCache = work.filePath(QStringLiteral("cache-v%1").arg(round));
        const QString tidyCache = work.filePath(QStringLiteral("cache-t%1").arg(round));
        // Which of the two first runs goes first changes each round.
        const auto firstRuns = [&](const std::function<void()>& one,
                                   const std::function<void()>& other) {
            (round % 2 == 0 ? one : other)();
            (round % 2 == 0 ? other : one)();
        };
        firstRuns([&] { validateUncached.Add(validate(copy[0], {})); },
                  [&] { validateFirst.Add(validate(copy[0], validateCache)); });
        validateCacheBytes = double(FolderBytes(validateCache));
        validateAgain.Add(validate(copy[0], validateCache));
        editedPages = 0;
        for (const QString& page : std::as_const(edited))
            editedPages += EditKeepingSizeAndDates(copy[0] + page) ? 1 : 0;
        validateEdited.Add(validate(copy[0], validateCache));

        firstRuns([&] { tidyUncached.Add(tidy(copy[1], {})); },
                  [&] { tidyFirst.Add(tidy(copy[2], tidyCache)); });
        tidyCacheBytes = double(FolderBytes(tidyCache));
        tidyAgain.Add(tidy(copy[2], tidyCache));
    }

    const auto ratio = [](const Road& road, const Road& base) {
        return Median(road.wall) / std::max(Median(base.wall), 1e-9);
    };
    std::printf("validate\n");
    validateUncached.Print();
    validateFirst.Print();
    validateAgain.Print();
    validateEdited.Print();
    std::printf("  rerun, unchanged: %.3fx the first run (target at most 0.10)\n",
                ratio(validateAgain, validateFirst));
    std::printf("  rerun, %lld pages edited: %.3fx the first run (target at most 0.15)\n",
                editedPages, ratio(validateEdited, validateFirst));
    std::printf("  first run with the cache: %.3fx a run without it (target at most 1.05)\n",
                ratio(validateFirst, validateUncached));
    std::printf("tidy\n");
    tidyUncached.Print();
    tidyFirst.Print();
    tidyAgain.Print();
    std::printf("  rerun over the tidied manual: %.3fx the first run (target at most 0.10)\n",
                ratio(tidyAgain, tidyFirst));
    std::printf("  first run with the cache: %.3fx a run without it (the check of each text it "
                "writes included)\n",
                ratio(tidyFirst, tidyUncached));
    std::printf("cache size per 1,000 pages: %.0f KB after validate, %.0f KB after tidy\n",
                validateCacheBytes / 1024.0 * 1000.0 / double(pages.size()),
                tidyCacheBytes / 1024.0 * 1000.0 / double(pages.size()));
    return 0;
}
