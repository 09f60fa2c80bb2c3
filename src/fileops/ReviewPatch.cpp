#include "fileops/ReviewPatch.h"

#include "batch/UnifiedDiff.h"
#include "platform/FileNames.h"
#include "support/Translation.h"

#include <QIODevice>

namespace {

// The folder part of a path, without its trailing separator ("/" for the root).
QString ParentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

bool IsBelow(const QString& path, const QString& folder) {
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path.size() > folder.size() && path.startsWith(folder) &&
           path.at(folder.size()) == QLatin1Char('/');
}

} // namespace

QString CommonFolder(const QStringList& paths) {
    if (paths.isEmpty())
        return {};
    QString common = ParentOf(paths.first());
    for (const QString& path : paths)
        while (common != QLatin1String("/") && !IsBelow(path, common))
            common = ParentOf(common);
    return common;
}

QByteArray PatchName(const QString& base, const QString& path) {
    QByteArray name = platform::EncodeFileName(
        IsBelow(path, base) && base != QLatin1String("/") ? path.mid(base.size() + 1) : path);
    while (name.startsWith('/'))
        name.remove(0, 1);
    return name;
}

PatchWriter::PatchWriter(const ReviewList& list, QString base, QIODevice& out,
                         FileProgressRun* progress)
    : m_list(list), m_base(std::move(base)), m_out(out), m_progress(progress) {}

void PatchWriter::FileDone(const FileRecord& record) {
    ++m_records;
    static const QString changed = QStringLiteral(
        "%s: The file changed since its changes were reviewed. Its changes are not in the patch.");
    switch (record.outcome) {
    case FileOutcome::WouldChange:
        break;
    case FileOutcome::Unchanged:
    case FileOutcome::AlreadyTidied:
    case FileOutcome::Folder:
        // Tidying would no longer change it: it is not what was reviewed.
        LeaveOut(record, changed);
        return;
    default:
        // The run said why (read-only, vanished, unreadable ...).
        ++m_leftOut;
        return;
    }
    switch (m_list.Compare(record.path, record.original, record.tidied)) {
    case ReviewMismatch::None:
        break;
    case ReviewMismatch::NotReviewed:
        LeaveOut(record, QStringLiteral("%s: This file was not reviewed. It is not in the patch."));
        return;
    case ReviewMismatch::FileChanged:
        LeaveOut(record, changed);
        return;
    case ReviewMismatch::TidiedDiffers:
        LeaveOut(record, QStringLiteral("%s: Tidying the file no longer gives the text that was "
                                        "reviewed. Its changes are not in the patch."));
        return;
    }
    const QByteArray name = PatchName(m_base, record.path);
    const QByteArray diff = UnifiedDiff(record.original, record.tidied, "a/" + name, "b/" + name);
    if (m_out.write(diff) != diff.size())
        m_writeFailed = true;
    ++m_written;
}

void PatchWriter::LeaveOut(const FileRecord& record, const QString& lineTemplate) {
    ++m_leftOut;
    if (m_progress)
        m_progress->AddError(FillTemplate(Translate(lineTemplate), {record.path}));
}
