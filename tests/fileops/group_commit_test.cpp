// The disk work of the rewrites, watched step by step through a recording CommitSteps in the
// real run: the order of renames and flushes that makes every moment safe, and what each failure
// leaves behind: a file that is not tidied leaves its page and its backup folder exactly as they
// were.

#include "BatchDoubles.h"
#include "fileops/BackupStore.h"
#include "fileops/CommitSteps.h"
#include "fileops/DurableWrites.h"
#include "fileops/RewriteQueue.h"
#include "fileops/WriteFailure.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Step {
    QString op; // flush, place, exchange, swap, rename, remove, reported
    QByteArray name = {};
    bool inBackups = false; // in a backup folder
    bool replace = false;   // place: over what the name holds
};

bool InBackupFolder(int fd) {
    char path[4096];
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(self.constData(), path, sizeof path);
    return length > 0 && QByteArray(path, length).endsWith("/Kelvane Backup");
}

// Records every step and does it, unless `fail` answers an errno for it; `before` runs first.
class RecordingSteps final : public CommitSteps {
public:
    bool Flush(const std::vector<platform::FolderRef>& folders, int& error) override {
        if (!Go({"flush"})) {
            error = errno;
            return false;
        }
        return CommitSteps::Flush(folders, error);
    }
    bool Place(platform::TemporaryFile& file, QByteArrayView name, bool replace) override {
        return Go({"place", name.toByteArray(), InBackupFolder(file.Folder()), replace}) &&
               CommitSteps::Place(file, name, replace);
    }
    bool Exchange(platform::TemporaryFile& file, QByteArrayView name,
                  const platform::TemporaryFile::NameMaker& asideNames,
                  QByteArray& aside) override {
        return Go({"exchange", name.toByteArray(), InBackupFolder(file.Folder())}) &&
               CommitSteps::Exchange(file, name, asideNames, aside);
    }
    bool Swap(int folderFd, const QByteArray& a, const QByteArray& b) override {
        return Go({"swap", b, InBackupFolder(folderFd)}) && CommitSteps::Swap(folderFd, a, b);
    }
    bool Rename(int folderFd, const QByteArray& from, const QByteArray& to) override {
        return Go({"rename", to, InBackupFolder(folderFd)}) &&
               CommitSteps::Rename(folderFd, from, to);
    }
    bool Remove(int folderFd, const QByteArray& name, FileKey expected) override {
        return Go({"remove", name, InBackupFolder(folderFd)}) &&
               CommitSteps::Remove(folderFd, name, expected);
    }

    // Steps, in order; "reported" steps are the run's reports of tidied files.
    std::vector<Step> steps;
    std::function<int(const Step&)> fail;
    std::function<void(const Step&)> before;

private:
    bool Go(const Step& step) {
        steps.push_back(step);
        if (before)
            before(step);
        if (const int code = fail ? fail(step) : 0) {
            errno = code;
            return false;
        }
        return true;
    }
};

// Every entry of a folder (hidden ones too) with its bytes and inode: "exactly as it was".
QMap<QString, QPair<QByteArray, ino_t>> FolderState(const QString& folder) {
    QMap<QString, QPair<QByteArray, ino_t>> state;
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        struct stat st {};
        ::lstat(QFile::encodeName(folder + "/" + name).constData(), &st);
        state.insert(name, {ReadAll(folder + "/" + name), st.st_ino});
    }
    return state;
}

ino_t InodeOf(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_ino;
}

class GroupCommitTest : public BatchRunFixture {
protected:
    void SetUp() override {
        BatchRunFixture::SetUp();
        SetCommitStepsForTests(&recording);
        rig.observer.onFile = [this](const FileRecord& record) {
            if (record.outcome == FileOutcome::Tidied)
                recording.steps.push_back(
                    {"reported", QFile::encodeName(QFileInfo(record.path).fileName())});
        };
    }
    void TearDown() override {
        SetCommitStepsForTests(nullptr);
        SetBeforeReplaceHookForTests(nullptr);
    }
    void Run(const QStringList& paths) {
        prompts.optionsAnswers.push_back(true);
        ListWorkItems items(paths);
        rig.commands.RunTidyBatch(items);
    }
    // The index of the first step matching, from `from` on; -1 when none.
    int Find(const std::function<bool(const Step&)>& match, int from = 0) const {
        for (int i = from; i < int(recording.steps.size()); ++i)
            if (match(recording.steps[size_t(i)]))
                return i;
        return -1;
    }
    int FlushBetween(int from, int to) const {
        const int flush = Find([](const Step& s) { return s.op == "flush"; }, from + 1);
        return flush >= 0 && flush < to ? flush : -1;
    }

