// RunTidy: message lines, the answer, what reaches the library, and the tidied text against
// the `tidy` command-line program as an oracle.

#include "common/TestSupport.h"
#include "engine/TidyEngine.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionMapping.h"
#include "engine/TidyRunner.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <cstdio>
#include <gtest/gtest.h>
#include <tidy/tidy.h>
#include <unistd.h>

namespace {

const QString CRLF = QStringLiteral("\r\n");

// Every test starts from the default option set and leaves it so.
class TidyEngineTest : public ::testing::Test {
protected:
    void SetUp() override { CurrentOptionSet() = TidyOptionSet{}; }
    void TearDown() override { CurrentOptionSet() = TidyOptionSet{}; }
};

class FakeRunner : public TidyRunner {
public:
    TidyResult answer;
    QList<TidyRequest> requests;
    TidyResult run(const TidyRequest& request) override {
        requests << request;
        return answer;
    }
};

// Sends fd 2 to a file while alive; text() gives what was written.
class StderrCapture {
public:
    StderrCapture() {
        EXPECT_TRUE(m_file.open());
        std::fflush(stderr);
        m_saved = ::dup(2);
        ::dup2(m_file.handle(), 2);
    }
    ~StderrCapture() { restore(); }
    QByteArray text() {
        restore();
        return ReadAll(m_file.fileName());
    }

private:
    void restore() {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

// The command-line flags for the same steps the library receives, by configuration name.
QStringList CliFlags(const ResolvedTidyOptions& steps) {
    TidyDoc names = tidyCreate();
    QStringList flags;
    for (const TidyOptionStep& step : steps) {
        const TidyOption option = tidyGetOption(names, step.option);
        QString value;
        if (step.kind == TidyOptionStep::Kind::Text) {
            value = QString::fromUtf8(step.text);
        } else if (tidyOptGetType(option) == TidyBoolean) {
            value = step.number ? QStringLiteral("yes") : QStringLiteral("no");
        } else if (TidyIterator it = tidyOptGetPickList(option)) {
            for (int i = 0; it; ++i) {
                const char* pick = tidyOptGetNextPick(option, &it);
                if (i == step.number)
                    value = QString::fromLatin1(pick);
            }
        } else {
            value = QString::number(step.number);
        }
        flags << QStringLiteral("--") + QString::fromLatin1(tidyOptGetName(option)) << value;
    }
    tidyRelease(names);
    return flags;
}

QString TidyProgram() {
    return QStandardPaths::findExecutable(QStringLiteral("tidy"));
}

// What `tidy` writes for `document`.
QByteArray TidyCliOutput(const QByteArray& document, const TidyOptionSet& set) {
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("input.html"));
    WriteAll(input, document);
    QProcess tidy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("HTML_TIDY"));
    env.insert(QStringLiteral("HOME"), dir.path()); // no ~/.tidyrc
    tidy.setProcessEnvironment(env);
    // Debian's tidy loads /etc/tidy.conf, and loading any configuration file sets indent-spaces
    // to 0 in 5.6, where a fresh library document has 2.
    const QStringList quiet = {QStringLiteral("-q"), QStringLiteral("--show-warnings"),
                               QStringLiteral("no"), QStringLiteral("--indent-spaces"),
                               QStringLiteral("2")};
    tidy.start(TidyProgram(), quiet + CliFlags(ResolveOptions(set)) << input);
    EXPECT_TRUE(tidy.waitForFinished(30000));
    EXPECT_LE(tidy.exitCode(), 2) << tidy.readAllStandardError().toStdString();
    return tidy.readAllStandardOutput();
}

QByteArray Tidied(QByteArray document) {
    QString messages;
    EXPECT_TRUE(RunTidy(document, messages)) << messages.toStdString();
    return document;
}

} // namespace

