#pragma once
// Backs up and rewrites the tidied files of a run on a thread of its own, many files at a
// time. Putting a file on disk takes the disk's time, not the processor's, and one flush of
// the file system costs about what one flush of a single file does: so the files that came in
// while the last group was written go to disk together, with two flushes for the group (the
// backups, which are mostly the original files under a second name, with the new texts'
// bytes; then the pages' new names), a third only for backups that had to be copied, rather
// than several for each file.
//
// The guarantee is the one of a file written alone: a file is replaced only once its backup is
// complete and on disk, and only when it still is exactly what was read and tidied (checked on
// the descriptor it was read through, just before the new text takes its name). So at every
// moment each file is untouched, or tidied with its backup; an edit made meanwhile ends up in
// the file (which is then left alone) or in its backup. A file that is not tidied leaves its
// backup folder as it was. A refusal for one file (a folder that takes no new file, an
// immutable page) is that file's outcome; once a rewrite fails in a way that every later file
// would meet (a full disk), files not yet started are not touched: the run ends there.

#include "fileops/PageFile.h"
#include "fileops/RunFiles.h"

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

enum class RewriteResult {
    Pending,
    Rewritten,    // backed up and replaced by the tidied text
    BackupFailed, // no backup could be made; the file is as it was
    Changed,      // the file no longer held the tidied bytes; it was left as it is
    WriteFailed,  // the tidied text could not be written, and no later file's can; the file is
                  // as it was
    WriteRefused, // the tidied text could not be written here (this file only); as it was
    NotRun,       // an earlier rewrite failed first; nothing was done
};

struct RewriteOutcome {
    RewriteResult result = RewriteResult::Pending;
    QString error;   // WriteFailed, WriteRefused: the system's reason
    QString refusal; // BackupFailed because of the backup folder: its untranslated line
};

class RewriteQueue {
public:
    struct Job {
        PageFile page;       // opened and read; held (and locked) until the job is done
        QByteArray original; // the bytes that were read and tidied: the backup's content
        QByteArray output;   // the tidied text
        FileKey key;         // the file's, as it was read
        RewriteOutcome outcome; // guarded by the queue's mutex while queued
    };
    using Ticket = std::shared_ptr<Job>;

    // Submit waits while `maxJobs` jobs or `maxBytes` of texts are outstanding (one job is
    // always let in).
    explicit RewriteQueue(RunFiles& files, int maxJobs = 512, qint64 maxBytes = qint64(64) << 20);
    // Finishes every job handed over, then ends the thread.
    ~RewriteQueue();
    RewriteQueue(const RewriteQueue&) = delete;
    RewriteQueue& operator=(const RewriteQueue&) = delete;

    Ticket Submit(PageFile page, QByteArray original, QByteArray output);
    bool IsDone(const Ticket& ticket) const;
    // Waits for the job and gives its outcome.
    RewriteOutcome Wait(const Ticket& ticket) const;
    // Waits until no outstanding job rewrites the file `key`; true when there was one.
    bool WaitForFile(FileKey key);

private:
    void Work();
    bool IsFull(qint64 incoming) const;

    RunFiles& m_files;
    const int m_maxJobs;
    const qint64 m_maxBytes;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<Ticket> m_queue;
    std::vector<Ticket> m_running;
    std::thread m_thread;
    qint64 m_bytes = 0;
    mutable int m_waiters = 0; // threads waiting for the queue to move on
    bool m_failed = false;
    bool m_stopping = false;
};

// Test hook: called in a rewrite just before a file's last check and the rename of its new
// text (the moment an attacker would swap the file); nullptr removes it.
void SetBeforeReplaceHookForTests(std::function<void(const PageFile& page)> hook);
