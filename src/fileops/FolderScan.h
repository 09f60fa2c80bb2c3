#pragma once
// The folder scan behind every folder expansion: depth first, every sub-folder, hidden entries
// included, each file tested against the masks in order. The scanning window drives it and
// shows its progress; PlainFolderScanner runs it without a window.

#include "fileops/Selection.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    // A folder is being scanned (again, after one of its sub-folders).
    virtual void FolderEntered(const QString& folder) = 0;
    // The target list now holds `count` entries (after a match).
    virtual void CountChanged(qsizetype count) = 0;
    // Called before each entry: lets pending events run (keep it cheap, it runs for every
    // entry) and answers false once the scan is to stop.
    virtual bool KeepGoing() = 0;
};

// Appends to `target` every file under `folder` whose name matches one of `masks` (the first
// matching mask decides), depth first, a sub-folder's files where the sub-folder was met.
// Only regular files (or links to them) are listed; links to folders are not followed, so a
// link can neither loop nor lead the scan out of the tree. A folder that cannot be read adds
// nothing. Answers false when the observer stopped the scan. A malformed mask throws
// KelvaneError at the first file tested; what was found up to then stays appended.
bool ScanDirectory(const QString& folder, const QStringList& masks, QStringList& target,
                   ScanObserver& observer);

class FolderReader;

// The same scan, yielding one match at a time (the headless program's work list over a site of
// millions of pages): memory holds one open folder per level of depth, never the matches.
// Links to folders are not followed; folders for which `skipFolder` answers true (given the
// folder's name) are not entered, nor is the starting folder when `skipTop` answers true for
// it (given its descriptor and its path: it may be named in any way, "." or "x/./").
class FolderWalker {
public:
    using SkipFolder = std::function<bool(const QString& name)>;
    using SkipTop = std::function<bool(int folderFd, const QString& path)>;
    struct Found {
        QString path;  // a matching file, or a folder that could not be read or was passed over
        int error = 0; // for a folder that could not be read: the reason (errno)
        bool skipped = false; // the starting folder, passed over (`skipTop`)
    };

    FolderWalker(const QString& folder, QStringList masks, SkipFolder skipFolder = {},
                 const SkipTop& skipTop = {});
    ~FolderWalker();
    FolderWalker(const FolderWalker&) = delete;
    FolderWalker& operator=(const FolderWalker&) = delete;

    // The next match, or the next folder that could not be read (the starting folder
    // included); nothing at the end. Throws KelvaneError for a malformed mask.
    std::optional<Found> Next();

private:
    QStringList m_masks;
    SkipFolder m_skipFolder;
    std::vector<std::unique_ptr<FolderReader>> m_levels;
    QString m_top;
    int m_topError = 0;
    bool m_topSkipped = false;
};

// A FolderScanner without a window: nothing is shown, nothing cancels, and a malformed mask is
// reported through Prompts as the window would.
class PlainFolderScanner final : public FolderScanner {
public:
    bool ScanFolder(const QString& folder, const QString& filter, QStringList& target) override;
};
