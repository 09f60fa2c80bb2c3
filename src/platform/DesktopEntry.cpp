#include "platform/DesktopEntry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// The general escapes of desktop-entry string values.
QString UnescapeValue(const QString& value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != QLatin1Char('\\') || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value.at(++i);
        switch (next.unicode()) {
        case 's':
            out += QLatin1Char(' ');
            break;
        case 'n':
            out += QLatin1Char('\n');
            break;
        case 't':
            out += QLatin1Char('\t');
            break;
        case 'r':
            out += QLatin1Char('\r');
            break;
        case '\\':
            out += QLatin1Char('\\');
            break;
        default:
            out += QLatin1Char('\\');
            out += next;
            break;
        }
    }
    return out;
}

// Key-value pairs of one group of a desktop-entry style file.
QList<std::pair<QString, QString>> ReadGroup(const QString& path, const QString& group) {
    QList<std::pair<QString, QString>> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return entries;
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1Char('[') + group + QLatin1Char(']');
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0)
            entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return entries;
}

QString EnvOr(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? fallback : value;
}

QStringList DataFolders() {
    QStringList folders{EnvOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    folders += EnvOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
                   .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return folders;
}

QString FindDesktopFile(const QString& id) {
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return {};
    for (const QString& folder : DataFolders()) {
        const QString path = folder + QStringLiteral("/applications/") + id;
        if (QFileInfo(path).isFile())
            return path;
    }
    return {};
}

} // namespace

QStringList DesktopExecCommand(const QString& exec, const QString& file) {
    const QString value = UnescapeValue(exec);
    QStringList args;
    QString current;
    bool started = false;
    bool inQuotes = false;
    bool fileUsed = false;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < value.size())
                current += value.at(++i);
            else if (c == QLatin1Char('"'))
                inQuotes = false;
            else
                current += c;
        } else if (c == QLatin1Char('"')) {
            inQuotes = true;
            started = true;
        } else if (c.isSpace()) {
            if (started)
                args << current;
            current.clear();
            started = false;
        } else if (c == QLatin1Char('%') && i + 1 < value.size()) {
            const char code = value.at(++i).toLatin1();
            if (code == '%') {
                current += QLatin1Char('%');
                started = true;
            } else if (code == 'f' || code == 'F') {
                current += file;
                started = fileUsed = true;
            } else if (code == 'u' || code == 'U') {
                current += QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())
                               .toString(QUrl::FullyEncoded);
                started = fileUsed = true;
            }
            // Icons, names, the entry's own path and the deprecated codes are left out.
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        args << current;
    if (!args.isEmpty() && !fileUsed)
        args << file;
    return args;
}

QString DesktopEntryExec(const QString& desktopFile) {
    for (const auto& [key, value] : ReadGroup(desktopFile, QStringLiteral("Desktop Entry")))
        if (key == QLatin1String("Exec"))
            return value;
    return {};
}

QString DefaultApplicationFor(const QString& mimeType) {
    QStringList lists;
    const QString configHome =
        EnvOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"));
    QStringList configFolders{configHome};
    configFolders += EnvOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"))
                         .split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : configFolders)
        lists << folder + QStringLiteral("/mimeapps.list");
    for (const QString& folder : DataFolders())
        lists << folder + QStringLiteral("/applications/mimeapps.list")
              << folder + QStringLiteral("/applications/defaults.list");

    for (const QString& list : lists) {
        for (const auto& [key, value] : ReadGroup(list, QStringLiteral("Default Applications"))) {
            if (key != mimeType)
                continue;
            for (const QString& id : value.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
                const QString path = FindDesktopFile(id.trimmed());
                if (!path.isEmpty())
                    return path;
            }
        }
    }
    return {};
}
