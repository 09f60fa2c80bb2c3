#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "platform/gui/ShellOpen.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

// Catches what would go to the desktop's default application.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

class ShellOpenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        document = dir.filePath(QStringLiteral("page one.html"));
        QFile doc(document);
        ASSERT_TRUE(doc.open(QIODevice::WriteOnly));
        // A stand-in program that writes down the arguments it was started with.
        program = dir.filePath(QStringLiteral("record.sh"));
        QFile script(program);
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\"\n"
                     "mv \"$0.args.tmp\" \"$0.args\"\n");
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                              QFileDevice::ExeOwner);
    }
    // The arguments the stand-in program was started with, once it has run.
    QStringList RecordedArguments() {
        const QString record = program + QStringLiteral(".args");
        if (!QTest::qWaitFor([&] { return QFile::exists(record); }, 5000))
            return {QStringLiteral("<not started>")};
        QFile file(record);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QTemporaryDir dir;
    QString document;
    QString program;
    ScriptedPrompts prompts;
};

} // namespace

TEST_F(ShellOpenTest, OpenDocumentHandsPathsAndAddressesToTheDesktop) {
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    const bool local = OpenDocument(document);
    const bool web = OpenDocument(QStringLiteral("http://127.0.0.1/a.html"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));

    EXPECT_TRUE(local);
    EXPECT_TRUE(web);
    EXPECT_EQ(catcher.urls, (QList<QUrl>{QUrl::fromLocalFile(document),
                                         QUrl(QStringLiteral("http://127.0.0.1/a.html"))}));
}

TEST_F(ShellOpenTest, EditDocumentPrefersVisualWithItsArguments) {
    ScopedEnv visual("VISUAL", QStringLiteral("\"%1\" --wait").arg(program));
    EXPECT_TRUE(EditDocument(document));
    EXPECT_EQ(RecordedArguments(), (QStringList{QStringLiteral("--wait"), document}));
}

TEST_F(ShellOpenTest, EditDocumentFallsBackToTheDefaultPlainTextEditor) {
    ScopedEnv visual("VISUAL", QString());
    ScopedEnv configHome("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")));
    ScopedEnv configDirs("XDG_CONFIG_DIRS", dir.filePath(QStringLiteral("etc")));
    ScopedEnv dataHome("XDG_DATA_HOME", dir.filePath(QStringLiteral("data")));
    ScopedEnv dataDirs("XDG_DATA_DIRS", dir.filePath(QStringLiteral("usr")));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("config"))));
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("data/applications"))));
    QFile list(dir.filePath(QStringLiteral("config/mimeapps.list")));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write("[Default Applications]\ntext/plain=recorder.desktop\n");
    list.close();
    QFile entry(dir.filePath(QStringLiteral("data/applications/recorder.desktop")));
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nType=Application\nExec=\"" + program.toUtf8() + "\" -n %F\n");
    entry.close();

    EXPECT_TRUE(EditDocument(document));
    EXPECT_EQ(RecordedArguments(), (QStringList{QStringLiteral("-n"), document}));
}

TEST_F(ShellOpenTest, OpenWithStartsTheChosenProgramOnTheFile) {
    ScopedPrompts scope(prompts);
    prompts.programAnswers = {program};
    EXPECT_TRUE(OpenWith(document));
    EXPECT_EQ(RecordedArguments(), QStringList{document});
    ASSERT_EQ(prompts.asked.size(), 1);
    EXPECT_EQ(prompts.asked[0].what, QStringLiteral("program"));
    EXPECT_EQ(prompts.asked[0].text, document);
}

TEST_F(ShellOpenTest, OpenWithAcceptsAnApplicationEntry) {
    const QString desktop = dir.filePath(QStringLiteral("viewer.desktop"));
    QFile entry(desktop);
    ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
    entry.write("[Desktop Entry]\nExec=" + program.toUtf8() + " --view %f\n");
    entry.close();
    ScopedPrompts scope(prompts);
    prompts.programAnswers = {desktop};
    EXPECT_TRUE(OpenWith(document));
    EXPECT_EQ(RecordedArguments(), (QStringList{QStringLiteral("--view"), document}));
}

TEST_F(ShellOpenTest, OpenWithDoesNothingWhenCancelledOrTheProgramIsMissing) {
    ScopedPrompts scope(prompts);
    prompts.programAnswers = {QString(), dir.filePath(QStringLiteral("no-such-program"))};
    EXPECT_FALSE(OpenWith(document));
    EXPECT_FALSE(OpenWith(document));
    EXPECT_EQ(prompts.asked.size(), 2);
}

#include "shellopen_test.moc"
