#include "engine/TidyProcessPool.h"

#include "engine/EngineProtocol.h"
#include "engine/TidyOptionCheck.h"
#include "platform/ProgramFiles.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using Clock = std::chrono::steady_clock;

struct TidyPoolJob {
    enum class State { Queued, Running, Done };
    enum class Outcome {
        Answered,    // the helper answered: `result`
        Refused,     // the helper refused the options: `detail`
        Crashed,     // the helper died on it: `signal` or `exitStatus`
        OutOfMemory, // the helper hit its memory limit
        TimedOut,    // killed after `timeout`
        Malformed,   // the helper answered something that is not the protocol
        NotStarted,  // no helper could be started: `detail` or `signal`/`exitStatus`
        TooLarge,    // the document does not fit a request
        Stopped,     // the pool shut down first
    };

    QByteArray frame; // the encoded request, dropped once answered
    qsizetype documentSize = 0;
    std::chrono::milliseconds timeout{0};
    std::function<void()> whenDone;

    // Guarded by the pool's mutex.
    State state = State::Queued;
    bool cancelled = false;
    bool retried = false;
    Outcome outcome = Outcome::Stopped;
    TidyResult result;
    QString detail;
    int signal = 0;
    int exitStatus = -1;
};

// Requests per helper: the helper finds its next documents waiting when it finishes one,
// instead of idling whenever the pool thread is slow to wake up and send another.
constexpr size_t kRequestsPerHelper = 4;
// Documents from this size on take long enough (about 0.4 s per MB) to be worth starting early.
constexpr qsizetype kLargeDocument = qsizetype(1) << 20;

struct TidyProcessPool::Helper {
    pid_t pid = -1;
    int fd = -1;        // our end of the socket that is the helper's stdin and stdout
    bool ready = false; // Hello received
    int served = 0;     // documents answered since it started
    // Requests sent or being sent, oldest first, each with the stream offset at which its frame
    // ends. The helper works on the first; only that one is to blame when it dies.
    std::deque<std::pair<Ticket, qint64>> jobs;
    QByteArray pending; // request bytes not yet written, from pendingStart
    qsizetype pendingStart = 0;
    qint64 sentTotal = 0;
    qint64 queuedTotal = 0;
    EngineFrameReader reader;
    Clock::time_point deadline; // of the first job
};

namespace {

using Callbacks = std::vector<std::function<void()>>;

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
        return FatalResult(Translate(QStringLiteral("HTML Tidy could not process this document: "
                                                    "it needs more memory than the limit of %1 "
                                                    "MB."))
                               .arg(settings.memoryLimit >> 20));
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

void CloseQuietly(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int WaitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

TidyPoolSettings DefaultTidyPoolSettings() {
    TidyPoolSettings settings;
    settings.helperPath = platform::HelperProgramPath(QStringLiteral("kelvane-engine"));
    settings.helperCount = std::clamp(QThread::idealThreadCount(), 1, 8);
    return settings;
}

TidyProcessPool::TidyProcessPool(TidyPoolSettings settings)
    : m_settings(std::move(settings)), m_helpers(size_t(std::max(1, m_settings.helperCount))) {
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
    job->frame = EncodeTidyRequestFrame(request);

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
            ticket->frame = QByteArray();
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
            if (helper.pendingStart < helper.pending.size())
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

    // Idle running helpers first, then new processes, then second requests for busy ones
    // (never behind a large document: the one behind would wait for all of it).
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
            if (!running) {
                QString error;
                if (!startHelper(helper, error)) {
                    failQueued(error, callbacks);
                    return;
                }
            }
            Ticket job = takeQueued(nextFor());
            job->state = TidyPoolJob::State::Running;
            helper.queuedTotal += job->frame.size();
            helper.jobs.emplace_back(job, helper.queuedTotal);
            if (helper.jobs.size() == 1)
                helper.deadline = Clock::now() + job->timeout;
            if (helper.pendingStart >= helper.pending.size()) {
                helper.pending = job->frame; // shared, not copied
                helper.pendingStart = 0;
            } else {
                helper.pending.append(job->frame);
            }
            sendPending(helper, callbacks);
        }
    }
}

