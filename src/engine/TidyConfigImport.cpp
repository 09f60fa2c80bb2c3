#include "engine/TidyConfigImport.h"

#include "engine/TidyMessageKeys.h"
#include "support/Errors.h"

#include <functional>
#include <memory>
#include <tidy/tidy.h>

namespace {

[[noreturn]] void Refuse(int line, const QString& reason) {
    throw KelvaneError(QStringLiteral("line %1: %2").arg(line).arg(reason));
}

// The library's reading of a Boolean: the first letter decides.
std::optional<bool> ParseFlag(const QString& value) {
    const QChar first = value.isEmpty() ? QChar() : value.at(0).toLower();
    if (first == u'y' || first == u't' || first == u'1')
        return true;
    if (first == u'n' || first == u'f' || first == u'0')
        return false;
    return std::nullopt;
}

QString Unquoted(QString value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

ComboValue EncodingValue(int line, const QString& name, const QString& value) {
    const QString lower = value.toLower();
    const qsizetype index = kTidyEncodingNames.indexOf(lower);
    if (index < 0)
        Refuse(line, QStringLiteral("%1: Kelvane's encodings are %2, not \"%3\"")
                         .arg(name, kTidyEncodingNames.join(QStringLiteral(", ")), value));
    return {int(index), lower};
}

using Setter = std::function<void(TidyOptionSet&, int line, const QString& name, const QString&)>;

Setter Flag(bool TidyOptionSet::*field) {
    return [field](TidyOptionSet& set, int line, const QString& name, const QString& value) {
        const std::optional<bool> flag = ParseFlag(value);
        if (!flag)
            Refuse(line, QStringLiteral("%1 wants yes or no, not \"%2\"").arg(name, value));
        set.*field = *flag;
    };
}

// A pick list of the library whose further choice ("auto", "preserve") the set does not have.
Setter FlagOrRefused(bool TidyOptionSet::*field, const char* other, const char* why) {
    const Setter flag = Flag(field);
    return [=](TidyOptionSet& set, int line, const QString& name, const QString& value) {
        if (value.compare(QLatin1String(other), Qt::CaseInsensitive) == 0)
            Refuse(line, QStringLiteral("%1: %2").arg(name, QLatin1String(why)));
        flag(set, line, name, value);
    };
}

struct Known {
    const char* name;
    Setter set;
};

const std::vector<Known>& KnownOptions() {
    using S = TidyOptionSet;
    static const std::vector<Known> known = {
        {"tidy-mark", Flag(&S::cbTidyMark)},
        {"uppercase-tags", Flag(&S::cbUppercaseTags)},
        {"uppercase-attributes",
         FlagOrRefused(&S::cbUppercaseAttributes, "preserve", "Kelvane has no \"preserve\"")},
        {"break-before-br", Flag(&S::CBBreakBeforeBR)},
        {"indent",
         FlagOrRefused(&S::CBIndent, "auto", "Kelvane never uses the automatic indentation")},
        {"drop-empty-paras", Flag(&S::CBDropEmptyParas)},
        {"word-2000", Flag(&S::CBWord2000)},
        {"bare", Flag(&S::CBBare)},
        {"clean", Flag(&S::CBClean)},
        {"fix-uri", Flag(&S::CBFixURI)},
        {"fix-bad-comments",
         [](S& set, int line, const QString& name, const QString& value) {
             if (value.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0)
                 set.CBFixBadComments = false; // as the defaults take it
             else
                 Flag (&S::CBFixBadComments)(set, line, name, value);
         }},
        {"wrap-attributes", Flag(&S::cbWrapAttributes)},
        {"wrap-asp", Flag(&S::cbWrapASP)},
        {"wrap-php", Flag(&S::cbWrapPHP)},
        {"wrap-jste", Flag(&S::cbWrapJSTE)},
        {"wrap-script-literals", Flag(&S::cbWrapLiterals)},
        {"wrap-sections", Flag(&S::CBWrapSections)},
        {"wrap",
         [](S& set, int line, const QString& name, const QString& value) {
             bool ok = false;
             const uint width = value.toUInt(&ok);
             if (!ok || width > uint(INT_MAX))
                 Refuse(line, QStringLiteral("%1 wants a width, not \"%2\"").arg(name, value));
             set.cbEnableTextWrapping = width > 0; // 0 is no wrapping
             set.EditWrapWidth = QString::number(width);
         }},
        {"tab-size",
         [](S& set, int line, const QString& name, const QString& value) {
             bool ok = false;
             const int size = value.toInt(&ok);
             if (!ok || size < 1 || size > kTabSizeItems.size())
                 Refuse(line, QStringLiteral("%1: Kelvane's tab sizes are 1 to %2, not \"%3\"")
                                  .arg(name)
                                  .arg(kTabSizeItems.size())
                                  .arg(value));
             set.CBTabSize = {size - 1, kTabSizeItems.at(size - 1)};
         }},
        {"input-encoding",
         [](S& set, int line, const QString& name, const QString& value) {
             set.CBInputEncoding = EncodingValue(line, name, value);
         }},
        {"output-encoding",
         [](S& set, int line, const QString& name, const QString& value) {
             set.CBOutputEncoding = EncodingValue(line, name, value);
         }},
        {"char-encoding",
         [](S& set, int line, const QString& name, const QString& value) {
             set.CBInputEncoding = set.CBOutputEncoding = EncodingValue(line, name, value);
         }},
        {"alt-text",
         [](S& set, int, const QString&, const QString& value) {
             set.EditAltText = Unquoted(value);
             set.CBAltText = !set.EditAltText.isEmpty();
         }},
        {"mute",
         [](S& set, int line, const QString&, const QString& value) {
             try {
                 set.EditMute = JoinMuteList(ParseMuteList(set.EditMute + u',' + value));
             } catch (const KelvaneError& error) {
                 Refuse(line, QStringLiteral("mute: ") + error.message());
             }
         }},
        // Kelvane always writes output for documents with errors; only "yes" agrees with that.
        {"force-output",
         [](S&, int line, const QString& name, const QString& value) {
             if (ParseFlag(value) != true)
                 Refuse(line, QStringLiteral("%1: Kelvane always writes the output of a "
                                             "document with errors (force-output: yes)")
                                  .arg(name));
         }},
    };
    return known;
}

struct DocDeleter {
    void operator()(TidyDoc doc) const { tidyRelease(doc); }
};

bool LibraryFlag(TidyDoc doc, TidyOptionId id) {
    const TidyOption option = tidyGetOption(doc, id);
    if (tidyOptGetType(option) == TidyBoolean)
        return tidyOptGetBool(doc, id) == yes;
    // A pick list: "auto" (fix-bad-comments) counts as no, what it does for pages without a
    // document type and HTML5 pages.
    return tidyOptGetInt(doc, id) == ulong(TidyYesState);
}

ComboValue LibraryEncoding(TidyDoc doc, TidyOptionId id) {
    const QString name = QString::fromLatin1(tidyOptGetEncName(doc, id));
    const qsizetype index = kTidyEncodingNames.indexOf(name);
    return index < 0 ? ComboValue{-1, name} : ComboValue{int(index), name};
}

} // namespace

TidyOptionSet TidyDefaultOptionSet() {
    std::unique_ptr<std::remove_pointer_t<TidyDoc>, DocDeleter> owner(tidyCreate());
    TidyDoc doc = owner.get();
    TidyOptionSet set;
    set.cbTidyMark = LibraryFlag(doc, TidyMark);
    set.cbUppercaseTags = LibraryFlag(doc, TidyUpperCaseTags);
    set.cbUppercaseAttributes = LibraryFlag(doc, TidyUpperCaseAttrs);
    set.CBBreakBeforeBR = LibraryFlag(doc, TidyBreakBeforeBR);
    set.CBIndent = LibraryFlag(doc, TidyIndentContent);
    set.CBDropEmptyParas = LibraryFlag(doc, TidyDropEmptyParas);
    set.CBWord2000 = LibraryFlag(doc, TidyWord2000);
    set.CBBare = LibraryFlag(doc, TidyMakeBare);
    set.CBClean = LibraryFlag(doc, TidyMakeClean);
    set.CBFixURI = LibraryFlag(doc, TidyFixUri);
    set.CBFixBadComments = LibraryFlag(doc, TidyFixComments);
    const ulong wrap = tidyOptGetInt(doc, TidyWrapLen);
    set.cbEnableTextWrapping = wrap > 0;
    set.EditWrapWidth = QString::number(qulonglong(wrap));
    set.cbWrapAttributes = LibraryFlag(doc, TidyWrapAttVals);
    set.cbWrapASP = LibraryFlag(doc, TidyWrapAsp);
    set.cbWrapPHP = LibraryFlag(doc, TidyWrapPhp);
    set.cbWrapJSTE = LibraryFlag(doc, TidyWrapJste);
    set.cbWrapLiterals = LibraryFlag(doc, TidyWrapScriptlets);
    set.CBWrapSections = LibraryFlag(doc, TidyWrapSection);
    const ctmbstr alt = tidyOptGetValue(doc, TidyAltText);
    set.EditAltText = alt ? QString::fromUtf8(alt) : QString();
    set.CBAltText = !set.EditAltText.isEmpty();
    const int tab = int(tidyOptGetInt(doc, TidyTabSize));
    set.CBTabSize = tab >= 1 && tab <= kTabSizeItems.size()
                        ? ComboValue{tab - 1, kTabSizeItems.at(tab - 1)}
                        : ComboValue{-1, QString::number(tab)};
    set.CBInputEncoding = LibraryEncoding(doc, TidyInCharEncoding);
    set.CBOutputEncoding = LibraryEncoding(doc, TidyOutCharEncoding);
    set.EditMute.clear();
    return set;
}

void ImportTidyConfig(const QByteArray& text, TidyOptionSet& options) {
    const QList<QByteArray> lines = text.split('\n');
    const Known* continued = nullptr; // the list option that indented lines continue
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int number = int(i + 1);
        QString line = QString::fromUtf8(lines.at(i));
        if (line.endsWith(u'\r'))
            line.chop(1);
        const bool indented = !line.isEmpty() && line.at(0).isSpace();
        const QString trimmed = line.trimmed();
        if (indented) {
            if (continued && !trimmed.isEmpty())
                continued->set(options, number, QString::fromLatin1(continued->name), trimmed);
            continue;
        }
        continued = nullptr;
        if (trimmed.isEmpty() || trimmed.startsWith(u'#') || trimmed.startsWith(u'/'))
            continue;
        const qsizetype colon = trimmed.indexOf(u':');
        if (colon < 0)
            Refuse(number, QStringLiteral("\"%1\" is no \"option: value\" line").arg(trimmed));
        const QString name = trimmed.left(colon).trimmed();
        const QString value = trimmed.mid(colon + 1).trimmed();
        const Known* known = nullptr;
        for (const Known& option : KnownOptions())
            if (name == QLatin1String(option.name))
                known = &option;
        if (!known)
            Refuse(number, QStringLiteral("HTML Tidy's option \"%1\" is not one Kelvane sets; "
                                          "remove it to tidy with Kelvane")
                               .arg(name));
        if (!(value.isEmpty() && name == QLatin1String("mute")))
            known->set(options, number, name, value);
        if (name == QLatin1String("mute"))
            continued = known;
    }
}
