#include "cmdline/gui/CommandLineJobs.h"

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "engine/TidyOptionSet.h"
#include "engine/gui/TFormTidyProperties.h"
#include "support/SettingsFile.h"
#include "support/gui/QtPrompts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QByteArray kPage = "<html><head><title>t</title></head><body>\n"
                         "<p>Caf\xc3\xa9 & <b>bread</body></html>\n";

class CommandLineJobs : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        input = dir.filePath(QStringLiteral("in put.html"));
        WriteAll(input, kPage);
    }

    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    static CommandLineMode Mode(quint8 kind, quint8 html = 0) { return {kind, html}; }

    QTemporaryDir dir;
    QString input;
    ScriptedPrompts prompts;
    ScopedPrompts scope{prompts};
};

TEST_F(CommandLineJobs, TidyWithOkWritesTheOutput) {
    const QString output = path("out.html");
    prompts.optionsAnswers = {true};
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkTidy), input, output));

    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0].what, QStringLiteral("options"));
    EXPECT_EQ(prompts.asked[0].text, input);
    EXPECT_EQ(prompts.asked[0].caption, input + QStringLiteral(" - Tidy Options"));

    const QByteArray tidied = ReadAll(output);
    EXPECT_TRUE(tidied.contains("<!DOCTYPE html>")) << tidied.constData();
    EXPECT_TRUE(tidied.contains("<B>bread</B>")) << tidied.constData();
    EXPECT_EQ(ReadAll(input), kPage);
}

TEST_F(CommandLineJobs, TidyUsesTheOptionsConfirmedInTheDialog) {
    const TidyOptionSet saved = CurrentOptionSet();
    prompts.onEditOptions = [](const QString&) { CurrentOptionSet().cbUppercaseTags = false; };
    prompts.optionsAnswers = {true};
    const QString output = path("out.html");
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkTidy), input, output));
    CurrentOptionSet() = saved;
    EXPECT_TRUE(ReadAll(output).contains("<b>bread</b>"));
}

TEST_F(CommandLineJobs, TidyCancelledWritesNothingAndSaysNothing) {
    const QString output = path("out.html");
    prompts.optionsAnswers = {false};
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkTidy), input, output));
    EXPECT_FALSE(QFileInfo::exists(output));
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(CommandLineJobs, TidyWithoutOutputAsksWhereToSave) {
    prompts.optionsAnswers = {true, true};
    // First run: the save dialog is cancelled.
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkTidy), input, {}));
    ASSERT_EQ(prompts.asked.size(), 2);
    EXPECT_EQ(prompts.asked[1].what, QStringLiteral("save"));
    EXPECT_EQ(prompts.asked[1].save.filters, QStringList{"HTML Documents (*.html *.htm)"});
    EXPECT_EQ(prompts.asked[1].save.defaultSuffix, QStringLiteral("html"));
    EXPECT_TRUE(prompts.asked[1].save.initialFolder.isEmpty());
    EXPECT_TRUE(prompts.asked[1].save.initialName.isEmpty());
    EXPECT_TRUE(prompts.messages().isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);

    // Second run: a name is chosen.
    const QString chosen = path("chosen.htm");
    prompts.saveAnswers = {chosen};
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkTidy), input, {}));
    EXPECT_TRUE(ReadAll(chosen).contains("<B>bread</B>"));
}

TEST_F(CommandLineJobs, TidyReplacesAnExistingOutput) {
    const QString output = path("out.html");
    WriteAll(output, "old content that is much longer than nothing at all");
    prompts.optionsAnswers = {true};
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkTidy), input, output));
    EXPECT_FALSE(ReadAll(output).contains("old content"));
}

TEST_F(CommandLineJobs, MissingInputAndReadOnlyOutputStopSilently) {
    const QString output = path("out.html");
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), path("missing.html"), output));
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkTidy), dir.path(), output)); // a folder
    EXPECT_FALSE(QFileInfo::exists(output));

    WriteAll(output, "keep me");
    SetReadOnly(output, true);
    prompts.optionsAnswers = {true};
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkTidy), input, output));
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), input, output));
    EXPECT_EQ(ReadAll(output), QByteArray("keep me"));
    EXPECT_EQ(ReadAll(input), kPage);
    EXPECT_TRUE(prompts.asked.isEmpty()); // no dialog, no message
}

TEST_F(CommandLineJobs, ReadOnlyFileChosenInTheSaveDialogIsAnError) {
    const QString chosen = path("locked.txt");
    WriteAll(chosen, "keep me");
    SetReadOnly(chosen, true);
    prompts.saveAnswers = {chosen};
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), input, {}));
    EXPECT_EQ(ReadAll(chosen), QByteArray("keep me"));
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_TRUE(prompts.messages()[0].contains(chosen));
    EXPECT_EQ(prompts.asked.last().kind, DialogKind::Error);
}

