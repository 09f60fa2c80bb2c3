// kelvane-batch's messages as CI acts on them: a rule (HTML Tidy's message key) on every
// message, muted keys, project options found in the repository, HTML Tidy's own configuration
// files, and baselines of the messages a site already had.

#include "BatchProgramFixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class RulesProgram : public BatchProgramTest {
protected:
    void SetUp() override {
        BatchProgramTest::SetUp();
        // The work folder is a repository: no options file above it is looked at.
        ASSERT_TRUE(QDir().mkpath(At(".git")));
    }

    static QJsonObject Json(const BatchOutcome& outcome) {
        QJsonParseError error;
        const QJsonObject object = QJsonDocument::fromJson(outcome.out, &error).object();
        EXPECT_EQ(error.error, QJsonParseError::NoError) << outcome.out.left(400).constData();
        return object;
    }

    // The message lines of a text report (the summary line left out).
    static QByteArrayList Lines(const BatchOutcome& outcome) {
        QByteArrayList lines = outcome.out.trimmed().split('\n');
        if (!lines.isEmpty())
            lines.removeLast();
        lines.removeAll(QByteArray());
        return lines;
    }
};

TEST_F(RulesProgram, EveryReportNamesTheRuleAndMutedKeysAreHiddenButStillCount) {
    CopySite("site");
    const BatchOutcome text = Run({"validate", "-q", "site/broken.html", "site/about.html"});
    EXPECT_EQ(text.exitCode, 1);
    const QRegularExpression form("^site/[^:]+:\\d+:\\d+: (note|warning|error): .+ \\[[A-Z_]+\\]$");
    const QByteArrayList lines = Lines(text);
    ASSERT_GE(lines.size(), 20);
    for (const QByteArray& line : lines)
        EXPECT_TRUE(form.match(QString::fromUtf8(line)).hasMatch()) << line.constData();
    EXPECT_TRUE(lines.contains("site/about.html:5:28: warning: <blink> is not approved by W3C "
                               "[PROPRIETARY_ELEMENT]"));

    // JSON: the same rules, message by message.
    const QJsonObject report =
        Json(Run({"validate", "-q", "--format", "json", "site/broken.html", "site/about.html"}));
    QByteArrayList rules;
    for (const QJsonValue& file : report["files"].toArray())
        for (const QJsonValue& message : file.toObject()["messages"].toArray())
            rules << message.toObject()["rule"].toString().toLatin1();
    QByteArrayList fromText;
    for (const QByteArray& line : lines)
        fromText << line.mid(line.lastIndexOf('[') + 1).chopped(1);
    EXPECT_EQ(rules, fromText);

    // SARIF: one rule per key met, each result under its key's rule.
    const QJsonObject sarif =
        Json(Run({"validate", "-q", "--format", "sarif", "site/broken.html", "site/about.html"}));
    ASSERT_EQ(sarif["runs"].toArray().size(), 1);
    const QJsonObject run = sarif["runs"].toArray()[0].toObject();
    const QJsonArray sarifRules = run["tool"].toObject()["driver"].toObject()["rules"].toArray();
    QSet<QString> ruleIds;
    for (const QJsonValue& rule : sarifRules) {
        ruleIds << rule.toObject()["id"].toString();
        EXPECT_FALSE(rule.toObject()["shortDescription"].toObject()["text"].toString().isEmpty());
    }
    QSet<QString> keys;
    for (const QByteArray& key : fromText)
        keys << QString::fromLatin1(key);
    EXPECT_EQ(ruleIds, keys);
    EXPECT_EQ(sarifRules.size(), ruleIds.size());
    const QJsonArray results = run["results"].toArray();
    ASSERT_EQ(results.size(), lines.size());
    for (const QJsonValue& value : results) {
        const QJsonObject result = value.toObject();
        EXPECT_EQ(sarifRules[result["ruleIndex"].toInt()].toObject()["id"], result["ruleId"]);
        EXPECT_FALSE(result.contains("baselineState")); // only with --baseline
    }

    // Muted: reported nowhere, but an Error-level one still counts, as in HTML Tidy.
    const BatchOutcome muted =
        Run({"validate", "-q", "--mute", "UNKNOWN_ELEMENT", "--mute=MISSING_DOCTYPE,INSERTING_TAG",
             "site/broken.html", "site/about.html"});
    EXPECT_EQ(muted.exitCode, 1);
    EXPECT_FALSE(muted.out.contains("UNKNOWN_ELEMENT"));
    EXPECT_FALSE(muted.out.contains("[MISSING_DOCTYPE]"));
    EXPECT_FALSE(muted.out.contains("[INSERTING_TAG]"));
    EXPECT_TRUE(muted.out.contains("8 muted messages were not reported; they still count"))
        << muted.out.constData();
    EXPECT_EQ(Lines(muted).size(), lines.size() - 8);
    const QJsonObject mutedJson = Json(Run(
        {"validate", "-q", "--format", "json", "--mute", "MISSING_DOCTYPE", "site/about.html"}));
    EXPECT_EQ(mutedJson["counts"].toObject()["muted"].toInt(), 1);
    EXPECT_EQ(mutedJson["exitStatus"].toInt(), 0);

    const BatchOutcome unknown = Run({"validate", "--mute", "MISSING_DOCTYP", "site/about.html"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(
        unknown.err.contains("--mute: \"MISSING_DOCTYP\" is not a message key of HTML Tidy"))
        << unknown.err.constData();
}

TEST_F(RulesProgram, TheProjectOptionsFileIsTheNearestUpToTheRepositoryRoot) {
    CopySite("site");
    // Above the repository's root: never read (it would be refused if it were).
    WriteAll(home.filePath(".kelvane.ini"), "[FormTidyProperties]\nbogus.Checked=1\n");
    const BatchOutcome plain = Run({"validate", "-q", "-r", "site"});
    EXPECT_EQ(plain.exitCode, 1) << plain.err.constData();
    EXPECT_TRUE(plain.out.contains("[MISSING_DOCTYPE]"));
    EXPECT_TRUE(plain.out.contains("site/orders.asp:"));

    WriteAll(At(".kelvane.ini"), "[FormTidyProperties]\nEditMute.Text=MISSING_DOCTYPE\n"
                                 "cbUppercaseTags.Checked=0\n"
                                 "[FormKelvaneOptions]\nEditFileFilter.Text=*.html\n");
    const BatchOutcome project = Run({"validate", "-q", "-r", "site/news", "site/about.html"});
    EXPECT_EQ(project.exitCode, 0) << project.err.constData();
    EXPECT_FALSE(project.out.contains("[MISSING_DOCTYPE]"));
    EXPECT_FALSE(project.out.contains("index.htm:")); // the project's masks: *.html only
    EXPECT_TRUE(project.out.contains("site/news/2004-spring.html:"));

    const BatchOutcome printed = Run({"--print-options", "site/news"});
    EXPECT_EQ(printed.exitCode, 0);
    EXPECT_TRUE(printed.out.startsWith("# options: " + QFile::encodeName(At(".kelvane.ini")) +
                                       " (the project options file)\n"))
        << printed.out.constData();
    EXPECT_TRUE(printed.out.contains("\ncbUppercaseTags.Checked=0\n"));
    EXPECT_TRUE(printed.out.contains("\nEditMute.Text=MISSING_DOCTYPE\n"));
    EXPECT_TRUE(printed.out.contains("\nEditFileFilter.Text=*.html\n"));

    // --options wins; -m wins over every file's masks.
    WriteAll(At("other.ini"), "[FormTidyProperties]\nCBIndent.Checked=1\n");
    const BatchOutcome other =
        Run({"validate", "--print-options", "--options", "other.ini", "-m", "*.asp", "site"});
    EXPECT_TRUE(other.out.startsWith("# options: other.ini (the --options file)\n"));
    EXPECT_TRUE(other.out.contains("\nCBIndent.Checked=1\n"));
    EXPECT_TRUE(other.out.contains("\nEditMute.Text=\n"));
    EXPECT_TRUE(other.out.contains("\nEditFileFilter.Text=*.asp\n"));

    // A project file is checked as strictly as --options.
    WriteAll(At(".kelvane.ini"), "[FormTidyProperties]\nEditMute.Text=NOT_A_KEY\n");
    const BatchOutcome bad = Run({"validate", "-q", "site/about.html"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(".kelvane.ini: the tidy options cannot be used"))
        << bad.err.constData();
}

TEST_F(RulesProgram, PathsOfTwoProjectsAreRefusedAndAProjectInsideAFolderIsLeftAlone) {
    CopySite("a");
    CopySite("b");
    WriteAll(At("a/.kelvane.ini"), "[FormTidyProperties]\ncbUppercaseTags.Checked=0\n");
    const QMap<QString, QByteArray> before = Snapshot({});
    const BatchOutcome mixed = Run({"tidy", "--force", "a/about.html", "b/about.html"});
    EXPECT_EQ(mixed.exitCode, 2);
    EXPECT_TRUE(mixed.err.contains("the paths lie in different projects: a/about.html takes "))
        << mixed.err.constData();
    EXPECT_TRUE(mixed.err.contains("b/about.html takes no project options file"));
    EXPECT_EQ(Snapshot({}), before); // nothing tidied, no backup made

    // b's own sub-project: its pages are not tidied with b's options.
    WriteAll(At("b/news/.kelvane.ini"), "[FormTidyProperties]\nCBIndent.Checked=1\n");
    const BatchOutcome nested = Run({"tidy", "-q", "--force", "-r", "b"});
    EXPECT_EQ(nested.exitCode, 3) << nested.err.constData();
    EXPECT_TRUE(nested.err.contains("b/news/index.htm: not processed: it lies in the project of "));
    EXPECT_EQ(ReadAll(At("b/news/index.htm")), before.value("b/news/index.htm"));
    EXPECT_FALSE(QFileInfo::exists(At("b/news/Kelvane Backup")));
    EXPECT_NE(ReadAll(At("b/about.html")), before.value("b/about.html"));
}

TEST_F(RulesProgram, AProjectFileThatAnotherUserPlantedIsNotUsed) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give the file to another user";
    CopySite("site");
    // A shared folder of root's where another user can put files.
    ASSERT_EQ(::chmod(QFile::encodeName(At("site")).constData(), 01777), 0);
    WriteAll(At("site/.kelvane.ini"), "[FormTidyProperties]\nEditMute.Text=UNKNOWN_ELEMENT\n");
    ASSERT_EQ(::chown(QFile::encodeName(At("site/.kelvane.ini")).constData(), 65534, 65534), 0);
    const BatchOutcome outcome = Run({"validate", "-q", "site/broken.html"});
    EXPECT_EQ(outcome.exitCode, 2);
    EXPECT_TRUE(outcome.err.contains("not used: it belongs to user 65534"))
        << outcome.err.constData();
    EXPECT_FALSE(outcome.out.contains("UNKNOWN_ELEMENT"));
}

TEST_F(RulesProgram, HtmlTidysOwnConfigurationTidiesAsTheTidyProgramDoes) {
    const QString tidy = QStandardPaths::findExecutable("tidy");
    if (tidy.isEmpty())
        GTEST_SKIP() << "the tidy program is not installed (scripts/install-deps installs it)";
    CopySite("site");
    WriteAll(At("site.tidyrc"), "// the site's configuration\nindent: yes\nwrap: 60\n"
                                "uppercase-tags: yes\nclean: yes\nforce-output: yes\n"
                                "tidy-mark: no\nmute: MISSING_DOCTYPE\n");
    for (const char* page : {"about.html", "broken.html", "news/2004-spring.html"}) {
        SCOPED_TRACE(page);
        const QString path = QStringLiteral("site/") + QLatin1String(page);
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path()); // no ~/.tidyrc
        env.remove("HTML_TIDY");
        program.setProcessEnvironment(env);
        program.setWorkingDirectory(work);
        // Debian's tidy reads /etc/tidy.conf first, whose indent: no sets indent-spaces to 0 for
        // good; the configuration itself means the library's 2.
        program.start(tidy, {"-config", "site.tidyrc", "--indent-spaces", "2", "-q", path});
        ASSERT_TRUE(program.waitForFinished(30000));
        const QByteArray expected = program.readAllStandardOutput();
        ASSERT_FALSE(expected.isEmpty());

        const BatchOutcome tidied =
            Run({"tidy", "-q", "--force", "--tidy-config", "site.tidyrc", path});
        EXPECT_LE(tidied.exitCode, 1) << tidied.err.constData();
        EXPECT_EQ(ReadAll(At(path)), expected);
        EXPECT_FALSE(tidied.out.contains("[MISSING_DOCTYPE]"));
    }

    WriteAll(At("strict.tidyrc"), "indent: yes\ndoctype: strict\n");
    const QByteArray before = ReadAll(At("site/jobs.html"));
    const BatchOutcome refused = Run({"tidy", "--tidy-config", "strict.tidyrc", "site/jobs.html"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.contains("strict.tidyrc: line 2: HTML Tidy's option \"doctype\" is not "
                                     "one Kelvane sets"))
        << refused.err.constData();
    EXPECT_EQ(ReadAll(At("site/jobs.html")), before);
    const BatchOutcome both =
        Run({"tidy", "--tidy-config", "strict.tidyrc", "--options", "x.ini", "site/jobs.html"});
    EXPECT_EQ(both.exitCode, 2);
}

TEST_F(RulesProgram, ABaselineLetsOnlyNewMessagesCountWhereverTheyMoved) {
    CopySite("site");
    const BatchOutcome written =
        Run({"validate", "-q", "-r", "--write-baseline", "baseline.json", "site"});
    EXPECT_EQ(written.exitCode, 1);
    const QJsonObject baseline = QJsonDocument::fromJson(ReadAll(At("baseline.json"))).object();
    EXPECT_EQ(baseline["tool"].toString(), "kelvane-batch");
    EXPECT_EQ(QDir(work).entryList({".baseline.json*"}, QDir::Hidden | QDir::Files), QStringList());
    EXPECT_EQ(QFileInfo(At("baseline.json")).permissions() & QFileDevice::ReadOther,
              QFileDevice::ReadOther);

    // Nothing changed: nothing new, and the Error-level message is known.
    const BatchOutcome same = Run({"validate", "-q", "-r", "--baseline", "baseline.json", "site"});
    EXPECT_EQ(same.exitCode, 0) << same.out.constData();
    EXPECT_TRUE(Lines(same).isEmpty()) << same.out.constData();
    EXPECT_TRUE(same.out.contains(" messages are in the baseline and do not count."));

    // Three lines above everything (every message moves), one more <blink> (a second
    // occurrence of a known message), and an unknown element (new, at Error level).
    QByteArray about = ReadAll(At("site/about.html"));
    about.replace("<BODY>", "<BODY>\n\n\n");
    about.replace("</TABLE>", "</TABLE>\n<P>Since <blink>1923</blink>.\n<P><wobble>x</wobble>");
    WriteAll(At("site/about.html"), about);
    const BatchOutcome changed =
        Run({"validate", "-q", "-r", "--baseline", "baseline.json", "site"});
    EXPECT_EQ(changed.exitCode, 1);
    const QByteArrayList fresh = Lines(changed);
    EXPECT_EQ(fresh.size(), 4) << changed.out.constData();
    for (const QByteArray& line : fresh)
        EXPECT_TRUE(line.startsWith("site/about.html:1")) << line.constData();
    const auto count = [&](const char* key) {
        return std::count_if(fresh.begin(), fresh.end(),
                             [&](const QByteArray& line) { return line.endsWith(key); });
    };
    EXPECT_EQ(count("[PROPRIETARY_ELEMENT]"), 1);
    EXPECT_EQ(count("[UNKNOWN_ELEMENT]"), 1);

    // SARIF marks every result; JSON too, and counts what the baseline held.
    const QJsonObject sarif = Json(
        Run({"validate", "-q", "-r", "--format", "sarif", "--baseline", "baseline.json", "site"}));
    ASSERT_EQ(sarif["runs"].toArray().size(), 1);
    int news = 0;
    for (const QJsonValue& result : sarif["runs"].toArray()[0].toObject()["results"].toArray()) {
        const QString state = result.toObject()["baselineState"].toString();
        EXPECT_TRUE(state == "new" || state == "unchanged") << state.toStdString();
        news += state == "new";
    }
    EXPECT_EQ(news, 4);
    const QJsonObject json = Json(
        Run({"validate", "-q", "-r", "--format", "json", "--baseline", "baseline.json", "site"}));
    int known = 0;
    for (const QJsonValue& count : baseline["counts"].toObject()["messages"].toObject())
        known += count.toInt();
    EXPECT_GT(known, 50);
    EXPECT_EQ(json["counts"].toObject()["inBaseline"].toInt(), known);
}

TEST_F(RulesProgram, ABaselineThatIsNoReportIsAClearErrorAndNothingIsTouched) {
    CopySite("site");
    WriteAll(At("text.json"), "this is no JSON");
    WriteAll(At("other.json"), "{\"version\":\"2.1.0\",\"runs\":[]}");
    WriteAll(At("broken.json"), "{\"tool\":\"kelvane-batch\",\"files\":[{\"path\":1}]}");
    const QMap<QString, QByteArray> before = Snapshot({});
    const struct {
        QStringList arguments;
        const char* says;
    } cases[] = {
        {{"--baseline", "missing.json"}, "--baseline missing.json: "},
        {{"--baseline", "text.json"}, "--baseline text.json: not JSON"},
        {{"--baseline", "other.json"}, "not a JSON report of kelvane-batch"},
        {{"--baseline", "broken.json"}, "file 1 of the report has no path"},
        {{"--baseline", "site"}, "--baseline site: not a file"},
        {{"--write-baseline", "no/such/folder/b.json"}, "--write-baseline no/such/folder/b.json"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.says);
        const BatchOutcome outcome =
            Run(QStringList{"tidy", "-q", "--force", "-r"} + c.arguments + QStringList{"site"});
        EXPECT_EQ(outcome.exitCode, 2);
        EXPECT_TRUE(outcome.err.contains(c.says)) << outcome.err.constData();
        EXPECT_EQ(Snapshot({}), before);
    }
    EXPECT_EQ(Run({"restore", "--baseline", "other.json", "site"}).exitCode, 2);
}

} // namespace
