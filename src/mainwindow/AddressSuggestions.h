#pragma once
// What the address field suggests while the user types: the typed addresses that begin with
// the text (without regard to case), then the names in the folder that the text points into
// that begin with the rest of it, folders ending in "/". Hidden names only once the typed
// rest begins with a dot.

#include "mainwindow/FolderListing.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

class AddressSuggestions {
public:
    QStringList For(const QString& text, const QStringList& typedAddresses, int limit = 50);

private:
    // The last folder read, kept for a moment so that typing on does not read it again.
    QString m_folder;
    QList<FolderEntry> m_entries;
    QElapsedTimer m_readAt;
};
