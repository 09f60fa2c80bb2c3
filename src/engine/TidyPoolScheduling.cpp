#include "engine/TidyPoolState.h"

#include <algorithm>
#include <cerrno>

using Callbacks = TidyPoolCallbacks;

void TidyProcessPool::assignJobs(Callbacks& callbacks) {
    const auto holdsLarge = [](const Helper& helper) {
        return std::any_of(helper.jobs.begin(), helper.jobs.end(), [](const auto& entry) {
            return entry.first->documentSize >= kLargeDocument;
        });
    };
    // A large document in the queue starts as soon as a helper is free, the largest first,
    // so that its time overlaps the small documents instead of coming at the end; the caller
    // takes results in list order and keeps far enough ahead for this. With one helper the
    // order cannot gain anything and stays that of the list.
    const bool reorder = m_helpers.size() > 1;
    const auto nextFor = [&] {
        auto chosen = m_queue.begin();
        if (reorder && m_largeQueued > 0) {
            qsizetype largest = std::max((*chosen)->documentSize, kLargeDocument - 1);
            const auto end = m_queue.begin() + qsizetype(std::min<size_t>(m_queue.size(), 8192));
            for (auto at = m_queue.begin(); at != end; ++at) {
                if ((*at)->documentSize > largest) {
                    largest = (*at)->documentSize;
                    chosen = at;
                }
            }
        }
        return chosen;
    };

    // Whether the helper may take the job without the budgets in the helpers' hands adding up
    // to more than the total. Computed afresh each time: sending may end a helper.
    const auto fits = [&](const Helper& helper, const TidyPoolJob& job) {
        if (m_settings.memoryTotal <= 0)
            return true;
        qint64 reserved = 0;
        for (const Helper& other : m_helpers)
            reserved += other.reserved();
        const qint64 held = helper.reserved();
        return reserved - held + std::max(held, job.memoryBudget) <= m_settings.memoryTotal;
    };

    // Idle running helpers first, then new processes, then second requests for busy ones
    // (never behind a large document: the one behind would wait for all of it). A document
    // whose budget does not fit waits, and nothing overtakes it, until enough memory is free
    // again; with every helper idle any budget fits, so the queue always moves.
    for (int pass = 0; pass < 3; ++pass) {
        for (Helper& helper : m_helpers) {
            if (m_queue.empty())
                return;
            const bool running = helper.fd >= 0;
            const bool wanted = (pass == 0 && running && helper.jobs.empty()) ||
                                (pass == 1 && !running) ||
                                (pass == 2 && running && helper.jobs.size() < kRequestsPerHelper &&
                                 !holdsLarge(helper));
            if (!wanted)
                continue;
            const auto next = nextFor();
            if (!fits(helper, **next)) {
                if (pass < 2)
                    return;
                continue; // a helper that holds a larger budget may still take it
            }
            if (!running) {
                QString error;
                int code = 0;
                if (!startHelper(helper, error, &code)) {
                    // Short of descriptors, the helpers that run already serve the queue.
                    const bool others = std::any_of(m_helpers.begin(), m_helpers.end(),
                                                    [](const Helper& h) { return h.fd >= 0; });
                    if ((code == EMFILE || code == ENFILE) && others)
                        continue;
                    failQueued(error, callbacks);
                    return;
                }
            }
            Ticket job = takeQueued(next);
            job->state = TidyPoolJob::State::Running;
            helper.queuedTotal += job->frameSize;
            helper.jobs.emplace_back(job, helper.queuedTotal);
            if (helper.jobs.size() == 1)
                helper.deadline = Clock::now() + job->timeout;
            for (const QByteArray& piece : job->frame) // shared, not copied
                if (!piece.isEmpty())
                    helper.pending.push_back(piece);
            sendPending(helper, callbacks);
        }
    }
}

void TidyProcessPool::enqueue(const Ticket& job, bool atFront) {
    if (atFront)
        m_queue.push_front(job);
    else
        m_queue.push_back(job);
    if (job->documentSize >= kLargeDocument)
        ++m_largeQueued;
}

TidyProcessPool::Ticket TidyProcessPool::takeQueued(std::deque<Ticket>::iterator at) {
    Ticket job = std::move(*at);
    m_queue.erase(at);
    if (job->documentSize >= kLargeDocument)
        --m_largeQueued;
    return job;
}

void TidyProcessPool::failQueued(const QString& reason, Callbacks& callbacks, int signal,
                                 int exitStatus) {
    while (!m_queue.empty()) {
        Ticket job = takeQueued(m_queue.begin());
        job->outcome = TidyPoolJob::Outcome::NotStarted;
        job->detail = reason;
        job->signal = signal;
        job->exitStatus = exitStatus;
        finish(job, callbacks);
    }
}
