#pragma once
// Backs up and rewrites tidied files on worker threads. Putting a backup and a file on disk
// (fsync) takes the disk's time rather than the processor's: done by several threads, the
// flushes share disk commits and overlap the tidying of the next files of the run.
//
// Each job first makes a verified backup of its file (kept only when the file still holds the
// bytes that were tidied) and only then replaces the file, so every file is at any moment either
// untouched or tidied with its backup. Once a rewrite fails, jobs not yet started are not run:
// the run ends at the file that failed.

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

enum class RewriteResult {
    Pending,
    Rewritten,    // backed up and replaced by the tidied text
    BackupFailed, // no backup could be made; the file is as it was
    Changed,      // the file no longer held the tidied bytes; file and backup are as they were
    WriteFailed,  // backed up, but the tidied text could not be written; the file is as it was
    NotRun,       // an earlier rewrite failed first; nothing was done
};

struct RewriteOutcome {
    RewriteResult result = RewriteResult::Pending;
    QString error; // WriteFailed: the file-creation error
};

// Which file a job rewrites, links and other names resolved: device and inode.
using FileKey = std::pair<dev_t, ino_t>;

class RewriteQueue {
public:
    struct Job;
    using Ticket = std::shared_ptr<Job>;

    // Up to `threads` workers; Submit waits while `maxJobs` jobs or `maxBytes` of tidied text
    // are outstanding (one job is always let in).
    explicit RewriteQueue(int threads = 8, int maxJobs = 32, qint64 maxBytes = qint64(64) << 20);
    // Finishes every job handed over, then ends the workers.
    ~RewriteQueue();
    RewriteQueue(const RewriteQueue&) = delete;
    RewriteQueue& operator=(const RewriteQueue&) = delete;

    // Backs up `path` (its bytes must have the ContentDigest `digest`) and writes `output` to it.
    Ticket Submit(const QString& path, const QByteArray& digest, QByteArray output, FileKey key);
    bool IsDone(const Ticket& ticket) const;
    // Waits for the job and gives its outcome.
    RewriteOutcome Wait(const Ticket& ticket) const;
    // Waits until no outstanding job rewrites the file `key`.
    void WaitForFile(FileKey key);

private:
    void Work();
    bool IsFull(qint64 incoming) const;

    const int m_maxThreads;
    const int m_maxJobs;
    const qint64 m_maxBytes;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<Ticket> m_queue;
    std::vector<Ticket> m_running;
    std::vector<std::thread> m_threads;
    qint64 m_bytes = 0;
    int m_idle = 0;
    bool m_failed = false;
    bool m_stopping = false;
};
