#include "mainwindow/SelectedPaths.h"

#include <QHash>

bool SelectedPaths::ItemSelected(const QString& path) {
    m_paths.append(path);
    return m_paths.size() == 1;
}

void SelectedPaths::ItemDeselected(const QString& path) {
    m_paths.removeOne(path);
}

void SelectedPaths::ItemsDeselected(const QStringList& paths) {
    if (paths.size() < 8) {
        for (const QString& path : paths)
            m_paths.removeOne(path);
        return;
    }
    QHash<QString, int> toRemove;
    for (const QString& path : paths)
        ++toRemove[path];
    QStringList kept;
    kept.reserve(m_paths.size());
    for (const QString& path : std::as_const(m_paths)) {
        auto it = toRemove.find(path);
        if (it != toRemove.end() && it.value() > 0)
            --it.value();
        else
            kept.append(path);
    }
    m_paths = std::move(kept);
}

QList<qsizetype> ReselectRows(const QStringList& itemPaths, const QStringList& wanted) {
    // Rows by path, so that a large list is matched in one pass rather than once per entry.
    QMultiHash<QString, qsizetype> rowsByPath;
    for (qsizetype row = itemPaths.size() - 1; row >= 0; --row)
        rowsByPath.insert(itemPaths.at(row), row);
    QList<qsizetype> rows;
    for (const QString& path : wanted) {
        auto it = rowsByPath.find(path);
        if (it == rowsByPath.end())
            continue;
        rows.append(it.value()); // the last inserted, which is the first row
        rowsByPath.erase(it);
    }
    return rows;
}
