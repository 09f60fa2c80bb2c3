// The kelvane program as a user runs it from a shell without a display.

#include "common/TestSupport.h"
#include "platform/InstallPaths.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kPage = "<html>\n<head><title>x</title></head>\n<body>\n"
                         "<p>One <b>two & three</p>\n<img src=\"a.gif\">\n</body>\n</html>\n";

const QByteArray kReport = "Line 1, Column 1 - Warninig: missing <!DOCTYPE> declaration\r\n"
                           "Line 4, Column 8 - Warninig: missing </b> before </p>\r\n"
                           "Line 5, Column 1 - Warninig: inserting implicit <b>\r\n"
                           "Line 5, Column 1 - Warninig: <img> lacks \"alt\" attribute\r\n";

const QByteArray kHtmlReport =
    "Line 1, Column 1 - Warninig: missing &lt;!DOCTYPE&gt; declaration<BR>"
    "Line 4, Column 8 - Warninig: missing &lt;/b&gt; before &lt;/p&gt;<BR>"
    "Line 5, Column 1 - Warninig: inserting implicit &lt;b&gt;<BR>"
    "Line 5, Column 1 - Warninig: &lt;img&gt; lacks &quot;alt&quot; attribute<BR>";

using Outcome = ProgramOutcome;

// Serves one page over HTTP on the loopback interface while the event loop runs.
class PageServer {
public:
    explicit PageServer(QByteArray body) : m_body(std::move(body)) {
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { accept(); });
    }
    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    int requests() const { return m_requests; }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // A connection check connects and leaves without asking anything.
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                m_pending[socket] += socket->readAll();
                if (!m_pending[socket].contains("\r\n\r\n"))
                    return;
                m_pending.remove(socket);
                ++m_requests;
                socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                              QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n" +
                              m_body);
                socket->disconnectFromHost();
            });
        }
    }

    QTcpServer m_server;
    QByteArray m_body;
    QHash<QTcpSocket*, QByteArray> m_pending;
    int m_requests = 0;
};

class Program : public ::testing::Test {
protected:
    // The program is copied into a folder of its own, so that what a test puts beside it (a
    // language file, the "portable" mark) reaches no other program; its settings are the
    // test's own, in the XDG_CONFIG_HOME of IsolatedEnvironment.
    static void SetUpTestSuite() {
        appDir = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(appDir->isValid());
        InstallProgramCopies(appDir->path(), {"kelvane", "kelvane-engine"});
        ASSERT_TRUE(QFileInfo::exists(appDir->filePath(QStringLiteral("kelvane"))));
    }
    static void TearDownTestSuite() { appDir.reset(); }

    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("work")));
        work = home.filePath(QStringLiteral("work"));
        input = QDir(work).filePath(QStringLiteral("my page.html"));
        WriteAll(input, kPage);
    }

    QString at(const QString& name) const { return QDir(work).filePath(name); }
    // The settings file of the test's user (IsolatedEnvironment's XDG_CONFIG_HOME).
    QString settingsFile() const {
        return home.filePath(QStringLiteral("XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini"));
    }

    // Runs kelvane (or `program`, say a shell that passes it names as raw bytes) with `extra`
    // added to a display-less environment.
    Outcome run(const QStringList& arguments, const QList<QPair<QString, QString>>& extra = {},
                const QString& program = {}) {
        QProcessEnvironment env = IsolatedEnvironment(home.path());
        for (const auto& [name, value] : extra)
            env.insert(name, value);
        // The event loop keeps serving the test's own HTTP server while the program runs.
        return RunServingEvents(program.isEmpty() ? kelvane() : program, arguments, env, work);
    }

    static QString kelvane() { return appDir->filePath(QStringLiteral("kelvane")); }

    QStringList workFiles() const { return QDir(work).entryList(QDir::Files, QDir::Name); }

    static inline std::unique_ptr<QTemporaryDir> appDir;
    QTemporaryDir home;
    QString work;
    QString input;
};

TEST_F(Program, ValidateToTextAndHtml) {
    Outcome r = run({"-v", input, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("report.txt")), kReport);
    EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();

    // Relative input, switches after the names, slash switches.
    r = run({"my page.html", "report.html", "/v", "/h"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("report.html")), kHtmlReport);

    EXPECT_EQ(ReadAll(input), kPage);
    // The settings file went to the user's configuration folder, not into the working folder.
    EXPECT_EQ(workFiles(), (QStringList{"my page.html", "report.html", "report.txt"}));
    EXPECT_TRUE(QFileInfo::exists(settingsFile()));
}

