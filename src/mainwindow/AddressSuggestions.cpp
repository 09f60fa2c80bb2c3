#include "mainwindow/AddressSuggestions.h"

namespace {

constexpr qint64 kFolderFreshMs = 2000;

} // namespace

QStringList AddressSuggestions::For(const QString& text, const QStringList& typedAddresses,
                                    int limit) {
    QStringList suggestions;
    if (text.isEmpty())
        return suggestions;
    for (const QString& address : typedAddresses)
        if (suggestions.size() < limit && address.startsWith(text, Qt::CaseInsensitive) &&
            !suggestions.contains(address))
            suggestions.append(address);

    // Only absolute paths: the window's working folder means nothing to its user.
    if (!text.startsWith(QLatin1Char('/')))
        return suggestions;
    const qsizetype slash = text.lastIndexOf(QLatin1Char('/'));
    const QString folder = text.left(slash + 1);
    const QString rest = text.mid(slash + 1);
    if (folder != m_folder || !m_readAt.isValid() || m_readAt.elapsed() > kFolderFreshMs) {
        m_folder = folder;
        m_entries = ReadFolderNames(folder, true);
        m_readAt.start();
    }
    const bool hidden = rest.startsWith(QLatin1Char('.'));
    for (const FolderEntry& entry : m_entries) {
        if (suggestions.size() >= limit)
            break;
        if (!entry.name.startsWith(rest) || (!hidden && entry.name.startsWith(QLatin1Char('.'))))
            continue;
        const QString path = folder + entry.name + (entry.folder ? QStringLiteral("/") : QString());
        if (!suggestions.contains(path))
            suggestions.append(path);
    }
    return suggestions;
}
