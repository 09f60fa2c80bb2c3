// Folder scanning against `find` with the same masks, on a generated tree of 100,000 files in
// 1,000 folders (pages, images, style sheets, hidden files), timed in the same run. The tree is
// made once (untimed); each road runs five rounds, the median and the best are shown. The
// first round of each warms the file system's caches.

#include "fileops/FileMask.h"
#include "fileops/FolderScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

const char* const kNames[] = {"index.html", "about.htm", "news.php",     "shop.ASP",  "logo.png",
                              "style.css",  "notes.txt", ".hidden.html", "page.HTML", "script.js"};

// 10 top folders, each with 10 sub-folders holding 10 folders of 100 files: 100,000 files.
bool MakeTree(const QString& root, qint64& files) {
    for (int a = 0; a < 10; ++a)
        for (int b = 0; b < 10; ++b)
            for (int c = 0; c < 10; ++c) {
                const QString folder =
                    root + QStringLiteral("/site%1/part %2/sub%3/").arg(a).arg(b).arg(c);
                if (!QDir().mkpath(folder))
                    return false;
                for (int i = 0; i < 100; ++i) {
                    const QByteArray name =
                        QFile::encodeName(folder + QString::number(i) + QLatin1Char('-') +
                                          QLatin1String(kNames[i % std::size(kNames)]));
                    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                    if (fd < 0)
                        return false;
                    ::close(fd);
                    ++files;
                }
            }
    return true;
}

class CountingObserver final : public ScanObserver {
public:
    void FolderEntered(const QString&) override {}
    void CountChanged(qsizetype) override {}
    bool KeepGoing() override { return true; }
};

double ScanOnce(const QString& root, const QStringList& masks, qsizetype& found) {
    QElapsedTimer timer;
    timer.start();
    QStringList target;
    CountingObserver observer;
    ScanDirectory(root, masks, target, observer);
    found = target.size();
    return double(timer.nsecsElapsed()) / 1e9;
}

double FindOnce(const QString& root, qsizetype& found) {
    QProcess find;
    QElapsedTimer timer;
    timer.start();
    find.start(QStringLiteral("find"),
               {root, QStringLiteral("-type"), QStringLiteral("f"), QStringLiteral("("),
                QStringLiteral("-iname"), QStringLiteral("*.htm"), QStringLiteral("-o"),
                QStringLiteral("-iname"), QStringLiteral("*.html"), QStringLiteral("-o"),
                QStringLiteral("-iname"), QStringLiteral("*.asp"), QStringLiteral("-o"),
                QStringLiteral("-iname"), QStringLiteral("*.php"), QStringLiteral(")")});
    if (!find.waitForFinished(-1))
        return -1;
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    found = find.readAllStandardOutput().count('\n');
    return seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    qint64 files = 0;
    if (!dir.isValid() || !MakeTree(dir.path(), files)) {
        std::fprintf(stderr, "could not make the tree\n");
        return 1;
    }
    const QStringList masks = MaskList(QStringLiteral("*.htm;*.html;*.asp;*.php"));
    std::vector<double> scan, find;
    qsizetype scanFound = 0, findFound = 0;
    for (int round = 0; round < 6; ++round) {
        const double s = ScanOnce(dir.path(), masks, scanFound);
        const double f = FindOnce(dir.path(), findFound);
        if (round > 0) { // the first round only warms the caches
            scan.push_back(s);
            find.push_back(f);
        }
    }
    std::printf("tree: %lld files; found by the scan %lld, by find %lld\n", qlonglong(files),
                qlonglong(scanFound), qlonglong(findFound));
    const double s = Median(scan), f = Median(find);
    std::printf("median: scan %.3f s, find %.3f s, scan / find %.2f (target <= 2.0)\n", s, f,
                s / f);
    std::printf(
        "best:   scan %.3f s, find %.3f s, scan / find %.2f\n",
        *std::min_element(scan.begin(), scan.end()), *std::min_element(find.begin(), find.end()),
        *std::min_element(scan.begin(), scan.end()) / *std::min_element(find.begin(), find.end()));
    return scanFound == findFound ? 0 : 1;
}