TEST(TidyMessageLines, EachLevelHasItsWordAndOthersAnEmptyOne) {
    EXPECT_EQ(FormatTidyMessage(TidyWarning, 3, 5, QStringLiteral("missing </p>")),
              QStringLiteral("Line 3, Column 5 - Warninig: missing </p>"));
    const std::pair<int, const char*> words[] = {
        {TidyInfo, "Info"},        {TidyWarning, "Warninig"}, {TidyConfig, "Config"},
        {TidyAccess, "Access"},    {TidyError, "Error"},      {TidyBadDocument, "Bad Document"},
        {TidyFatal, "Fatal Error"}};
    for (const auto& [level, word] : words) {
        EXPECT_EQ(FormatTidyMessage(level, 10, 200, QStringLiteral("t")),
                  QStringLiteral("Line 10, Column 200 - %1: t").arg(QLatin1String(word)));
    }
    // The old generation's numbers and the dialogue levels are outside the table.
    for (int level : {0, 1, 6, int(TidyInfo) - 1, int(TidyDialogueSummary), int(TidyDialogueInfo),
                      int(TidyDialogueFootnote)}) {
        EXPECT_EQ(FormatTidyMessage(level, 1, 2, QStringLiteral("text")),
                  QStringLiteral("Line 1, Column 2 - : text"))
            << level;
    }
    // Percent signs in the library's text are not placeholders.
    EXPECT_EQ(FormatTidyMessage(TidyError, 0, 0, QStringLiteral("100%d %s")),
              QStringLiteral("Line 0, Column 0 - Error: 100%d %s"));
}

TEST_F(TidyEngineTest, ReportsBecomeCrLfLinesInLibraryOrder) {
    FakeRunner runner;
    runner.answer = {TidyRunStatus::Completed,
                     "tidied",
                     {{TidyWarning, 1, 1, "missing <!DOCTYPE> declaration"},
                      {TidyDialogueSummary, 0, 0, "summary"},
                      {TidyError, 4, 7, "<caf\xc3\xa9> is not recognized!"}}};
    ScopedTidyRunner scope(runner);
    QByteArray document("<p>x");
    QString messages = QStringLiteral("stale");
    ASSERT_TRUE(RunTidy(document, messages));
    EXPECT_EQ(document, "tidied");
    EXPECT_EQ(messages, QStringLiteral("Line 1, Column 1 - Warninig: missing <!DOCTYPE> "
                                       "declaration\r\nLine 0, Column 0 - : summary\r\n"
                                       "Line 4, Column 7 - Error: <café> is not recognized!\r\n"));

    runner.answer = {TidyRunStatus::Completed, "", {}};
    ASSERT_TRUE(RunTidy(document, messages));
    EXPECT_TRUE(messages.isEmpty()); // not a lone CR LF
}

TEST_F(TidyEngineTest, HostileReportTextAndHugeTranslationsAreHarmless) {
    // Escape sequences from a page's attribute names could drive the terminal of whoever
    // prints the report: controls other than tab are shown escaped.
    FakeRunner runner;
    const QByteArray hostile = "<a\x1b[2J\x07\tb\x7f> c\xc2\x9b\xc3\xa9\r\n";
    runner.answer = {TidyRunStatus::Completed, "", {{TidyWarning, 1, 2, hostile}}};
    ScopedTidyRunner scope(runner);
    QByteArray document("<p>x");
    QString messages;
    ASSERT_TRUE(RunTidy(document, messages));
    const QString shown =
        QStringLiteral("Line 1, Column 2 - Warninig: <a\\x1b[2J\\x07\tb\\x7f> c\\u009b") +
        QChar(0xE9) + QStringLiteral("\\x0d\\x0a");
    EXPECT_EQ(messages, shown + CRLF);
    EXPECT_EQ(FormatTidyMessage(TidyWarning, 1, 2, QString::fromUtf8(hostile)), shown);

    // A 10 MB translation of one level word costs its length once per line that shows it.
    QTemporaryDir dir;
    LoadLanguageText(dir.path(),
                     "<//STRING_TABLE-\nE=Fatal Error\nT=" + QByteArray(10 << 20, 'F') + "\n");
    runner.answer.reports = QList<TidyReport>(100000, {TidyWarning, 1, 1, "w"});
    runner.answer.reports.append({TidyFatal, 1, 1, "f"});
    ASSERT_TRUE(RunTidy(document, messages));
    ClearTranslations();
    EXPECT_EQ(messages.size(), 100000 * qsizetype(sizeof "Line 1, Column 1 - Warninig: w\r\n" - 1) +
                                   qsizetype(sizeof "Line 1, Column 1 - : f\r\n" - 1) + (10 << 20));
}

TEST_F(TidyEngineTest, FailedRunAnswersNoKeepsTheDocumentAndReportsWhatWasCollected) {
    FakeRunner runner;
    runner.answer = {TidyRunStatus::Failed, "partial", {{TidyFatal, 2, 1, "out of memory"}}};
    ScopedTidyRunner scope(runner);
    QByteArray document("<html><p>original");
    QString messages;
    EXPECT_FALSE(RunTidy(document, messages));
    EXPECT_EQ(document, "<html><p>original");
    EXPECT_EQ(messages, QStringLiteral("Line 2, Column 1 - Fatal Error: out of memory") + CRLF);
}

