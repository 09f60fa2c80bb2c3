#pragma once
// The paths of the file list's selected items in the order they were selected, as the
// selection events report them, and the matching of paths to select again after a run.

#include <QList>
#include <QString>
#include <QStringList>

class SelectedPaths {
public:
    // Appends the path; answers true when it is now the only entry (the address bar then
    // shows it).
    bool ItemSelected(const QString& path);
    // Removes the first entry equal to the path.
    void ItemDeselected(const QString& path);
    // The same for many paths in one pass (deselecting a whole large folder).
    void ItemsDeselected(const QStringList& paths);
    void Clear() { m_paths.clear(); }
    void Assign(const QStringList& paths) { m_paths = paths; }
    const QStringList& Paths() const { return m_paths; }

private:
    QStringList m_paths;
};

// The rows of `itemPaths` to select again for `wanted`: each wanted path takes the first row
// with an equal path that no earlier wanted path took. Rows come in the order of `wanted`.
QList<qsizetype> ReselectRows(const QStringList& itemPaths, const QStringList& wanted);
