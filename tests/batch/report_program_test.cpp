// kelvane-batch's reports and exit statuses as scripts and CI services read them.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QThread>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using ReportProgram = BatchProgramTest;

// Whether process `pid` has a handler of its own for `signal`.
bool CatchesSignal(qint64 pid, int signal) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

TEST_F(ReportProgram, ValidateReportsAsTextJsonAndSarif) {
    CopySite("site");
    const BatchOutcome text = Run({"validate", "-r", "-q", "site"});
    EXPECT_EQ(text.exitCode, 1) << text.err.constData(); // broken.html has an error
    QByteArrayList lines = text.out.trimmed().split('\n');
    const QByteArray summary = lines.takeLast();
    EXPECT_EQ(summary, "Kelvane - Validated 15 files out of 15: 14 with messages, 1 with errors");
    const QRegularExpression form("^site/[^:]+:\\d+:\\d+: (note|warning|error): .+$");
    for (const QByteArray& line : lines)
        EXPECT_TRUE(form.match(QString::fromUtf8(line)).hasMatch()) << line.constData();
    EXPECT_TRUE(lines.contains(
        "site/broken.html:12:1: error: <unknowntag> is not recognized! [UNKNOWN_ELEMENT]"));

    const BatchOutcome json = Run({"validate", "-r", "-q", "--format", "json", "site"});
    EXPECT_EQ(json.exitCode, 1);
    QJsonParseError error;
    const QJsonObject report = QJsonDocument::fromJson(json.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.constData();
    EXPECT_EQ(report["command"].toString(), "validate");
    EXPECT_EQ(report["exitStatus"].toInt(), 1);
    EXPECT_EQ(report["summary"].toString().toUtf8(), summary);
    EXPECT_EQ(report["counts"].toObject()["files"].toInt(), 15);
    EXPECT_EQ(report["counts"].toObject()["withErrors"].toInt(), 1);
    qsizetype messages = 0;
    for (const QJsonValue& file : report["files"].toArray()) {
        for (const QJsonValue& message : file.toObject()["messages"].toArray()) {
            ++messages;
            EXPECT_TRUE(message.toObject()["line"].isDouble());
            EXPECT_FALSE(message.toObject()["text"].toString().isEmpty());
        }
    }
    EXPECT_EQ(messages, lines.size());

    // SARIF 2.1.0: the properties its schema requires, and the references between them.
    const BatchOutcome sarif = Run({"validate", "-r", "-q", "--format", "sarif", "site"});
    EXPECT_EQ(sarif.exitCode, 1);
    const QJsonObject log = QJsonDocument::fromJson(sarif.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << sarif.out.constData();
    EXPECT_EQ(log["version"].toString(), "2.1.0");
    ASSERT_EQ(log["runs"].toArray().size(), 1);
    const QJsonObject run = log["runs"].toArray()[0].toObject();
    const QJsonObject driver = run["tool"].toObject()["driver"].toObject();
    EXPECT_EQ(driver["name"].toString(), "Kelvane");
    const QJsonArray rules = driver["rules"].toArray();
    QSet<QString> ids;
    for (const QJsonValue& rule : rules)
        ids.insert(rule.toObject()["id"].toString());
    EXPECT_EQ(ids.size(), rules.size());
    const QJsonArray results = run["results"].toArray();
    EXPECT_EQ(results.size(), lines.size());
    const QSet<QString> levels{"note", "warning", "error"};
    for (const QJsonValue& value : results) {
        const QJsonObject result = value.toObject();
        EXPECT_FALSE(result["message"].toObject()["text"].toString().isEmpty());
        EXPECT_EQ(rules[result["ruleIndex"].toInt()].toObject()["id"], result["ruleId"]);
        EXPECT_TRUE(levels.contains(result["level"].toString()));
        const QJsonObject location =
            result["locations"].toArray()[0].toObject()["physicalLocation"].toObject();
        EXPECT_TRUE(location["artifactLocation"].toObject()["uri"].toString().startsWith("site/"));
        const QJsonObject region = location["region"].toObject();
        EXPECT_GE(region["startLine"].toInt(), 1);
        EXPECT_GE(region["startColumn"].toInt(), 1);
    }
    const QJsonObject invocation = run["invocations"].toArray()[0].toObject();
    EXPECT_TRUE(invocation["executionSuccessful"].toBool());
    EXPECT_EQ(invocation["exitCode"].toInt(), 1);
}

TEST_F(ReportProgram, ExitStatusesSayWhy) {
    CopySite("site");
    WriteAll(At("clean.html"), "<!DOCTYPE html>\n<html>\n<head>\n<title>t</title>\n</head>\n"
                               "<body>\n<p>x</p>\n</body>\n</html>\n");
    WriteAll(At("readonly.html"), "<p>x");
    SetReadOnly(At("readonly.html"), true);
    ASSERT_EQ(::mkfifo(QFile::encodeName(At("pipe.html")).constData(), 0644), 0);
    ASSERT_TRUE(QFile::link(At("loop.html"), At("loop.html")));
    WriteAll(At("encoding.ini"), "[FormTidyProperties]\nCBInputEncoding.ItemIndex=9\n");
    WriteAll(At("typo.ini"), "[FormTidyProperties]\ncbUpercaseTags.Checked=1\n");
    WriteAll(At("word.ini"), "[formtidyproperties]\nCBIndent.Checked=yes\n");
    WriteAll(At("other.ini"), "[FormKelvane]\nRecurse=1\n");
    const QMap<QString, QByteArray> before = Snapshot({});

    const struct {
        QStringList arguments;
        int status;
        const char* says;
    } cases[] = {
        {{"validate", "clean.html"}, 0, "Validated 1 files out of 1: 0 with messages"},
        {{"validate", "site/broken.html"}, 1, "1 with errors"},
        {{"tidy", "--bogus", "x"}, 2, "unknown switch '--bogus'"},
        {{"tidy", "-r", "-m", "*.htm;[a", "site"}, 2, "'[a' is an invalid mask at (3)"},
        {{"tidy", "--options", "encoding.ini", "clean.html"}, 2, "Invalid Input encoding"},
        {{"tidy", "--options", "typo.ini", "clean.html"},
         2,
         "unknown key 'cbUpercaseTags.Checked'"},
        {{"tidy", "--options", "word.ini", "clean.html"}, 2, "CBIndent.Checked wants a number"},
        {{"tidy", "--options", "other.ini", "clean.html"}, 2, "has no [FormTidyProperties]"},
        {{"tidy", "--options", "missing.ini", "clean.html"}, 2, "missing.ini"},
        {{"validate", "--files-from", "missing.txt"}, 2, "Cannot open file"},
        {{"tidy", "readonly.html"}, 3, "File is read-only"},
        {{"tidy", "site"}, 3, "This is a folder. Give -r"},
        {{"validate", "missing.html", "clean.html"}, 3, "missing.html: No such file"},
        {{"tidy", "loop.html"}, 3, "loop.html: The file cannot be opened (Too many levels"},
        {{"tidy", "site/index.html"}, 3, "Give --force"},
        {{"tidy", "pipe.html"}, 3, "This is not a regular file"},
        {{"validate", "pipe.html"}, 3, "Cannot access file"},
        // Nothing to restore is a file restore could not process, as tidy and validate say.
        {{"restore", "clean.html"}, 3, "clean.html: No backup exists"},
        {{"restore", "-r", "site"}, 3, "Restored 0 files out of"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const BatchOutcome r = Run(c.arguments);
        EXPECT_EQ(r.exitCode, c.status) << r.err.constData();
        EXPECT_TRUE((r.out + r.err).contains(c.says)) << r.out.constData() << r.err.constData();
    }
    EXPECT_EQ(Snapshot({}), before); // none of them wrote anything
}

TEST_F(ReportProgram, FollowsTheStoredFileTypesFilterAndOptions) {
    CopySite("site");
    const QString settings = home.filePath("XDG_CONFIG_HOME/Mondavik/Kelvane/Settings.ini");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(settings).path()));
    WriteAll(settings, "[FormKelvaneOptions]\nEditFileFilter.Text=*.htm\n"
                       "[FormTidyProperties]\ncbUppercaseTags.Checked=0\n");
    const BatchOutcome r = Run({"tidy", "-r", "-q", "site"});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out.trimmed().split('\n').last(), "Kelvane - Tidied 2 files out of 2");
    EXPECT_TRUE(ReadAll(At("site/news/index.htm")).contains("<ul>"));
}