bool TidyProcessPool::startHelper(Helper& helper, QString& error) {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        error = qt_error_string(errno);
        return false;
    }

    QList<QByteArray> arguments;
    arguments << QFile::encodeName(m_settings.helperPath)
              << QByteArray("--memory-limit=") + QByteArray::number(m_settings.memoryLimit);
    for (const QString& argument : m_settings.helperArguments)
        arguments << argument.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    // The socket becomes stdin and stdout; nothing else of ours leaks into the helper.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
    posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = -1;
    const int failure = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (failure != 0) {
        ::close(ends[0]);
        error = qt_error_string(failure);
        return false;
    }
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);

    helper.pid = pid;
    helper.fd = ends[0];
    helper.ready = false;
    helper.served = 0;
    helper.reader = EngineFrameReader();
    helper.pending = QByteArray();
    helper.pendingStart = 0;
    helper.sentTotal = 0;
    helper.queuedTotal = 0;
    ++m_started;
    return true;
}

void TidyProcessPool::sendPending(Helper& helper, Callbacks& callbacks) {
    while (helper.fd >= 0 && helper.pendingStart < helper.pending.size()) {
        const size_t chunk =
            size_t(std::min<qsizetype>(helper.pending.size() - helper.pendingStart, 1 << 20));
        const ssize_t written = ::send(helper.fd, helper.pending.constData() + helper.pendingStart,
                                       chunk, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            // The helper is gone; what it said last (if anything) explains why.
            receive(helper, callbacks);
            if (helper.fd >= 0)
                helperEnded(helper, false, callbacks);
            return;
        }
        helper.pendingStart += written;
        helper.sentTotal += written;
    }
    if (helper.pendingStart >= helper.pending.size()) {
        helper.pending = QByteArray();
        helper.pendingStart = 0;
    }
}

