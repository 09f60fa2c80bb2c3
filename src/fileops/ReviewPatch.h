#pragma once
// Save as Patch: the reviewed changes of the checked files as one unified diff, in the form of
// `kelvane-batch tidy --diff` ("--- a/NAME", "+++ b/NAME", names relative to the folder the
// review was started in), so that `patch -p1` in that folder, or in a copy of it, applies it.
// The patch is made by a check run over the checked files: a file whose bytes or tidied text
// are no longer what the review saw is left out, with a line saying so.

#include "fileops/BatchCommands.h"
#include "fileops/ReviewList.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class QIODevice;

// The folder that holds every one of `paths` (files or folders side by side, as a selection
// is): the longest common folder of their parent folders, without a trailing separator ("/"
// for the root). Empty for no paths.
QString CommonFolder(const QStringList& paths);

// The name of `path` in a patch: its bytes relative to `base`, or, outside `base`, the whole
// path without its leading separators (as kelvane-batch names it).
QByteArray PatchName(const QString& base, const QString& path);

class PatchWriter final : public BatchObserver {
public:
    // Writes to `out`; lines for files left out go to `progress` (may be null).
    PatchWriter(const ReviewList& list, QString base, QIODevice& out, FileProgressRun* progress);

    void FileDone(const FileRecord& record) override;

    int Written() const { return m_written; }       // files whose changes are in the patch
    int LeftOut() const { return m_leftOut; }       // files not in it (a line each, theirs or ours)
    qsizetype Records() const { return m_records; } // entries of the run reached
    bool WriteFailed() const { return m_writeFailed; }

private:
    void LeaveOut(const FileRecord& record, const QString& lineTemplate);

    const ReviewList& m_list;
    const QString m_base;
    QIODevice& m_out;
    FileProgressRun* m_progress;
    int m_written = 0;
    int m_leftOut = 0;
    qsizetype m_records = 0;
    bool m_writeFailed = false;
};
