#include "fileops/ReviewList.h"

#include <QCryptographicHash>
#include <algorithm>
#include <cstring>

ContentDigest DigestOf(const QByteArray& bytes) {
    const QByteArray hash = QCryptographicHash::hash(bytes, QCryptographicHash::Blake2b_256);
    ContentDigest digest{};
    std::memcpy(digest.data(), hash.constData(), std::min(size_t(hash.size()), digest.size()));
    return digest;
}

ReviewList::ReviewList(QObject* parent) : QObject(parent) {}

void ReviewList::Clear() {
    Q_EMIT AboutToClear();
    m_entries.clear();
    m_entries.shrink_to_fit();
    m_folders.clear();
    m_folderIndex.clear();
    m_byPath.clear();
    m_checked = 0;
    m_unchanged = 0;
    m_notTidied = 0;
    Q_EMIT Cleared();
    Q_EMIT CountsChanged();
}

void ReviewList::Add(std::vector<ReviewSummary> summaries) {
    if (summaries.empty())
        return;
    const qsizetype first = Count();
    Q_EMIT AboutToAdd(first, first + qsizetype(summaries.size()) - 1);
    m_entries.reserve(m_entries.size() + summaries.size());
    for (ReviewSummary& summary : summaries) {
        const qsizetype slash = summary.path.lastIndexOf(QLatin1Char('/'));
        const QString folder = summary.path.left(slash + 1);
        auto found = m_folderIndex.constFind(folder);
        if (found == m_folderIndex.constEnd()) {
            found = m_folderIndex.insert(folder, int(m_folders.size()));
            m_folders.append(folder);
        }
        Entry entry;
        entry.folder = *found;
        entry.name = summary.path.mid(slash + 1);
        entry.original = summary.original;
        entry.tidied = summary.tidied;
        entry.changedLines = summary.changedLines;
        entry.changes = summary.changes;
        entry.messages = summary.messages;
        m_byPath.insert(qHash(summary.path), Count());
        m_entries.push_back(std::move(entry));
        ++m_checked;
    }
    Q_EMIT Added();
    Q_EMIT CountsChanged();
}

QString ReviewList::Path(qsizetype index) const {
    const Entry& entry = m_entries[size_t(index)];
    return m_folders.at(entry.folder) + entry.name;
}

QString ReviewList::Folder(qsizetype index) const {
    const QString& folder = m_folders.at(m_entries[size_t(index)].folder);
    return folder.size() > 1 ? folder.chopped(1) : folder;
}

QString ReviewList::Name(qsizetype index) const {
    return m_entries[size_t(index)].name;
}

qsizetype ReviewList::Find(const QString& path) const {
    for (auto it = m_byPath.constFind(qHash(path));
         it != m_byPath.constEnd() && it.key() == qHash(path); ++it)
        if (Path(it.value()) == path)
            return it.value();
    return -1;
}

void ReviewList::SetChecked(qsizetype index, bool checked) {
    Entry& entry = m_entries[size_t(index)];
    if (entry.checked == checked)
        return;
    entry.checked = checked;
    m_checked += checked ? 1 : -1;
    Q_EMIT ChecksChanged(index, index);
}

void ReviewList::SetAllChecked(bool checked) {
    for (Entry& entry : m_entries)
        entry.checked = checked;
    m_checked = checked ? Count() : 0;
    if (!m_entries.empty())
        Q_EMIT ChecksChanged(0, Count() - 1);
}

QStringList ReviewList::CheckedPaths() const {
    QStringList paths;
    paths.reserve(m_checked);
    for (qsizetype i = 0; i < Count(); ++i)
        if (m_entries[size_t(i)].checked)
            paths.append(Path(i));
    return paths;
}

ReviewMismatch ReviewList::Compare(const QString& path, const QByteArray& original,
                                   const QByteArray& tidied) const {
    const qsizetype index = Find(path);
    if (index < 0)
        return ReviewMismatch::NotReviewed;
    return Compare(index, original, tidied);
}

ReviewMismatch ReviewList::Compare(qsizetype index, const QByteArray& original,
                                   const QByteArray& tidied) const {
    const Entry& entry = m_entries[size_t(index)];
    if (DigestOf(original) != entry.original)
        return ReviewMismatch::FileChanged;
    if (DigestOf(tidied) != entry.tidied)
        return ReviewMismatch::TidiedDiffers;
    return ReviewMismatch::None;
}
