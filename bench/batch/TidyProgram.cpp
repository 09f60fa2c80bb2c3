#include "TidyProgram.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <algorithm>
#include <unistd.h>

// Our default options, as `tidy` configuration. Kelvane collects every report of every page,
// so `tidy` is made to report them all too: `-m` keeps one error count across files and, once
// it passes `show-errors` (6), drops every report of every later file, and `-q` drops the Info
// reports.
const QStringList& TidyArguments() {
    static const QStringList arguments = {
        QStringLiteral("-m"),      QStringLiteral("--show-errors"),
        QStringLiteral("1000000"), QStringLiteral("--show-warnings"),
        QStringLiteral("yes"),     QStringLiteral("--force-output"),
        QStringLiteral("yes"),     QStringLiteral("--break-before-br"),
        QStringLiteral("no"),      QStringLiteral("--bare"),
        QStringLiteral("yes"),     QStringLiteral("--clean"),
        QStringLiteral("yes"),     QStringLiteral("--word-2000"),
        QStringLiteral("yes"),     QStringLiteral("--indent"),
        QStringLiteral("no"),      QStringLiteral("--uppercase-tags"),
        QStringLiteral("yes"),     QStringLiteral("--uppercase-attributes"),
        QStringLiteral("yes"),     QStringLiteral("--drop-empty-paras"),
        QStringLiteral("yes"),     QStringLiteral("--fix-bad-comments"),
        QStringLiteral("no"),      QStringLiteral("--fix-uri"),
        QStringLiteral("no"),      QStringLiteral("--tidy-mark"),
        QStringLiteral("no"),      QStringLiteral("--wrap"),
        QStringLiteral("0"),       QStringLiteral("--tab-size"),
        QStringLiteral("1"),       QStringLiteral("--input-encoding"),
        QStringLiteral("raw"),     QStringLiteral("--output-encoding"),
        QStringLiteral("raw"),
    };
    return arguments;
}

QStringList WriteCorpus(const QString& folder, const QList<QByteArray>& corpus) {
    QDir().mkpath(folder);
    QStringList paths;
    for (qsizetype i = 0; i < corpus.size(); ++i) {
        const QString path = folder + QStringLiteral("/page%1.html").arg(i);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write(corpus[i]) != corpus[i].size())
            return {};
        paths << path;
    }
    return paths;
}

double TimedRun(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.setStandardErrorFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

// `tidy -m` rewrites the copies in place; they are written afresh (untimed) before each round.
double TidyProgram(const QString& tidy, const QString& folder, const QList<QByteArray>& corpus) {
    const QStringList paths = WriteCorpus(folder, corpus);
    if (paths.isEmpty())
        return -1;
    return TimedRun(tidy, TidyArguments() + paths);
}

double TwoTidyPrograms(const QString& tidy, const QString& folder,
                       const QList<QByteArray>& corpus) {
    const QStringList paths = WriteCorpus(folder, corpus);
    QFile list(folder + QStringLiteral("/list"));
    if (paths.isEmpty() || !list.open(QIODevice::WriteOnly))
        return -1;
    for (const QString& path : paths)
        list.write(QFile::encodeName(path) + '\0');
    list.close();
    ::sync();
    return TimedRun(QStringLiteral("xargs"),
                    QStringList{QStringLiteral("-0"), QStringLiteral("-P"), QStringLiteral("2"),
                                QStringLiteral("-n"), QString::number((paths.size() + 1) / 2),
                                QStringLiteral("-a"), list.fileName(), tidy} +
                        TidyArguments());
}

// The one-minute load average: parallel figures mean little on a machine that is busy already.
QByteArray LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return "?";
    return file.readAll().split(' ').value(0);
}

double Best(std::vector<double> values) {
    return *std::min_element(values.begin(), values.end());
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}
