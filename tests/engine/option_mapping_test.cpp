// What the library document holds after the option set has been applied, read back from a
// real TidyDoc.

#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionCheck.h"
#include "engine/TidyOptionMapping.h"
#include "support/Errors.h"

#include <QDataStream>
#include <QIODevice>
#include <gtest/gtest.h>
#include <memory>
#include <tidy/tidy.h>

namespace {

struct DocDeleter {
    void operator()(TidyDoc doc) const { tidyRelease(doc); }
};
using Doc = std::unique_ptr<std::remove_pointer_t<TidyDoc>, DocDeleter>;

// A document whose messages are swallowed, so a refused value prints nothing.
Doc NewDoc() {
    Doc doc(tidyCreate());
    tidySetMessageCallback(doc.get(), [](TidyMessage) -> Bool { return no; });
    return doc;
}

bool Flag(const Doc& doc, TidyOptionId id) {
    return tidyOptGetBool(doc.get(), id) == yes;
}
ulong Int(const Doc& doc, TidyOptionId id) {
    return tidyOptGetInt(doc.get(), id);
}
QByteArray Enc(const Doc& doc, TidyOptionId id) {
    return QByteArray(tidyOptGetEncName(doc.get(), id));
}
QByteArray Value(const Doc& doc, TidyOptionId id) {
    return QByteArray(tidyOptGetValue(doc.get(), id)); // null reads as empty
}

const TidyOptionId kWrapSubOptions[] = {TidyWrapAttVals, TidyWrapAsp,        TidyWrapPhp,
                                        TidyWrapJste,    TidyWrapScriptlets, TidyWrapSection};

void SetAllWrapBoxes(TidyOptionSet& set, bool on) {
    set.cbWrapAttributes = set.cbWrapASP = set.cbWrapPHP = set.cbWrapJSTE = set.cbWrapLiterals =
        set.CBWrapSections = on;
}

// Presets every option that a step may skip to a value no step would give it, so that a
// value still there afterwards proves the step set nothing.
void PresetSkippableOptions(const Doc& doc, bool wrapSubOptions) {
    for (TidyOptionId id : kWrapSubOptions)
        ASSERT_TRUE(tidyOptSetBool(doc.get(), id, wrapSubOptions ? yes : no));
    ASSERT_TRUE(tidyOptSetValue(doc.get(), TidyAltText, "sentinel"));
    ASSERT_TRUE(tidyOptSetInt(doc.get(), TidyTabSize, 5));
}

QString ErrorOf(const TidyOptionSet& set) {
    try {
        ResolveOptions(set);
    } catch (const KelvaneError& e) {
        return e.message();
    }
    return QStringLiteral("(no error)");
}

QString NotAnIntegerText(const QString& text) {
    try {
        RaiseNotAnInteger(text);
    } catch (const KelvaneError& e) {
        return e.message();
    }
    return {};
}

} // namespace

TEST(OptionMapping, DefaultsReachTheLibraryAndSkippedOptionsStayUntouched) {
    Doc doc = NewDoc();
    PresetSkippableOptions(doc, true);
    ASSERT_TRUE(ApplyOptions(TidyOptionSet{}, doc.get()));

    EXPECT_FALSE(Flag(doc, TidyBreakBeforeBR));
    EXPECT_TRUE(Flag(doc, TidyMakeBare));
    EXPECT_TRUE(Flag(doc, TidyMakeClean));
    EXPECT_TRUE(Flag(doc, TidyWord2000));
    EXPECT_EQ(Int(doc, TidyIndentContent), 0u);
    EXPECT_TRUE(Flag(doc, TidyUpperCaseTags));
    EXPECT_EQ(Int(doc, TidyUpperCaseAttrs), 1u);
    EXPECT_TRUE(Flag(doc, TidyDropEmptyParas));
    EXPECT_EQ(Int(doc, TidyFixComments), 0u);
    EXPECT_FALSE(Flag(doc, TidyFixUri));
    EXPECT_FALSE(Flag(doc, TidyMark));
    EXPECT_EQ(Int(doc, TidyWrapLen), 0u);
    EXPECT_EQ(Int(doc, TidyTabSize), 1u);
    EXPECT_EQ(Enc(doc, TidyInCharEncoding), "raw");
    EXPECT_EQ(Enc(doc, TidyOutCharEncoding), "raw");
    EXPECT_TRUE(Flag(doc, TidyForceOutput));
    // Wrapping is off and alt text unticked: neither is touched.
    for (TidyOptionId id : kWrapSubOptions)
        EXPECT_TRUE(Flag(doc, id)) << tidyOptGetName(tidyGetOption(doc.get(), id));
    EXPECT_EQ(Value(doc, TidyAltText), "sentinel");
}

