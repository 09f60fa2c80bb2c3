#include "fileops/RewriteQueue.h"

#include "fileops/GroupCommit.h"

#include <algorithm>
#include <chrono>

namespace {

// A group is written once this many files are in, or once the first has waited this long.
constexpr qsizetype kGroupFiles = 64;
constexpr auto kGatherTime = std::chrono::milliseconds(20);

std::mutex g_hookMutex;
std::function<void(const PageFile&)> g_beforeReplace;

std::function<void(const PageFile&)> BeforeReplaceHook() {
    const std::lock_guard lock(g_hookMutex);
    return g_beforeReplace;
}

qint64 SizeOf(const RewriteQueue::Job& job) {
    return job.original.size() + job.output.size();
}

} // namespace

void SetBeforeReplaceHookForTests(std::function<void(const PageFile& page)> hook) {
    const std::lock_guard lock(g_hookMutex);
    g_beforeReplace = std::move(hook);
}

RewriteQueue::RewriteQueue(RunFiles& files, int maxJobs, qint64 maxBytes)
    : m_files(files), m_maxJobs(std::max(1, maxJobs)), m_maxBytes(maxBytes) {}

RewriteQueue::~RewriteQueue() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool RewriteQueue::IsFull(qint64 incoming) const {
    const qsizetype outstanding = qsizetype(m_queue.size() + m_running.size());
    if (outstanding == 0)
        return false;
    return outstanding >= m_maxJobs || m_bytes + incoming > m_maxBytes;
}

RewriteQueue::Ticket RewriteQueue::Submit(PageFile page, QByteArray original, QByteArray output) {
    auto job = std::make_shared<Job>();
    job->key = page.Key();
    job->page = std::move(page);
    job->original = std::move(original);
    job->output = std::move(output);
    const qint64 bytes = SizeOf(*job);

    std::unique_lock lock(m_mutex);
    if (IsFull(bytes)) {
        ++m_waiters;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !IsFull(bytes) || m_failed; });
        --m_waiters;
    }
    if (m_failed) {
        job->outcome.result = RewriteResult::NotRun;
        job->page = PageFile();
        return job;
    }
    m_queue.push_back(job);
    m_bytes += bytes;
    if (!m_thread.joinable())
        m_thread = std::thread([this] { Work(); });
    m_changed.notify_all();
    return job;
}

void RewriteQueue::Work() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_queue.empty() || m_stopping; });
        if (m_queue.empty())
            return; // stopping, and nothing left to do
        // A few more files share the group's flushes when they come soon; a waiting step or
        // the end of the run does not wait for them.
        m_changed.wait_for(lock, kGatherTime, [this] {
            return m_stopping || m_waiters > 0 || qsizetype(m_queue.size()) >= kGroupFiles;
        });
        // Everything that came in while the last group was written goes to disk together.
        m_running.assign(m_queue.begin(), m_queue.end());
        m_queue.clear();
        std::vector<Job*> jobs;
        for (const Ticket& job : m_running)
            jobs.push_back(job.get());

        lock.unlock();
        const std::vector<RewriteOutcome> outcomes =
            CommitGroup(m_files, jobs, BeforeReplaceHook());
        lock.lock();

        for (size_t i = 0; i < m_running.size(); ++i) {
            Job& job = *m_running[i];
            job.outcome = outcomes[i];
            m_bytes -= SizeOf(job);
            // The texts are on disk or abandoned, and the file may be released to other runs.
            job.original = QByteArray();
            job.output = QByteArray();
            job.page = PageFile();
            if (job.outcome.result == RewriteResult::WriteFailed)
                m_failed = true;
        }
        m_running.clear();
        if (m_failed) {
            for (const Ticket& waiting : m_queue) {
                waiting->outcome.result = RewriteResult::NotRun;
                m_bytes -= SizeOf(*waiting);
                waiting->original = QByteArray();
                waiting->output = QByteArray();
                waiting->page = PageFile();
            }
            m_queue.clear();
        }
        m_changed.notify_all();
    }
}

bool RewriteQueue::IsDone(const Ticket& ticket) const {
    const std::lock_guard lock(m_mutex);
    return ticket->outcome.result != RewriteResult::Pending;
}

RewriteOutcome RewriteQueue::Wait(const Ticket& ticket) const {
    std::unique_lock lock(m_mutex);
    ++m_waiters;
    m_changed.notify_all();
    m_changed.wait(lock, [&] { return ticket->outcome.result != RewriteResult::Pending; });
    --m_waiters;
    return ticket->outcome;
}

bool RewriteQueue::WaitForFile(FileKey key) {
    std::unique_lock lock(m_mutex);
    const auto rewrites = [key](const Ticket& job) { return job->key == key; };
    const auto none = [&] {
        return std::none_of(m_queue.begin(), m_queue.end(), rewrites) &&
               std::none_of(m_running.begin(), m_running.end(), rewrites);
    };
    if (none())
        return false;
    ++m_waiters;
    m_changed.notify_all();
    m_changed.wait(lock, none);
    --m_waiters;
    return true;
}