TEST_F(ReportProgram, UnreadableFileAndFolderAreReportedAndTheOthersDone) {
    // As root everything can be read: the run goes to an unprivileged user.
    QStringList prefix;
    if (::geteuid() == 0) {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            GTEST_SKIP() << "running as root without setpriv: no user to deny reading";
        prefix = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    }
    ASSERT_EQ(::chmod(QFile::encodeName(home.path()).constData(), 0755), 0);
    CopySite("site");
    QDir().mkpath(At("site/closed"));
    WriteAll(At("site/closed/inside.html"), "<p>x");
    WriteAll(At("site/locked.html"), "<p>x");
    // A page whose backup exists but cannot be read: whether it was tidied from that backup
    // cannot be told, and tidying it again could put tidied text in place of the original.
    QDir().mkpath(At("site/Kelvane Backup"));
    WriteAll(At("site/again.html"), "<p>tidied once");
    WriteAll(At("site/Kelvane Backup/again.html"), "<p>the original");
    const uid_t user = ::geteuid() == 0 ? 65534 : ::geteuid();
    const gid_t group = ::geteuid() == 0 ? 65534 : ::getegid();
    const auto own = [&](const QString& path) {
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), user, group), 0)
            << path.toStdString();
    };
    own(work);
    for (QDirIterator it(work, QDir::AllEntries | QDir::NoDotAndDotDot,
                         QDirIterator::Subdirectories);
         it.hasNext();)
        own(it.next());
    ASSERT_EQ(::chmod(QFile::encodeName(At("site/locked.html")).constData(), 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(At("site/closed")).constData(), 0), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(At("site/Kelvane Backup/again.html")).constData(), 0200),
              0);

    const BatchOutcome r =
        Run({"tidy", "-r", "-q", "--force", "--format", "json", "site"}, {}, {}, prefix);
    ::chmod(QFile::encodeName(At("site/closed")).constData(), 0755);
    EXPECT_EQ(r.exitCode, 3) << r.err.constData();
    // A page its owner made unreadable is read-only (the test comes before it is opened).
    EXPECT_TRUE(r.err.contains("locked.html: File is read-only")) << r.err.constData();
    EXPECT_TRUE(r.err.contains("closed/: The folder cannot be read")) << r.err.constData();
    EXPECT_TRUE(r.out.contains("Kelvane - Tidied 15 files out of 18")) << r.out.constData();
    EXPECT_TRUE(r.err.contains("again.html: Its backup cannot be read")) << r.err.constData();
    EXPECT_EQ(ReadAll(At("site/Kelvane Backup/again.html")), "<p>the original");
    EXPECT_EQ(ReadAll(At("site/again.html")), "<p>tidied once");
    QMap<QString, QString> statuses;
    for (const QJsonValue& file : QJsonDocument::fromJson(r.out).object()["files"].toArray())
        statuses.insert(file["path"].toString(), file["status"].toString());
    EXPECT_EQ(statuses.value("site/locked.html"), "read-only");
    EXPECT_EQ(statuses.value("site/closed/"), "unreadable-folder");
    EXPECT_TRUE(QFileInfo::exists(At("site/Kelvane Backup/about.html")));
}

