#include "ValidateProgram.h"

#include "../../tests/engine/TidyProgramText.h"
#include "TidyProgram.h"
#include "engine/TidyOptionMapping.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

namespace {

struct Timed {
    double wall = -1; // seconds; -1 when the run failed
    double cpu = 0;   // processor seconds of the process and everything it waited for
};

double ChildrenCpu() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs `program` to its end; exit statuses up to `worstExit` count as success.
Timed TimedProcess(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& environment, const QString& outputFile,
                   int worstExit) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setStandardOutputFile(outputFile.isEmpty() ? QProcess::nullDevice() : outputFile);
    process.setStandardErrorFile(QProcess::nullDevice());
    Timed timed;
    const double cpuStart = ChildrenCpu();
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() > worstExit)
        return timed;
    timed.wall = double(timer.nsecsElapsed()) / 1e9;
    timed.cpu = ChildrenCpu() - cpuStart;
    return timed;
}

QStringList Pages(const QString& folder, qint64& bytes) {
    QStringList pages;
    bytes = 0;
    QDirIterator it(folder, {QStringLiteral("*.html"), QStringLiteral("*.htm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        pages << it.next();
        bytes += it.fileInfo().size();
    }
    pages.sort();
    return pages;
}

int LevelOf(const QString& name) {
    static const QHash<QString, int> levels = {
        {QStringLiteral("info"), TidyInfo},     {QStringLiteral("warning"), TidyWarning},
        {QStringLiteral("config"), TidyConfig}, {QStringLiteral("access"), TidyAccess},
        {QStringLiteral("error"), TidyError},   {QStringLiteral("bad-document"), TidyBadDocument},
        {QStringLiteral("fatal"), TidyFatal}};
    return levels.value(name, TidyDialogueInfo);
}

// Each file's messages from kelvane-batch's JSON report, as the tidy program prints them.
QHash<QString, QByteArray> KelvaneMessages(const QString& reportFile) {
    QFile file(reportFile);
    QHash<QString, QByteArray> messages;
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    const QJsonArray files = QJsonDocument::fromJson(file.readAll()).object()["files"].toArray();
    for (const QJsonValue& value : files) {
        const QJsonObject record = value.toObject();
        QList<TidyReport> reports;
        for (const QJsonValue& message : record["messages"].toArray()) {
            const QJsonObject m = message.toObject();
            reports.append({LevelOf(m["level"].toString()), m["line"].toInt(), m["column"].toInt(),
                            m["text"].toString().toUtf8(), m["rule"].toString().toLatin1()});
        }
        messages.insert(record["path"].toString(), tidy_oracle::ProgramStyle(reports));
    }
    return messages;
}

// How many of `pages` get the same messages from kelvane-batch as from `tidy -e`, which is run
// once more per file, untimed, to show every message of the parsing and cleaning.
qsizetype SameMessages(const QString& tidy, const QStringList& pages, const QString& config,
                       const QHash<QString, QByteArray>& kelvane, const QString& scratch) {
    qsizetype same = 0;
    int shown = 0;
    const QString errors = scratch + QStringLiteral("/messages");
    for (const QString& page : pages) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(tidy, {QStringLiteral("-e"), QStringLiteral("-config"), config,
                             QStringLiteral("-f"), errors, page});
        process.waitForFinished(-1);
        QFile file(errors);
        const QByteArray printed =
            file.open(QIODevice::ReadOnly) ? tidy_oracle::ParseStageMessages(file.readAll()) : "";
        if (kelvane.value(page) == printed)
            ++same;
        else if (++shown <= 5)
            std::printf("    messages differ: %s\n", qPrintable(page));
    }
    return same;
}

} // namespace

QStringList ManualFolders() {
    const QString script = QStringLiteral(KELVANE_EXAMPLES "/../scripts/fetch-manual");
    QStringList folders;
    for (const char* package : {"postgresql-doc-15", "python3.11-doc"}) {
        QProcess fetch;
        fetch.setStandardErrorFile(QProcess::nullDevice());
        fetch.start(script, {QString::fromLatin1(package)});
        if (fetch.waitForFinished(-1) && fetch.exitStatus() == QProcess::NormalExit &&
            fetch.exitCode() == 0)
            folders << QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed();
        else
            std::printf("the manual %s cannot be had (scripts/fetch-manual failed)\n", package);
    }
    return folders;
}

