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
    m_fd = ::open(platform::EncodeFileName(name).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
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
    if (m_wakeFd >= 0) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        while (::poll(fds, 2, -1) < 0)
            if (errno != EINTR)
                break;
        if (fds[1].revents & POLLIN) {
            m_atEnd = true;
            return false;
        }
    }
    // Drop what was taken already, so that the buffer holds one chunk and one partial entry.
    m_buffer.remove(0, m_start);
    m_start = 0;
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + kChunk);
    ssize_t got;
    do {
        got = ::read(m_fd, m_buffer.data() + old, size_t(kChunk));
    } while (got < 0 && errno == EINTR);
    if (got <= 0) {
        m_buffer.resize(old);
        m_atEnd = true;
        if (got < 0)
            m_problem(QStringLiteral("%1: %2").arg(platform::DisplayFileName(m_name),
                                                   qt_error_string(errno)));
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
                    m_problem(QStringLiteral("%1: an entry of more than %2 bytes is no path; "
                                             "it was passed over")
                                  .arg(platform::DisplayFileName(m_name))
                                  .arg(kMaxEntry));
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
        return platform::DecodeFileName(entry);
    }
}
