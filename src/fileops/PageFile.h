#pragma once
// One entry of a batch run, opened once: the descriptor of the file, what it was when opened,
// and where it lies (its folder, opened by descriptor, and its name there). Every later step
// (reading, the backup, the rewrite and its last check) works on this, never on the path
// again, so a name swapped for a link in the middle of the run cannot redirect any of it.
//
// Symbolic links named like pages are followed only under the kernel's rule for links in
// shared folders: when the link belongs to the running user or to the owner of the file it
// leads to. A user's own links keep working; a link planted by someone else to a file that is
// not theirs leads nowhere. Below a folder the user named (a TreeRoots root) a link is followed
// only as far as it stays inside that folder: nothing outside the tree is read or written
// through a link in it.

#include "fileops/RunFiles.h"
#include "platform/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <sys/stat.h>

enum class PageState {
    Opened,
    Missing,         // nothing of that name (any more), or a link to nothing
    Folder,          // a folder (a link to one counts)
    NotRegular,      // a FIFO, device or socket: never opened
    LinkNotFollowed, // a symbolic link, and the caller follows none (restore, clean)
    LinkRefused,     // a link of another user to a file that is not his
    LinkLeavesTree,  // a link below a root the user named that leads out of it
    InBackupFolder,  // PageUse::Tidy: the file lies in a backup folder (a backup copy)
    ReadOnly,        // PageUse::Tidy: the owner's write bit is clear
    Failed,          // the system refused; `error` says why
};

enum class LinkRule {
    FollowOwned, // follow links that the kernel's shared-folder rule would
    Never,       // a link is reported as LinkNotFollowed
};

// What the page is opened for: for tidying, a backup copy and a read-only file are refused
// before the file is opened (a file its owner made unreadable is read-only, not unreadable).
enum class PageUse { Read, Tidy };

class PageFile {
public:
    PageFile() = default;
    PageFile(PageFile&&) noexcept = default;
    PageFile& operator=(PageFile&&) noexcept = default;

    QString path;               // as listed
    platform::FolderRef folder; // holds the listed name
    QByteArray name;            // the listed name in `folder`
    // The file itself: the listed name, or what its links lead to. Its backup lies beside it,
    // so that it is found whichever name the file is reached by.
    platform::FolderRef fileFolder;
    QByteArray fileName;
    bool throughLink = false;
    platform::UniqueFd fd; // read-only; for Opened
    struct stat st {};     // the file when it was opened

    bool IsOpen() const { return fd.get() >= 0; }
    FileKey Key() const { return KeyOf(st); }
    // This run wrote the file (RunFiles::Wrote), under this name or another.
    bool WrittenBy(const RunFiles& files) const { return files.WroteFile(fd.get(), Key()); }
    bool ReadOnly() const { return (st.st_mode & S_IWUSR) == 0; }
    // Nothing was written to the file since it was opened (size and times as then; on a file
    // system whose times are too coarse to tell, `content` is compared too).
    bool Unchanged(const QByteArray* content = nullptr) const;
    // No byte was written to it since it was opened (its size and modification time as then).
    // Unlike Unchanged(), this holds after its name was taken away from it.
    bool ContentUnchanged() const;
    // After the run itself gave the file another name (its backup), which moves its status
    // time: takes the file's status as it is now, when no byte was written to it meanwhile.
    bool TakeOwnChange();
    // Its name still leads to the file that was opened.
    bool StillNamed() const;
    // Takes the run's exclusive hold on the file against other runs (an advisory lock held
    // until the descriptor closes). False when another run holds it.
    bool LockAgainstOtherRuns();
};

struct OpenedPage {
    PageState state = PageState::Failed;
    int error = 0;
    PageFile page; // `folder` and `name` are set whenever the folder could be opened
};

OpenedPage OpenPage(RunFiles& files, const QString& path, LinkRule rule,
                    PageUse use = PageUse::Read);

enum class ReadState { Read, TooLarge, Failed };
// Reads the whole file from its start into `bytes`, at most `limit` bytes. A file written to
// while it is read is read again, so that `bytes` is what `page` (its size and times) says.
ReadState ReadPage(PageFile& page, QByteArray& bytes, qint64 limit, int* error = nullptr);