int ValidateBenchmark(const QStringList& folders, int jobs) {
    const QString tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));
    const QString batch = QCoreApplication::applicationDirPath() + QStringLiteral("/kelvane-batch");
    QTemporaryDir scratch;
    if (tidy.isEmpty() || !scratch.isValid())
        return 1;
    // The default options, for kelvane-batch (a settings file of its own, so that no stored
    // options count) and for tidy, which is made to report every message as Kelvane does.
    const QString options = scratch.filePath(QStringLiteral("Settings.ini"));
    const QString config = scratch.filePath(QStringLiteral("tidy.conf"));
    QFile optionsFile(options), configFile(config);
    const QByteArray configText =
        tidy_oracle::ConfigText(ResolveOptions(TidyOptionSet{}), scratch.path());
    if (configText.isEmpty() || !optionsFile.open(QIODevice::WriteOnly) ||
        !configFile.open(QIODevice::WriteOnly))
        return 1;
    optionsFile.write("[FormTidyProperties]\n");
    optionsFile.close();
    configFile.write(configText);
    configFile.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));

    for (const QString& folder : folders) {
        qint64 bytes = 0;
        const QStringList pages = Pages(folder, bytes);
        std::printf("validate over %s: %lld pages, %.1f MB; %d jobs; load average before: %s\n",
                    qPrintable(folder), qlonglong(pages.size()), double(bytes) / 1e6, jobs,
                    LoadAverage().constData());
        const QString report = scratch.filePath(QStringLiteral("report.json"));
        // Both read the same files from the page cache.
        TimedProcess(batch,
                     {QStringLiteral("validate"), QStringLiteral("-q"), QStringLiteral("-r"),
                      QStringLiteral("--options"), options, folder},
                     environment, {}, 1);
        std::vector<double> kWall, kCpu, tWall, tCpu;
        for (int round = 0; round < 3; ++round) {
            const Timed k = TimedProcess(
                batch,
                {QStringLiteral("validate"), QStringLiteral("-q"), QStringLiteral("-r"),
                 QStringLiteral("-j"), QString::number(jobs), QStringLiteral("--options"), options,
                 QStringLiteral("--format"), QStringLiteral("json"), folder},
                environment, report, 1);
            const Timed t = TimedProcess(
                QStringLiteral("bash"),
                {QStringLiteral("-c"),
                 QStringLiteral("find \"$1\" \\( -name '*.html' -o -name '*.htm' \\) -print0 | "
                                "xargs -0 -P %1 -n 100 \"$2\" -q -e -config \"$3\"")
                     .arg(jobs),
                 QStringLiteral("bash"), folder, tidy, config},
                environment, {}, 123); // xargs: 123 when a tidy found errors
            if (k.wall < 0 || t.wall < 0) {
                std::fprintf(stderr, "a road failed\n");
                return 1;
            }
            kWall.push_back(k.wall);
            kCpu.push_back(k.cpu);
            tWall.push_back(t.wall);
            tCpu.push_back(t.cpu);
            std::printf("  round %d: kelvane-batch %.2f s wall, %.2f s processor; tidy -e %.2f s "
                        "wall, %.2f s processor\n",
                        round + 1, k.wall, k.cpu, t.wall, t.cpu);
        }
        for (const auto& [title, pick] :
             {std::pair{"median round:", &Median}, std::pair{"best round:", &Best}}) {
            const double kw = pick(kWall), kc = pick(kCpu), tw = pick(tWall), tc = pick(tCpu);
            std::printf("%s\n", title);
            std::printf("  kelvane-batch validate -r:   %6.2f s wall, %6.2f s processor, "
                        "processor/wall %.2f (target >= %.2f)\n",
                        kw, kc, kc / kw, 0.9 * jobs);
            std::printf("  xargs -P %d tidy -q -e:       %6.2f s wall, %6.2f s processor, "
                        "processor/wall %.2f\n",
                        jobs, tw, tc, tc / tw);
            std::printf("  kelvane-batch / tidy, wall:  %6.3f (target <= 0.80)\n", kw / tw);
        }
        const QHash<QString, QByteArray> kelvane = KelvaneMessages(report);
        const qsizetype same = SameMessages(tidy, pages, config, kelvane, scratch.path());
        std::printf("messages: the same as tidy's for %lld of %lld pages (target: all)\n",
                    qlonglong(same), qlonglong(pages.size()));
    }
    std::printf("load average after: %s\n", LoadAverage().constData());
    return 0;
}
