#pragma once
// The work list of a kelvane-batch run as a stream: the paths of the command line, then those
// of --files-from, each folder expanded (with -r) into the matching files below it as the walk
// finds them. Nothing is collected: the run's look-ahead decides how far the list is read.
//
// Entries that cannot be processed as they stand (a folder without -r, a path that does not
// exist, a folder that cannot be read) still go to the run in their place, so that they are
// reported in list order; the report learns why from FlaggedEntries.

#include "batch/BatchArguments.h"
#include "batch/PathList.h"
#include "fileops/FolderScan.h"
#include "fileops/WorkItems.h"

#include <deque>
#include <functional>
#include <memory>

// An entry of the list that the report marks as a failure, whatever the run makes of it.
struct FlaggedEntry {
    qint64 index = 0; // its place in the list, from 0
    QString status;   // "folder", "missing", "unreadable-folder", "backup-copy"
    QString problem;  // the line that says why
    bool failed = true; // it could not be processed (a backup folder is passed over by design)
};

// Flagged entries in list order, taken by the report as the run reaches them.
class FlaggedEntries {
public:
    void Add(FlaggedEntry entry) { m_entries.push_back(std::move(entry)); }
    // The flag of the entry at `index`, if it has one; flags of earlier entries are dropped.
    std::optional<FlaggedEntry> Take(qint64 index);

private:
    std::deque<FlaggedEntry> m_entries;
};

class BatchWorkItems final : public WorkItems {
public:
    struct Settings {
        BatchCommand command = BatchCommand::Tidy;
        bool recursive = false;
        QStringList masks;
        // Answers true once the list is to end (an interrupt).
        std::function<bool()> stop;
        // Called before the list waits for input that has not come yet, so that what was
        // reported so far reaches its reader meanwhile.
        std::function<void()> beforeWait;
        // Whether a file (named, listed or found in a folder) may be processed with the run's
        // options: false for one of another project, which the callback has reported. Empty:
        // every file may.
        std::function<bool(const QString& path, bool knownFile)> inProject;
    };

    // `list` (may be null) is read after `paths`.
    BatchWorkItems(QStringList paths, PathList* list, Settings settings, FlaggedEntries& flags);
    ~BatchWorkItems() override;

    std::optional<QString> Next() override;
    // Not known in advance: the list is a stream.
    qsizetype Count() const override { return -1; }
    bool Ready() override;
    const TreeRoots* Roots() const override { return &m_roots; }
    bool CountsExactly() const override { return m_exact; }

    // Entries given out so far, and whether that is all of them.
    qint64 Listed() const { return m_index; }
    bool Complete() const { return m_complete; }

private:
    std::optional<QString> NextInput();
    QString Yield(QString path);
    // Gives out `path` with a flag; the problem's template is filled with the path and `reason`.
    QString Flag(QString path, const QString& status, const QString& problem,
                 const QString& reason = {}, bool failed = true);

    QStringList m_paths;
    qsizetype m_nextPath = 0;
    PathList* m_list;
    Settings m_settings;
    FlaggedEntries& m_flags;
    std::unique_ptr<FolderWalker> m_walker;
    TreeRoots m_roots;
    qint64 m_index = 0;
    bool m_complete = false;
    bool m_exact = true;
};
