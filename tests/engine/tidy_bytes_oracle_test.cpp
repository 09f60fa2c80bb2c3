// Pages whose bytes are awkward for a C string (NUL bytes, UTF-16, byte-order marks, a CR at
// the very end, mixed line ends): the engine's output and reports, in this process and from a
// helper, tidying and only checking, equal the `tidy` program's on the same bytes.

#include "TidyOracle.h"
#include "engine/TidyOptionSet.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray Utf16(const QString& text, QStringConverter::Encoding encoding) {
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

// A literal's bytes, NUL bytes included.
template <size_t N> QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

struct Case {
    QByteArray name;
    QByteArray bytes;
};

QList<Case> Cases() {
    const QString page =
        QStringLiteral("<html><head><title>Caf\u00e9</title></head>\n<body><p>Gr\u00fc\u00dfe "
                       "\u20ac 5<br>\n<pre>a\n b</pre></body></html>\n");
    QList<Case> cases = {
        {"NUL in the middle", Bytes("<title>t</title><p>before\0after</p>\n")},
        {"NUL first", Bytes("\0<title>t</title><p>x</p>")},
        {"NUL only", Bytes("\0")},
        {"NUL bytes in a tag and an attribute", Bytes("<p\0 class=\"a\0b\">x</p>")},
        {"UTF-16 LE with BOM", Utf16(page, QStringConverter::Utf16LE)},
        {"UTF-16 BE with BOM", Utf16(page, QStringConverter::Utf16BE)},
        {"UTF-16 LE with a dangling last byte", Utf16(page, QStringConverter::Utf16LE) + "\r"},
        {"UTF-16 BE with a dangling last byte", Utf16(page, QStringConverter::Utf16BE) + "<"},
        {"UTF-8 BOM", "\xEF\xBB\xBF" + page.toUtf8()},
        {"UTF-8 BOM alone", "\xEF\xBB\xBF"},
        {"CRLF lines", "<title>t</title>\r\n<p>a\r\n<pre>x\r\n y\r\n</pre>\r\n"},
        {"CR lines", "<title>t</title>\r<p>a\r<pre>x\r y\r</pre>\r<p>end"},
        {"mixed line ends", "<title>t</title>\r\n<p>a\r<p>b\n\r<pre>c\r\r\nd\n\n\r</pre>\r\n"},
        {"CR CR LF", "<p>a\r\r\n<p>b\r\r\r\n"},
    };
    // A CR as the very last byte, after every kind of construct.
    for (const char* ending :
         {"<p>\r", "<pre>x\r", "<!--\r", "<title>t</title><p>x\r", "x\r", "\r", "<p>x\r\r",
          "<script>a\r", "<p title=\"a\r", "<textarea>x\r", "<p>x\r\n\r", "<style>p{}\r",
          "<!DOCTYPE html>\r", "<p>a&amp\r", "<![CDATA[x\r", "<?php x\r"})
        cases.append({"final CR after " + QByteArray(ending).chopped(1), ending});
    return cases;
}

class TidyBytesOracle : public ::testing::Test {
protected:
    void SetUp() override {
        if (tidy_oracle::ProgramPath().isEmpty())
            GTEST_SKIP() << "the tidy program is not installed (scripts/install-deps installs it)";
        ASSERT_TRUE(m_dir.isValid());
    }
    QTemporaryDir m_dir;
};

} // namespace

TEST_F(TidyBytesOracle, EngineEqualsTheTidyProgramByteForByte) {
    const QList<Case> cases = Cases();
    QList<QByteArray> pages;
    for (const Case& c : cases)
        pages << c.bytes;
    TidyProcessPool pool(tidy_oracle::HelperPool());
    for (const TidyOptionSet& set : {TidyOptionSet{}, tidy_oracle::SecondOptionSet()}) {
        const bool second = !(set == TidyOptionSet{});
        const std::vector<tidy_oracle::Answer> program = tidy_oracle::Run(
            pages, tidy_oracle::ConfigText(ResolveOptions(set), m_dir.path()), m_dir.path());
        const std::vector<tidy_oracle::EngineAnswer> engine =
            tidy_oracle::EngineAnswers(pages, set, pool);
        tidy_oracle::ExpectSame(program, engine, [&](qsizetype i) {
            return cases[i].name.toStdString() + " (" +
                   QString::fromLatin1(pages[i].toPercentEncoding(" <>/=!-\"")).toStdString() +
                   (second ? "), second option set" : "), default options");
        });
        // The cut-off cases really kept their bytes: nothing after a NUL is lost, and no NUL is
        // added after a last CR.
        EXPECT_TRUE(engine[0].pooledOutput.contains("after"));
        for (qsizetype i = 0; i < cases.size(); ++i) {
            if (cases[i].name.startsWith("final CR")) {
                EXPECT_FALSE(engine[size_t(i)].pooledOutput.contains('\0'))
                    << cases[i].name.toStdString();
            }
        }
        EXPECT_TRUE(engine[4].inProcessOutput.contains("Gr")) << "UTF-16 LE page came out empty";
        // A dangling byte after the last whole UTF-16 unit is no character.
        for (const qsizetype i : {6, 7}) {
            ASSERT_EQ(pages[i].size() % 2, 1);
            EXPECT_EQ(engine[size_t(i)].pooledOutput, engine[size_t(i - 2)].pooledOutput);
            EXPECT_EQ(engine[size_t(i)].pooledReports, engine[size_t(i - 2)].pooledReports);
        }
    }
}
