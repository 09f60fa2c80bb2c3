#include "fileops/TidyAhead.h"

#include "fileops/ForbiddenFile.h"
#include "platform/UniqueFd.h"
#include "support/Translation.h"

#include <cerrno>
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

[[noreturn]] void OutOfDescriptors() {
    throw KelvaneError(
        FillTemplate(Translate(QStringLiteral(
                         "The run has no file descriptor left (this process may have %d files "
                         "open at once: see ulimit -n), so it ended here.")),
                     {QString::number(OpenFileLimit())}));
}

// Grows the process's descriptor table at once to hold `count` descriptors. The kernel doubles
// the table as descriptors are opened, and while other threads share it (the helpers' pool
// thread) each growth waits out a grace period of several milliseconds: three of them cost a
// rerun answered by the cache more than all its reading. Done before the first run's helpers
// start, the table is grown while the process has one thread.
void ReserveDescriptors(qint64 count) {
    if (count < 2)
        return;
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, int(std::min<qint64>(count - 1, 1 << 20)));
    if (high >= 0)
        ::close(high);
    ::close(fd);
}

[[noreturn]] void CannotRead(const QString& path, int code) {
    QString reason = qt_error_string(code);
    if (code == EFBIG)
        reason = Translate(QStringLiteral("It is too large to be tidied."));
    try {
        RaiseFileOpenError(path, reason);
    } catch (const KelvaneError& error) {
        throw FileReadError(error.message());
    }
}

// Tidying a file whose backup exists but cannot be read could put tidied text in that backup.
[[noreturn]] void CannotReadBackup(const QString& path, int code) {
    throw FileReadError(FillTemplate(
        Translate(QStringLiteral("%s: Its backup cannot be read (%s), so Kelvane cannot tell "
                                 "whether it was tidied from that backup already. It was left "
                                 "as it is.")),
        {path, code == EFBIG ? Translate(QStringLiteral("It is too large to be tidied."))
                             : qt_error_string(code)}));
}

} // namespace

TidyAhead::TidyAhead(WorkItems& source, bool writes)
    : m_source(source), m_shares(ShareDescriptors()), m_files(source.Roots(), writes),
      m_maxAhead(kMaxAhead), m_maxOpenAhead(m_shares.pagesAhead) {
    m_files.SetCachedFolders(m_shares.folders);
    // Room for every descriptor the shares allow, and the helpers' sockets, at once.
    ReserveDescriptors(std::min<qint64>(OpenFileLimit(), m_shares.pagesAhead +
                                                             2 * qint64(m_shares.rewrites) +
                                                             2 * qint64(m_shares.folders) + 64));
}

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

QString TidyAhead::FindSample(qsizetype limit, QByteArray* content) {
    for (qsizetype i = 0; i < limit; ++i) {
        const std::optional<QString> path = PeekPath(i);
        if (!path)
            break;
        OpenedPage opened = OpenPage(m_files, *path, LinkRule::FollowOwned);
        if (opened.state != PageState::Opened || opened.page.st.st_size == 0)
            continue;
        QByteArray bytes;
        if (ReadPage(opened.page, bytes, kMaxDocumentBytes) != ReadState::Read || bytes.isEmpty())
            continue;
        if (content)
            *content = std::move(bytes);
        return *path;
    }
    return {};
}

void TidyAhead::Start(ResolvedTidyOptions options, TidyRunner& runner, Settings settings) {
    m_options = std::move(options);
    m_runner = &runner;
    m_settings = std::move(settings);
    m_batch = std::make_unique<TidyBatch>(m_options, runner);
    m_batch->setReportsOnly(m_settings.reportsOnly);
    m_cached.Start(CurrentTidyResultCache(), m_options, runner, m_settings.reportsOnly,
                   m_settings.checkOutput);
}

void TidyAhead::SetMaxAhead(qsizetype entries, qint64 bytes) {
    m_maxAhead = entries > 0 ? entries : kMaxAhead;
    m_maxAheadBytes = bytes;
}

void TidyAhead::Forget(Entry& entry) {
    entry.opened = OpenedPage();
    entry.original = QByteArray();
}

