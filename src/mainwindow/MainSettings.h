#pragma once
// The main window's own keys in the settings file (section "FormKelvane"): the folder that was
// current at exit and the "Recurse" byte. Placement and bars use the generic keys.

#include <QString>
#include <optional>

class SettingsStore;

inline const QString kMainWindowSection = QStringLiteral("FormKelvane");

// "ActiveDirectory" holds the path's bytes as hexadecimal text. A path too long for a value
// to come back whole is stored as its deepest folder that fits.
void WriteActiveDirectory(SettingsStore& store, const QString& path);
// The stored path; nothing when the key is missing, empty, cut or not hexadecimal text.
std::optional<QString> ReadActiveDirectory(const SettingsStore& store);

// Kept in one byte: a larger stored value keeps its low 8 bits.
int ReadRecurse(const SettingsStore& store, int current);
void WriteRecurse(SettingsStore& store, int value);

// Where a stored item takes the window: its folder and, for a file, the file to select.
struct ActiveItem {
    QString folder;
    QString file; // empty for a folder
};
// Nothing when the item no longer exists (or is neither a folder nor a file).
std::optional<ActiveItem> ResolveActiveItem(const QString& path);