TEST(OptionMapping, EveryFlagIsPassedBothWays) {
    TidyOptionSet set;
    set.CBBreakBeforeBR = set.CBIndent = set.CBFixBadComments = set.CBFixURI = set.cbTidyMark =
        true;
    set.CBBare = set.CBClean = set.CBWord2000 = set.cbUppercaseTags = set.cbUppercaseAttributes =
        set.CBDropEmptyParas = false;
    Doc doc = NewDoc();
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_TRUE(Flag(doc, TidyBreakBeforeBR));
    EXPECT_FALSE(Flag(doc, TidyMakeBare));
    EXPECT_FALSE(Flag(doc, TidyMakeClean));
    EXPECT_FALSE(Flag(doc, TidyWord2000));
    EXPECT_EQ(Int(doc, TidyIndentContent), 1u); // "yes", never "auto"
    EXPECT_FALSE(Flag(doc, TidyUpperCaseTags));
    EXPECT_EQ(Int(doc, TidyUpperCaseAttrs), 0u);
    EXPECT_FALSE(Flag(doc, TidyDropEmptyParas));
    EXPECT_EQ(Int(doc, TidyFixComments), 1u);
    EXPECT_TRUE(Flag(doc, TidyFixUri));
    EXPECT_TRUE(Flag(doc, TidyMark));
}

TEST(OptionMapping, WrappingOnSetsWidthAndEverySubOption) {
    TidyOptionSet set;
    set.cbEnableTextWrapping = true;
    set.EditWrapWidth = QStringLiteral("80");
    SetAllWrapBoxes(set, false);
    Doc doc = NewDoc();
    PresetSkippableOptions(doc, true);
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Int(doc, TidyWrapLen), 80u);
    for (TidyOptionId id : kWrapSubOptions)
        EXPECT_FALSE(Flag(doc, id)) << tidyOptGetName(tidyGetOption(doc.get(), id));

    SetAllWrapBoxes(set, true);
    set.EditWrapWidth = QStringLiteral("2147483647");
    Doc second = NewDoc();
    PresetSkippableOptions(second, false);
    ASSERT_TRUE(ApplyOptions(set, second.get()));
    EXPECT_EQ(Int(second, TidyWrapLen), 2147483647u);
    for (TidyOptionId id : kWrapSubOptions)
        EXPECT_TRUE(Flag(second, id)) << tidyOptGetName(tidyGetOption(second.get(), id));
}

TEST(OptionMapping, WrappingOffSetsZeroAndNoSubOptionEvenWithABadWidth) {
    TidyOptionSet set;
    SetAllWrapBoxes(set, true);
    set.EditWrapWidth = QStringLiteral("not a number"); // never read with wrapping off
    Doc doc = NewDoc();
    PresetSkippableOptions(doc, false);
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Int(doc, TidyWrapLen), 0u);
    for (TidyOptionId id : kWrapSubOptions)
        EXPECT_FALSE(Flag(doc, id)) << tidyOptGetName(tidyGetOption(doc.get(), id));
}

