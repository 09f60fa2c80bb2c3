#include "engine/TidyBatch.h"

#include "engine/TidyEngine.h"
#include "support/Errors.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <stdexcept>

TidyBatch::TidyBatch(ResolvedTidyOptions options, TidyRunner& runner, QObject* parent)
    : QObject(parent), m_options(std::move(options)), m_runner(runner),
      m_pool(dynamic_cast<TidyProcessPool*>(&runner)), m_link(std::make_shared<Link>()) {
    m_link->batch = this;
}

TidyBatch::~TidyBatch() {
    {
        std::lock_guard lock(m_link->mutex);
        m_link->batch = nullptr;
    }
    cancel();
}

quint64 TidyBatch::submit(QByteArray document) {
    Entry entry;
    entry.ticket = m_lastTicket + 1;
    entry.size = document.size();
    if (m_pool) {
        std::shared_ptr<Link> link = m_link;
        if (m_entries.empty())
            link->awaited.store(entry.ticket);
        const quint64 ticket = entry.ticket;
        entry.pooled = m_pool->submit({m_options, std::move(document), m_mode}, [link, ticket] {
            if (link->awaited.load() != ticket)
                return;
            std::lock_guard lock(link->mutex);
            if (TidyBatch* batch = link->batch)
                QMetaObject::invokeMethod(
                    batch, [batch] { batch->jobDone(); }, Qt::QueuedConnection);
        });
    } else {
        entry.document = std::move(document);
    }
    m_lastTicket = entry.ticket;
    m_pendingBytes += entry.size;
    m_entries.push_back(std::move(entry));
    return m_lastTicket;
}

quint64 TidyBatch::nextTicket() const {
    return m_entries.empty() ? 0 : m_entries.front().ticket;
}

bool TidyBatch::isNextReady() const {
    if (m_entries.empty())
        return false;
    const Entry& next = m_entries.front();
    return !next.pooled || m_pool->isDone(next.pooled);
}

TidyResult TidyBatch::takeNext() {
    if (m_entries.empty())
        throw std::logic_error("TidyBatch::takeNext with nothing pending");
    if (m_waitLoop)
        throw std::logic_error("TidyBatch::takeNext called while it waits");

    if (!m_entries.front().pooled) {
        Entry entry = std::move(m_entries.front());
        m_entries.pop_front();
        m_pendingBytes -= entry.size;
        return m_runner.run({m_options, std::move(entry.document), m_mode});
    }

    const TidyProcessPool::Ticket ticket = m_entries.front().pooled;
    const bool pump = m_pumpEvents && QCoreApplication::instance() &&
                      QAbstractEventDispatcher::instance(QThread::currentThread());
    if (pump) {
        const quint64 cancelCount = m_cancelCount;
        while (!m_pool->isDone(ticket)) {
            QEventLoop loop;
            m_waitLoop = &loop;
            // Checked again with the loop in place: a completion from now on quits it.
            if (!m_pool->isDone(ticket))
                loop.exec();
            m_waitLoop = nullptr;
            if (m_cancelCount != cancelCount)
                throw SilentAbort();
        }
    }
    m_pendingBytes -= m_entries.front().size;
    m_entries.pop_front();
    updateAwaited();
    return m_pool->wait(ticket);
}

void TidyBatch::updateAwaited() {
    m_link->awaited.store(m_entries.empty() ? 0 : m_entries.front().ticket);
}

void TidyBatch::cancel() {
    ++m_cancelCount;
    for (const Entry& entry : m_entries) {
        if (entry.pooled)
            m_pool->cancel(entry.pooled);
    }
    m_entries.clear();
    m_pendingBytes = 0;
    updateAwaited();
    if (m_waitLoop)
        m_waitLoop->quit();
}

bool TidyBatch::wantsMore() const {
    if (!m_pool || m_entries.empty())
        return m_entries.empty();
    return m_entries.size() < 8192 && m_pendingBytes < (qint64(64) << 20);
}

void TidyBatch::jobDone() {
    if (m_waitLoop)
        m_waitLoop->quit();
    if (isNextReady())
        Q_EMIT nextReady();
}

QString TidyMessageText(const QList<TidyReport>& reports, MessageLines which) {
    return FormatTidyMessages(reports, which);
}
