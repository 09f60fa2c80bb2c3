#pragma once
// The settings file on disk: an INI file read and written value by value, with nothing cached.
// Every read parses the file as it is now; every write re-reads it, changes the one value and
// replaces the file through platform::WriteWholeFile (a synced temporary file in the same
// folder, then a rename), so two writers of different sections never lose each other's keys
// and a crash or a full disk never leaves a truncated file. Lines that fit no form (comments, junk)
// are kept as they are and ignored. The file's bytes are UTF-8.

#include "support/SettingsStore.h"

class IniFile : public SettingsStore {
public:
    explicit IniFile(const QString& path);

    // The absolute path of the file.
    const QString& FileName() const { return m_path; }

    // Raises KelvaneError "Unable to write to <path>" when the file cannot be rewritten (a
    // read-only file, a folder that refuses files, a full disk), leaving the file as it was.
    // Writing the value the file already holds does not touch the file.
    void WriteString(const QString& section, const QString& key, const QString& value) override;
    QStringList ReadSection(const QString& section) const override;
    QStringList ReadSections() const override;

protected:
    std::optional<QString> ReadRawValue(const QString& section, const QString& key) const override;

private:
    [[noreturn]] void RaiseWriteError() const;

    QString m_path;
};
