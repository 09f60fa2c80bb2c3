// The small rules of the tidy run: the many-warnings measure, program files, captions and the
// three-button question.

#include "common/ScriptedPrompts.h"
#include "common/TestSupport.h"
#include "fileops/BatchCommands.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(CountMessageTokens, BlanksCommasAndQuotesSeparateItems) {
    const std::pair<const char*, int> cases[] = {
        {"", 0},
        {"  \r\n ", 0},
        {"one", 1},
        {"one two\r\nthree", 3},
        {"a,b", 2},
        {"a, b ,c", 3},
        {"a,", 2}, // a comma at the very end adds an empty item
        {"a,,b", 3},
        {",", 2},
        {"\"quoted, with blanks\" next", 2},
        {"\"two \"\"quotes\"\" inside\"", 1},
        {"\"unclosed, runs to the end", 1},
        {"\"a\"b", 2},
        {"Line 3, Column 5 - Warninig: missing <!DOCTYPE> declaration\r\n", 9},
    };
    for (const auto& [text, count] : cases)
        EXPECT_EQ(CountMessageTokens(QString::fromUtf8(text)), count) << text;
    EXPECT_EQ(CountMessageTokens(QStringLiteral("a b") + QChar(0) + QStringLiteral(" c d")), 2)
        << "NUL ends the text";
}

TEST(IsForbiddenFile, ProgramsByContentOrNameAndNeverBlocks) {
    QTemporaryDir dir;
    const QString root = dir.path() + QLatin1Char('/');
    QFile program(QStringLiteral("/bin/true"));
    ASSERT_TRUE(program.open(QIODevice::ReadOnly));
    QByteArray dos("MZ\x90\0\x03\0\0\0\x04\0\0\0\xff\xff\0\0", 16);
    dos += QByteArray(200, '\0');
    const std::pair<const char*, QByteArray> files[] = {
        {"elf.html", program.readAll()}, {"dos.htm", dos},       {"setup.exe", "<p>a page"},
        {"RUN.BAT", "<p>a page"},        {"x.cmd", "<p>a page"}, {"y.Com", "<p>a page"},
    };
    for (const auto& [name, bytes] : files) {
        WriteAll(root + name, bytes);
        EXPECT_TRUE(IsForbiddenFile(root + name)) << name;
    }
    const std::pair<const char*, QByteArray> pages[] = {
        {"page.html", "<html><body>hello"},
        {"mz.html", "MZ is a band <p>"},
        {"elfish.html", "\x7f"
                        "ELF but cut short"},
        {"empty.html", ""},
        {"command.html", "<p>a page"},
    };
    for (const auto& [name, bytes] : pages) {
        WriteAll(root + name, bytes);
        EXPECT_FALSE(IsForbiddenFile(root + name)) << name;
    }
    const QString fifo = root + "pipe.html";
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0644), 0);
    EXPECT_FALSE(IsForbiddenFile(fifo)) << "judged by name only, without waiting for a writer";
    EXPECT_FALSE(IsForbiddenFile(root + "missing.html"));
}

TEST(RunHelpers, CaptionAndYesToAllQuestion) {
    EXPECT_EQ(ProcessingCaption(QStringLiteral("/site/sub/page one.html")),
              "Processing page one.html");

    const std::pair<int, std::pair<bool, bool>> answers[] = {
        {mrYes, {true, false}},
        {mrNo, {false, false}},
        {mrYesToAll, {true, true}},
        {mrCancel, {true, false}}, // anything but No goes ahead
    };
    for (const auto& [answer, expected] : answers) {
        ScriptedPrompts prompts;
        ScopedPrompts scoped(prompts);
        prompts.messageAnswers = {answer};
        bool remember = false;
        EXPECT_EQ(AskYesNoAll(QStringLiteral("Go?"), remember), expected.first) << answer;
        EXPECT_EQ(remember, expected.second) << answer;
        ASSERT_EQ(prompts.asked.size(), 1);
        EXPECT_EQ(prompts.asked[0].kind, DialogKind::Error);
        EXPECT_EQ(prompts.asked[0].buttons, Button::Yes | Button::No | Button::YesToAll);
    }
}