    RecordingSteps recording;
};

} // namespace

TEST_F(GroupCommitTest, EachBackupIsOnDiskBeforeItsPageAndEachPageBeforeItIsReported) {
    const QString fresh = Page("fresh.html", "<p>fresh");
    const QString again = Page("again.html", "<p>again");
    Page("Kelvane Backup/again.html", "<p>older");
    // Other names make a copied backup, placed in a step of its own.
    const QString linked = Page("linked.html", "<p>linked");
    ASSERT_EQ(::link(QFile::encodeName(linked).constData(),
                     QFile::encodeName(root + "other name").constData()),
              0);
    Page("Kelvane Backup/linked.html", "<p>older linked");

    Run({fresh, again, linked});

    EXPECT_EQ(rig.observer.Outcomes(), QList<FileOutcome>(3, FileOutcome::Tidied));
    const int lastReplace = [&] {
        int last = -1;
        for (int i = 0; i < int(recording.steps.size()); ++i)
            if (recording.steps[size_t(i)].op == "place" && !recording.steps[size_t(i)].inBackups)
                last = i;
        return last;
    }();
    for (const QString& path : {fresh, again, linked}) {
        const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
        const int backup = Find([&](const Step& s) {
            return s.inBackups && s.name == name && (s.op == "place" || s.op == "exchange");
        });
        const int replace =
            Find([&](const Step& s) { return s.op == "place" && !s.inBackups && s.name == name; });
        const int reported =
            Find([&](const Step& s) { return s.op == "reported" && s.name == name; });
        ASSERT_GE(backup, 0) << name.constData();
        ASSERT_GT(replace, backup) << name.constData();
        EXPECT_GE(FlushBetween(backup, replace), 0) << "backup not on disk before its page is "
                                                       "replaced: "
                                                    << name.constData();
        ASSERT_GT(reported, replace) << name.constData();
        EXPECT_GE(FlushBetween(replace, reported), 0)
            << "reported tidied before its new name was on disk: " << name.constData();
        EXPECT_EQ(ReadAll(path), "tidied:" + ReadAll(BackupPathOf(path)));
    }
    // The older backups go only once every new name of the group is on disk.
    const int newNames = FlushBetween(lastReplace, int(recording.steps.size()));
    ASSERT_GE(newNames, 0);
    for (int i = 0; i < int(recording.steps.size()); ++i) {
        if (recording.steps[size_t(i)].op == "remove" && recording.steps[size_t(i)].inBackups) {
            EXPECT_GT(i, newNames) << recording.steps[size_t(i)].name.constData();
        }
    }
    EXPECT_EQ(ReadAll(BackupPathOf(fresh)), "<p>fresh");
    EXPECT_EQ(ReadAll(BackupPathOf(again)), "<p>again");
    EXPECT_EQ(ReadAll(BackupPathOf(linked)), "<p>linked");
    // Nothing hidden is left: no older backup aside, no marker, no temporary.
    EXPECT_EQ(QDir(root + "Kelvane Backup").entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_EQ(QDir(root).entryList(QDir::Files | QDir::Hidden).size(), 4);
}

// Whatever fails, a file that is not tidied is as it was, and so is its backup folder: an older
// backup is back under its name (the same file), a backup the run added is gone.
TEST_F(GroupCommitTest, EveryOutcomeButTidiedLeavesThePageAndItsBackupFolderAsTheyWere) {
    using Fail = std::function<int(const Step& step, const std::vector<Step>& before)>;
    const auto replaced = [](const std::vector<Step>& steps) {
        return std::any_of(steps.begin(), steps.end(),
                           [](const Step& e) { return e.op == "place" && !e.inBackups; });
    };
    const struct Case {
        const char* name;
        QByteArray concerns; // the pages the failure concerns: names starting so
        Fail fail;
        FileOutcome outcome;     // of the first page concerned; later ones may not have run
        bool runGoesOn;          // pages after them are still tidied
        bool lateEdit = false;   // written to between the last look and the rename
        bool editBefore = false; // written to just before the last look
    } cases[] = {
        {"the backups' flush fails", "",
         [](const Step& s, const std::vector<Step>&) { return s.op == "flush" ? EIO : 0; },
         FileOutcome::WriteFailed, false},
        {"the new names' flush fails", "",
         [&](const Step& s, const std::vector<Step>& steps) {
             return s.op == "flush" && replaced(steps) ? EIO : 0;
         },
         FileOutcome::WriteFailed, false},
        {"the page refuses its new name (immutable)", "",
         [](const Step& s, const std::vector<Step>&) {
             return s.op == "place" && !s.inBackups ? EPERM : 0;
         },
         FileOutcome::WriteRefused, true},
        {"the disk fills at the rename", "",
         [](const Step& s, const std::vector<Step>&) {
             return s.op == "place" && !s.inBackups ? ENOSPC : 0;
         },
         FileOutcome::WriteFailed, false},
        {"the copied backup cannot take its name", "copied",
         [](const Step& s, const std::vector<Step>&) {
             return (s.op == "place" || s.op == "exchange") && s.inBackups ? EACCES : 0;
         },
         FileOutcome::BackupFailed, true},
        {"edited just before the last look", "", nullptr, FileOutcome::Changed, true, false, true},
        {"edited between the last look and the rename", "", nullptr, FileOutcome::Changed, true,
         true, false},
    };
    int round = 0;
    for (const Case& c : cases) {
        const QString folder = root + QStringLiteral("case%1/").arg(round++);
        const QString backupFolder = folder + "Kelvane Backup";
        // Backups that are the page itself under a second name (in place of an older backup,
        // or of none), one that is a copy (the page has another name), then a page that the
        // failure does not concern.
        const QStringList pages = {Page(folder.mid(root.size()) + "linked-older.html", "<p>one"),
                                   Page(folder.mid(root.size()) + "linked-new.html", "<p>two"),
                                   Page(folder.mid(root.size()) + "copied.html", "<p>copied")};
        Page(folder.mid(root.size()) + "Kelvane Backup/linked-older.html", "the older backup");
        Page(folder.mid(root.size()) + "Kelvane Backup/copied.html", "the older copy");
        ASSERT_EQ(::link(QFile::encodeName(pages[2]).constData(),
                         QFile::encodeName(folder + "copied twin").constData()),
                  0);
        const QString after = Page(folder.mid(root.size()) + "after.html", "<p>after");
        const auto concerned = [&](const QString& path) {
            return path != after && QFileInfo(path).fileName().startsWith(c.concerns);
        };
        QMap<QString, QPair<QByteArray, ino_t>> before;
        for (const QString& page : pages)
            before.insert(page, {ReadAll(page), InodeOf(page)});
        const auto backupsBefore = FolderState(backupFolder);

        recording.steps.clear();
        recording.fail = [&](const Step& s) {
            if (!c.fail || s.name.startsWith("after") ||
                (s.name.endsWith(".html") && !s.name.startsWith(c.concerns)))
                return 0;
            return c.fail(s, recording.steps);
        };
        QSet<QByteArray> edited;
        recording.before = [&](const Step& s) {
            if (c.lateEdit && s.op == "place" && !s.inBackups && !s.name.startsWith("after") &&
                !edited.contains(s.name)) {
                edited.insert(s.name);
                QFile file(folder + QFile::decodeName(s.name));
                ASSERT_TRUE(file.open(QIODevice::Append));
                file.write(" edited");
            }
        };
        SetBeforeReplaceHookForTests([&](const PageFile& page) {
            if (c.editBefore && concerned(page.path)) {
                QFile file(page.path);
                ASSERT_TRUE(file.open(QIODevice::Append));
                file.write(" edited");
            }
        });
        rig.observer.records.clear();
        Run(pages + QStringList{after});
        SetBeforeReplaceHookForTests(nullptr);
        recording.before = nullptr;
        recording.fail = nullptr;

        QMap<QString, FileOutcome> outcomes;
        for (const FileRecord& record : rig.observer.records)
            outcomes.insert(record.path, record.outcome);
        bool first = true;
        for (const QString& page : pages) {
            const std::string where = std::string(c.name) + ": " + page.toStdString();
            const QString name = QFileInfo(page).fileName();
            if (!concerned(page)) {
                EXPECT_EQ(outcomes.value(page), FileOutcome::Tidied) << where;
                continue;
            }
            // Not run at all after a failure that ended the run: not reported.
            if (first || outcomes.contains(page)) {
                EXPECT_EQ(outcomes.value(page), c.outcome) << where;
            }
            first = false;
            const QByteArray edit = c.lateEdit || c.editBefore ? " edited" : "";
            EXPECT_EQ(ReadAll(page), before[page].first + edit) << where;
            EXPECT_EQ(InodeOf(page), before[page].second) << where;
            EXPECT_EQ(FolderState(backupFolder).value(name), backupsBefore.value(name)) << where;
        }
        // Nothing hidden stays behind: no older backup aside, no marker, no temporary.
        for (const QString& left : QDir(backupFolder).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(left.startsWith('.')) << c.name << ": " << left.toStdString();
        for (const QString& left : QDir(folder).entryList(QDir::Files | QDir::Hidden))
            EXPECT_FALSE(left.startsWith('.')) << c.name << ": " << left.toStdString();
        EXPECT_EQ(ReadAll(after), c.runGoesOn ? QByteArray("tidied:<p>after") : "<p>after")
            << c.name;
    }
}

// One path's backup (MakeBackup): an older backup goes only once the new one is on disk.
TEST_F(GroupCommitTest, ABackupOfOnePathThatIsNotOnDiskLeavesTheOlderOne) {
    const QString page = Page("one.html", "<p>now");
    Page("Kelvane Backup/one.html", "<p>older");
    const auto before = FolderState(root + "Kelvane Backup");
    recording.fail = [&](const Step& s) {
        const bool named = std::any_of(recording.steps.begin(), recording.steps.end(),
                                       [](const Step& e) { return e.op == "exchange"; });
        return s.op == "flush" && named ? EIO : 0;
    };
    EXPECT_TRUE(MakeBackup(page).isEmpty());
    EXPECT_EQ(FolderState(root + "Kelvane Backup"), before);
    recording.fail = nullptr;
    EXPECT_FALSE(MakeBackup(page).isEmpty());
    EXPECT_EQ(ReadAll(BackupPathOf(page)), "<p>now");
    EXPECT_EQ(QDir(root + "Kelvane Backup").entryList(QDir::Files | QDir::Hidden).size(), 1);
}

// A failure that concerns one file is its line; one that every later file would meet ends the
// run there.
TEST(WriteFailure, OnlyFailuresThatEveryLaterFileWouldMeetEndTheRun) {
    const struct Case {
        int error;
        bool endsRun;
    } cases[] = {
        // This file or its folder only.
        {EACCES, false},       // a folder that takes no new file
        {EPERM, false},        // an immutable or append-only page or folder, a sticky folder
        {ENOENT, false},       // the folder went meanwhile
        {ENOTDIR, false},      // ... and something else took its name
        {ELOOP, false},        // a link where the run follows none
        {EEXIST, false},       // every name tried was taken
        {ENAMETOOLONG, false}, // a name too long for this file system
        {EBUSY, false},        // a mount point, a file in use
        {ETXTBSY, false},      // a program that is running
        {EISDIR, false},       // a folder where the page was
        {EXDEV, false},        // the page's name leads to another file system now
        {EMLINK, false},       // too many names for this file
        {EFBIG, false},        // this text is over a limit of the file
        {ESTALE, false},       // this folder's handle on a network file system
        {EINVAL, false},
        {EAGAIN, false},
        {0, false},
        // Every later file too.
        {ENOSPC, true},
        {EDQUOT, true},
        {EIO, true},
        {EROFS, true},
        {ENOMEM, true},
        {EMFILE, true},
        {ENFILE, true},
        {ENODEV, true},
        {EUCLEAN, true},
        {ENOTCONN, true},
        {ETIMEDOUT, true},
        {EHOSTUNREACH, true},
        {ENETDOWN, true},
        {EREMOTEIO, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FailureEndsRun(c.error), c.endsRun) << std::strerror(c.error);
}