void TidyAhead::Stop() {
    if (m_batch)
        m_batch->cancel();
    m_cached.Stop();
    m_droppedAhead += qsizetype(m_ahead.size()) + (m_waiting ? 1 : 0);
    m_ahead.clear();
    m_waiting.reset();
    m_openAhead = 0;
    m_bytesAhead = 0;
    m_current.ticket = 0;
    m_current.backupTicket = 0;
}

TidyAhead::Rest TidyAhead::CountRest() {
    Rest rest;
    rest.count = qint64(m_droppedAhead) + qint64(m_ahead.size()) + qint64(m_peeked.size()) +
                 (m_waiting ? 1 : 0);
    m_droppedAhead = 0;
    m_ahead.clear();
    m_waiting.reset();
    m_peeked.clear();
    // The walk of the rest opens folders: what the run held open ahead is not needed any more.
    m_files.DropCachedFolders();
    for (;;) {
        if (!m_source.Ready()) {
            rest.complete = false;
            break;
        }
        if (!m_source.Next())
            break;
        ++rest.count;
    }
    if (!m_source.CountsExactly())
        rest.complete = false;
    return rest;
}

qsizetype TidyAhead::Count() const {
    return m_source.Count();
}

std::optional<QString> TidyAhead::Next() {
    if (m_ahead.empty())
        TopUp(kFirstBudget, true);
    Forget(m_current);
    m_cached.TakeChecks(false);
    if (!m_ahead.empty()) {
        m_current = std::move(m_ahead.front());
        m_ahead.pop_front();
        m_bytesAhead -= m_current.bytes;
        if (m_current.opened.page.IsOpen())
            --m_openAhead; // the step owns it now
    } else {
        std::optional<QString> path = TakePath();
        if (!path) {
            // The end of the list: what the run wrote is checked before it ends.
            m_cached.TakeChecks(true, m_settings.stopped);
            return std::nullopt;
        }
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
    for (int added = 0; added < budget && qsizetype(m_ahead.size()) < m_maxAhead &&
                        m_openAhead < m_maxOpenAhead && m_batch->wantsMore();
         ++added) {
        Entry entry;
        if (m_waiting) {
            entry = std::move(*m_waiting);
            m_waiting.reset();
            if (entry.opened.page.IsOpen()) // closed when descriptors ran short
                --m_openAhead;
        } else {
            if (m_peeked.empty() && !(mayWait && added == 0) && !m_source.Ready())
                return;
            std::optional<QString> path = TakePath();
            if (!path)
                return;
            entry.path = std::move(*path);
            OpenAhead(entry);
        }
        // A document that does not fit waits for earlier ones to be taken, rather than being
        // tidied in its own step: the helpers would then wait on one another.
        if (!Fits(entry) && (m_batch->pendingCount() > 0 || m_bytesAhead > 0)) {
            m_waiting = std::move(entry);
            ++m_openAhead;
            return;
        }
        ReadAhead(entry);
        if (entry.opened.page.IsOpen())
            ++m_openAhead;
        m_ahead.push_back(std::move(entry));
    }
}

void TidyAhead::OpenAhead(Entry& entry) {
    // Only what the step will most likely tidy; the step tests everything again anyway.
    entry.opened = OpenPage(m_files, entry.path, LinkRule::FollowOwned, m_settings.use);
    if (entry.opened.state == PageState::Failed && IsDescriptorShortage(entry.opened.error))
        m_maxOpenAhead = m_openAhead / 2; // no more than the process has room for
    if (entry.opened.state == PageState::Opened &&
        (!m_settings.wanted || m_settings.wanted(entry.opened.page)) &&
        entry.opened.page.st.st_size <= kMaxDocumentBytes)
        return;
    entry.opened = OpenedPage();
}

bool TidyAhead::Fits(const Entry& entry) const {
    if (!entry.opened.page.IsOpen())
        return true; // nothing to read
    const qint64 size = entry.opened.page.st.st_size;
    return size <= kLargeFile && (m_maxAheadBytes <= 0 || m_bytesAhead + size <= m_maxAheadBytes);
}

std::optional<QByteArray> TidyAhead::ReadBackup(const PageFile& page, int& error) {
    error = 0;
    const BackupFolderLookup lookup = m_files.BackupFolder(page.fileFolder, false);
    if (!lookup.folder) {
        // None, or refused: the rewrite refuses it too, with its line.
        if (lookup.refusal.isEmpty() && lookup.error != ENOENT)
            error = lookup.error;
        return std::nullopt;
    }
    // Never through a link: what lies there is read only as the backup it claims to be.
    PageFile backup;
    backup.fd = platform::UniqueFd(::openat(lookup.folder->Fd(), page.fileName.constData(),
                                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY |
                                                O_CLOEXEC));
    if (!backup.IsOpen()) {
        // A link or no file there is no backup to compare with (the rewrite deals with it).
        if (errno != ENOENT && errno != ELOOP)
            error = errno;
        return std::nullopt;
    }
    QByteArray bytes;
    if (::fstat(backup.fd.get(), &backup.st) != 0) {
        error = errno;
        return std::nullopt;
    }
    if (!S_ISREG(backup.st.st_mode))
        return std::nullopt;
    switch (ReadPage(backup, bytes, kMaxDocumentBytes, &error)) {
    case ReadState::Read:
        return bytes;
    case ReadState::TooLarge:
        error = EFBIG;
        break;
    case ReadState::Failed:
        break;
    }
    return std::nullopt;
}

void TidyAhead::ReadAhead(Entry& entry) {
    if (!entry.opened.page.IsOpen())
        return;
    if (std::optional<TidyResult> known = m_cached.LookUnread(entry.opened.page.st)) {
        entry.answer.result = std::move(known);
        entry.bytesDropped = true;
        return;
    }
    QByteArray bytes;
    if (ReadPage(entry.opened.page, bytes, kMaxDocumentBytes) != ReadState::Read) {
        entry.opened = OpenedPage(); // the step reads it again and reports what it finds then
        return;
    }
    entry.forbidden = m_settings.refuseForbidden && IsForbiddenContent(entry.path, bytes);
    if (!entry.forbidden) {
        std::optional<QByteArray> backup;
        if (m_settings.backups) {
            int error = 0;
            backup = ReadBackup(entry.opened.page, error);
            if (error != 0) {
                // Without its backup the already-tidied test cannot be made: the step reads
                // both again and says what it finds then.
                if (IsDescriptorShortage(error))
                    m_maxOpenAhead = m_openAhead / 2;
                entry.opened = OpenedPage();
                return;
            }
        }
        Submit(entry, entry.opened.page, bytes, std::move(backup), *m_batch);
    }
    // A validation answered by the cache needs the bytes no more: let their memory serve the
    // next read. Where the file system's times are too coarse to show a rewrite, the step
    // compares the bytes instead.
    const struct stat& st = entry.opened.page.st;
    if (m_settings.reportsOnly && entry.answer.result &&
        (st.st_mtim.tv_nsec != 0 || st.st_ctim.tv_nsec != 0)) {
        entry.bytesDropped = true;
        entry.bytes = 0;
        return;
    }
    m_bytesAhead += entry.bytes;
    entry.original = std::move(bytes);
}

void TidyAhead::Submit(Entry& entry, const PageFile& page, const QByteArray& bytes,
                       std::optional<QByteArray> backup, TidyBatch& batch) {
    entry.answer = m_cached.Look(bytes, backup ? &*backup : nullptr);
    m_cached.Read(page.st, entry.answer);
    entry.bytes = bytes.size();
    if (!entry.answer.result)
        entry.ticket = batch.submit(bytes);
    if (backup && !entry.answer.fromBackup) {
        entry.bytes += backup->size();
        entry.backupTicket = batch.submit(std::move(*backup));
    }
}

void TidyAhead::Collect(TidiedDocument& document, const Entry& entry,
                        const std::function<TidyResult(quint64)>& take) {
    // Taken in the order submitted: the file's result, then its backup's.
    if (entry.ticket) {
        document.result = take(entry.ticket);
        m_cached.Learn(entry.answer, document.result);
    } else if (entry.answer.result) {
        document.result = *entry.answer.result;
    } else {
        throw std::logic_error("TidyAhead: a document with neither a result nor a ticket");
    }
    if (entry.backupTicket) {
        const TidyResult fromBackup = take(entry.backupTicket);
        m_cached.LearnBackup(entry.answer, fromBackup);
        document.tidiedFromBackup =
            fromBackup.status == TidyRunStatus::Completed && fromBackup.output == document.original;
    } else {
        document.tidiedFromBackup = entry.answer.fromBackup.value_or(false);
    }
}

quint64 TidyAhead::FirstLiveTicket() const {
    // An entry's page goes before its backup; a page answered by the cache has none.
    const auto first = [](const Entry& entry) {
        return entry.ticket ? entry.ticket : entry.backupTicket;
    };
    if (first(m_current) && !m_currentTaken)
        return first(m_current);
    for (const Entry& entry : m_ahead)
        if (first(entry))
            return first(entry);
    return ~quint64(0);
}

void TidyAhead::DropUnused(bool wait) {
    // Nothing pending (every entry answered by the cache, say): nothing to look for.
    if (!m_batch || m_batch->nextTicket() == 0)
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

OpenedPage TidyAhead::Open(const QString& path, LinkRule rule) {
    if (path == m_current.path && m_current.opened.state == PageState::Opened &&
        m_current.opened.page.Unchanged(&m_current.original) &&
        m_current.opened.page.StillNamed())
        return std::move(m_current.opened);
    m_current.opened = OpenedPage();
    m_currentTaken = true; // whatever was tidied ahead for this entry is of no use now
    OpenedPage opened = OpenPage(m_files, path, rule, m_settings.use);
    if (opened.state == PageState::Failed && IsDescriptorShortage(opened.error)) {
        ReleaseDescriptors();
        opened = OpenPage(m_files, path, rule, m_settings.use);
        if (opened.state == PageState::Failed && IsDescriptorShortage(opened.error))
            OutOfDescriptors();
    }
    return opened;
}

void TidyAhead::ReleaseDescriptors() {
    for (Entry& entry : m_ahead) {
        if (entry.opened.page.IsOpen())
            entry.opened = OpenedPage(); // its step opens and reads it again
    }
    if (m_waiting)
        m_waiting->opened = OpenedPage();
    m_maxOpenAhead = m_openAhead / 2;
    m_openAhead = 0;
    m_files.DropCachedFolders();
    if (m_settings.releaseDescriptors)
        m_settings.releaseDescriptors();
}

TidiedDocument TidyAhead::Tidy(PageFile page) {
    TidiedDocument document;
    const bool ahead = !m_currentTaken && page.path == m_current.path &&
                       (m_current.ticket || m_current.backupTicket || m_current.forbidden ||
                        m_current.answer.result) &&
                       page.Unchanged(m_current.bytesDropped ? nullptr : &m_current.original);
    if (ahead) {
        document.original = std::move(m_current.original);
        document.forbidden = m_current.forbidden;
        if (!document.forbidden)
            Collect(document, m_current, [this](quint64 ticket) { return TakeTicket(ticket); });
        m_currentTaken = true;
        m_current.ticket = 0;
        m_current.backupTicket = 0;
        document.page = std::move(page);
        return document;
    }
    m_currentTaken = true;
    m_current.ticket = 0;
    m_current.backupTicket = 0;

    // Read and tidied now, in a batch of its own: the list's results are taken in order only.
    int error = 0;
    switch (ReadPage(page, document.original, kMaxDocumentBytes, &error)) {
    case ReadState::Read:
        break;
    case ReadState::TooLarge:
        CannotRead(page.path, EFBIG);
    case ReadState::Failed:
        CannotRead(page.path, error);
    }
    document.forbidden =
        m_settings.refuseForbidden && IsForbiddenContent(page.path, document.original);
    if (!document.forbidden) {
        std::optional<QByteArray> backup;
        if (m_settings.backups) {
            int error = 0;
            backup = ReadBackup(page, error);
            if (IsDescriptorShortage(error)) {
                ReleaseDescriptors();
                backup = ReadBackup(page, error);
                if (IsDescriptorShortage(error))
                    OutOfDescriptors();
            }
            if (error != 0)
                CannotReadBackup(page.path, error);
        }
        TidyBatch single(m_options, m_runner ? *m_runner : CurrentTidyRunner());
        single.setReportsOnly(m_settings.reportsOnly);
        Entry now;
        Submit(now, page, document.original, std::move(backup), single);
        Collect(document, now, [&](quint64) { return single.takeNext(); });
    }
    document.page = std::move(page);
    return document;
}
