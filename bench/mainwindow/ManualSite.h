#pragma once
// What the benchmarks on a real manual share: its pages (scripts/fetch-manual) laid out as one
// large folder, an answerer that says OK to everything, and the machine's load.

#include "support/Prompts.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <unistd.h>

// Every question is answered OK (the box "No HTML errors found" among them).
class AnswerOk final : public Prompts {
public:
    int Message(const QString&, DialogKind, Buttons) override { return mrOk; }
    int MessageWithCheckBox(const QString&, DialogKind, Buttons, const QString&,
                            bool& ticked) override {
        ticked = false;
        return mrYes;
    }
    QString SaveFileName(const SaveFileRequest&) override { return {}; }
    QString ChooseProgram(const QString&) override { return {}; }
    bool EditTidyOptions(const QString&, const QString&) override { return true; }
};

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
