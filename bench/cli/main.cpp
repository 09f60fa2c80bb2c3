// The command-line program as a whole process: a validate job of a 10 KB page against
// `tidy -e -q` on the same page, and the program's start-up on its own (a job whose input is
// missing ends right after the application, its windows and the translation are set up).

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRuns = 20;
constexpr double kStartupTargetMs = 150.0;

// About 10 KB of the usual faults: unclosed and misnested tags, missing alt texts, bare
// ampersands, obsolete presentational markup.
QByteArray MessyPage() {
    QByteArray page = "<html>\n<head><title>Bench page</title>\n<body bgcolor=white>\n";
    int section = 0;
    while (page.size() < 10 * 1024) {
        ++section;
        const QByteArray n = QByteArray::number(section);
        page += "<h2>Section " + n + "\n<p>Fresh <b>bread <i>and</b> rolls</i> & cakes, " +
                "baked daily since 19" + n + ".\n<font color=red>Offer " + n +
                "</font><br>\n<table><tr><td>Rye<td>2.40</tr><tr><td>Spelt</td><td>3.10\n" +
                "</table>\n<ul><li>Item one<li>Item two</ul>\n<img src=\"p" + n +
                ".jpg\">\n<center>Call us</center>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

struct Timing {
    double medianMs = 0;
    double minMs = 0;
    int failures = 0;
};

Timing TimeProcess(const QString& program, const QStringList& arguments,
                   const QProcessEnvironment& env, const QString& workDir, int expectedExit) {
    std::vector<double> samples;
    Timing timing;
    for (int i = 0; i < kRuns; ++i) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir);
        QElapsedTimer clock;
        clock.start();
        process.start(program, arguments);
        if (!process.waitForFinished(60000) || process.exitCode() != expectedExit)
            ++timing.failures;
        samples.push_back(clock.nsecsElapsed() / 1e6);
    }
    std::sort(samples.begin(), samples.end());
    timing.medianMs = (samples[kRuns / 2 - 1] + samples[kRuns / 2]) / 2;
    timing.minMs = samples.front();
    return timing;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);

    QTemporaryDir root;
    if (!root.isValid())
        return 1;
    const QString appDir = root.filePath(QStringLiteral("app"));
    const QString work = root.filePath(QStringLiteral("work"));
    QDir().mkpath(appDir);
    QDir().mkpath(work);

    // A private copy of the program, so that its settings file starts empty and stays here.
    for (const char* name : {"kelvane", "kelvane-engine"}) {
        const QString source =
            QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(name);
        const QString target = appDir + QLatin1Char('/') + QLatin1String(name);
        if (!QFile::exists(source))
            continue;
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()))
            QFile::copy(source, target);
    }
    const QString kelvane = appDir + QStringLiteral("/kelvane");
    if (!QFile::exists(kelvane)) {
        std::fprintf(stderr, "kelvane is not built beside this benchmark\n");
        return 1;
    }
    const QString tidy = QStandardPaths::findExecutable(QStringLiteral("tidy"));

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = root.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        env.insert(QString::fromLatin1(name), folder);
    }

    const QByteArray page = MessyPage();
    QFile pageFile(work + QStringLiteral("/page.html"));
    if (!pageFile.open(QIODevice::WriteOnly) || pageFile.write(page) != page.size())
        return 1;
    pageFile.close();

    std::printf("page: %lld bytes, %d runs each, no display\n", static_cast<long long>(page.size()),
                kRuns);

    const Timing startup =
        TimeProcess(kelvane, {"-v", "missing.html", "report.txt"}, env, work, 255);
    const Timing validate = TimeProcess(kelvane, {"-v", "page.html", "report.txt"}, env, work, 0);
    std::printf("kelvane start-up (app, windows, translation): median %.1f ms, min %.1f ms "
                "(target < %.0f ms: %s)\n",
                startup.medianMs, startup.minMs, kStartupTargetMs,
                startup.medianMs < kStartupTargetMs ? "met" : "MISSED");
    std::printf("kelvane -v page.html report.txt:              median %.1f ms, min %.1f ms\n",
                validate.medianMs, validate.minMs);

    int failures = startup.failures + validate.failures;
    if (!tidy.isEmpty()) {
        // tidy -e exits 1 for warnings, 2 for errors; only the time matters here.
        QProcess probe;
        probe.setWorkingDirectory(work);
        probe.start(tidy, {"-e", "-q", "page.html"});
        probe.waitForFinished();
        const Timing reference =
            TimeProcess(tidy, {"-e", "-q", "page.html"}, env, work, probe.exitCode());
        failures += reference.failures;
        std::printf("tidy -e -q page.html:                         median %.1f ms, min %.1f ms\n",
                    reference.medianMs, reference.minMs);
        std::printf("ratio kelvane / tidy (medians): %.2f\n",
                    validate.medianMs / reference.medianMs);
    } else {
        std::printf("tidy is not installed: no reference figures\n");
    }
    if (failures)
        std::printf("%d runs ended with an unexpected status\n", failures);
    return failures ? 1 : 0;
}