TEST_F(ReportProgram, NamesThatWouldReadAlikeAreReportedApartInEveryReport) {
    // A name with the byte 0xFF, and one with the four characters of its escape.
    ASSERT_TRUE(QDir().mkpath(At("odd")));
    const QByteArray folder = QFile::encodeName(At("odd/"));
    for (const QByteArray& name : {QByteArray("caf\xff.html"), QByteArray("caf\\xff.html")}) {
        const int fd = ::open((folder + name).constData(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "<p>x", 4), 4);
        ::close(fd);
    }
    const QString byte = "odd/caf\\xff.html";    // as shown: odd/caf\xff.html
    const QString chars = "odd/caf\\\\xff.html"; // as shown: odd/caf\\xff.html

    const BatchOutcome text = Run({"validate", "-r", "-q", "odd"});
    EXPECT_TRUE(text.out.contains((byte + ":1:1: ").toUtf8())) << text.out.constData();
    EXPECT_TRUE(text.out.contains((chars + ":1:1: ").toUtf8())) << text.out.constData();

    const BatchOutcome json = Run({"validate", "-r", "-q", "--format", "json", "odd"});
    QJsonParseError error{};
    const QJsonObject report = QJsonDocument::fromJson(json.out, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << json.out.constData();
    QMap<QString, bool> paths; // shown path: has pathBytes
    for (const QJsonValue& file : report["files"].toArray())
        paths.insert(file["path"].toString(), file.toObject().contains("pathBytes"));
    EXPECT_EQ(paths, (QMap<QString, bool>{{byte, true}, {chars, false}}));

    const BatchOutcome sarif = Run({"validate", "-r", "-q", "--format", "sarif", "odd"});
    QJsonDocument::fromJson(sarif.out, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << sarif.out.constData();

    // Problems on standard error, and in the JSON report's lines.
    const BatchOutcome restore = Run({"restore", "-r", "-q", "--format", "json", "odd"});
    EXPECT_TRUE(restore.err.contains((byte + ": No backup exists").toUtf8()))
        << restore.err.constData();
    EXPECT_TRUE(restore.err.contains((chars + ": No backup exists").toUtf8()))
        << restore.err.constData();
    QStringList problems;
    for (const QJsonValue& file : QJsonDocument::fromJson(restore.out).object()["files"].toArray())
        problems << file["problems"].toArray().at(0).toString();
    problems.sort();
    EXPECT_EQ(problems.size(), 2);
    EXPECT_NE(problems.value(0), problems.value(1)) << restore.out.constData();
}

TEST_F(ReportProgram, AnInterruptEndsEveryWaitForTheList) {
    CopySite(QStringLiteral("site"));
    const QByteArray fifo = QFile::encodeName(At("list.fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Nobody ever opens the FIFO to write; then a writer sends one path and stays.
    for (const bool writer : {false, true}) {
        SCOPED_TRACE(writer ? "waiting for the next path" : "waiting for a writer");
        int held = -1;
        if (writer) {
            held = ::open(fifo.constData(), O_RDWR); // a writer that never closes
            ASSERT_GE(held, 0);
            ASSERT_EQ(::write(held, "site/about.html\n", 16), 16);
        }
        QProcess process;
        Start(process, {"validate", "--files-from", "list.fifo"});
        // Signalled once it waits: it reported the first path, or it has taken over SIGTERM
        // and then went on to open the list.
        const auto waiting = [&](const QByteArray& out) {
            return writer ? out.contains("site/about.html:")
                          : CatchesSignal(process.processId(), SIGTERM);
        };
        QByteArray out;
        for (int wait = 0; wait < 100 && !waiting(out); ++wait) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        ASSERT_TRUE(waiting(out)) << out.constData();
        QThread::msleep(200);
        ::kill(pid_t(process.processId()), SIGTERM);
        const bool ended = process.waitForFinished(20000);
        if (!ended)
            process.kill();
        process.waitForFinished();
        if (held >= 0)
            ::close(held);
        ASSERT_TRUE(ended) << "the program went on waiting";
        out += process.readAllStandardOutput();
        EXPECT_EQ(process.exitStatus(), QProcess::CrashExit);
        EXPECT_EQ(process.exitCode(), SIGTERM) << "the shell sees 128+15";
        EXPECT_EQ(out.contains("site/about.html:"), writer) << out.constData();
        EXPECT_TRUE(process.readAllStandardError().contains("stopped by SIGTERM"));
    }
}

TEST_F(ReportProgram, AFileIsReportedWhileTheListStillWaitsForTheNext) {
    CopySite(QStringLiteral("site"));
    QProcess process;
    Start(process, {"validate", "-q", "--files-from", "-"});
    process.write("site/about.html\n");
    // The next path comes only once the first file's lines have reached the reader.
    QByteArray out;
    for (int wait = 0; wait < 300 && !out.contains("site/about.html:"); ++wait) {
        process.waitForReadyRead(100);
        out += process.readAllStandardOutput();
    }
    EXPECT_TRUE(out.contains("site/about.html:")) << "nothing reported before the list went on";
    process.write("site/menu.htm\n");
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(60000));
    out += process.readAllStandardOutput();
    EXPECT_TRUE(out.contains("site/menu.htm:")) << out.constData();
    EXPECT_TRUE(out.contains("Validated 2 files out of 2")) << out.constData();
}

} // namespace
