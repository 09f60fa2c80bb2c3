#pragma once
// Project options: a site keeps its tidy options, masks and mutes in a file ".kelvane.ini" in
// its repository, and every run over its pages, from any folder, takes them. The file that
// counts for a path is the nearest one in the path's folder (the path itself for a folder) or
// above it, up to the repository's root (a folder that holds ".git") or "/".
//
// The file's words change what a run writes into the tree, so one that another user could have
// planted is refused: it, and a link to it, must belong to the runner, to root or to the owner of
// the folder that holds it (as with the backup folders).

#include <QHash>
#include <QString>

inline const QString kProjectOptionsName = QStringLiteral(".kelvane.ini");

class ProjectOptionsFinder {
public:
    // The absolute path of the project options file for `path`, empty when there is none.
    // Throws UsageError for a file that is there but may not be used.
    // `knownFile`: the caller knows `path` names a file (a folder walk found it), so it is
    // not looked at again: a walk over many pages asks once per folder, not once per page.
    QString For(const QString& path, bool knownFile = false);

private:
    QString ForFolder(const QString& folder);

    QString m_current; // the working folder, taken once: a run does not change it

    QHash<QString, QString> m_byFolder; // bounded: cleared when it grows large
};
