#include "engine/OptionStorage.h"

#include "support/SettingsFile.h"

namespace {

// One field of the record, in dialog order.
struct OptionField {
    enum Kind { Check, Text, Combo };
    const char* name;
    Kind kind;
    bool TidyOptionSet::*flag = nullptr;
    QString TidyOptionSet::*text = nullptr;
    ComboValue TidyOptionSet::*combo = nullptr;
    const QStringList* items = nullptr;
    bool editable = false; // a list box whose text can be typed (tab size)
};

OptionField Check(const char* name, bool TidyOptionSet::*flag) {
    OptionField field{name, OptionField::Check};
    field.flag = flag;
    return field;
}

OptionField Text(const char* name, QString TidyOptionSet::*text) {
    OptionField field{name, OptionField::Text};
    field.text = text;
    return field;
}

OptionField Combo(const char* name, ComboValue TidyOptionSet::*combo, const QStringList* items,
                  bool editable) {
    OptionField field{name, OptionField::Combo};
    field.combo = combo;
    field.items = items;
    field.editable = editable;
    return field;
}

const QList<OptionField>& Fields() {
    using S = TidyOptionSet;
    static const QList<OptionField> fields = {
        Check("cbTidyMark", &S::cbTidyMark),
        Check("cbUppercaseTags", &S::cbUppercaseTags),
        Check("cbUppercaseAttributes", &S::cbUppercaseAttributes),
        Check("CBBreakBeforeBR", &S::CBBreakBeforeBR),
        Check("CBIndent", &S::CBIndent),
        Check("CBDropEmptyParas", &S::CBDropEmptyParas),
        Check("CBWord2000", &S::CBWord2000),
        Check("CBBare", &S::CBBare),
        Check("CBClean", &S::CBClean),
        Check("CBFixURI", &S::CBFixURI),
        Check("CBFixBadComments", &S::CBFixBadComments),
        Text("EditWrapWidth", &S::EditWrapWidth),
        Check("cbEnableTextWrapping", &S::cbEnableTextWrapping),
        Check("cbWrapJSTE", &S::cbWrapJSTE),
        Check("cbWrapLiterals", &S::cbWrapLiterals),
        Check("cbWrapPHP", &S::cbWrapPHP),
        Check("cbWrapASP", &S::cbWrapASP),
        Check("CBWrapSections", &S::CBWrapSections),
        Check("cbWrapAttributes", &S::cbWrapAttributes),
        Check("CBAltText", &S::CBAltText),
        Text("EditAltText", &S::EditAltText),
        Combo("CBTabSize", &S::CBTabSize, &kTabSizeItems, true),
        Combo("CBInputEncoding", &S::CBInputEncoding, &kTidyEncodingNames, false),
        Combo("CBOutputEncoding", &S::CBOutputEncoding, &kTidyEncodingNames, false),
        Text("EditMute", &S::EditMute),
    };
    return fields;
}

QString Key(const OptionField& field, const char* suffix) {
    return QLatin1String(field.name) + QLatin1String(suffix);
}

void LoadCombo(ComboValue& combo, const OptionField& field, const SettingsStore& store) {
    const QStringList& items = *field.items;
    combo.text = store.ReadString(kTidyOptionsSection, Key(field, ".Text"), combo.text);
    // Setting the text of a pick-only list selects the entry of that text, if there is one.
    if (!field.editable) {
        const qsizetype match = items.indexOf(combo.text);
        if (match >= 0)
            combo.itemIndex = static_cast<int>(match);
    }
    const int index =
        store.ReadInteger(kTidyOptionsSection, Key(field, ".ItemIndex"), combo.itemIndex);
    if (index >= 0 && index < items.size()) {
        combo.itemIndex = index;
        combo.text = items.at(index);
    } else {
        combo.itemIndex = -1;
    }
}

} // namespace

QStringList TidyOptionKeys() {
    QStringList keys;
    for (const OptionField& field : Fields()) {
        switch (field.kind) {
        case OptionField::Check:
            keys.append(Key(field, ".Checked"));
            break;
        case OptionField::Text:
            keys.append(Key(field, ".Text"));
            break;
        case OptionField::Combo:
            keys.append(Key(field, ".ItemIndex"));
            keys.append(Key(field, ".Text"));
            break;
        }
    }
    return keys;
}

void SaveOptionSet(const TidyOptionSet& options, SettingsStore& store) {
    const QString& section = kTidyOptionsSection;
    for (const OptionField& field : Fields()) {
        switch (field.kind) {
        case OptionField::Check:
            store.WriteBool(section, Key(field, ".Checked"), options.*field.flag);
            break;
        case OptionField::Text:
            store.WriteString(section, Key(field, ".Text"), options.*field.text);
            break;
        case OptionField::Combo: {
            const ComboValue& combo = options.*field.combo;
            store.WriteInteger(section, Key(field, ".ItemIndex"), combo.itemIndex);
            store.WriteString(section, Key(field, ".Text"), combo.text);
            break;
        }
        }
    }
}

void LoadOptionSet(TidyOptionSet& options, const SettingsStore& store) {
    const QString& section = kTidyOptionsSection;
    for (const OptionField& field : Fields()) {
        switch (field.kind) {
        case OptionField::Check: {
            bool& flag = options.*field.flag;
            flag = store.ReadBool(section, Key(field, ".Checked"), flag);
            break;
        }
        case OptionField::Text: {
            QString& text = options.*field.text;
            text = store.ReadString(section, Key(field, ".Text"), text);
            break;
        }
        case OptionField::Combo:
            LoadCombo(options.*field.combo, field, store);
            break;
        }
    }
}

TidyOptionStorage::TidyOptionStorage(TidyOptionSet& options, SettingsStore* file)
    : m_options(options), m_file(file) {
    SaveOptionSet(m_options, m_defaults);
    LoadOptionSet(m_options, this->file());
}

void TidyOptionStorage::acceptOk() {
    SaveOptionSet(m_options, file());
}

void TidyOptionStorage::otherClose() {
    LoadOptionSet(m_options, file());
}

void TidyOptionStorage::atExit() {
    SaveOptionSet(m_options, file());
}

void TidyOptionStorage::loadDefaults() {
    LoadOptionSet(m_options, m_defaults);
}

SettingsStore& TidyOptionStorage::file() const {
    return m_file ? *m_file : SettingsFile();
}
