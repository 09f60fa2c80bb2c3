#pragma once
// Whole processes timed as a user runs them, for the benchmarks on a real manual: wall and
// processor seconds of the process tree, the largest process's peak memory, medians of rounds.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <vector>

extern char** environ;

namespace whole_process {

struct Measure {
    double wall = -1;
    double cpu = 0;    // user + system, the whole process tree
    double peakMb = 0; // the largest process of the tree
    QByteArray out;
};

inline double Now() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Runs `command` with /bin/sh; its standard output goes to `outFile` when given.
inline Measure Timed(const QString& command, const QString& outFile = {}) {
    const QByteArray line =
        (command + (outFile.isEmpty() ? QStringLiteral(" >/dev/null") : " >'" + outFile + "'") +
         QStringLiteral(" 2>/dev/null"))
            .toLocal8Bit();
    const char* argv[] = {"/bin/sh", "-c", line.constData(), nullptr};
    Measure measure;
    const double start = Now();
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
        return measure;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return measure;
    measure.wall = Now() - start;
    measure.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                  double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    measure.peakMb = double(usage.ru_maxrss) / 1024.0;
    if (!outFile.isEmpty()) {
        QFile file(outFile);
        if (file.open(QIODevice::ReadOnly))
            measure.out = file.readAll();
    }
    return measure;
}

inline double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

inline QString Quoted(const QString& path) {
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Copies of the manual with their own dates, on disk before anything is timed.
inline bool Copies(const QString& manual, const QStringList& targets) {
    for (const QString& target : targets)
        if (QProcess::execute(QStringLiteral("cp"), {"-a", manual, target}) != 0)
            return false;
    return QProcess::execute(QStringLiteral("sync"), {}) == 0;
}

struct Road {
    explicit Road(const char* title) : name(title) {}
    const char* name;
    std::vector<double> wall, cpu, peak;
    void Add(const Measure& m) {
        wall.push_back(m.wall);
        cpu.push_back(m.cpu);
        peak.push_back(m.peakMb);
    }
    void Print() const {
        std::printf("  %-44s %7.3f s wall %7.3f s processor  %5.2f cores  %7.1f MB peak\n", name,
                    Median(wall), Median(cpu), Median(cpu) / std::max(Median(wall), 1e-9),
                    Median(peak));
    }
};

// The switches of the benchmarks on a real manual: --rounds N --package P --manual FOLDER.
struct ManualArguments {
    int rounds = 3;
    QString package = QStringLiteral("postgresql-doc-15");
    QString manual;
};

inline ManualArguments ParseManualArguments(const QStringList& args, int rounds) {
    ManualArguments parsed;
    parsed.rounds = rounds;
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--rounds"))
            parsed.rounds = std::max(1, args[i + 1].toInt());
        else if (args[i] == QLatin1String("--package"))
            parsed.package = args[i + 1];
        else if (args[i] == QLatin1String("--manual"))
            parsed.manual = args[i + 1];
    }
    return parsed;
}

// The folder of a real manual: `manual` when given, else scripts/fetch-manual's for `package`
// (empty, with a line saying why, when there is none).
inline QString FindManual(const QString& manual, const QString& package, const char* bench) {
    if (!manual.isEmpty())
        return manual;
    QProcess fetch;
    fetch.start(QStringLiteral(KELVANE_SOURCE "/scripts/fetch-manual"), {package});
    fetch.waitForFinished(600000);
    const QString folder = QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed();
    if (fetch.exitCode() != 0 || folder.isEmpty()) {
        std::printf("%s: no manual (%s)\n", bench,
                    fetch.readAllStandardError().trimmed().constData());
        return {};
    }
    return folder;
}

// The web pages below `folder`.
inline QStringList ManualPages(const QString& folder) {
    QStringList pages;
    QDirIterator it(folder, {"*.html", "*.htm"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        pages << it.next();
    pages.sort();
    return pages;
}

} // namespace whole_process
