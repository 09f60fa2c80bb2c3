// The kelvane window as it runs on a display, and kelvane-send handing it command lines: jobs
// run and answered, refused while a dialog is open, a crashed window's socket recovered, a
// second window that leaves the first one's socket alone, a web address on the command line.

#include "common/TestSupport.h"
#include "mainwindow/CommandRecord.h"
#include "support/LocalHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QByteArray kPage = "<html>\n<head><title>x</title></head>\n<body>\n<p>One</p>\n</body>\n"
                         "</html>\n";

// Serves the event loop until `done` holds, at most `ms`.
bool ServeUntil(const std::function<bool()>& done, int ms = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

class RunningWindow : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        appDir = std::make_unique<QTemporaryDir>();
        xvfb = std::make_unique<XvfbServer>();
        ASSERT_TRUE(appDir->isValid());
        InstallProgramCopies(appDir->path(), {"kelvane", "kelvane-engine", "kelvane-send"});
    }
    static void TearDownTestSuite() {
        xvfb.reset();
        appDir.reset();
    }

    void SetUp() override {
        if (xvfb->display().isEmpty())
            GTEST_SKIP() << "Xvfb could not be started";
        ASSERT_TRUE(home.isValid());
        work = home.filePath(QStringLiteral("work"));
        ASSERT_TRUE(QDir().mkpath(work));
        WriteAll(at("my page.html"), kPage);
        env = IsolatedEnvironment(home.path());
        env.insert(QStringLiteral("DISPLAY"), xvfb->display());
        WithoutLeakCheck(env); // every window here ends killed
        socket = CommandRecordSocketPath(env.value(QStringLiteral("XDG_RUNTIME_DIR")));
    }
    void TearDown() override {
        for (QProcess* window : windows) {
            window->kill();
            window->waitForFinished(5000);
            delete window;
        }
    }

    QString at(const char* name) const { return work + QLatin1Char('/') + QLatin1String(name); }

    // Starts a window; with `serving`, waits until it answers records.
    QProcess* startWindow(const QStringList& arguments = {}, bool serving = true) {
        auto* window = new QProcess;
        windows.append(window);
        window->setProcessEnvironment(env);
        window->setWorkingDirectory(work);
        window->start(appDir->filePath(QStringLiteral("kelvane")), arguments);
        if (serving) {
            EXPECT_TRUE(ServeUntil([&] { return answers(); }))
                << "the window never served: " << window->readAllStandardError().constData()
                << "\nXvfb said: " << xvfb->log().constData();
        }
        return window;
    }
    // A record of kind 1 is answered 0 by a live window and runs nothing.
    bool answers() const {
        return SendCommandRecord(socket, 1, QStringLiteral("kelvane"), 2000).status ==
               SentRecord::Status::Replied;
    }
    void crash(QProcess* window) {
        window->kill(); // SIGKILL: the socket file stays behind
        window->waitForFinished(5000);
    }

    ProgramOutcome send(const QStringList& arguments) {
        return RunServingEvents(appDir->filePath(QStringLiteral("kelvane-send")), arguments, env,
                                work);
    }
    // kelvane-send left running while the test goes on.
    QProcess* sendInBackground(const QStringList& arguments) {
        auto* sender = new QProcess;
        windows.append(sender);
        sender->setProcessEnvironment(env);
        sender->setWorkingDirectory(work);
        sender->start(appDir->filePath(QStringLiteral("kelvane-send")), arguments);
        return sender;
    }

    static inline std::unique_ptr<QTemporaryDir> appDir;
    static inline std::unique_ptr<XvfbServer> xvfb;
    QTemporaryDir home;
    QString work;
    QProcessEnvironment env;
    QString socket;
    QList<QProcess*> windows;
};

} // namespace

TEST_F(RunningWindow, SendRunsJobsInTheWindowAndOutlivesACrash) {
    ProgramOutcome r = send({"-v", "my page.html", "report.txt"});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.err.contains("no Kelvane window is running")) << r.err.constData();

    QProcess* first = startWindow();
    r = send({"-v", "my page.html", "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(ReadAll(at("report.txt"))
                    .startsWith("Line 1, Column 1 - Warninig: missing <!DOCTYPE> declaration\r\n"));
    r = send({"-v", "missing.html", "r2.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(at("r2.txt")));
    EXPECT_EQ(send({"-v", "a", "b", "c"}).exitCode, 64);

    // Killed: its socket stays behind, answered by nobody; the next window takes it over.
    crash(first);
    ASSERT_TRUE(QFileInfo::exists(socket));
    EXPECT_EQ(send({"-v", "my page.html", "report.txt"}).exitCode, 3);
    QProcess* second = startWindow();
    QFile::remove(at("report.txt"));
    EXPECT_EQ(send({"-v", "my page.html", "report.txt"}).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(at("report.txt")));

    // A third window leaves the live socket alone: with the second gone, nobody answers.
    QProcess* third = startWindow({}, false);
    ServeUntil([] { return false; }, 1500);
    EXPECT_EQ(third->state(), QProcess::Running);
    crash(second);
    EXPECT_EQ(send({"-v", "my page.html", "report.txt"}).exitCode, 3);
}

TEST_F(RunningWindow, ARecordWhileAJobsDialogIsOpenIsRefused) {
    QProcess* window = startWindow();
    // A tidy job without an output name waits in the options dialog for its user.
    QProcess* waiting = sendInBackground({"-t", "my page.html"});
    // Until that dialog is open, this harmless record is run (and fails, status 1).
    ASSERT_TRUE(ServeUntil([&] {
        return send({"-v", "missing.html", "r.txt"}).exitCode == 2;
    })) << "a record was still taken while the first job's dialog was open";
    const ProgramOutcome refused = send({"-v", "my page.html", "report.txt"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("did not take")) << refused.err.constData();
    EXPECT_FALSE(QFileInfo::exists(at("report.txt")));
    EXPECT_EQ(waiting->state(), QProcess::Running) << "the first job goes on";

    // The window dies with the job open: its sender says so, with a status of its own.
    crash(window);
    ASSERT_TRUE(waiting->waitForFinished(10000));
    EXPECT_EQ(waiting->exitCode(), 4) << waiting->readAllStandardError().constData();
}

TEST_F(RunningWindow, AWebAddressOnTheCommandLineStartsTheWebRoad) {
    LocalHttpServer server;
    server.route("/page.html", LocalHttpServer::Page(kPage));
    startWindow({server.url(QStringLiteral("/page.html"))});
    EXPECT_TRUE(ServeUntil([&] { return server.requests().contains("/page.html"); }))
        << "the page was never asked for";

    // Its options dialog waits for the user. Meanwhile a job that needs a dialog is turned
    // away (until then this one runs, and fails for want of an input) ...
    ASSERT_TRUE(ServeUntil([&] { return send({"-v", "missing.html"}).exitCode == 2; }));
    // ... and a validation into a named report runs all the same.
    const ProgramOutcome r = send({"-v", "my page.html", "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(QFileInfo::exists(at("report.txt")));
}
