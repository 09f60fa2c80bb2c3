#include "engine/TidyOptionCheck.h"

#include "engine/TidyMessageKeys.h"
#include "engine/TidyOptionSet.h"

#include <QStringDecoder>
#include <bitset>

namespace {

enum class ValueForm { Flag, Width, TabSize, Encoding, FreeText, MuteList };

// Every option the program sets, with the form of its value and its configuration name (as
// the user may know it from the library's documentation; the number means nothing outside
// the library and is never shown).
struct KnownOption {
    TidyOptionId id;
    ValueForm form;
    const char* name;
};

constexpr KnownOption kKnownOptions[] = {
    {TidyBreakBeforeBR, ValueForm::Flag, "break-before-br"},
    {TidyMakeBare, ValueForm::Flag, "bare"},
    {TidyMakeClean, ValueForm::Flag, "clean"},
    {TidyWord2000, ValueForm::Flag, "word-2000"},
    {TidyIndentContent, ValueForm::Flag, "indent"},
    {TidyUpperCaseTags, ValueForm::Flag, "uppercase-tags"},
    {TidyUpperCaseAttrs, ValueForm::Flag, "uppercase-attributes"},
    {TidyDropEmptyParas, ValueForm::Flag, "drop-empty-paras"},
    {TidyFixComments, ValueForm::Flag, "fix-bad-comments"},
    {TidyFixUri, ValueForm::Flag, "fix-uri"},
    {TidyMark, ValueForm::Flag, "tidy-mark"},
    {TidyWrapAttVals, ValueForm::Flag, "wrap-attributes"},
    {TidyWrapAsp, ValueForm::Flag, "wrap-asp"},
    {TidyWrapPhp, ValueForm::Flag, "wrap-php"},
    {TidyWrapJste, ValueForm::Flag, "wrap-jste"},
    {TidyWrapScriptlets, ValueForm::Flag, "wrap-script-literals"},
    {TidyWrapSection, ValueForm::Flag, "wrap-sections"},
    {TidyForceOutput, ValueForm::Flag, "force-output"},
    {TidyWrapLen, ValueForm::Width, "wrap"},
    {TidyTabSize, ValueForm::TabSize, "tab-size"},
    {TidyInCharEncoding, ValueForm::Encoding, "input-encoding"},
    {TidyOutCharEncoding, ValueForm::Encoding, "output-encoding"},
    {TidyAltText, ValueForm::FreeText, "alt-text"},
    {TidyMuteReports, ValueForm::MuteList, "mute"},
};

const KnownOption* FindKnown(TidyOptionId option) {
    for (const KnownOption& known : kKnownOptions)
        if (known.id == option)
            return &known;
    return nullptr;
}

bool IsValidUtf8(const QByteArray& text) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = decoder.decode(text); // decoding happens on conversion
    return !decoder.hasError();
}

} // namespace

QString CheckResolvedOptions(const ResolvedTidyOptions& options) {
    std::bitset<N_TIDY_OPTIONS> seen;
    for (const TidyOptionStep& step : options) {
        const KnownOption* known = FindKnown(step.option);
        if (!known)
            return QStringLiteral("an option that the program does not set is named");
        const ValueForm form = known->form;
        const auto name = [&] {
            return QStringLiteral("the option \"%1\"").arg(QLatin1String(known->name));
        };
        if (seen.test(size_t(step.option)))
            return name() + QStringLiteral(" is set twice");
        seen.set(size_t(step.option));

        const bool isText = step.kind == TidyOptionStep::Kind::Text;
        const bool wantsText = form == ValueForm::Encoding || form == ValueForm::FreeText ||
                               form == ValueForm::MuteList;
        if (isText != wantsText)
            return name() + QStringLiteral(" has a value of the wrong kind");
        if (!isText && !step.text.isEmpty())
            return name() + QStringLiteral(" carries text with a number");
        if (isText && step.number != 0)
            return name() + QStringLiteral(" carries a number with text");

        switch (form) {
        case ValueForm::Flag:
            if (step.number != 0 && step.number != 1)
                return name() + QStringLiteral(" is a flag but has the value %1").arg(step.number);
            break;
        case ValueForm::Width:
            if (step.number < 0)
                return name() + QStringLiteral(" has the negative width %1").arg(step.number);
            break;
        case ValueForm::TabSize:
            if (step.number < 1 || step.number > kTabSizeItems.size())
                return name() + QStringLiteral(" has the tab size %1").arg(step.number);
            break;
        case ValueForm::Encoding:
            if (!kTidyEncodingNames.contains(QLatin1StringView(step.text)) ||
                step.text.contains('\0'))
                return name() + QStringLiteral(" names an unknown encoding");
            break;
        case ValueForm::MuteList:
            for (const QByteArray& key : step.text.split(','))
                if (!IsReportMessageKey(key))
                    return name() + QStringLiteral(" names something that is no message key");
            break;
        case ValueForm::FreeText:
            if (step.text.contains('\0'))
                return name() + QStringLiteral(" holds a NUL character");
            if (!IsValidUtf8(step.text))
                return name() + QStringLiteral(" is not valid UTF-8 text");
            break;
        }
    }
    return {};
}
