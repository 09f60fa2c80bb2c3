// kelvane-batch tells the files it wrote from others by more than an inode number: an editor
// that saves by rename frees the number of the file the run wrote, and the system gives it to
// the next new file. That file is another one, and is tidied; a file the run wrote and that was
// then edited in place is still the run's, and is passed over so that its backup keeps the
// original.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

using FileIdentity = BatchProgramTest;

ino_t InodeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

// What `path` holds now; empty while there is no such file.
QByteArray Peek(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool Rename(const QString& from, const QString& to) {
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

} // namespace

TEST_F(FileIdentity, AnInodeNumberGivenAgainIsAnotherFileAndAnEditInPlaceIsNot) {
    WriteAll(At("a.html"), "<p>a");
    WriteAll(At("b.html"), "<p>b");
    WriteAll(At("c.html"), "<p>c");
    QProcess run;
    Start(run, {"tidy", "-q", "--format", "json", "--files-from", "-"});
    run.write("a.html\nc.html\n");
    ASSERT_TRUE(run.waitForBytesWritten(10000));
    // The list waits for its next line; a and c are tidied meanwhile.
    for (int wait = 0; wait < 300; ++wait) {
        if (Peek(At("Kelvane Backup/a.html")) == "<p>a" &&
            Peek(At("Kelvane Backup/c.html")) == "<p>c" && Peek(At("a.html")) != "<p>a" &&
            Peek(At("c.html")) != "<p>c")
            break;
        QThread::msleep(100);
    }
    ASSERT_NE(Peek(At("c.html")), "<p>c") << "a and c were not tidied while the list waited";
    QThread::msleep(300); // the run has noted what it wrote
    const QByteArray tidiedC = ReadAll(At("c.html"));

    // An editor saves a by rename: the file the run wrote is gone, its number free.
    const ino_t freed = InodeOf(At("a.html"));
    WriteAll(At("a.html.new"), "<p>a edited");
    ASSERT_TRUE(Rename(At("a.html.new"), At("a.html")));
    // ... and then b: its new file gets that number, where the file system gives it again
    // (lower free numbers go first: files are made until one has it).
    bool reused = false;
    QStringList fillers;
    for (int attempt = 0; attempt < 256 && !reused; ++attempt) {
        const QString candidate = At(QStringLiteral("new-%1").arg(attempt));
        WriteAll(candidate, "<p>b saved");
        reused = InodeOf(candidate) == freed;
        if (reused)
            ASSERT_TRUE(Rename(candidate, At("b.html")));
        else
            fillers << candidate;
    }
    for (const QString& filler : fillers)
        QFile::remove(filler);
    // c is edited in place: still the file the run wrote.
    const int fd = ::open(QFile::encodeName(At("c.html")).constData(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "<p>more", 7), 7);
    ::close(fd);

    run.write("b.html\nc.html\n");
    run.closeWriteChannel();
    ASSERT_TRUE(run.waitForFinished(60000));
    const QByteArray out = run.readAllStandardOutput();
    QStringList statuses;
    for (const QJsonValue& file : QJsonDocument::fromJson(out).object()["files"].toArray())
        statuses << file["path"].toString() + "=" + file["status"].toString();
    if (!reused)
        GTEST_SKIP() << "this file system did not give the freed inode number to the next file";
    EXPECT_EQ(statuses, (QStringList{"a.html=tidied", "c.html=tidied", "b.html=tidied",
                                     "c.html=tidied-before"}))
        << run.readAllStandardError().constData();
    EXPECT_NE(ReadAll(At("b.html")), "<p>b saved");
    EXPECT_EQ(ReadAll(At("Kelvane Backup/b.html")), "<p>b saved");
    EXPECT_EQ(ReadAll(At("Kelvane Backup/c.html")), "<p>c") << "c's backup keeps the original";
    EXPECT_EQ(ReadAll(At("c.html")), tidiedC + "<p>more");
}
