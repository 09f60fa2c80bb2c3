#include "batch/PathList.h"

#include "platform/FileNames.h"
#include "support/Errors.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr qsizetype kChunk = 64 * 1024;

} // namespace

PathList::PathList(const QString& name, bool nullSeparated, Problem problem, int wakeFd)
    : m_name(name), m_separator(nullSeparated ? '\0' : '\n'), m_problem(std::move(problem)),
      m_wakeFd(wakeFd) {
    if (name == QLatin1String("-")) {
        m_fd = 0;
        return;
    }
    // Non-blocking: opening a FIFO otherwise waits for its writer, and with SA_RESTART no
    // interrupt would end that wait. Every read below is preceded by a poll that also watches
    // `wakeFd`; until a writer comes, that poll sees nothing to read.
    m_fd = ::open(platform::EncodeFileName(name).constData(),
                  O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0)
        RaiseFileOpenError(name, qt_error_string(errno));
    m_ownFd = true;
}

PathList::~PathList() {
    if (m_ownFd)
        ::close(m_fd);
}

bool PathList::Fill() {
    if (m_atEnd)
        return false;
    // Drop what was taken already, so that the buffer holds one chunk and one partial entry.
    m_buffer.remove(0, m_start);
    m_start = 0;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    ssize_t got = -1;
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, m_wakeFd >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
            break; // the read tells what is wrong
        if (m_wakeFd >= 0 && (fds[1].revents & POLLIN)) {
            m_buffer.resize(old);
            m_atEnd = true;
            return false;
        }
        if (fds[0].revents == 0)
            continue;
        got = ::read(m_fd, m_buffer.data() + old, size_t(kChunk));
        // Nothing yet after all (another reader of the same pipe was quicker): wait again.
        if (got >= 0 || (errno != EINTR && errno != EAGAIN))
            break;
    }
    if (got <= 0) {
        const int code = errno;
        m_buffer.resize(old);
        m_atEnd = true;
        if (got < 0)
            m_problem(QStringLiteral("%1: %2").arg(platform::DisplayFileName(m_name),
                                                   qt_error_string(code)));
        return false;
    }
    m_buffer.resize(old + got);
    return true;
}

bool PathList::Ready() const {
    if (m_atEnd || m_buffer.indexOf(m_separator, m_start) >= 0)
        return true;
    pollfd fd{m_fd, POLLIN, 0};
    return ::poll(&fd, 1, 0) != 0; // readable, at its end, or failing: Next() will not wait
}

std::optional<QString> PathList::Next() {
    for (;;) {
        qsizetype end = m_buffer.indexOf(m_separator, m_start);
        if (end < 0) {
            if (m_buffer.size() - m_start > kMaxEntry) {
                if (!m_skipping)
                    ReportOverlong();
                m_skipping = true;
                m_start = m_buffer.size();
            }
            if (Fill())
                continue;
            // The last entry needs no separator after it.
            if (m_start >= m_buffer.size() || m_skipping)
                return std::nullopt;
            end = m_buffer.size();
        }
        const QByteArrayView entry(m_buffer.constData() + m_start, end - m_start);
        m_start = std::min(end + 1, m_buffer.size());
        if (std::exchange(m_skipping, false) || entry.isEmpty())
            continue;
        // Its end may have come in with the read that took it past the limit.
        if (entry.size() > kMaxEntry) {
            ReportOverlong();
            continue;
        }
        return platform::DecodeFileName(entry);
    }
}

void PathList::ReportOverlong() const {
    m_problem(QStringLiteral("%1: an entry of more than %2 bytes is no path; it was passed over")
                  .arg(platform::DisplayFileName(m_name))
                  .arg(kMaxEntry));
}
