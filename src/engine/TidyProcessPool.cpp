#include "engine/TidyProcessPool.h"

#include "engine/TidyOptionCheck.h"
#include "engine/TidyPoolState.h"
#include "platform/BuildIdentity.h"
#include "platform/ProgramFiles.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace {

using Callbacks = TidyPoolCallbacks;

TidyResult FatalResult(const QString& text) {
    TidyResult result;
    result.status = TidyRunStatus::Failed;
    result.reports.append({int(TidyFatal), 0, 0, text.toUtf8()});
    return result;
}

QString SignalName(int signal) {
    const char* name = sigabbrev_np(signal);
    return name ? QStringLiteral("SIG") + QString::fromLatin1(name) : QString::number(signal);
}

// What the caller gets for a finished ticket; translated here, on the caller's thread.
TidyResult ResultFor(TidyPoolJob& job, const TidyPoolSettings& settings) {
    using Outcome = TidyPoolJob::Outcome;
    switch (job.outcome) {
    case Outcome::Answered:
        return std::move(job.result);
    case Outcome::NotStarted: {
        QString reason = job.detail;
        if (reason.isEmpty() && job.signal != 0)
            reason = Translate(QStringLiteral("it was ended by signal %1 before it was ready"))
                         .arg(SignalName(job.signal));
        else if (reason.isEmpty())
            reason = Translate(QStringLiteral("it ended with exit status %1 before it was ready"))
                         .arg(job.exitStatus);
        throw KelvaneError(
            Translate(QStringLiteral(
                          "HTML Tidy cannot run: its engine program \"%1\" could not be started "
                          "(%2). The installation may be incomplete."))
                .arg(QDir::toNativeSeparators(settings.helperPath), reason));
    }
    case Outcome::Crashed:
        if (job.signal != 0)
            return FatalResult(
                Translate(QStringLiteral("HTML Tidy could not process this document: its "
                                         "engine process crashed (%1)."))
                    .arg(SignalName(job.signal)));
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "its engine process ended unexpectedly (exit "
                                                    "status %1)."))
                               .arg(job.exitStatus));
    case Outcome::OutOfMemory:
        if (job.memoryBudget <= 0)
            return FatalResult(Translate(QStringLiteral(
                "HTML Tidy could not process this document: it ran out of memory.")));
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "it needs more memory than the limit of %1 "
                                                    "MB."))
                               .arg(job.memoryBudget >> 20));
    case Outcome::TimedOut:
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "it was not finished after %1 seconds."))
                               .arg(double(job.timeout.count()) / 1000.0));
    case Outcome::Malformed:
        return FatalResult(Translate(QStringLiteral(
            "HTML Tidy could not process this document: its engine process sent a malformed "
            "answer.")));
    case Outcome::Refused:
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "its engine process refused the options "
                                                    "(%1)."))
                               .arg(job.detail));
    case Outcome::TooLarge:
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "it is larger than %1 MB."))
                               .arg(kMaxEngineDocumentPayload >> 20));
    case Outcome::Stopped:
        break;
    }
    return FatalResult(Translate(
        QStringLiteral("HTML Tidy could not process this document: the engine was shut down.")));
}

} // namespace

TidyPoolSettings DefaultTidyPoolSettings() {
    TidyPoolSettings settings;
    settings.helperPath = platform::HelperProgramPath(QStringLiteral("kelvane-engine"));
    settings.helperCount = std::clamp(QThread::idealThreadCount(), 1, 8);
    return settings;
}

TidyProcessPool::TidyProcessPool(TidyPoolSettings settings)
    : m_settings(std::move(settings)),
      m_identity(platform::ProgramBuildIdentity(m_settings.helperPath)),
      m_helpers(size_t(std::max(1, m_settings.helperCount))) {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_wakeFd < 0)
        throw KelvaneError(qt_error_string(errno));
}

TidyProcessPool::~TidyProcessPool() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    CloseQuietly(m_wakeFd);
}

TidyResult TidyProcessPool::run(const TidyRequest& request) {
    return wait(submit(request));
}

TidyProcessPool::Ticket TidyProcessPool::submit(const TidyRequest& request,
                                                std::function<void()> whenDone) {
    // Resolution never produces anything else; this guards against a program error.
    if (const QString why = CheckResolvedOptions(request.options); !why.isEmpty())
        throw KelvaneError(
            Translate(QStringLiteral("The tidy options cannot be used: %1.")).arg(why));

    auto job = std::make_shared<TidyPoolJob>();
    job->documentSize = request.document.size();
    job->timeout =
        m_settings.baseTimeout + m_settings.timeoutPer100KB * (request.document.size() / 100000);
    job->whenDone = std::move(whenDone);
    if (request.document.size() > kMaxEngineDocumentPayload - 1024 * 1024) {
        job->state = TidyPoolJob::State::Done;
        job->outcome = TidyPoolJob::Outcome::TooLarge;
        if (job->whenDone)
            job->whenDone();
        return job;
    }
    job->memoryBudget = TidyMemoryBudget(m_settings, request.document.size());
    job->frame = EncodeTidyRequestPieces(request, job->memoryBudget);
    for (const QByteArray& piece : job->frame)
        job->frameSize += piece.size();

    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            job->state = TidyPoolJob::State::Done;
        } else {
            enqueue(job, false);
            if (!m_thread.joinable())
                m_thread = std::thread(&TidyProcessPool::threadMain, this);
        }
    }
    if (job->state == TidyPoolJob::State::Done) {
        if (job->whenDone)
            job->whenDone();
    } else {
        wake();
    }
    return job;
}

