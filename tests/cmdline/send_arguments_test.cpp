// kelvane-send's arguments: what it sends, and what it refuses before sending anything.

#include "cmdline/CommandLine.h"
#include "cmdline/SendArguments.h"
#include "common/TestSupport.h"

#include <gtest/gtest.h>

TEST(SendArguments, NamesBecomeAbsoluteSwitchesPassAndMistakesAreRefused) {
    const QString cwd = QStringLiteral("/home/u/my site");
    using A = SendRequest::Action;
    const struct {
        QStringList arguments;
        A action;
        QStringList sent; // tokens after the program's own
    } cases[] = {
        {{"-v", "page.html", "report.txt"},
         A::Send,
         {"-v", "/home/u/my site/page.html", "/home/u/my site/report.txt"}},
        {{"/t", "/abs/a b.html", "-h"}, A::Send, {"/t", "/abs/a b.html", "-h"}},
        {{"-v", "https://example.org/x", "../r.txt"},
         A::Send,
         {"-v", "https://example.org/x", "/home/u/my site/../r.txt"}},
        {{"-t", "--", "-odd.html"}, A::Send, {"-t", "/home/u/my site/-odd.html"}},
        {{"-v", "", "r.txt"}, A::Send, {"-v", "", "/home/u/my site/r.txt"}},
        {{"page.html"}, A::Send, {"/home/u/my site/page.html"}},
        {{"-v", "a", "b", "c"}, A::UsageError, {}},
        {{"-x", "a"}, A::UsageError, {}},
        {{}, A::UsageError, {}},
        {{"-v", "--help"}, A::Help, {}},
        {{"--version"}, A::Version, {}},
        {{"--", "--help"}, A::Send, {"/home/u/my site/--help"}},
    };
    for (const auto& c : cases) {
        const SendRequest request = ParseSendArguments(c.arguments, cwd);
        const std::string label = c.arguments.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(int(request.action), int(c.action)) << label;
        if (c.action == A::UsageError) {
            EXPECT_FALSE(request.error.isEmpty()) << label;
        }
        if (c.action != A::Send)
            continue;
        const QStringList tokens = TokenizeCommandLine(request.commandLine);
        EXPECT_EQ(tokens.mid(1), c.sent) << label;
        // What the window reads is what was meant.
        const ParsedCommandLine parsed = ParseCommandLine(request.commandLine);
        if (c.sent.contains(QStringLiteral("-v"))) {
            EXPECT_EQ(parsed.Mode.JobKind, jkValidate) << label;
        }
    }
}