TEST_F(CommandLineJobs, AnOutputThatIsTheInputIsRefused) {
    // Another spelling, a symbolic link and a hard link all lead to the page itself.
    ASSERT_TRUE(QFile::link(input, path("link.html")));
    ASSERT_EQ(::link(QFile::encodeName(input).constData(),
                     QFile::encodeName(path("hard.html")).constData()),
              0);
    const QString spellings[] = {input, dir.path() + QStringLiteral("/./sub/../in put.html"),
                                 path("link.html"), path("hard.html")};
    QDir(dir.path()).mkdir(QStringLiteral("sub"));
    prompts.optionsAnswers = {true, true, true, true};
    for (const QString& output : spellings) {
        EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), input, output));
        EXPECT_FALSE(RunCommandLineJob(0, Mode(jkTidy), input, output));
    }
    // Chosen in the save dialog.
    prompts.saveAnswers = {input};
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), input, {}));

    EXPECT_EQ(ReadAll(input), kPage);
    const QStringList messages = prompts.messages();
    ASSERT_EQ(messages.size(), 9);
    for (const QString& message : messages)
        EXPECT_TRUE(message.endsWith(QStringLiteral(" is the input file; nothing was written.")))
            << message.toStdString();
    EXPECT_TRUE(prompts.optionsAnswers.size() == 4); // refused before the options dialog
}

TEST_F(CommandLineJobs, ValidateReportFormats) {
    // Plain text to a named output: CR LF lines, the library's words as they are.
    const QString text = path("report.txt");
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkValidate), input, text));
    const QByteArray plain = ReadAll(text);
    EXPECT_TRUE(plain.startsWith("Line ")) << plain.constData();
    EXPECT_TRUE(plain.contains("missing </b> before </body>\r\n")) << plain.constData();

    // The h switch makes HTML even for a ".txt" name.
    const QString forced = path("forced.txt");
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkValidate, 1), input, forced));
    const QByteArray html = ReadAll(forced);
    EXPECT_TRUE(html.contains("missing &lt;/b&gt; before &lt;/body&gt;<BR>")) << html.constData();
    EXPECT_FALSE(html.contains('\n'));
    EXPECT_FALSE(html.contains('<' + QByteArray("/b>")));

    // Through the dialog: ".html" gives HTML, ".HTML" plain text.
    const QString lower = path("dialog.html");
    const QString upper = path("dialog.HTML");
    prompts.saveAnswers = {lower, upper};
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkValidate), input, {}));
    EXPECT_TRUE(RunCommandLineJob(0, Mode(jkValidate), input, {}));
    EXPECT_EQ(ReadAll(lower), html);
    EXPECT_EQ(ReadAll(upper), plain);
    ASSERT_EQ(prompts.asked.size(), 2);
    EXPECT_EQ(prompts.asked[0].save.filters,
              (QStringList{"Text Files (*.txt)", "HTML Files (*.html)"}));
    EXPECT_EQ(prompts.asked[0].save.defaultSuffix, QStringLiteral("txt"));
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(CommandLineJobs, ValidateWithCancelledSaveDialog) {
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkValidate), input, {}));
    EXPECT_EQ(prompts.asked.size(), 1);
    EXPECT_TRUE(prompts.messages().isEmpty());
}

TEST_F(CommandLineJobs, NoJobKindAnswersNo) {
    EXPECT_FALSE(RunCommandLineJob(0, Mode(jkNone), input, path("out.html")));
    EXPECT_TRUE(prompts.asked.isEmpty());
}

TEST_F(CommandLineJobs, UnreachableWebAddressIsReported) {
    // A port that was just free: nothing listens there.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();
    const QString address = QStringLiteral("http://127.0.0.1:%1/x.html").arg(port);

    EXPECT_FALSE(RunCommandLineJob(clfWebAddress, Mode(jkValidate), address, path("r.txt")));
    ASSERT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(prompts.messages()[0], QStringLiteral("Unable to download the web page\r\n\r\n") +
                                         address +
                                         QStringLiteral("\r\n\r\nThe web page may not exist."));
    EXPECT_EQ(prompts.asked[0].kind, DialogKind::Error);
    EXPECT_FALSE(QFileInfo::exists(path("r.txt")));
}

// The real options dialog behind the real prompts, answered from a timer.
TEST_F(CommandLineJobs, RealOptionsDialogTitledWithTheInput) {
    SetSettingsFilePath(path("Settings.ini"));
    {
        TFormTidyProperties dialog;
        dialog.setMenuVisible(true);
        QtPrompts realPrompts;
        ScopedPrompts useReal(realPrompts);
        const QString output = path("out.html");
        for (const bool ok : {false, true}) {
            QString seenTitle;
            bool seenMenu = false;
            QTimer answer;
            QObject::connect(&answer, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() != &dialog)
                    return;
                answer.stop();
                seenTitle = dialog.windowTitle();
                seenMenu = dialog.menuVisible();
                ok ? dialog.accept() : dialog.reject();
            });
            answer.start(10);
            EXPECT_EQ(RunCommandLineJob(0, Mode(jkTidy), input, output), ok);
            EXPECT_EQ(seenTitle, input + QStringLiteral(" - Tidy Options"));
            EXPECT_TRUE(seenMenu);
            EXPECT_EQ(QFileInfo::exists(output), ok);
        }
        EXPECT_TRUE(ReadAll(output).contains("<B>bread</B>"));
    }
    SetSettingsFilePath({});
}

} // namespace
