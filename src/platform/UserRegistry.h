#pragma once
// The current user's registry: a tree of keys named by backslash paths such as
// "\Software\Mondavik\<title>\AskWithMemory\<CRC>\", each with an optional default value that
// holds a 32-bit integer. It lives in an INI file, by default
// $XDG_CONFIG_HOME/Mondavik/registry.ini. Nothing is kept in memory: each call opens the file,
// acts and closes it, so two running copies see each other's writes.

#include <QString>
#include <optional>

class RegistryKey {
public:
    // Opens the key at `keyPath`. Without `create`, a missing key gives nothing; with it, the
    // key and its missing parents are made, and nothing is given when that cannot be stored.
    static std::optional<RegistryKey> Open(const QString& keyPath, bool create);
    // The key exists (with or without values).
    static bool Exists(const QString& keyPath);
    // Deletes the key with its values and sub-keys. True when it no longer exists.
    static bool Delete(const QString& keyPath);

    // The default value as an integer; nothing when it is missing or not an integer.
    std::optional<qint32> DefaultInteger() const;
    // Writes the default value; false when the store cannot be written.
    bool SetDefaultInteger(qint32 value);

    // A named value as text (the name compared without case, as the registry does); nothing
    // when it is missing.
    std::optional<QString> StringValue(const QString& name) const;
    bool SetStringValue(const QString& name, const QString& value);

    // The key's path in normalised form: "Software\Mondavik\..." without outer backslashes.
    QString path() const;

private:
    explicit RegistryKey(QString group) : m_group(std::move(group)) {}
    QString m_group; // the settings group that holds the key
};

// The file that holds the current user's registry.
QString UserRegistryFile();
// Redirects the store (tests); an empty path returns to the default location.
void SetUserRegistryFile(const QString& path);
