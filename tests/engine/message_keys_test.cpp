// HTML Tidy's message keys on every report, mute lists, and HTML Tidy's own configuration files.

#include "common/TestSupport.h"
#include "engine/TidyBatch.h"
#include "engine/TidyConfigImport.h"
#include "engine/TidyEngine.h"
#include "engine/TidyLibraryRun.h"
#include "engine/TidyMessageKeys.h"
#include "engine/TidyOptionMapping.h"
#include "support/Errors.h"

#include <gtest/gtest.h>

namespace {

// A page with a missing doctype, an unknown element (Error level), two empty paragraphs.
const QByteArray kPage = "<html><head><title>t</title></head><body><p></p><blink>x</blink>"
                         "<p></p></body></html>";

QList<TidyReport> Reports(const QString& mute) {
    TidyOptionSet set;
    set.EditMute = mute;
    return RunTidyLibrary({ResolveOptions(set), kPage, TidyRequest::Mode::ReportsOnly}).reports;
}

QStringList KeysOf(const QList<TidyReport>& reports, bool muted) {
    QStringList keys;
    for (const TidyReport& report : reports)
        if (report.muted == muted)
            keys << QString::fromLatin1(report.key);
    return keys;
}

} // namespace

TEST(MessageKeys, EveryReportCarriesTheLibrarysKeyAndMutedOnesAreMarkedNotDropped) {
    const QList<TidyReport> all = Reports({});
    ASSERT_FALSE(all.isEmpty());
    for (const TidyReport& report : all) {
        EXPECT_TRUE(IsReportMessageKey(report.key)) << report.text.constData();
        EXPECT_FALSE(report.muted);
    }
    EXPECT_TRUE(KeysOf(all, false).contains(QStringLiteral("MISSING_DOCTYPE")));

    const QList<TidyReport> muted = Reports(QStringLiteral("TRIM_EMPTY_ELEMENT, MISSING_DOCTYPE"));
    ASSERT_EQ(muted.size(), all.size()); // still there, so that they still count
    EXPECT_EQ(KeysOf(muted, true).count(QStringLiteral("TRIM_EMPTY_ELEMENT")), 2);
    EXPECT_EQ(KeysOf(muted, true).count(QStringLiteral("MISSING_DOCTYPE")), 1);
    EXPECT_FALSE(KeysOf(muted, false).contains(QStringLiteral("TRIM_EMPTY_ELEMENT")));

    // Shown: what pages and reports list; Counted: what the message limit counts.
    const QString shown = TidyMessageText(muted);
    EXPECT_FALSE(shown.contains(QStringLiteral("trimming empty")));
    EXPECT_FALSE(shown.contains(QStringLiteral("DOCTYPE")));
    EXPECT_EQ(TidyMessageText(muted, MessageLines::Counted), TidyMessageText(all));
    EXPECT_EQ(TidyMessageText(all), TidyMessageText(all, MessageLines::Shown));
    const QStringList keyed = TidyMessageText(all, MessageLines::ShownWithKeys)
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const QStringList plain =
        TidyMessageText(all).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(keyed.size(), plain.size());
    for (qsizetype i = 0; i < keyed.size(); ++i)
        EXPECT_EQ(keyed[i],
                  plain[i] + QStringLiteral(" [%1]").arg(QString::fromLatin1(all[i].key)));
}

TEST(MessageKeys, MuteListsTakeTheLibrarysSeparatorsAndRefuseWhatIsNoKey) {
    struct Case {
        const char* text;
        QStringList keys; // empty with `refused`
        bool refused;
    };
    const Case cases[] = {
        {"", {}, false},
        {"MISSING_DOCTYPE", {"MISSING_DOCTYPE"}, false},
        {" MISSING_DOCTYPE ,TRIM_EMPTY_ELEMENT\n  MISSING_DOCTYPE",
         {"MISSING_DOCTYPE", "TRIM_EMPTY_ELEMENT"},
         false},
        {"missing_doctype", {}, true}, // keys are exact, as in the library
        {"MISSING_DOCTYPE,NO_SUCH_KEY", {}, true},
        {"STRING_NO_ERRORS", {}, true}, // the library's dialogue cannot be muted
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            const QList<QByteArray> keys = ParseMuteList(QString::fromLatin1(c.text));
            EXPECT_FALSE(c.refused);
            QStringList names;
            for (const QByteArray& key : keys)
                names << QString::fromLatin1(key);
            EXPECT_EQ(names, c.keys);
        } catch (const KelvaneError& error) {
            EXPECT_TRUE(c.refused);
            EXPECT_TRUE(error.message().contains(QStringLiteral("not a message key")));
        }
    }
    // An option set with an unknown key is an option error before anything runs.
    TidyOptionSet set;
    set.EditMute = QStringLiteral("NO_SUCH_KEY");
    EXPECT_THROW(ResolveOptions(set), KelvaneError);
}

