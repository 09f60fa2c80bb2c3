#include "fileops/RewriteQueue.h"

#include "engine/TidyEngine.h"
#include "fileops/BackupStore.h"
#include "support/Errors.h"

#include <algorithm>

struct RewriteQueue::Job {
    QString path;
    QByteArray digest;
    QByteArray output;
    FileKey key;
    qint64 bytes = 0;
    RewriteOutcome outcome; // guarded by the queue's mutex
};

namespace {

RewriteOutcome Rewrite(const RewriteQueue::Job& job) {
    const VerifiedBackup backup = MakeVerifiedBackup(job.path, job.digest);
    if (backup.changed)
        return {RewriteResult::Changed, {}};
    if (backup.path.isEmpty())
        return {RewriteResult::BackupFailed, {}};
    try {
        WriteFileText(job.path, job.output);
    } catch (const KelvaneError& error) {
        return {RewriteResult::WriteFailed, error.message()};
    } catch (const std::exception& error) {
        return {RewriteResult::WriteFailed, QString::fromLocal8Bit(error.what())};
    }
    return {RewriteResult::Rewritten, {}};
}

} // namespace

RewriteQueue::RewriteQueue(int threads, int maxJobs, qint64 maxBytes)
    : m_maxThreads(std::max(1, threads)), m_maxJobs(std::max(1, maxJobs)), m_maxBytes(maxBytes) {}

RewriteQueue::~RewriteQueue() {
    {
        std::unique_lock lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    for (std::thread& thread : m_threads)
        thread.join();
}

bool RewriteQueue::IsFull(qint64 incoming) const {
    const qsizetype outstanding = qsizetype(m_queue.size() + m_running.size());
    if (outstanding == 0)
        return false;
    return outstanding >= m_maxJobs || m_bytes + incoming > m_maxBytes;
}

RewriteQueue::Ticket RewriteQueue::Submit(const QString& path, const QByteArray& digest,
                                          QByteArray output, FileKey key) {
    auto job = std::make_shared<Job>();
    job->path = path;
    job->digest = digest;
    job->bytes = output.size();
    job->output = std::move(output);
    job->key = key;

    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !IsFull(job->bytes) || m_failed; });
    if (m_failed) {
        job->outcome.result = RewriteResult::NotRun;
        job->output.clear();
        return job;
    }
    m_queue.push_back(job);
    m_bytes += job->bytes;
    if (m_idle == 0 && int(m_threads.size()) < m_maxThreads)
        m_threads.emplace_back([this] { Work(); });
    m_changed.notify_all();
    return job;
}

void RewriteQueue::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        ++m_idle;
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        --m_idle;
        if (m_queue.empty())
            return; // stopping, and nothing left to do
        Ticket job = m_queue.front();
        m_queue.pop_front();
        m_running.push_back(job);

        lock.unlock();
        const RewriteOutcome outcome = Rewrite(*job);
        lock.lock();

        job->outcome = outcome;
        job->output = QByteArray(); // the text is on disk or abandoned: free it now
        m_bytes -= job->bytes;
        m_running.erase(std::find(m_running.begin(), m_running.end(), job));
        if (outcome.result == RewriteResult::WriteFailed && !m_failed) {
            m_failed = true;
            for (const Ticket& waiting : m_queue) {
                waiting->outcome.result = RewriteResult::NotRun;
                waiting->output = QByteArray();
                m_bytes -= waiting->bytes;
            }
            m_queue.clear();
        }
        m_changed.notify_all();
    }
}

bool RewriteQueue::IsDone(const Ticket& ticket) const {
    std::lock_guard lock(m_mutex);
    return ticket->outcome.result != RewriteResult::Pending;
}

RewriteOutcome RewriteQueue::Wait(const Ticket& ticket) const {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return ticket->outcome.result != RewriteResult::Pending; });
    return ticket->outcome;
}

void RewriteQueue::WaitForFile(FileKey key) {
    std::unique_lock lock(m_mutex);
    const auto rewrites = [key](const Ticket& job) { return job->key == key; };
    m_changed.wait(lock, [&] {
        return std::none_of(m_queue.begin(), m_queue.end(), rewrites) &&
               std::none_of(m_running.begin(), m_running.end(), rewrites);
    });
}