void TidyProcessPool::receive(Helper& helper, Callbacks& callbacks) {
    static thread_local std::vector<char> buffer(256 * 1024);
    bool ended = false;
    for (;;) {
        const ssize_t got = ::recv(helper.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (got > 0) {
            helper.reader.append(QByteArrayView(buffer.data(), got));
            if (size_t(got) == buffer.size())
                continue;
            break;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        ended = true; // end of stream, or the connection was reset
        break;
    }

    const auto malformed = [&] {
        Ticket job;
        if (!helper.jobs.empty()) {
            job = helper.jobs.front().first;
            helper.jobs.pop_front();
        }
        stopHelper(helper, callbacks);
        if (job) {
            job->outcome = TidyPoolJob::Outcome::Malformed;
            finish(job, callbacks);
        }
    };
    for (;;) {
        EngineFrame frame;
        const EngineFrameReader::Status status = helper.reader.next(frame);
        if (status == EngineFrameReader::Status::NeedMore)
            break;
        if (status == EngineFrameReader::Status::Corrupt)
            return malformed();
        switch (frame.kind) {
        case EngineFrameKind::Hello:
            if (helper.ready || !frame.payload.isEmpty())
                return malformed();
            helper.ready = true;
            break;
        case EngineFrameKind::Result:
        case EngineFrameKind::Refused: {
            // An answer is only due once the whole request is out.
            if (!helper.ready || helper.jobs.empty() ||
                helper.sentTotal < helper.jobs.front().second)
                return malformed();
            TidyResult result;
            if (frame.kind == EngineFrameKind::Result && !DecodeTidyResult(frame.payload, result))
                return malformed();
            Ticket job = helper.jobs.front().first;
            helper.jobs.pop_front();
            if (!helper.jobs.empty())
                helper.deadline = Clock::now() + helper.jobs.front().first->timeout;
            if (frame.kind == EngineFrameKind::Result) {
                job->outcome = TidyPoolJob::Outcome::Answered;
                job->result = std::move(result);
            } else {
                job->outcome = TidyPoolJob::Outcome::Refused;
                job->detail = QString::fromUtf8(frame.payload);
            }
            ++helper.served;
            finish(job, callbacks);
            break;
        }
        case EngineFrameKind::Request:
            return malformed();
        }
    }
    if (ended)
        helperEnded(helper, false, callbacks);
}

void TidyProcessPool::helperEnded(Helper& helper, bool killedForTimeOut, Callbacks& callbacks) {
    ::kill(helper.pid, SIGKILL); // no effect on one that has already ended
    const int status = WaitForExit(helper.pid);
    helper.pid = -1;
    const bool wasReady = helper.ready;
    const int served = helper.served;
    Ticket job;
    if (!helper.jobs.empty()) {
        job = helper.jobs.front().first;
        helper.jobs.pop_front();
    }
    stopHelper(helper, callbacks); // the requests behind the first go back to the queue
    if (!job)
        return; // an idle helper ended; a new one starts when there is work

    using Outcome = TidyPoolJob::Outcome;
    job->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    job->exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (killedForTimeOut) {
        job->signal = 0;
        job->outcome = Outcome::TimedOut;
    } else if (!wasReady) {
        // Never the document's fault: the helper cannot run here at all.
        job->outcome = Outcome::NotStarted;
        finish(job, callbacks);
        failQueued(QString(), callbacks, job->signal, job->exitStatus);
        return;
    } else if (job->exitStatus == kEngineExitOutOfMemory) {
        job->outcome = Outcome::OutOfMemory;
    } else {
        job->outcome = Outcome::Crashed;
    }

    // A helper that served other documents first may have been damaged by one of them (the
    // library's memory errors do not always crash at once): the document gets one more try
    // in a fresh process before it is blamed.
    if ((job->outcome == Outcome::Crashed || job->outcome == Outcome::OutOfMemory) &&
        !job->retried && !job->cancelled && served > 0) {
        job->retried = true;
        job->state = TidyPoolJob::State::Queued;
        job->signal = 0;
        job->exitStatus = -1;
        enqueue(job, true);
        return;
    }
    finish(job, callbacks);
}

void TidyProcessPool::stopHelper(Helper& helper, Callbacks& callbacks) {
    if (helper.pid > 0) {
        ::kill(helper.pid, SIGKILL);
        WaitForExit(helper.pid);
    }
    helper.pid = -1;
    CloseQuietly(helper.fd);
    // Requests it had not started on go back to the front of the queue, in their order.
    while (!helper.jobs.empty()) {
        Ticket job = helper.jobs.back().first;
        helper.jobs.pop_back();
        if (job->cancelled || m_stopping) {
            job->outcome = TidyPoolJob::Outcome::Stopped;
            finish(job, callbacks);
        } else {
            job->state = TidyPoolJob::State::Queued;
            enqueue(job, true);
        }
    }
    helper.ready = false;
    helper.served = 0;
    helper.pending = QByteArray();
    helper.pendingStart = 0;
    helper.sentTotal = 0;
    helper.queuedTotal = 0;
    helper.reader = EngineFrameReader();
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

void TidyProcessPool::finish(const Ticket& job, Callbacks& callbacks) {
    job->state = TidyPoolJob::State::Done;
    job->frame = QByteArray();
    if (job->whenDone && !job->cancelled)
        callbacks.push_back(job->whenDone);
    m_done.notify_all();
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

void InstallTidyProcessPool() {
    // Deliberately never destroyed: the runner must stay valid for every late caller, and the
    // helpers end with the process (they see their socket close and are also bound to it by
    // PR_SET_PDEATHSIG).
    static TidyProcessPool* pool = nullptr;
    if (pool)
        return;
    pool = new TidyProcessPool(DefaultTidyPoolSettings());
    SetTidyRunner(pool);
}
