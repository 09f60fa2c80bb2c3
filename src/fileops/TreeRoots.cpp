#include "fileops/WorkItems.h"

namespace {

QString WithoutTrailingSeparators(QString folder) {
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

} // namespace

void TreeRoots::Add(const QString& folder) {
    const QString root = WithoutTrailingSeparators(folder);
    if (!root.isEmpty() && !m_roots.contains(root))
        m_roots.append(root);
}

QString TreeRoots::RootOf(const QString& path) const {
    QString best;
    for (const QString& root : m_roots) {
        if (root.size() <= best.size())
            continue;
        const bool below = root == QLatin1String("/")
                               ? path.startsWith(QLatin1Char('/'))
                               : path.size() > root.size() && path.startsWith(root) &&
                                     path.at(root.size()) == QLatin1Char('/');
        if (below)
            best = root;
    }
    return best;
}