bool TidyProcessPool::isDone(const Ticket& ticket) const {
    std::lock_guard lock(m_mutex);
    return ticket->state == TidyPoolJob::State::Done;
}

TidyResult TidyProcessPool::wait(const Ticket& ticket) {
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [&] { return ticket->state == TidyPoolJob::State::Done; });
    lock.unlock();
    return ResultFor(*ticket, m_settings);
}

void TidyProcessPool::cancel(const Ticket& ticket) {
    {
        std::lock_guard lock(m_mutex);
        if (ticket->state == TidyPoolJob::State::Done)
            return;
        ticket->cancelled = true;
        if (ticket->state == TidyPoolJob::State::Queued) {
            if (const auto at = std::find(m_queue.begin(), m_queue.end(), ticket);
                at != m_queue.end())
                takeQueued(at);
            ticket->state = TidyPoolJob::State::Done;
            ticket->outcome = TidyPoolJob::Outcome::Stopped;
            ticket->frame.clear();
            m_done.notify_all();
            return;
        }
    }
    wake(); // the pool thread stops the helper that holds it
}

int TidyProcessPool::startedHelpers() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

void TidyProcessPool::wake() {
    const quint64 one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_wakeFd, &one, sizeof one);
}

void TidyProcessPool::threadMain() {
    std::vector<pollfd> fds;
    std::vector<Helper*> owners;
    Callbacks callbacks;
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        // A cancelled document is not worth finishing; its helper starts afresh when needed.
        for (Helper& helper : m_helpers) {
            if (!helper.jobs.empty() && helper.jobs.front().first->cancelled) {
                Ticket job = helper.jobs.front().first;
                helper.jobs.pop_front();
                stopHelper(helper, callbacks);
                job->outcome = TidyPoolJob::Outcome::Stopped;
                finish(job, callbacks);
            }
        }
        assignJobs(callbacks);

        fds.clear();
        owners.clear();
        fds.push_back({m_wakeFd, POLLIN, 0});
        int timeoutMs = -1;
        const Clock::time_point now = Clock::now();
        for (Helper& helper : m_helpers) {
            if (helper.fd < 0)
                continue;
            short events = POLLIN;
            if (!helper.pending.empty())
                events |= POLLOUT;
            fds.push_back({helper.fd, events, 0});
            owners.push_back(&helper);
            if (!helper.jobs.empty()) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(helper.deadline - now).count();
                const int ms = int(std::clamp<qint64>(left, 0, 24 * 3600 * 1000));
                timeoutMs = timeoutMs < 0 ? ms : std::min(timeoutMs, ms);
            }
        }

        if (!callbacks.empty()) {
            lock.unlock();
            for (auto& callback : callbacks)
                callback();
            callbacks.clear();
            lock.lock();
            continue; // state may have changed meanwhile
        }

        lock.unlock();
        const int ready = ::poll(fds.data(), nfds_t(fds.size()), timeoutMs);
        lock.lock();
        if (ready < 0 && errno != EINTR)
            std::this_thread::sleep_for(std::chrono::milliseconds(10)); // should not happen

        if (fds[0].revents & POLLIN) {
            quint64 count = 0;
            [[maybe_unused]] const ssize_t got = ::read(m_wakeFd, &count, sizeof count);
        }
        for (size_t i = 1; ready > 0 && i < fds.size(); ++i) {
            Helper& helper = *owners[i - 1];
            const short revents = fds[i].revents;
            if (helper.fd != fds[i].fd || revents == 0)
                continue;
            if (revents & (POLLIN | POLLHUP | POLLERR))
                receive(helper, callbacks);
            if (helper.fd >= 0 && (revents & POLLOUT))
                sendPending(helper, callbacks);
        }

        const Clock::time_point later = Clock::now();
        for (Helper& helper : m_helpers) {
            if (!helper.jobs.empty() && helper.fd >= 0 && later >= helper.deadline)
                helperEnded(helper, true, callbacks);
        }

        if (!callbacks.empty()) {
            lock.unlock();
            for (auto& callback : callbacks)
                callback();
            callbacks.clear();
            lock.lock();
        }
    }

    // Shutting down: nobody will read the answers.
    for (Helper& helper : m_helpers)
        stopHelper(helper, callbacks);
    while (!m_queue.empty()) {
        Ticket job = takeQueued(m_queue.begin());
        job->outcome = TidyPoolJob::Outcome::Stopped;
        finish(job, callbacks);
    }
    lock.unlock();
    for (auto& callback : callbacks)
        callback();
}

void TidyProcessPool::finish(const Ticket& job, Callbacks& callbacks) {
    job->state = TidyPoolJob::State::Done;
    job->frame.clear();
    if (job->whenDone && !job->cancelled)
        callbacks.push_back(job->whenDone);
    m_done.notify_all();
}

void TidyProcessPool::endHelpersAtExit() {
    std::lock_guard lock(m_mutex);
    m_exiting = true;
    for (const Helper& helper : m_helpers) {
        if (helper.pid > 0)
            ::kill(helper.pid, SIGKILL); // reaped by the pool thread, or by init after us
    }
}

void InstallTidyProcessPool() {
    // Deliberately never destroyed: the runner must stay valid for every late caller. The
    // helpers end with the process: killed on exit, and bound to it by PR_SET_PDEATHSIG.
    static TidyProcessPool* pool = nullptr;
    if (pool)
        return;
    pool = new TidyProcessPool(DefaultTidyPoolSettings());
    SetTidyRunner(pool);
    std::atexit([] { pool->endHelpersAtExit(); });
}