TEST_F(TidyEngineTest, OptionErrorsStopTheRunBeforeTheLibraryWithBothTextsUnchanged) {
    FakeRunner runner;
    ScopedTidyRunner scope(runner);
    const QByteArray original("<p>keep me");
    const QString earlier = QStringLiteral("Line 9, Column 9 - Info: earlier\r\n");

    const auto expectRefused = [&](const QString& error) {
        QByteArray document = original;
        QString messages = earlier;
        try {
            RunTidy(document, messages);
            ADD_FAILURE() << "no error for " << error.toStdString();
        } catch (const KelvaneError& e) {
            EXPECT_EQ(e.message(), error);
        }
        EXPECT_EQ(document, original);
        EXPECT_EQ(messages, earlier);
        EXPECT_TRUE(runner.requests.isEmpty());
    };
    CurrentOptionSet().CBOutputEncoding.itemIndex = -1;
    expectRefused(QStringLiteral("Invalid Output encoding"));
    CurrentOptionSet().CBInputEncoding.itemIndex = -1;
    expectRefused(QStringLiteral("Invalid Input encoding"));
    CurrentOptionSet() = {};
    CurrentOptionSet().cbEnableTextWrapping = true;
    CurrentOptionSet().EditWrapWidth.clear();
    QString notAnInteger;
    try {
        RaiseNotAnInteger(QString());
    } catch (const KelvaneError& e) {
        notAnInteger = e.message();
    }
    expectRefused(notAnInteger);
}

TEST_F(TidyEngineTest, EveryByteOfTheDocumentReachesTheRunner) {
    FakeRunner runner;
    runner.answer.status = TidyRunStatus::Completed;
    const QByteArray document("<p>before</p>\0<p>after</p>", 26);
    {
        ScopedTidyRunner scope(runner);
        QByteArray tidied = document;
        QString messages;
        RunTidy(tidied, messages);
    }
    ASSERT_EQ(runner.requests.size(), 1);
    EXPECT_EQ(runner.requests[0].document, document);
    EXPECT_EQ(runner.requests[0].options, ResolveOptions(TidyOptionSet{}));
    EXPECT_EQ(runner.requests[0].mode, TidyRequest::Mode::Tidy);

    // Validating a file: the same bytes, and only the reports are asked for.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.html"));
    WriteAll(path, document);
    {
        ScopedTidyRunner scope(runner);
        QString messages;
        EXPECT_TRUE(RunTidyOnFile(path, messages));
    }
    ASSERT_EQ(runner.requests.size(), 2);
    EXPECT_EQ(runner.requests[1].document, document);
    EXPECT_EQ(runner.requests[1].mode, TidyRequest::Mode::ReportsOnly);
}

TEST_F(TidyEngineTest, RealRunGivesTheLibraryMessagesAsLines) {
    QByteArray document("<title>t</title>\n<p>one\n<zork>two</zork>");
    QString messages;
    ASSERT_TRUE(RunTidy(document, messages));
    const QStringList lines = messages.split(CRLF);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.first(),
              QStringLiteral("Line 1, Column 1 - Warninig: missing <!DOCTYPE> declaration"));
    EXPECT_TRUE(lines.last().isEmpty()); // every line, the last too, ends with CR LF
    EXPECT_TRUE(messages.contains(QStringLiteral("Line 3, Column 1 - Error: <zork> is not "
                                                 "recognized!")))
        << messages.toStdString();
    EXPECT_TRUE(document.startsWith("<!DOCTYPE"));
    EXPECT_TRUE(document.contains("<P>")); // upper-case tags by default
}

TEST_F(TidyEngineTest, EmptyDocumentAnswersYesWithWhatTheLibraryWrites) {
    QByteArray document;
    QString messages;
    EXPECT_TRUE(RunTidy(document, messages));
    if (!TidyProgram().isEmpty()) {
        EXPECT_EQ(document, TidyCliOutput({}, TidyOptionSet{}));
    }
}

