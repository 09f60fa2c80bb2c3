#include "cmdline/CommandLine.h"

#include "platform/FileNames.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <optional>

namespace {

struct GrammarCase {
    const char* name;
    QString commandLine;
    quint8 flags;
    quint8 jobKind;
    quint8 html;
    QString input;
    QString output;
    std::optional<QString> error; // the text of the third-name error
};

const QString P = QStringLiteral("kelvane ");

const GrammarCase kCases[] = {
    {"no arguments", QStringLiteral("kelvane"), clfInteractive, jkNone, 0, {}, {}, {}},
    {"program path only, quoted with blanks",
     QStringLiteral("\"/opt/my apps/kelvane\""),
     clfInteractive,
     jkNone,
     0,
     {},
     {},
     {}},
    {"one name, no switch", P + "page.html", clfInteractive, jkNone, 0, "page.html", {}, {}},
    {"tidy switch without a name stays interactive",
     P + "/t",
     clfInteractive,
     jkTidy,
     0,
     {},
     {},
     {}},
    {"tidy from input to output",
     P + "/t in.html out.html",
     0,
     jkTidy,
     0,
     "in.html",
     "out.html",
     {}},
    {"validate with html report", P + "-v -h in.html", 0, jkValidate, 1, "in.html", {}, {}},
    {"switches after and between names",
     P + "in.html -h out.txt -v",
     0,
     jkValidate,
     1,
     "in.html",
     "out.txt",
     {}},
    {"capital T is no switch", P + "-T page.html", clfInteractive, jkNone, 0, "page.html", {}, {}},
    {"capital V is no switch", P + "-V page.html", clfInteractive, jkNone, 0, "page.html", {}, {}},
    {"longer word is no switch",
     P + "-Tidy page.html",
     clfInteractive,
     jkNone,
     0,
     "page.html",
     {},
     {}},
    {"slash switches", P + "/v /h /X in.html", 0, jkValidate, 1, "in.html", {}, {}},
    {"absolute paths are names",
     P + "-t /srv/www/in.html /tmp/out.html",
     0,
     jkTidy,
     0,
     "/srv/www/in.html",
     "/tmp/out.html",
     {}},
    {"slash with an unknown word is a path",
     P + "/T /Tidy",
     clfInteractive,
     jkNone,
     0,
     "/T",
     "/Tidy",
     {}},
    {"root folder is a name", P + "/", clfInteractive, jkNone, 0, "/", {}, {}},
    {"combined letters are no switch",
     P + "-tv page.html",
     clfInteractive,
     jkNone,
     0,
     "page.html",
     {},
     {}},
    {"capital H is no switch", P + "-v -H a", 0, jkValidate, 0, "a", {}, {}},
    {"X is accepted and does nothing", P + "-X -t a b", 0, jkTidy, 0, "a", "b", {}},
    {"lone dash is an empty switch", P + "- a", clfInteractive, jkNone, 0, "a", {}, {}},
    {"later switch wins: v", P + "-t -v a", 0, jkValidate, 0, "a", {}, {}},
    {"later switch wins: t", P + "-v a -t", 0, jkTidy, 0, "a", {}, {}},
    {"quoted path with blanks",
     P + "-t \"/home/me/My Site/a b.html\" out.html",
     0,
     jkTidy,
     0,
     "/home/me/My Site/a b.html",
     "out.html",
     {}},
    {"quoted switch with blanks inside the quotes", P + "\" /t \" a", 0, jkTidy, 0, "a", {}, {}},
    // Blanks and controls around a name belong to it: "out.txt " is not "out.txt".
    {"quoted name keeps its blanks",
     P + "\"  a.html\t\" \"out.txt \"",
     clfInteractive,
     jkNone,
     0,
     "  a.html\t",
     "out.txt ",
     {}},
    {"doubled quotes stand for one",
     P + "-t \"a \"\"quoted\"\" name\" b",
     0,
     jkTidy,
     0,
     "a \"quoted\" name",
     "b",
     {}},
    {"text glued after a closing quote is the next token",
     P + "\"a b\"c",
     clfInteractive,
     jkNone,
     0,
     "a b",
     "c",
     {}},
    {"glued switch after a quoted name", P + "\"in.html\"-t", 0, jkTidy, 0, "in.html", {}, {}},
    {"quote inside an unquoted token is a character",
     P + "a\"b c\"",
     clfInteractive,
     jkNone,
     0,
     "a\"b",
     "c\"",
     {}},
    {"unclosed quote runs to the end",
     P + "-t \"my page.html",
     0,
     jkTidy,
     0,
     "my page.html",
     {},
     {}},
    {"control characters separate tokens",
     QStringLiteral("kelvane\t-t\x01in.html\r\nout.html"),
     0,
     jkTidy,
     0,
     "in.html",
     "out.html",
     {}},
    {"NUL ends the text",
     QStringLiteral("kelvane -t a") + QChar(0) + QStringLiteral(" b c d"),
     0,
     jkTidy,
     0,
     "a",
     {},
     {}},
    {"third name", P + "-t a b c", 0, 0, 0, {}, {}, QStringLiteral("Too many files specified (c)")},
    {"third name quoted",
     P + "a b \"c d\" -t",
     0,
     0,
     0,
     {},
     {},
     QStringLiteral("Too many files specified (c d)")},
    {"web address",
     P + "-v http://example.com/x.html r.txt",
     clfWebAddress,
     jkValidate,
     0,
     "http://example.com/x.html",
     "r.txt",
     {}},
    {"secure web address",
     P + "-t https://example.com/ out.html",
     clfWebAddress,
     jkTidy,
     0,
     "https://example.com/",
     "out.html",
     {}},
    {"capital scheme is a file name",
     P + "-v HTTP://example.com/x.html",
     0,
     jkValidate,
     0,
     "HTTP://example.com/x.html",
     {},
     {}},
    {"web address without a job is interactive",
     P + "http://example.com/",
     clfInteractive | clfWebAddress,
     jkNone,
     0,
     "http://example.com/",
     {},
     {}},
    {"web address as output only is no web input",
     P + "-v a.html http://x/",
     0,
     jkValidate,
     0,
     "a.html",
     "http://x/",
     {}},
    // An empty argument takes the place of a name, so later names keep their positions.
    {"empty input keeps the window interactive",
     P + "-t \"\" out.html",
     clfInteractive,
     jkTidy,
     0,
     {},
     "out.html",
     {}},
    {"empty output means no output", P + "-v a.html \"\"", 0, jkValidate, 0, "a.html", {}, {}},
    {"empty argument counts toward the names",
     P + "-t \"\" a b",
     0,
     0,
     0,
     {},
     {},
     QStringLiteral("Too many files specified (b)")},
    {"quoted blanks are a name, not a switch", P + "\"  \" -t a", 0, jkTidy, 0, "  ", "a", {}},
};

TEST(CommandLineGrammar, Table) {
    for (const GrammarCase& c : kCases) {
        SCOPED_TRACE(c.name);
        if (c.error) {
            try {
                ParseCommandLine(c.commandLine);
                ADD_FAILURE() << "no error raised";
            } catch (const SilentAbort& e) {
                EXPECT_EQ(e.message(), *c.error);
            }
            continue;
        }
        const ParsedCommandLine parsed = ParseCommandLine(c.commandLine);
        EXPECT_EQ(parsed.Flags, c.flags);
        EXPECT_EQ(parsed.Mode.JobKind, c.jobKind);
        EXPECT_EQ(parsed.Mode.HtmlReport, c.html);
        EXPECT_EQ(parsed.InputName, c.input);
        EXPECT_EQ(parsed.OutputName, c.output);
    }
}

TEST(CommandLineGrammar, TokensKeepInnerBlanksUntilParsing) {
    EXPECT_EQ(TokenizeCommandLine(QStringLiteral("  x \" a \"\"b \"  y\"z")),
              (QStringList{"x", " a \"b ", "y\"z"}));
    EXPECT_EQ(TokenizeCommandLine(QStringLiteral("\"\"\"\"")), QStringList{"\""});
    EXPECT_EQ(TokenizeCommandLine(QStringLiteral("\"\"")), QStringList{QString()});
    EXPECT_TRUE(TokenizeCommandLine(QStringLiteral(" \t\r\n")).isEmpty());
}

TEST(CommandLineGrammar, ArgumentVectorRoundTrip) {
    const QStringList samples = {
        "/usr/bin/kelvane",
        "plain",
        "with blank",
        "a\"b",
        "\"starts",
        "ends\"",
        "",
        " ",
        "\t",
        "\"\"",
        "ünïcödé ☃",
        "tab\tinside",
        "-t",
        "a\"\"b",
        "glued\"x y",
        " /t ",
        "line\nbreak",
        "\x01\x1f",
        "\"",
        "\" a \"",
    };
    EXPECT_EQ(TokenizeCommandLine(JoinCommandLine(samples)), samples);

    // Arguments built from the characters that matter to the tokeniser.
    const QString alphabet = QStringLiteral("ab\" \t\x01-/\\é");
    QRandomGenerator random(20240611);
    for (int round = 0; round < 500; ++round) {
        QStringList args;
        const int count = random.bounded(1, 6);
        for (int a = 0; a < count; ++a) {
            QString arg;
            const int length = random.bounded(0, 8);
            for (int i = 0; i < length; ++i)
                arg += alphabet.at(random.bounded(alphabet.size()));
            args << arg;
        }
        ASSERT_EQ(TokenizeCommandLine(JoinCommandLine(args)), args)
            << JoinCommandLine(args).toStdString();
    }
}

TEST(CommandLineGrammar, RebuiltArgumentsParseAsTyped) {
    const QStringList names[] = {
        {"/tmp/My Site/index \"v2\".html", "/tmp/out put.html"},
        {" lead.html", "out/existing.txt "},
        {"\ttab\x01", platform::DecodeFileName("caf\xe9.txt")},
    };
    for (const QStringList& pair : names) {
        const ParsedCommandLine parsed =
            ParseCommandLine(JoinCommandLine(QStringList{"/usr/bin/kelvane", " -t "} + pair));
        EXPECT_EQ(parsed.Mode.JobKind, jkTidy);
        EXPECT_EQ(parsed.InputName, pair.at(0));
        EXPECT_EQ(parsed.OutputName, pair.at(1));
    }
}

TEST(CommandLineGrammar, FillTemplateFillsInOrderOnce) {
    EXPECT_EQ(FillTemplate(QStringLiteral("Tidied %d files out of %d"), {"2", "3"}),
              QStringLiteral("Tidied 2 files out of 3"));
    // A value that itself holds a placeholder is not filled again.
    EXPECT_EQ(FillTemplate(QStringLiteral("(%s) %s"), {"%s", "x"}), QStringLiteral("(%s) x"));
    EXPECT_EQ(FillTemplate(QStringLiteral("100%"), {"x"}), QStringLiteral("100%"));
}

} // namespace
