#include "engine/TidyOptionMapping.h"

#include "engine/TidyLibraryRun.h"
#include "engine/TidyMessageKeys.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <climits>

namespace {

// The wrap width field holds digits as typed; a stored settings file may hold anything.
// Whole numbers that do not fit the library's width (a minus sign, too many digits) get an
// error of their own so that the user sees what is wrong with a value that looks numeric.
int ParseWrapWidth(const QString& text) {
    const bool negative = text.startsWith(QLatin1Char('-'));
    const QStringView digits = QStringView(text).mid(negative ? 1 : 0);
    if (digits.isEmpty())
        RaiseNotAnInteger(text);
    qint64 value = 0;
    bool overflow = false;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            RaiseNotAnInteger(text);
        if (!overflow) {
            value = value * 10 + (c.unicode() - '0');
            overflow = value > INT_MAX;
        }
    }
    if (negative || overflow) {
        throw KelvaneError(Translate(QStringLiteral("Wrap width %1 is out of range (0 to %2)"))
                               .arg(text)
                               .arg(INT_MAX));
    }
    return int(value);
}

QByteArray EncodingName(const ComboValue& field, const char* errorText) {
    if (field.itemIndex < 0 || field.itemIndex >= kTidyEncodingNames.size())
        throw KelvaneError(Translate(QString::fromLatin1(errorText)));
    return kTidyEncodingNames.at(field.itemIndex).toLatin1();
}

} // namespace

ResolvedTidyOptions ResolveOptions(const TidyOptionSet& set) {
    using Step = TidyOptionStep;
    ResolvedTidyOptions steps;
    steps.reserve(24);
    steps << Step::Flag(TidyBreakBeforeBR, set.CBBreakBeforeBR)
          << Step::Flag(TidyMakeBare, set.CBBare) << Step::Flag(TidyMakeClean, set.CBClean)
          << Step::Flag(TidyWord2000, set.CBWord2000)
          // 1 is "yes"; the library's "auto" indentation is never used.
          << Step::Flag(TidyIndentContent, set.CBIndent)
          << Step::Flag(TidyUpperCaseTags, set.cbUppercaseTags)
          << Step::Flag(TidyUpperCaseAttrs, set.cbUppercaseAttributes)
          << Step::Flag(TidyDropEmptyParas, set.CBDropEmptyParas)
          << Step::Flag(TidyFixComments, set.CBFixBadComments)
          << Step::Flag(TidyFixUri, set.CBFixURI) << Step::Flag(TidyMark, set.cbTidyMark);

    if (set.cbEnableTextWrapping) {
        steps << Step::Number(TidyWrapLen, ParseWrapWidth(set.EditWrapWidth))
              << Step::Flag(TidyWrapAttVals, set.cbWrapAttributes)
              << Step::Flag(TidyWrapAsp, set.cbWrapASP) << Step::Flag(TidyWrapPhp, set.cbWrapPHP)
              << Step::Flag(TidyWrapJste, set.cbWrapJSTE)
              << Step::Flag(TidyWrapScriptlets, set.cbWrapLiterals)
              << Step::Flag(TidyWrapSection, set.CBWrapSections);
    } else {
        steps << Step::Number(TidyWrapLen, 0);
    }

    // Cut at a NUL: the library takes option values as C strings, and a settings file may
    // hold one.
    if (set.CBAltText)
        steps << Step::Text(TidyAltText, set.EditAltText.section(QChar(u'\0'), 0, 0).toUtf8());

    // Position + 1 is the entry's own number; a typed size with no entry selected sets nothing.
    if (set.CBTabSize.itemIndex >= 0 && set.CBTabSize.itemIndex < kTabSizeItems.size())
        steps << Step::Number(TidyTabSize, set.CBTabSize.itemIndex + 1);

    steps << Step::Text(TidyInCharEncoding,
                        EncodingName(set.CBInputEncoding, "Invalid Input encoding"))
          << Step::Text(TidyOutCharEncoding,
                        EncodingName(set.CBOutputEncoding, "Invalid Output encoding"))
          // Output even for documents with errors: the messages say what was wrong.
          << Step::Flag(TidyForceOutput, true);
    const QList<QByteArray> muted = ParseMuteList(set.EditMute); // raises for an unknown key
    if (!muted.isEmpty())
        steps << Step::Text(TidyMuteReports, JoinMuteList(muted).toLatin1());
    return steps;
}

bool ApplyOptions(const TidyOptionSet& set, TidyDoc doc) {
    return ApplyResolvedOptions(ResolveOptions(set), doc);
}
