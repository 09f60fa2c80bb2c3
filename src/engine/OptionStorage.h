#pragma once
// Keeps the tidy option set between program starts in the section "FormTidyProperties" of the
// settings file, key by key exactly as the options dialog's controls would be stored: check
// boxes as ".Checked" ("1"/"0"), text fields as ".Text", list boxes as ".ItemIndex" (decimal,
// -1 for none) then ".Text".

#include "engine/TidyOptionSet.h"
#include "support/DefaultsSnapshot.h"

#include <QString>
#include <QStringList>

inline const QString kTidyOptionsSection = QStringLiteral("FormTidyProperties");

// The 28 keys in the order they are written.
QStringList TidyOptionKeys();

// Writes every key in order. A refused write raises KelvaneError and ends the save there.
void SaveOptionSet(const TidyOptionSet& options, SettingsStore& store);

// Reads every key with the current value as its default: a missing key, or a check-box or
// position value that is no integer, leaves the field as it is. A list box takes its text
// first, then its position, which decides: a position in the list selects that entry (and its
// text); one outside the list leaves no entry selected and the text as read.
void LoadOptionSet(TidyOptionSet& options, const SettingsStore& store);

// The option set's life cycle with the tidy options dialog. The dialog binds its controls to
// the record and calls these at the matching moments; after a load it shows the record again.
class TidyOptionStorage {
public:
    // Captures the record's current (built-in) values as the defaults, then loads the settings
    // file over them. `file` is the settings file to use; null means SettingsFile() at each
    // call.
    explicit TidyOptionStorage(TidyOptionSet& options = CurrentOptionSet(),
                               SettingsStore* file = nullptr);

    // Closed with OK: the record goes to the settings file.
    void acceptOk();
    // Closed any other way: the settings file undoes every change since the dialog opened.
    void otherClose();
    // The program ends: the record (last OK, or what the file held) goes to the settings file.
    void atExit();
    // The Defaults button: the built-in values, written nowhere until OK.
    void loadDefaults();

    TidyOptionSet& options() { return m_options; }
    const DefaultsSnapshot& defaults() const { return m_defaults; }

private:
    SettingsStore& file() const;

    TidyOptionSet& m_options;
    SettingsStore* m_file;
    DefaultsSnapshot m_defaults;
};
