#include "fileops/ReviewCollector.h"

#include "fileops/ReviewDiff.h"

#include <QThread>

ReviewCollector::ReviewCollector(ReviewList& list, QObject* parent)
    : QObject(parent), m_list(list) {
    m_thread = QThread::create([this] { Work(); });
    m_thread->start();
}

ReviewCollector::~ReviewCollector() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread->wait();
    delete m_thread;
}

void ReviewCollector::FileDone(const FileRecord& record) {
    switch (record.outcome) {
    case FileOutcome::WouldChange:
        break;
    case FileOutcome::Unchanged:
    case FileOutcome::AlreadyTidied:
        m_list.CountUnchanged();
        return;
    case FileOutcome::Folder:
    case FileOutcome::InBackupFolder:
        return;
    default:
        m_list.CountNotTidied();
        return;
    }
    Job job{record.path, record.original, record.tidied, int(record.reports.size())};
    const qint64 bytes = job.original.size() + job.tidied.size();
    {
        std::unique_lock lock(m_mutex);
        // A very large page still goes through, alone.
        m_room.wait(lock, [&] {
            return m_jobs.empty() ||
                   (m_jobs.size() < kMaxWaitingFiles && m_waitingBytes + bytes <= kMaxWaitingBytes);
        });
        m_waitingBytes += bytes;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void ReviewCollector::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [&] { return m_stop || !m_jobs.empty(); });
            if (m_stop)
                return;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            m_working = true;
        }
        const TextChanges changes = CompareTexts(job.original, job.tidied);
        ReviewSummary summary;
        summary.path = std::move(job.path);
        summary.original = DigestOf(job.original);
        summary.tidied = DigestOf(job.tidied);
        summary.changedLines = changes.changedLines;
        summary.changes = int(changes.blocks.size());
        summary.messages = job.messages;
        bool post = false;
        {
            std::lock_guard lock(m_mutex);
            m_waitingBytes -= job.original.size() + job.tidied.size();
            m_done.push_back(std::move(summary));
            m_working = false;
            post = !m_deliveryPosted;
            m_deliveryPosted = true;
        }
        m_room.notify_all();
        if (post)
            QMetaObject::invokeMethod(this, &ReviewCollector::Deliver, Qt::QueuedConnection);
    }
}

void ReviewCollector::Deliver() {
    std::vector<ReviewSummary> done;
    {
        std::lock_guard lock(m_mutex);
        done.swap(m_done);
        m_deliveryPosted = false;
    }
    m_list.Add(std::move(done));
}

void ReviewCollector::Finish() {
    {
        std::unique_lock lock(m_mutex);
        m_room.wait(lock, [&] { return m_jobs.empty() && !m_working; });
    }
    Deliver();
}