TEST(MessageKeys, ManyMutedKeysDoNotHurtTheLibrarysHeap) {
    // The library's own list of more than ten keys corrupts its heap; ours is never handed over.
    QStringList keys;
    for (const char* key :
         {"MISSING_DOCTYPE", "TRIM_EMPTY_ELEMENT", "UNKNOWN_ELEMENT", "INSERTING_TAG",
          "MISSING_TITLE_ELEMENT", "MISSING_ATTRIBUTE", "PROPRIETARY_ATTRIBUTE",
          "TAG_NOT_ALLOWED_IN", "DISCARDING_UNEXPECTED", "MISSING_ENDTAG_FOR",
          "MISSING_ENDTAG_BEFORE", "PROPRIETARY_ELEMENT", "MISSING_QUOTEMARK_OPEN"})
        keys << QString::fromLatin1(key);
    const QList<TidyReport> reports = Reports(keys.join(u','));
    EXPECT_TRUE(KeysOf(reports, false).isEmpty())
        << KeysOf(reports, false).join(u' ').toStdString();
}

TEST(MessageKeys, DescriptionsAreTheLibrarysTextWithoutItsValues) {
    EXPECT_EQ(MessageKeyDescription("MISSING_DOCTYPE"),
              QStringLiteral("missing <!DOCTYPE> declaration"));
    EXPECT_EQ(MessageKeyDescription("MISSING_ENDTAG_FOR"), QStringLiteral("missing </…>"));
    EXPECT_EQ(MessageKeyDescription("NO_SUCH_KEY"), QStringLiteral("NO_SUCH_KEY"));
}

// What `tidy` does for the options a configuration names and for those it does not.
TEST(TidyConfigImport, LinesSetTheOptionsOverHtmlTidysDefaults) {
    const TidyOptionSet defaults = TidyDefaultOptionSet();
    EXPECT_FALSE(defaults.cbUppercaseTags); // the library's defaults, not Kelvane's
    EXPECT_TRUE(defaults.cbEnableTextWrapping);
    EXPECT_EQ(defaults.EditWrapWidth, QStringLiteral("68"));
    EXPECT_EQ(defaults.CBTabSize.text, QStringLiteral("8"));
    EXPECT_EQ(defaults.CBInputEncoding.text, QStringLiteral("utf8"));

    TidyOptionSet set = defaults;
    ImportTidyConfig("# a comment\n// another\n\nuppercase-tags: yes\nwrap: 0\r\n"
                     "indent: no\ntab-size: 4\nchar-encoding: latin1\nalt-text: \"a picture\"\n"
                     "force-output: yes\nmute: MISSING_DOCTYPE\n  TRIM_EMPTY_ELEMENT\n"
                     "fix-bad-comments: auto\n",
                     set);
    EXPECT_TRUE(set.cbUppercaseTags);
    EXPECT_FALSE(set.cbEnableTextWrapping);
    EXPECT_EQ(set.CBTabSize, (ComboValue{3, QStringLiteral("4")}));
    EXPECT_EQ(set.CBInputEncoding, (ComboValue{1, QStringLiteral("latin1")}));
    EXPECT_EQ(set.CBOutputEncoding, (ComboValue{1, QStringLiteral("latin1")}));
    EXPECT_TRUE(set.CBAltText);
    EXPECT_EQ(set.EditAltText, QStringLiteral("a picture"));
    EXPECT_EQ(set.EditMute, QStringLiteral("MISSING_DOCTYPE,TRIM_EMPTY_ELEMENT"));
    EXPECT_FALSE(set.CBFixBadComments);
    EXPECT_NO_THROW(ResolveOptions(set));
}

TEST(TidyConfigImport, WhatTheOptionSetCannotHoldIsRefusedByLineAndName) {
    const struct {
        const char* text;
        const char* says;
    } cases[] = {
        {"doctype: strict\n", "line 1: HTML Tidy's option \"doctype\" is not one Kelvane sets"},
        {"\nquiet: yes\n", "line 2: HTML Tidy's option \"quiet\""},
        {"indent: auto\n", "automatic indentation"},
        {"uppercase-attributes: preserve\n", "preserve"},
        {"tab-size: 12\n", "tab sizes are 1 to 8"},
        {"input-encoding: utf16\n", "not \"utf16\""},
        {"wrap: wide\n", "wants a width"},
        {"clean: maybe\n", "wants yes or no"},
        {"mute: NO_SUCH_KEY\n", "not a message key"},
        {"force-output: no\n", "force-output: yes"},
        {"just words\n", "no \"option: value\" line"},
    };
    for (const auto& c : cases) {
        TidyOptionSet set = TidyDefaultOptionSet();
        try {
            ImportTidyConfig(c.text, set);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const KelvaneError& error) {
            EXPECT_TRUE(error.message().contains(QString::fromUtf8(c.says)))
                << c.text << " -> " << error.message().toStdString();
        }
    }
}