TEST(OptionMapping, AltTextOnlyWithItsBox) {
    TidyOptionSet set;
    set.CBAltText = true;
    set.EditAltText = QStringLiteral("Bäckerei");
    Doc doc = NewDoc();
    PresetSkippableOptions(doc, true);
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Value(doc, TidyAltText), QByteArray("B\xc3\xa4"
                                                  "ckerei"));

    // Ticked with an empty field: the empty text is set (the library stores it as no value).
    set.EditAltText.clear();
    const ResolvedTidyOptions steps = ResolveOptions(set);
    EXPECT_TRUE(steps.contains(TidyOptionStep::Text(TidyAltText, QByteArray())));
    Doc empty = NewDoc();
    PresetSkippableOptions(empty, true);
    ASSERT_TRUE(ApplyOptions(set, empty.get()));
    EXPECT_EQ(Value(empty, TidyAltText), QByteArray());

    // A NUL (from a settings file) ends the text: option values are C strings to the library.
    set.EditAltText = QStringLiteral("Bild") + QChar(u'\0') + QStringLiteral("hidden");
    EXPECT_TRUE(ResolveOptions(set).contains(TidyOptionStep::Text(TidyAltText, "Bild")));
    EXPECT_EQ(CheckResolvedOptions(ResolveOptions(set)), QString());

    set.CBAltText = false;
    set.EditAltText = QStringLiteral("ignored");
    Doc off = NewDoc();
    PresetSkippableOptions(off, true);
    ASSERT_TRUE(ApplyOptions(set, off.get()));
    EXPECT_EQ(Value(off, TidyAltText), "sentinel");
}

TEST(OptionMapping, TabSizeFromTheSelectedEntryOnly) {
    TidyOptionSet set;
    set.CBTabSize = {7, QStringLiteral("8")};
    Doc doc = NewDoc();
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Int(doc, TidyTabSize), 8u);

    for (const ComboValue& unselected :
         {ComboValue{-1, QStringLiteral("12")}, ComboValue{8, QStringLiteral("9")}}) {
        set.CBTabSize = unselected;
        Doc skipped = NewDoc();
        PresetSkippableOptions(skipped, true);
        ASSERT_TRUE(ApplyOptions(set, skipped.get()));
        EXPECT_EQ(Int(skipped, TidyTabSize), 5u) << unselected.itemIndex;
    }
}

TEST(OptionMapping, EncodingsAreSetByName) {
    for (int position = 0; position < kTidyEncodingNames.size(); ++position) {
        TidyOptionSet set;
        set.CBInputEncoding = {position, kTidyEncodingNames[position]};
        set.CBOutputEncoding = {6 - position, kTidyEncodingNames[6 - position]};
        Doc doc = NewDoc();
        ASSERT_TRUE(ApplyOptions(set, doc.get())) << position;
        EXPECT_EQ(Enc(doc, TidyInCharEncoding), kTidyEncodingNames[position].toLatin1());
        EXPECT_EQ(Enc(doc, TidyOutCharEncoding), kTidyEncodingNames[6 - position].toLatin1());
    }
    // The list position decides, not the box's text.
    TidyOptionSet set;
    set.CBInputEncoding = {1, QStringLiteral("utf8")};
    Doc doc = NewDoc();
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Enc(doc, TidyInCharEncoding), "latin1");
}

TEST(OptionMapping, EncodingWithoutAnEntryIsRefusedBeforeAnythingIsSet) {
    TidyOptionSet set;
    set.CBInputEncoding = {-1, QStringLiteral("raw")};
    EXPECT_EQ(ErrorOf(set), QStringLiteral("Invalid Input encoding"));
    set.CBOutputEncoding = {7, QString()};
    EXPECT_EQ(ErrorOf(set), QStringLiteral("Invalid Input encoding")); // the earlier step wins
    set.CBInputEncoding = {3, QStringLiteral("utf8")};
    EXPECT_EQ(ErrorOf(set), QStringLiteral("Invalid Output encoding"));

    // Nothing reaches the document, not even the steps before the bad one.
    Doc doc = NewDoc();
    EXPECT_THROW(ApplyOptions(set, doc.get()), KelvaneError);
    EXPECT_FALSE(Flag(doc, TidyMakeBare)); // the option set says on
    EXPECT_FALSE(Flag(doc, TidyForceOutput));
    EXPECT_EQ(Int(doc, TidyWrapLen), 68u); // the library's own default, untouched
}

