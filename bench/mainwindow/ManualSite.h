#pragma once
// What the benchmarks on a real manual share: its pages (scripts/fetch-manual) laid out as one
// large folder, kelvane-batch timed on it, and the machine's load.

#include "common/GoAheadPrompts.h"
#include "support/SettingsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdio>
#include <unistd.h>

inline QString LoadAverageText() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll().split(' ').mid(0, 3).join(' '));
}

inline QString ManualFolder() {
    QProcess fetch;
    fetch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    fetch.start(QStringLiteral(KELVANE_EXAMPLES "/../scripts/fetch-manual"), {});
    if (!fetch.waitForFinished(600000) || fetch.exitCode() != 0)
        return {};
    return QString::fromLocal8Bit(fetch.readAllStandardOutput()).trimmed();
}

// `count` links to the manual's pages, side by side in `site`: one folder the list shows whole.
inline bool LinkPages(const QString& manual, const QString& site, int count) {
    QStringList pages;
    QDirIterator it(manual, {QStringLiteral("*.html"), QStringLiteral("*.htm")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        pages << it.next();
    pages.sort();
    if (pages.isEmpty() || !QDir().mkpath(site))
        return false;
    for (int i = 0; i < count; ++i) {
        const QString source = pages.at(i % pages.size());
        const QString target = QStringLiteral("%1/p%2-%3")
                                   .arg(site)
                                   .arg(i, 5, 10, QLatin1Char('0'))
                                   .arg(source.section(QLatin1Char('/'), -1));
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) !=
                0 &&
            !QFile::copy(source, target))
            return false;
    }
    return true;
}

// `files` pages of the manual as one folder "site" in `dir`, the settings file beside it; empty
// (and said on standard error) when that cannot be done.
inline QString ManualSite(const QTemporaryDir& dir, int files) {
    const QString manual = ManualFolder();
    if (manual.isEmpty()) {
        std::fprintf(stderr, "no manual: scripts/fetch-manual failed\n");
        return {};
    }
    const QString site = dir.filePath(QStringLiteral("site"));
    if (!LinkPages(manual, site, files)) {
        std::fprintf(stderr, "cannot lay out %d pages in %s\n", files, qPrintable(site));
        return {};
    }
    SetSettingsFilePath(dir.filePath(QStringLiteral("Settings.ini")));
    return site;
}

// kelvane-batch with `arguments` and the default options (a configuration folder of its own
// in `dir`); seconds, -1 when it failed. Status 1 (messages at Error level, files that tidying
// would change) is what a manual gives.
inline double BatchSeconds(const QTemporaryDir& dir, const QStringList& arguments) {
    QProcess batch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    batch.setProcessEnvironment(environment);
    batch.setStandardOutputFile(QProcess::nullDevice());
    batch.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    // Without the result cache: the window's runs do not use one here either.
    batch.start(QCoreApplication::applicationDirPath() + QStringLiteral("/kelvane-batch"),
                arguments + QStringList{QStringLiteral("--no-cache")});
    if (!batch.waitForFinished(-1) || batch.exitStatus() != QProcess::NormalExit ||
        batch.exitCode() > 1) {
        std::fprintf(stderr, "kelvane-batch %s failed\n", qPrintable(arguments.join(' ')));
        return -1;
    }
    return double(timer.nsecsElapsed()) / 1e9;
}
