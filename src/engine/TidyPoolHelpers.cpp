#include "engine/TidyPoolState.h"
#include "platform/FileNames.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Callbacks = TidyPoolCallbacks;

int WaitForExit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

} // namespace

bool TidyProcessPool::startHelper(Helper& helper, QString& error, int* code) {
    if (m_exiting) {
        error = QStringLiteral("The program is ending."); // seen by nobody
        return false;
    }
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        if (code)
            *code = errno;
        error = qt_error_string(errno);
        return false;
    }

    QList<QByteArray> arguments;
    // Memory is limited per request, by the budget each request carries.
    arguments << platform::EncodeFileName(m_settings.helperPath);
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
        if (code)
            *code = failure;
        error = qt_error_string(failure);
        return false;
    }
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);

    helper.pid = pid;
    helper.fd = ends[0];
    helper.ready = false;
    helper.served = 0;
    helper.reader = EngineFrameReader();
    helper.pending.clear();
    helper.pendingStart = 0;
    helper.sentTotal = 0;
    helper.queuedTotal = 0;
    ++m_started;
    return true;
}

void TidyProcessPool::sendPending(Helper& helper, Callbacks& callbacks) {
    constexpr size_t kPiecesAtOnce = 16;
    while (helper.fd >= 0 && !helper.pending.empty()) {
        iovec pieces[kPiecesAtOnce];
        size_t count = 0;
        for (auto it = helper.pending.begin(); it != helper.pending.end() && count < kPiecesAtOnce;
             ++it, ++count) {
            const qsizetype skip = count == 0 ? helper.pendingStart : 0;
            pieces[count].iov_base = const_cast<char*>(it->constData()) + skip;
            pieces[count].iov_len = size_t(it->size() - skip);
        }
        msghdr message{};
        message.msg_iov = pieces;
        message.msg_iovlen = count;
        const ssize_t written = ::sendmsg(helper.fd, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
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
        helper.sentTotal += written;
        qsizetype left = written;
        while (left > 0) {
            const qsizetype rest = helper.pending.front().size() - helper.pendingStart;
            if (left < rest) {
                helper.pendingStart += left;
                break;
            }
            left -= rest;
            helper.pending.pop_front();
            helper.pendingStart = 0;
        }
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
    // A helper of another build (an upgrade while the program ran, a stale build tree) says so
    // in its Hello: no document is its fault, and none can be tidied with it.
    const auto otherBuild = [&](quint16 version) {
        Ticket job;
        if (!helper.jobs.empty()) {
            job = helper.jobs.front().first;
            helper.jobs.pop_front();
        }
        stopHelper(helper, callbacks);
        const QString reason =
            QStringLiteral("it speaks version %1 of the engine protocol and this program "
                           "version %2, so it belongs to another build")
                .arg(version)
                .arg(kEngineProtocolVersion);
        if (job) {
            job->outcome = TidyPoolJob::Outcome::NotStarted;
            job->detail = reason;
            finish(job, callbacks);
        }
        failQueued(reason, callbacks, 0, -1);
    };
    for (;;) {
        EngineFrame frame;
        const EngineFrameReader::Status status = helper.reader.next(frame);
        if (status == EngineFrameReader::Status::NeedMore)
            break;
        if (status == EngineFrameReader::Status::Corrupt) {
            if (!helper.ready && helper.reader.peerVersion() != 0)
                return otherBuild(helper.reader.peerVersion());
            return malformed();
        }
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
    helper.pending.clear();
    helper.pendingStart = 0;
    helper.sentTotal = 0;
    helper.queuedTotal = 0;
    helper.reader = EngineFrameReader();
}