TEST(OptionMapping, WrapWidthMustBeAWholeNumberThatFits) {
    TidyOptionSet set;
    set.cbEnableTextWrapping = true;
    for (const QString& text :
         {QString(), QStringLiteral("8O"), QStringLiteral(" 80"), QStringLiteral("80 "),
          QStringLiteral("+80"), QStringLiteral("0x50"), QStringLiteral("-"),
          QStringLiteral("٨٠")}) { // Arabic-Indic digits
        set.EditWrapWidth = text;
        EXPECT_EQ(ErrorOf(set), NotAnIntegerText(text)) << text.toStdString();
    }
    for (const QString& text : {QStringLiteral("-5"), QStringLiteral("2147483648"),
                                QStringLiteral("99999999999999999999999")}) {
        set.EditWrapWidth = text;
        const QString error = ErrorOf(set);
        EXPECT_TRUE(error.contains(QStringLiteral("out of range")) && error.contains(text))
            << error.toStdString();
    }
    // A bad width is reported before a bad encoding, in step order.
    set.EditWrapWidth = QStringLiteral("abc");
    set.CBInputEncoding.itemIndex = -1;
    EXPECT_EQ(ErrorOf(set), NotAnIntegerText(QStringLiteral("abc")));

    set = {};
    set.cbEnableTextWrapping = true;
    set.EditWrapWidth = QStringLiteral("007");
    Doc doc = NewDoc();
    ASSERT_TRUE(ApplyOptions(set, doc.get()));
    EXPECT_EQ(Int(doc, TidyWrapLen), 7u);
}

TEST(OptionMapping, ApplyingStopsAtTheFirstRefusedStep) {
    const ResolvedTidyOptions steps = {
        TidyOptionStep::Flag(TidyMakeBare, true),
        TidyOptionStep::Text(TidyInCharEncoding, "no-such-encoding"),
        TidyOptionStep::Flag(TidyUpperCaseTags, true),
    };
    Doc doc = NewDoc();
    EXPECT_FALSE(ApplyResolvedOptions(steps, doc.get()));
    EXPECT_TRUE(Flag(doc, TidyMakeBare));
    EXPECT_FALSE(Flag(doc, TidyUpperCaseTags));

    Doc negative = NewDoc();
    EXPECT_FALSE(ApplyResolvedOptions({TidyOptionStep::Number(TidyWrapLen, -1)}, negative.get()));
    EXPECT_EQ(Int(negative, TidyWrapLen), 68u);

    Doc unknown = NewDoc();
    EXPECT_FALSE(
        ApplyResolvedOptions({TidyOptionStep::Flag(TidyUnknownOption, true)}, unknown.get()));
}

TEST(OptionMapping, RequestsAndResultsSurviveAStreamRoundTrip) {
    TidyOptionSet set;
    set.CBAltText = true;
    set.EditAltText = QStringLiteral("picture");
    const TidyRequest request{ResolveOptions(set), QByteArray("<p>x\xff\0</p>", 9),
                              TidyRequest::Mode::ReportsOnly};
    const TidyResult result{TidyRunStatus::Completed,
                            QByteArray("out"),
                            {{TidyWarning, 3, 5, "missing <!DOCTYPE> declaration"},
                             {TidyDialogueInfo, 0, 0, QByteArray()}}};
    QByteArray wire;
    {
        QDataStream out(&wire, QIODevice::WriteOnly);
        out << request << result;
    }
    QDataStream in(wire);
    TidyRequest readRequest;
    TidyResult readResult;
    in >> readRequest >> readResult;
    ASSERT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(readRequest, request);
    EXPECT_EQ(readResult, result);

    // An option identifier the library does not know marks the stream corrupt.
    QByteArray bad;
    {
        QDataStream out(&bad, QIODevice::WriteOnly);
        out << TidyRequest{{TidyOptionStep::Flag(TidyOptionId(N_TIDY_OPTIONS + 5), true)}, {}};
    }
    QDataStream badIn(bad);
    TidyRequest untouched{{}, "kept"};
    badIn >> untouched;
    EXPECT_EQ(badIn.status(), QDataStream::ReadCorruptData);
    EXPECT_EQ(untouched.document, "kept");

    // A truncated result is a read error, not a half-filled value.
    QDataStream shortIn(wire.left(wire.size() - 3));
    TidyRequest r;
    TidyResult partial{TidyRunStatus::Failed, "before", {}};
    shortIn >> r >> partial;
    EXPECT_NE(shortIn.status(), QDataStream::Ok);
    EXPECT_EQ(partial.output, "before");
}
