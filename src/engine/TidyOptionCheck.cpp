#include "engine/TidyOptionCheck.h"

#include "engine/TidyOptionSet.h"

#include <QStringDecoder>
#include <bitset>

namespace {

enum class ValueForm { Flag, Width, TabSize, Encoding, FreeText };

bool FormOf(TidyOptionId option, ValueForm& form) {
    switch (option) {
    case TidyBreakBeforeBR:
    case TidyMakeBare:
    case TidyMakeClean:
    case TidyWord2000:
    case TidyIndentContent:
    case TidyUpperCaseTags:
    case TidyUpperCaseAttrs:
    case TidyDropEmptyParas:
    case TidyFixComments:
    case TidyFixUri:
    case TidyMark:
    case TidyWrapAttVals:
    case TidyWrapAsp:
    case TidyWrapPhp:
    case TidyWrapJste:
    case TidyWrapScriptlets:
    case TidyWrapSection:
    case TidyForceOutput:
        form = ValueForm::Flag;
        return true;
    case TidyWrapLen:
        form = ValueForm::Width;
        return true;
    case TidyTabSize:
        form = ValueForm::TabSize;
        return true;
    case TidyInCharEncoding:
    case TidyOutCharEncoding:
        form = ValueForm::Encoding;
        return true;
    case TidyAltText:
        form = ValueForm::FreeText;
        return true;
    default:
        return false;
    }
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
        const auto name = [&] { return QStringLiteral("option %1").arg(int(step.option)); };
        ValueForm form;
        if (!FormOf(step.option, form))
            return name() + QStringLiteral(" is not one the program sets");
        if (seen.test(size_t(step.option)))
            return name() + QStringLiteral(" is set twice");
        seen.set(size_t(step.option));

        const bool isText = step.kind == TidyOptionStep::Kind::Text;
        const bool wantsText = form == ValueForm::Encoding || form == ValueForm::FreeText;
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
        case ValueForm::FreeText:
            if (step.text.contains('\0') || !IsValidUtf8(step.text))
                return name() + QStringLiteral(" is not valid UTF-8 text");
            break;
        }
    }
    return {};
}