TEST_F(TidyEngineTest, EachRunUsesTheOptionSetCurrentAtItsStart) {
    const QByteArray page("<title>t</title><p>Some <b>bold</b> text that is long enough to wrap");
    const QByteArray first = Tidied(page);
    CurrentOptionSet().cbUppercaseTags = false;
    CurrentOptionSet().cbEnableTextWrapping = true;
    CurrentOptionSet().EditWrapWidth = QStringLiteral("20");
    const QByteArray second = Tidied(page);
    CurrentOptionSet() = {};
    const QByteArray third = Tidied(page);

    EXPECT_TRUE(first.contains("<B>bold</B>"));
    EXPECT_TRUE(second.contains("<b>bold</b>"));
    EXPECT_GT(second.count('\n'), first.count('\n')); // wrapped at 20 columns
    EXPECT_EQ(third, first);
}

TEST_F(TidyEngineTest, NothingIsWrittenToStandardError) {
    StderrCapture capture;
    QByteArray document("<title>t</title><p><font color=red>unclosed<table><tr><td>x</blink>");
    QString messages;
    EXPECT_TRUE(RunTidy(document, messages));
    EXPECT_FALSE(messages.isEmpty());
    // A value the library refuses is collected as a Config report, not printed.
    const TidyResult refused =
        RunTidyLibrary({{TidyOptionStep::Text(TidyOutCharEncoding, "no-such-encoding")}, "<p>x"});
    EXPECT_EQ(refused.status, TidyRunStatus::Failed);
    EXPECT_EQ(capture.text(), QByteArray());
    ASSERT_EQ(refused.reports.size(), 1);
    EXPECT_EQ(refused.reports[0].level, TidyConfig);
}

TEST_F(TidyEngineTest, LibraryRunFailsWhenAnOptionIsRefused) {
    ResolvedTidyOptions steps = ResolveOptions(TidyOptionSet{});
    steps.insert(3, TidyOptionStep::Number(TidyTabSize, -4));
    const TidyResult result = RunTidyLibrary({steps, "<title>t</title><p>text"});
    EXPECT_EQ(result.status, TidyRunStatus::Failed);
    EXPECT_TRUE(result.output.isEmpty());

    const TidyResult fine = RunTidyLibrary({ResolveOptions(TidyOptionSet{}), "<p>text"});
    EXPECT_EQ(fine.status, TidyRunStatus::Completed);
    EXPECT_FALSE(fine.output.isEmpty());
}

TEST_F(TidyEngineTest, TidiedTextEqualsTheCommandLineProgram) {
    if (TidyProgram().isEmpty())
        GTEST_SKIP() << "the tidy program is not installed";

    TidyOptionSet wrapped;
    wrapped.cbEnableTextWrapping = true;
    wrapped.EditWrapWidth = QStringLiteral("40");
    wrapped.cbWrapLiterals = wrapped.cbWrapAttributes = true;
    wrapped.CBIndent = wrapped.CBBreakBeforeBR = wrapped.CBFixURI = true;
    wrapped.CBFixBadComments = true;
    wrapped.cbUppercaseTags = wrapped.cbUppercaseAttributes = false;
    wrapped.CBAltText = true;
    wrapped.EditAltText = QStringLiteral("picture");
    wrapped.CBTabSize = {3, QStringLiteral("4")};
    wrapped.CBInputEncoding = {1, QStringLiteral("latin1")};
    wrapped.CBOutputEncoding = {3, QStringLiteral("utf8")};

    TidyOptionSet plain;
    plain.CBWord2000 = plain.CBClean = plain.CBBare = plain.CBDropEmptyParas = false;
    plain.cbTidyMark = true;
    plain.CBOutputEncoding = {0, QStringLiteral("ascii")};

    QStringList pages = {TestDataPath(QStringLiteral("engine/word-export.html")),
                         TestDataPath(QStringLiteral("engine/unclosed.html"))};
    for (const char* name : {"site/index.html", "site/menu.htm", "site/latin1.html",
                             "site/utf8.html", "site/nul-byte.html", "site/broken.html"}) {
        const QString path = ExamplesPath(QString::fromLatin1(name));
        if (QFile::exists(path))
            pages << path;
    }
    for (const QString& page : pages) {
        const QByteArray input = ReadAll(page);
        for (const TidyOptionSet& set : {TidyOptionSet{}, wrapped, plain}) {
            CurrentOptionSet() = set;
            EXPECT_EQ(Tidied(input), TidyCliOutput(input, set))
                << page.toStdString() << " wrap " << set.cbEnableTextWrapping;
        }
    }
}
