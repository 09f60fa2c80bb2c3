#include "fileops/TidyAhead.h"

#include "fileops/ForbiddenFile.h"
#include "platform/FileNames.h"
#include "platform/UniqueFd.h"

#include <fcntl.h>
#include <stdexcept>

namespace {

// Entries read ahead at most, tidied or not (a bound on memory for endless lists).
constexpr qsizetype kMaxAhead = 8192;
// Entries read ahead per step at most, so that the first file's step starts at once.
constexpr int kFirstBudget = 16;
constexpr int kStepBudget = 8;
// A file larger than this is only read ahead when nothing else is pending.
constexpr qint64 kLargeFile = qint64(64) << 20;

bool CanOpen(const QString& path) {
    const platform::UniqueFd fd(::open(platform::EncodeFileName(path).constData(),
                                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    return fd.get() >= 0;
}

} // namespace

TidyAhead::TidyAhead(WorkItems& source) : m_source(source), m_maxAhead(kMaxAhead) {}

TidyAhead::~TidyAhead() = default;

std::optional<QString> TidyAhead::PeekPath(qsizetype index) {
    while (qsizetype(m_peeked.size()) <= index) {
        std::optional<QString> path = m_source.Next();
        if (!path)
            return std::nullopt;
        m_peeked.push_back(std::move(*path));
    }
    return m_peeked[size_t(index)];
}

std::optional<QString> TidyAhead::TakePath() {
    if (!m_peeked.empty()) {
        QString path = std::move(m_peeked.front());
        m_peeked.pop_front();
        return path;
    }
    return m_source.Next();
}

bool TidyAhead::IsEmpty() {
    return !PeekPath(0);
}

QString TidyAhead::FindSample(qsizetype limit) {
    for (qsizetype i = 0; i < limit; ++i) {
        const std::optional<QString> path = PeekPath(i);
        if (!path)
            break;
        const std::optional<FileIdentity> identity = IdentityOf(*path);
        if (identity && identity->IsRegular() && identity->size > 0 && CanOpen(*path))
            return *path;
    }
    return {};
}

void TidyAhead::Start(ResolvedTidyOptions options, TidyRunner& runner, Wanted wanted) {
    m_options = std::move(options);
    m_runner = &runner;
    m_wanted = std::move(wanted);
    m_batch = std::make_unique<TidyBatch>(m_options, runner);
}

void TidyAhead::SetMaxAhead(qsizetype entries, qint64 bytes) {
    m_maxAhead = entries > 0 ? entries : kMaxAhead;
    m_maxAheadBytes = bytes;
}

void TidyAhead::Stop() {
    if (m_batch)
        m_batch->cancel();
    m_ahead.clear();
    m_bytesAhead = 0;
    m_current.ticket = 0;
}

qsizetype TidyAhead::Count() const {
    return m_source.Count();
}

std::optional<QString> TidyAhead::Next() {
    if (m_ahead.empty())
        TopUp(kFirstBudget, true);
    if (!m_ahead.empty()) {
        m_current = std::move(m_ahead.front());
        m_ahead.pop_front();
        m_bytesAhead -= m_current.bytes;
    } else {
        std::optional<QString> path = TakePath();
        if (!path)
            return std::nullopt;
        m_current = Entry();
        m_current.path = std::move(*path);
    }
    m_currentTaken = false;
    DropUnused(false);
    TopUp(kStepBudget, false);
    return m_current.path;
}

void TidyAhead::TopUp(int budget, bool mayWait) {
    if (!m_batch)
        return;
    for (int added = 0;
         added < budget && qsizetype(m_ahead.size()) < m_maxAhead && m_batch->wantsMore();
         ++added) {
        if (m_peeked.empty() && !(mayWait && added == 0) && !m_source.Ready())
            return;
        std::optional<QString> path = TakePath();
        if (!path)
            return;
        Entry entry;
        entry.path = std::move(*path);
        ReadAhead(entry);
        m_ahead.push_back(std::move(entry));
    }
}

void TidyAhead::ReadAhead(Entry& entry) {
    // Only what the step will most likely tidy; the step tests everything again anyway.
    const std::optional<FileIdentity> identity = IdentityOf(entry.path);
    if (!identity || !identity->IsRegular() || !m_wanted(entry.path, *identity))
        return;
    if (identity->size > kLargeFile && m_batch->pendingCount() > 0)
        return;
    if (m_maxAheadBytes > 0 && m_bytesAhead + identity->size > m_maxAheadBytes)
        return;
    FileSnapshot snapshot;
    try {
        snapshot = ReadSnapshot(entry.path);
    } catch (const FileReadError&) {
        return; // the step reads it again and reports what it finds then
    }
    if (IsForbiddenContent(entry.path, snapshot.bytes))
        return;
    entry.identity = snapshot.identity;
    entry.digest = ContentDigest(snapshot.bytes);
    entry.bytes = snapshot.bytes.size();
    m_bytesAhead += entry.bytes;
    entry.ticket = m_batch->submit(std::move(snapshot.bytes));
}

quint64 TidyAhead::FirstLiveTicket() const {
    if (m_current.ticket && !m_currentTaken)
        return m_current.ticket;
    for (const Entry& entry : m_ahead)
        if (entry.ticket)
            return entry.ticket;
    return ~quint64(0);
}

void TidyAhead::DropUnused(bool wait) {
    if (!m_batch)
        return;
    const quint64 live = FirstLiveTicket();
    while (m_batch->nextTicket() != 0 && m_batch->nextTicket() < live &&
           (wait || m_batch->isNextReady()))
        m_batch->takeNext();
}

TidyResult TidyAhead::TakeTicket(quint64 ticket) {
    DropUnused(true);
    // Never hand a step another document's result.
    if (m_batch->nextTicket() != ticket)
        throw std::logic_error("TidyAhead: results out of step with the list");
    return m_batch->takeNext();
}

TidiedDocument TidyAhead::Take(const QString& path, bool keepOriginal) {
    if (m_current.ticket && !m_currentTaken && path == m_current.path &&
        IdentityOf(path) == m_current.identity) {
        const quint64 ticket = m_current.ticket;
        TidiedDocument document;
        document.result = TakeTicket(ticket);
        m_currentTaken = true;
        document.identity = m_current.identity;
        document.digest = m_current.digest;
        if (!keepOriginal)
            return document;
        FileSnapshot snapshot = ReadSnapshot(path);
        if (ContentDigest(snapshot.bytes) == document.digest) {
            document.original = std::move(snapshot.bytes);
            return document;
        }
    }
    m_currentTaken = true; // whatever was tidied ahead for this entry is of no use now
    return TidyNow(path, keepOriginal);
}

TidiedDocument TidyAhead::TidyNow(const QString& path, bool keepOriginal) {
    FileSnapshot snapshot = ReadSnapshot(path);
    TidiedDocument document;
    document.identity = snapshot.identity;
    document.digest = ContentDigest(snapshot.bytes);
    // A batch of its own: the results of the list's batch are taken in list order only.
    TidyBatch single(m_options, m_runner ? *m_runner : CurrentTidyRunner());
    single.submit(keepOriginal ? snapshot.bytes : std::move(snapshot.bytes));
    document.result = single.takeNext();
    if (keepOriginal)
        document.original = std::move(snapshot.bytes);
    return document;
}
