#include "cmdline/FileSaveDialog.h"
#include "cmdline/TextToHtml.h"

#include "common/ScriptedPrompts.h"

#include <gtest/gtest.h>

namespace {

TEST(TextToHtml, Table) {
    const struct {
        const char* name;
        QString text;
        QString html;
    } cases[] = {
        {"plain text", "Line 1", "Line 1"},
        {"ampersand first, so entities are not doubled wrongly", "a & b &lt;",
         "a &amp; b &amp;lt;"},
        {"markup and quotes", "<p class=\"x\">", "&lt;p class=&quot;x&quot;&gt;"},
        {"single blank stays", "a b", "a b"},
        {"two blanks", "a  b", "a&nbsp; b"},
        {"three blanks", "a   b", "a&nbsp;&nbsp; b"},
        {"four blanks", "a    b", "a&nbsp; &nbsp; b"},
        {"five blanks", "     ", "&nbsp; &nbsp;&nbsp; "},
        {"tab is eight blanks", "\tx", "&nbsp; &nbsp; &nbsp; &nbsp; x"},
        {"CR LF", "a\r\nb\r\n", "a<BR>b<BR>"},
        {"lone CR and lone LF", "a\rb\nc", "a<BR>b<BR>c"},
        {"LF CR is two breaks", "a\n\rb", "a<BR><BR>b"},
        {"a message line",
         "Line 3, Column 1 - Warning: missing </p>\r\nLine 9, Column 5 - Error: <blink> is not "
         "recognized!\r\n",
         "Line 3, Column 1 - Warning: missing &lt;/p&gt;<BR>Line 9, Column 5 - Error: "
         "&lt;blink&gt; is not recognized!<BR>"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TextToHtml(c.text), c.html);
    }
}

TEST(FileSaveDialog, FiltersAndExtension) {
    EXPECT_EQ(QtFileFilters(QStringLiteral("HTML Documents|*.html;*.htm")),
              QStringList{"HTML Documents (*.html *.htm)"});
    EXPECT_EQ(QtFileFilters(QStringLiteral("Text Files (*.txt)|*.txt|HTML Files (*.html)|*.html")),
              (QStringList{"Text Files (*.txt)", "HTML Files (*.html)"}));
    EXPECT_TRUE(QtFileFilters(QString()).isEmpty());

    EXPECT_EQ(FileExtension(QStringLiteral("/tmp/report.html")), QStringLiteral(".html"));
    EXPECT_EQ(FileExtension(QStringLiteral("/tmp/report.HTML")), QStringLiteral(".HTML"));
    EXPECT_EQ(FileExtension(QStringLiteral("/tmp/a.tar.gz")), QStringLiteral(".gz"));
    EXPECT_EQ(FileExtension(QStringLiteral("/tmp/dir.d/report")), QString());
    EXPECT_EQ(FileExtension(QStringLiteral("/tmp/report")), QString());
}

TEST(FileSaveDialog, AsksThePromptsWithTheRequest) {
    ScriptedPrompts prompts;
    ScopedPrompts scope(prompts);
    prompts.saveAnswers = {QStringLiteral("/tmp/x.html")};
    EXPECT_EQ(FileSaveDialog(QStringLiteral("HTML Documents|*.html;*.htm"), QStringLiteral("html")),
              QStringLiteral("/tmp/x.html"));
    ASSERT_EQ(prompts.asked.size(), 1);
    const SaveFileRequest& request = prompts.asked.first().save;
    EXPECT_EQ(request.filters, QStringList{"HTML Documents (*.html *.htm)"});
    EXPECT_EQ(request.defaultSuffix, QStringLiteral("html"));
    EXPECT_TRUE(request.initialFolder.isEmpty());
    EXPECT_TRUE(request.initialName.isEmpty());
    // The script ran dry: the user cancelled.
    EXPECT_TRUE(FileSaveDialog(QStringLiteral("A|*.a"), QStringLiteral("a")).isEmpty());
}

} // namespace
