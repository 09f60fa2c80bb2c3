#include "common/TestSupport.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

class TranslationTest : public ::testing::Test {
protected:
    void TearDown() override { ClearTranslations(); }

    void Load(const QByteArray& content) {
        ASSERT_TRUE(dir.isValid());
        LoadLanguageText(dir.path(), content);
    }

    static QString T(const char* text, const char* section = "STRING_TABLE") {
        return Translate(QString::fromUtf8(text), QString::fromUtf8(section));
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(TranslationTest, WithoutLanguageFileTextsAreUnchanged) {
    EXPECT_TRUE(LoadLanguageFile(dir.path(), QStringLiteral("lang.txt")).isEmpty()); // missing
    EXPECT_EQ(LoadLanguageFile(dir.path(), QStringLiteral(".")).size(), 1); // a folder: said
    for (const char* text : {"Tidy Errors", "C:\\path\\x41\\", "say \"hi\"\r\nbye\t", "\\400"})
        EXPECT_EQ(T(text), QString::fromUtf8(text));
}

TEST_F(TranslationTest, EntriesAreLookedUpByEscapedText) {
    Load("<//STRING_TABLE-strings\n"
         "E=Line one\\r\\nLine two\n"
         "T=Zeile eins\\r\\nZeile zwei\n"
         "E=Cannot open file \\\"%1\\\". %2\n"
         "T=Datei \\\"%1\\\" kann nicht geöffnet werden. %2\n"
         "E=Grüße\n"
         "T=Greetings\n");
    EXPECT_EQ(T("Line one\r\nLine two"), QStringLiteral("Zeile eins\r\nZeile zwei"));
    EXPECT_EQ(T("Cannot open file \"%1\". %2").arg(QStringLiteral("a"), QStringLiteral("b")),
              QString::fromUtf8("Datei \"a\" kann nicht geöffnet werden. b"));
    EXPECT_EQ(T("Grüße"), QStringLiteral("Greetings"));
    EXPECT_EQ(T("Line one"), QStringLiteral("Line one"));
}

TEST_F(TranslationTest, StarKeepsTheEnglishText) {
    Load("<//TFormKelvane-main\nE=Tidy Errors\nT=*\nE=Tidy\nT=Aufräumen\n");
    EXPECT_EQ(T("Tidy Errors", "TFormKelvane"), QStringLiteral("Tidy Errors"));
    EXPECT_EQ(T("Tidy", "TFormKelvane"), QString::fromUtf8("Aufräumen"));
}

TEST_F(TranslationTest, LaterEntryWinsAndKeysAndSectionsIgnoreCase) {
    Load("<//STRING_TABLE-\nE=Close\nT=Schliessen\nE=CLOSE\nT=Zumachen\n"
         "E=été\nT=Sommer\n");
    EXPECT_EQ(T("Close"), QStringLiteral("Zumachen"));
    EXPECT_EQ(T("close"), QStringLiteral("Zumachen"));
    EXPECT_EQ(T("Close", "string_table"), QStringLiteral("Zumachen"));
    EXPECT_EQ(T("ÉTÉ"), QStringLiteral("Sommer"));
}

TEST_F(TranslationTest, KeyIsFoundOnlyInItsOwnSection) {
    Load("<//STRING_TABLE-\nE=Options\nT=Optionen\n<//TFormKelvane-\nE=Kelvane\nT=Kelvane DE\n");
    EXPECT_EQ(T("Options"), QStringLiteral("Optionen"));
    EXPECT_EQ(T("Options", "TFormKelvane"), QStringLiteral("Options"));
    EXPECT_EQ(T("Kelvane"), QStringLiteral("Kelvane"));
    EXPECT_EQ(T("Kelvane", "TFormKelvane"), QStringLiteral("Kelvane DE"));
    EXPECT_EQ(T("Kelvane", "TFormOther"), QStringLiteral("Kelvane"));
}

TEST_F(TranslationTest, LinesAreTrimmedSoPaddedTextsAreNeverFound) {
    Load("  \t<//STRING_TABLE-x  \r\n"
         "\t E=  Open  \r\n"
         "   T=  Oeffnen \x01\r\n"
         "E= (read-only)\nT= (schreibgeschuetzt)\n");
    EXPECT_EQ(T("Open"), QStringLiteral("Oeffnen"));
    EXPECT_EQ(T(" Open "), QStringLiteral(" Open "));
    EXPECT_EQ(T(" (read-only)"), QStringLiteral(" (read-only)"));
    EXPECT_EQ(T("(read-only)"), QStringLiteral("(schreibgeschuetzt)"));
}

TEST_F(TranslationTest, CommentsStrayLinesAndTranslationsWithoutKeyAreIgnored) {
    Load("<//STRING_TABLE-\n"
         "T=orphan\n" // no pending key
         "E=Yes\n"
         "; E=No\n" // comment keeps the pending key
         "e=Yes\n"  // markers are case-sensitive
         "X=1\n"
         "T=Ja\n"
         "T=Doch\n"      // key already used up
         "E=Empty\nT=\n" // empty translation stores nothing
         "E=\nT=Nothing\n");
    EXPECT_EQ(T("Yes"), QStringLiteral("Ja"));
    EXPECT_EQ(T("orphan"), QStringLiteral("orphan"));
    EXPECT_EQ(T("Empty"), QStringLiteral("Empty"));
    EXPECT_EQ(T(""), QString());
}

TEST_F(TranslationTest, SectionLineRules) {
    Load("E=Pending\n"
         "<//STRING_TABLE - strings\n" // does not clear the pending key; name is trimmed
         "T=Offen\n"
         "<//TFormKelvane\n" // no "-": no section
         "E=Lost\nT=Verloren\n"
         "<-//TFormKelvane-\n" // "-" before the name: no section
         "E=Lost too\nT=Auch verloren\n"
         "<TFormDownload-download window\n" // no "//": the name starts after "<"
         "E=Cancel\nT=Abbrechen\n");
    EXPECT_EQ(T("Pending"), QStringLiteral("Offen"));
    EXPECT_EQ(T("Lost", "TFormKelvane"), QStringLiteral("Lost"));
    EXPECT_EQ(T("Lost", ""), QStringLiteral("Lost"));
    EXPECT_EQ(T("Lost too", "TFormKelvane"), QStringLiteral("Lost too"));
    EXPECT_EQ(T("Lost too", ""), QStringLiteral("Lost too"));
    EXPECT_EQ(T("Cancel", "TFormDownload"), QStringLiteral("Abbrechen"));
}

TEST_F(TranslationTest, ByteOrderMarkAndLastLineWithoutBreak) {
    Load("\xEF\xBB\xBF<//STRING_TABLE-\nE=A\nT=B");
    EXPECT_EQ(T("A"), QStringLiteral("B"));
}

TEST_F(TranslationTest, BrokenEntriesAndFilesAreReportedAndLeftOut) {
    const QString path = dir.filePath(QStringLiteral("lang.txt"));
    // A bad octal escape would fail every lookup of its text: that entry alone is left out.
    WriteAll(path, "<//STRING_TABLE-\nE=Broken\nT=Kaputt\\400\nE=Good\nT=Gut\n");
    EXPECT_EQ(LoadLanguageFile(dir.path()),
              QStringList{QStringLiteral("Language file ") + path +
                          QStringLiteral(", line 3: Numeric constant too large.")});
    EXPECT_EQ(T("Broken"), QStringLiteral("Broken"));
    EXPECT_EQ(T("Good"), QStringLiteral("Gut"));
    ClearTranslations();

    // What is no regular file of sane size is ignored whole, with one line, and never read:
    // a FIFO would block start-up, /dev/zero would never end.
    const QString ignored =
        QStringLiteral("The language file ") + path +
        QStringLiteral(" is not a regular file of at most 16 MB; it is ignored.");
    QFile::remove(path);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_EQ(LoadLanguageFile(dir.path()), QStringList{ignored});
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    EXPECT_EQ(LoadLanguageFile(dir.path()), QStringList{ignored});
    QFile::remove(path);
    WriteAll(path, "<//STRING_TABLE-\nE=A\nT=B\n");
    ASSERT_TRUE(QFile::resize(path, kMaxLanguageFileSize + 1)); // sparse: costs no disk
    EXPECT_EQ(LoadLanguageFile(dir.path()), QStringList{ignored});
    EXPECT_EQ(T("A"), QStringLiteral("A"));
}

TEST_F(TranslationTest, ClearEmptiesTheTable) {
    Load("<//STRING_TABLE-\nE=A\nT=B\n");
    ClearTranslations();
    EXPECT_EQ(T("A"), QStringLiteral("A"));
}
