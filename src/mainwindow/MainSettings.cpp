#include "mainwindow/MainSettings.h"

#include "mainwindow/FolderIds.h"
#include "platform/FileNames.h"
#include "support/SettingsStore.h"

#include <sys/stat.h>

namespace {

const QString kActiveDirectory = QStringLiteral("ActiveDirectory");
const QString kRecurse = QStringLiteral("Recurse");

// Two hexadecimal digits per byte must fit into what a read gives back.
constexpr qsizetype kMaxStoredBytes = kMaxProfileValueLength / 2;

} // namespace

void WriteActiveDirectory(SettingsStore& store, const QString& path) {
    QString folder = IdListCopy(path);
    while (platform::EncodeFileName(folder).size() > kMaxStoredBytes)
        folder = IdListSplit(folder).parent;
    if (folder.isEmpty())
        return;
    store.WriteBinaryStream(kMainWindowSection, kActiveDirectory, platform::EncodeFileName(folder));
}

std::optional<QString> ReadActiveDirectory(const SettingsStore& store) {
    const QString hex = store.ReadString(kMainWindowSection, kActiveDirectory, QString());
    // A value at the read limit was cut: its path would name some other folder.
    if (hex.isEmpty() || hex.size() >= kMaxProfileValueLength || hex.size() % 2 != 0)
        return std::nullopt;
    QByteArray bytes;
    if (store.ReadBinaryStream(kMainWindowSection, kActiveDirectory, bytes) != hex.size() / 2)
        return std::nullopt;
    // A path ends at a zero byte (an identifier list's terminator, if one was stored).
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (bytes.isEmpty() || !bytes.startsWith('/'))
        return std::nullopt;
    return platform::DecodeFileName(bytes);
}

int ReadRecurse(const SettingsStore& store, int current) {
    return store.ReadInteger(kMainWindowSection, kRecurse, current) & 0xFF;
}

void WriteRecurse(SettingsStore& store, int value) {
    store.WriteInteger(kMainWindowSection, kRecurse, value & 0xFF);
}

std::optional<ActiveItem> ResolveActiveItem(const QString& path) {
    if (path.isEmpty())
        return std::nullopt;
    if (IdListIsValid(path))
        return ActiveItem{IdListCopy(path), {}};
    struct stat info {};
    if (::stat(platform::EncodeFileName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return ActiveItem{IdListSplit(path).parent, IdListCopy(path)};
}
