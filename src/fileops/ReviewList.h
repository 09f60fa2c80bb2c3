#pragma once
// The files of a Review Changes run that tidying would change, in the order of the work list,
// each with a check box, and the counts of the files that would stay as they are or could not
// be tidied. Memory stays small whatever the number of files: an entry keeps digests of the
// file as read and of its tidied text, never the texts themselves; whoever shows a file reads
// and tidies it again and compares the digests.

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <array>
#include <vector>

// BLAKE2b-256 of a text: as strong as SHA-256, and several times quicker here.
using ContentDigest = std::array<quint8, 32>;
ContentDigest DigestOf(const QByteArray& bytes);

// What the review keeps of one file that tidying would change.
struct ReviewSummary {
    QString path;
    ContentDigest original{};
    ContentDigest tidied{};
    int changedLines = 0; // TextChanges::changedLines
    int changes = 0;      // blocks of changed lines
    int messages = 0;     // the library's reports
};

// Why a file may not be written (or put in a patch) as reviewed.
enum class ReviewMismatch {
    None,          // the file and its tidied text are what the review saw
    NotReviewed,   // the review has no such file
    FileChanged,   // the file's bytes differ from those reviewed
    TidiedDiffers, // the file is as reviewed, but tidying it gives another text
};

class ReviewList : public QObject {
    Q_OBJECT
public:
    explicit ReviewList(QObject* parent = nullptr);

    // Forgets every entry and count.
    void Clear();
    // Appends entries, checked.
    void Add(std::vector<ReviewSummary> summaries);
    void CountUnchanged() {
        ++m_unchanged;
        Q_EMIT CountsChanged();
    }
    void CountNotTidied() {
        ++m_notTidied;
        Q_EMIT CountsChanged();
    }

    qsizetype Count() const { return qsizetype(m_entries.size()); }
    qint64 Unchanged() const { return m_unchanged; }
    qint64 NotTidied() const { return m_notTidied; }

    QString Path(qsizetype index) const;
    // The folder without a trailing separator ("/" for the root).
    QString Folder(qsizetype index) const;
    QString Name(qsizetype index) const;
    int ChangedLines(qsizetype index) const { return m_entries[size_t(index)].changedLines; }
    int Changes(qsizetype index) const { return m_entries[size_t(index)].changes; }
    int Messages(qsizetype index) const { return m_entries[size_t(index)].messages; }
    // The index of `path`; -1 when it is not listed.
    qsizetype Find(const QString& path) const;

    bool Checked(qsizetype index) const { return m_entries[size_t(index)].checked; }
    void SetChecked(qsizetype index, bool checked);
    void SetAllChecked(bool checked);
    qsizetype CheckedCount() const { return m_checked; }
    // The checked files in list order: what Tidy Checked Files and Save as Patch work on.
    QStringList CheckedPaths() const;

    // Whether `original` read from `path` and `tidied` from it are what the review saw.
    ReviewMismatch Compare(const QString& path, const QByteArray& original,
                           const QByteArray& tidied) const;
    // The same for a file shown from the list.
    ReviewMismatch Compare(qsizetype index, const QByteArray& original,
                           const QByteArray& tidied) const;

Q_SIGNALS:
    void AboutToAdd(qsizetype first, qsizetype last);
    void Added();
    void AboutToClear();
    void Cleared();
    void ChecksChanged(qsizetype first, qsizetype last);
    void CountsChanged();

private:
    struct Entry {
        int folder = 0; // index in m_folders
        QString name;
        ContentDigest original{};
        ContentDigest tidied{};
        int changedLines = 0;
        int changes = 0;
        int messages = 0;
        bool checked = true;
    };

    std::vector<Entry> m_entries;
    QStringList m_folders; // each with its trailing separator
    QHash<QString, int> m_folderIndex;
    QMultiHash<size_t, qsizetype> m_byPath; // qHash of the path
    qsizetype m_checked = 0;
    qint64 m_unchanged = 0;
    qint64 m_notTidied = 0;
};