TEST_F(Program, ValidateUsesTheStoredOptions) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(settingsFile()).path()));
    WriteAll(settingsFile(),
             "[FormTidyProperties]\r\nCBAltText.Checked=1\r\nEditAltText.Text=photo\r\n");
    const Outcome r = run({"-v", input, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    const QByteArray report = ReadAll(at("report.txt"));
    EXPECT_TRUE(report.contains("<img> inserting \"alt\" attribute using value \"photo\"\r\n"))
        << report.constData();
}

// A program run where it was built has no installed layout, but its settings are still the
// user's: two users (two homes) of one build tree each keep their own. Only a copy marked
// portable keeps them beside itself.
TEST_F(Program, SettingsAreEachUsersOwnUnlessTheCopyIsMarkedPortable) {
    const QByteArray altText =
        "[FormTidyProperties]\r\nCBAltText.Checked=1\r\nEditAltText.Text=photo\r\n";
    const QByteArray usesAltText = "using value \"photo\"";
    ASSERT_EQ(run({"-v", input, "report.txt"}).exitCode, 0);
    ASSERT_TRUE(QFileInfo::exists(settingsFile()));
    WriteAll(settingsFile(), altText);
    ASSERT_EQ(run({"-v", input, "report.txt"}).exitCode, 0);
    EXPECT_TRUE(ReadAll(at("report.txt")).contains(usesAltText));

    QTemporaryDir otherHome;
    ASSERT_TRUE(otherHome.isValid());
    Outcome r = RunServingEvents(kelvane(), {"-v", input, "other.txt"},
                                 IsolatedEnvironment(otherHome.path()), work);
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_FALSE(ReadAll(at("other.txt")).contains(usesAltText)) << "the other user's options";
    EXPECT_TRUE(QFileInfo::exists(
        otherHome.filePath(QStringLiteral("XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini"))));
    EXPECT_FALSE(QFileInfo::exists(appDir->filePath(QStringLiteral("Settings.ini"))));

    const QString portable = appDir->filePath(QStringLiteral("portable"));
    WriteAll(portable, {});
    r = run({"-v", input, "portable.txt"});
    const bool besideProgram = QFileInfo::exists(appDir->filePath(QStringLiteral("Settings.ini")));
    QFile::remove(portable);
    QFile::remove(appDir->filePath(QStringLiteral("Settings.ini")));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(besideProgram);
    EXPECT_FALSE(ReadAll(at("portable.txt")).contains(usesAltText)) << "not the user's options";
}

TEST_F(Program, MissingInputFailsWithItsReasonOnStandardErrorOnly) {
    const Outcome r = run({"-v", at("missing.html"), "report.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(r.err.contains("File '" + at("missing.html").toUtf8() + "' not found"))
        << r.err.constData();
    EXPECT_EQ(workFiles(), QStringList{"my page.html"});
}

TEST_F(Program, ReadOnlyOutputFailsAndLeavesBothFiles) {
    WriteAll(at("report.txt"), "old report");
    SetReadOnly(at("report.txt"), true);
    for (const char* job : {"-v", "-t"}) {
        const Outcome r = run({job, input, "report.txt"});
        EXPECT_EQ(r.exitCode, 255) << job;
        EXPECT_TRUE(r.err.contains("is read only")) << r.err.constData();
    }
    EXPECT_EQ(ReadAll(at("report.txt")), QByteArray("old report"));
    EXPECT_EQ(ReadAll(input), kPage);
}

TEST_F(Program, ThirdNameEndsWithStatusOne) {
    const Outcome r = run({"-v", input, "a.txt", "third one.txt"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Too many files specified (third one.txt)")) << r.err.constData();
    EXPECT_EQ(workFiles(), QStringList{"my page.html"});
}

TEST_F(Program, DialogsNeedADisplay) {
    Outcome r = run({"-t", input, "out.html"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(r.err.contains("needs a display")) << r.err.constData();

    r = run({"-v", input});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(r.err.contains("needs a display")) << r.err.constData();
    EXPECT_EQ(workFiles(), QStringList{"my page.html"});
}

TEST_F(Program, HelpAndVersionComeBeforeTheJobGrammarAndNeedNoDisplay) {
    const QByteArray version = "kelvane " KELVANE_VERSION "\n";
    const struct {
        QStringList arguments;
        bool help;
    } cases[] = {
        {{"--help"}, true},
        {{"--version"}, false},
        {{"-v", input, "report.txt", "--help"}, true},    // no job runs
        {{"--version", "--help"}, false},                 // the first one answers
        {{"a.html", "b.html", "c.html", "--help"}, true}, // not "too many files"
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.exitCode, 0) << r.err.constData();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();
        if (c.help) {
            EXPECT_TRUE(r.out.startsWith("Usage: kelvane [PATH | ADDRESS]\n")) << r.out.constData();
            for (const char* word : {" -t ", " -v ", " -h ", " -X ", " --help ", " --version "})
                EXPECT_TRUE(r.out.contains(word)) << word;
        } else {
            EXPECT_EQ(r.out, version);
        }
    }
    EXPECT_EQ(workFiles(), QStringList{"my page.html"});
}

TEST_F(Program, InteractiveRoadNeedsADisplay) {
    for (const QStringList& arguments : {QStringList{}, QStringList{"-t"}, QStringList{input}}) {
        const Outcome r = run(arguments);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_TRUE(r.err.contains("needs a display to show its main window")) << r.err.constData();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
    }
    // A window that never started leaves the main window's stored state alone.
    EXPECT_FALSE(ReadAll(settingsFile()).contains("[FormKelvane]"));
}

TEST_F(Program, InstalledLayoutFindsItsHelperAndLanguageAndKeepsSettingsPerUser) {
    // <prefix>/bin/kelvane, its helper and data where this build installs them (by default
    // <prefix>/libexec/kelvane and <prefix>/share/kelvane).
    const QString helperFolder = QString::fromUtf8(KELVANE_INSTALLED_HELPER_FOLDER);
    const QString dataFolder = QString::fromUtf8(KELVANE_INSTALLED_DATA_FOLDER);
    if (QDir::isAbsolutePath(helperFolder) || QDir::isAbsolutePath(dataFolder))
        GTEST_SKIP() << "this build installs into absolute folders, not below a prefix";
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString helpers = QDir::cleanPath(bin + QLatin1Char('/') + helperFolder);
    const QString data = QDir::cleanPath(bin + QLatin1Char('/') + dataFolder);
    for (const QString& folder : {bin, helpers, data})
        ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(QFile::copy(BinPath("kelvane"), bin + QStringLiteral("/kelvane")));
    ASSERT_TRUE(
        QFile::copy(BinPath("kelvane-engine"), helpers + QStringLiteral("/kelvane-engine")));
    WriteAll(data + QStringLiteral("/lang.txt"),
             "<//STRING_TABLE-\nE=Line %d, Column %d - %s: %s\nT=Zeile %d, Spalte %d - %s: %s\n");

    const Outcome r = run({"-v", input, "report.txt"}, {}, prefix.filePath("bin/kelvane"));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(ReadAll(at("report.txt")).startsWith("Zeile 1, Spalte 1 - "));
    EXPECT_FALSE(QFileInfo::exists(prefix.filePath("bin/Settings.ini")));
    EXPECT_TRUE(QFileInfo::exists(home.filePath("XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini")));
}

TEST_F(Program, ValidatesAServedPage) {
    PageServer server(kPage);
    ASSERT_TRUE(server.listen());
    const QString address = QStringLiteral("http://127.0.0.1:%1/page.html").arg(server.port());
    const Outcome r = run({"-v", address, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(server.requests(), 1);
    EXPECT_EQ(ReadAll(at("report.txt")), kReport);
}

TEST_F(Program, UnreachableAddressIsReported) {
    QTcpServer probe; // a port that was free a moment ago: nothing listens there now
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const QString address = QStringLiteral("http://127.0.0.1:%1/x.html").arg(probe.serverPort());
    probe.close();

    const Outcome r = run({"-v", address, "report.txt"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_TRUE(r.err.contains("Unable to download the web page")) << r.err.constData();
    EXPECT_TRUE(r.err.contains(address.toUtf8())) << r.err.constData();
    EXPECT_EQ(workFiles(), QStringList{"my page.html"});
}

TEST_F(Program, ASetButDeadDisplayRunsAsWithoutOne) {
    const QList<QPair<QString, QString>> deadDisplays[] = {
        {{"DISPLAY", UnusedXDisplay()}},
        {{"WAYLAND_DISPLAY", "wayland-9"}}, // nothing in XDG_RUNTIME_DIR
    };
    for (const auto& display : deadDisplays) {
        const QString setting = display[0].first + QLatin1Char('=') + display[0].second;
        QFile::remove(at("report.txt"));
        Outcome r = run({"-v", input, "report.txt"}, display);
        EXPECT_EQ(r.exitCode, 0) << setting.toStdString() << r.err.constData();
        EXPECT_EQ(ReadAll(at("report.txt")), kReport);
        EXPECT_TRUE(r.err.isEmpty()) << r.err.constData();

        r = run({"-t", input, "out.html"}, display);
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_TRUE(r.err.contains("No display could be opened (" + setting.toUtf8() + ")."))
            << r.err.constData();
    }
    EXPECT_EQ(workFiles(), (QStringList{"my page.html", "report.txt"}));
}

TEST_F(Program, ValidatesOnALiveXDisplay) {
    XvfbServer server;
    if (server.display().isEmpty())
        GTEST_SKIP() << "Xvfb could not be started";
    const Outcome r = run({"-v", input, "report.txt"}, {{"DISPLAY", server.display()}});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("report.txt")), kReport);
}

TEST_F(Program, ReportsGoWhereTheyAreSentAndNeverOverThePage) {
    Outcome r = run({"-v", input, "/dev/null"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));

    FifoReader reader(at("pipe"));
    r = run({"-v", input, "pipe"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(reader.finish(), kReport);
    ASSERT_EQ(::stat(QFile::encodeName(at("pipe")).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));

    // The page itself, however it is named, is never written over.
    ASSERT_EQ(::link(QFile::encodeName(input).constData(),
                     QFile::encodeName(at("hard.html")).constData()),
              0);
    for (const QString& output : {input, QStringLiteral("./my page.html"), at("hard.html")}) {
        r = run({"-v", input, output});
        EXPECT_EQ(r.exitCode, 255);
        EXPECT_TRUE(r.err.contains("is the input file; nothing was written")) << r.err.constData();
    }
    EXPECT_EQ(ReadAll(input), kPage);

    // Blanks around names are part of them.
    WriteAll(at("existing.txt"), "keep");
    r = run({"-v", input, "existing.txt "});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("existing.txt")), "keep");
    EXPECT_EQ(ReadAll(at("existing.txt ")), kReport);
    WriteAll(at(" lead.html"), kPage);
    r = run({"-v", " lead.html", "lead.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("lead.txt")), kReport);
}

TEST_F(Program, NamesThatAreNotUtf8AreKept) {
    const QByteArray page = QFile::encodeName(work) + "/caf\xe9.html";
    const int fd = ::open(page.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, kPage.constData(), kPage.size()), kPage.size());
    ::close(fd);
    // The shell hands the names over as raw bytes; QProcess would re-encode them.
    const Outcome r = run({"-c",
                           "exec \"$0\" -v \"$(printf 'caf\\351.html')\" "
                           "\"$(printf 'r\\351.txt')\"",
                           kelvane()},
                          {}, QStringLiteral("/bin/sh"));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    const int reportFd = ::open((QFile::encodeName(work) + "/r\xe9.txt").constData(), O_RDONLY);
    ASSERT_GE(reportFd, 0) << "no report under the byte name";
    QByteArray bytes(4096, '\0');
    bytes.resize(::read(reportFd, bytes.data(), bytes.size()));
    ::close(reportFd);
    EXPECT_EQ(bytes, kReport);
}

TEST_F(Program, ABrokenOrStrangeLanguageFileCostsOneLine) {
    const QString lang = appDir->filePath(QStringLiteral("lang.txt"));
    struct Remove {
        QString path;
        ~Remove() { QFile::remove(path); }
    } remove{lang};

    // A translation that cannot be decoded: the job runs and the line is named.
    WriteAll(lang, "<//TFormTidyProperties-x\nE=Tidy Options\nT=Bad \\777\n");
    Outcome r = run({"-v", input, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(ReadAll(at("report.txt")), kReport);
    EXPECT_TRUE(r.err.endsWith(", line 3: Numeric constant too large.\n")) << r.err.constData();
    EXPECT_EQ(r.err.count('\n'), 1);

    // A FIFO would block start-up, /dev/zero would never end: ignored with one line.
    QFile::remove(lang);
    ASSERT_EQ(::mkfifo(QFile::encodeName(lang).constData(), 0600), 0);
    r = run({"-v", input, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.err.contains("is not a regular file")) << r.err.constData();
    QFile::remove(lang);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), lang));
    r = run({"-v", input, "report.txt"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
}

} // namespace
