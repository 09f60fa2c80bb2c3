#pragma once
// Runs the real kelvane-batch as a user does, in a temporary folder: the program and its helper
// are linked into a folder of their own (so that what a test puts beside them, a language file
// say, reaches no other program), its settings are the test's own (a private XDG_CONFIG_HOME,
// so they start empty), and a copy of the example site is the work.

#include "common/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>

struct BatchOutcome {
    int exitCode = -1000;
    bool crashed = false; // ended by a signal (exitCode is then the signal's number)
    QByteArray out;
    QByteArray err;
};

class BatchProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite() { appDir.reset(); }
    void SetUp() override;

    // Runs kelvane-batch in the work folder with `input` on standard input; `during` is
    // called once the program runs (to interrupt it, say). `prefix` runs it through another
    // program (setpriv).
    BatchOutcome Run(const QStringList& arguments, const QByteArray& input = {},
                     const std::function<void(QProcess&)>& during = {},
                     const QStringList& prefix = {});

    // Starts kelvane-batch in the work folder with the test's own settings folders.
    void Start(QProcess& process, const QStringList& arguments, const QStringList& prefix = {});

    QString At(const QString& relative) const { return work + QLatin1Char('/') + relative; }
    // A copy of examples/site at `relative`.
    void CopySite(const QString& relative);
    // Every regular file under `relative`, by its path below it.
    QMap<QString, QByteArray> Snapshot(const QString& relative) const;

    static QString Program() { return appDir->filePath(QStringLiteral("kelvane-batch")); }

    static inline std::unique_ptr<QTemporaryDir> appDir;
    QTemporaryDir home;
    QString work;
    QString workingFolder; // where the program runs; empty: `work`
    bool leakCheck = true; // off for runs the test kills outright
};

inline void BatchProgramTest::SetUpTestSuite() {
    appDir = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(appDir->isValid());
    for (const char* name : {"kelvane-batch", "kelvane-engine"}) {
        const QString source = BinPath(QString::fromLatin1(name));
        const QString target = appDir->filePath(QString::fromLatin1(name));
        // A hard link when the folders share a file system, else a copy; never a symbolic
        // link, which would lead the program back to its build folder.
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) !=
            0) {
            ASSERT_TRUE(QFile::copy(source, target)) << name;
        }
    }
    // Reachable by the unprivileged user of the permission tests.
    QFile::setPermissions(appDir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                              QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                              QFileDevice::ExeOther);
}

inline void BatchProgramTest::SetUp() {
    ASSERT_TRUE(home.isValid());
    work = home.filePath(QStringLiteral("work"));
    ASSERT_TRUE(QDir().mkpath(work));
}

inline void BatchProgramTest::Start(QProcess& process, const QStringList& arguments,
                                    const QStringList& prefix) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
        env.insert(QString::fromLatin1(name), home.filePath(QString::fromLatin1(name)));
    if (!leakCheck)
        WithoutLeakCheck(env);
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workingFolder.isEmpty() ? work : workingFolder);
    if (prefix.isEmpty())
        process.start(Program(), arguments);
    else
        process.start(prefix.first(), prefix.mid(1) + QStringList{Program()} + arguments);
    EXPECT_TRUE(process.waitForStarted(10000));
}

inline BatchOutcome BatchProgramTest::Run(const QStringList& arguments, const QByteArray& input,
                                          const std::function<void(QProcess&)>& during,
                                          const QStringList& prefix) {
    QProcess process;
    Start(process, arguments, prefix);
    process.write(input);
    process.closeWriteChannel();
    if (during)
        during(process);
    BatchOutcome outcome;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "kelvane-batch did not end";
        return outcome;
    }
    outcome.crashed = process.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = process.exitCode();
    outcome.out = process.readAllStandardOutput();
    outcome.err = process.readAllStandardError();
    return outcome;
}

inline void BatchProgramTest::CopySite(const QString& relative) {
    QDirIterator it(ExamplesPath(QStringLiteral("site")), QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target =
            At(relative) + source.mid(ExamplesPath(QStringLiteral("site")).size());
        QDir().mkpath(QFileInfo(target).path());
        ASSERT_TRUE(QFile::copy(source, target));
    }
}

inline QMap<QString, QByteArray> BatchProgramTest::Snapshot(const QString& relative) const {
    QMap<QString, QByteArray> files;
    const QString root = At(relative) + QLatin1Char('/');
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path.mid(root.size()), ReadAll(path));
    }
    return files;
}

// Files of a snapshot that are not backups.
inline QMap<QString, QByteArray> WithoutBackups(QMap<QString, QByteArray> files) {
    files.removeIf([](const auto& file) { return file.key().contains("Kelvane Backup/"); });
    return files;
}
