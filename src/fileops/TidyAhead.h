#pragma once
// The work list of a tidy or validate run, read and tidied ahead. While the run's step handles
// one file, the files after it are read and handed to the engine's helpers, so that they tidy
// in parallel and the step finds its result ready. Results are taken strictly in list order,
// each inside its own file's step; a file that changed after it was read ahead is read and
// tidied again, so no step ever sees a result computed from bytes the file no longer holds.
// Memory stays bounded: the look-ahead stops at the engine's limits (TidyBatch::wantsMore) and
// at a fixed number of entries, whatever the length of the list.

#include "engine/TidyBatch.h"
#include "fileops/FileSnapshot.h"
#include "fileops/WorkItems.h"

#include <deque>
#include <functional>
#include <memory>

// A document of the run with the result of tidying it.
struct TidiedDocument {
    TidyResult result;
    FileIdentity identity; // the file when it was read
    QByteArray digest;     // ContentDigest of the bytes that were tidied
    QByteArray original;   // those bytes, when they were asked for
};

class TidyAhead final : public WorkItems {
public:
    // Whether a regular file (as stat describes it) is worth tidying ahead.
    using Wanted = std::function<bool(const QString& path, const FileIdentity& identity)>;

    explicit TidyAhead(WorkItems& source);
    ~TidyAhead() override;
    TidyAhead(const TidyAhead&) = delete;
    TidyAhead& operator=(const TidyAhead&) = delete;

    // Before the run: whether the list has no entry at all.
    bool IsEmpty();
    // The first of the first `limit` entries that names a readable, non-empty file; empty when
    // there is none.
    QString FindSample(qsizetype limit);

    // From now on, entries are tidied ahead with `options` by `runner` (which must outlive this).
    void Start(ResolvedTidyOptions options, TidyRunner& runner, Wanted wanted);
    // Drops everything tidied ahead (Cancel, the end of the run).
    void Stop();
    // At most `entries` are read ahead (0: the default of 8,192), and with `bytes` above 0 at
    // most that many bytes of documents are tidied ahead: a document that does not fit is
    // tidied in its own step. Memory then no longer depends on the list (a tidied page and its
    // reports take many times the page's size), at the price of helpers that wait around very
    // large pages.
    void SetMaxAhead(qsizetype entries, qint64 bytes = 0);

    std::optional<QString> Next() override;
    qsizetype Count() const override;

    // The document of the entry that Next() gave last (`path`): the result tidied ahead while
    // the file is as it was read, else the file read and tidied now. Raises FileReadError.
    TidiedDocument Take(const QString& path, bool keepOriginal);
    // Reads `path` and tidies it now. Raises FileReadError.
    TidiedDocument TidyNow(const QString& path, bool keepOriginal);

private:
    struct Entry {
        QString path;
        quint64 ticket = 0; // 0: not tidied ahead
        FileIdentity identity;
        QByteArray digest;
        qint64 bytes = 0; // tidied ahead: the document's size
    };

    std::optional<QString> TakePath();
    std::optional<QString> PeekPath(qsizetype index);
    void ReadAhead(Entry& entry);
    // Reads and submits up to `budget` further entries. Only the first may wait for the source;
    // after it, a source that is not ready ends the top-up, so a slow pipe never holds up the
    // file in hand.
    void TopUp(int budget, bool mayWait);
    // Takes (and drops) results that no step will use any more.
    void DropUnused(bool wait);
    quint64 FirstLiveTicket() const;
    TidyResult TakeTicket(quint64 ticket);

    WorkItems& m_source;
    std::deque<QString> m_peeked; // taken from the source, not yet read
    std::deque<Entry> m_ahead;    // read, and tidied ahead where wanted
    Entry m_current;
    bool m_currentTaken = false;
    ResolvedTidyOptions m_options;
    TidyRunner* m_runner = nullptr;
    Wanted m_wanted;
    qsizetype m_maxAhead;
    qint64 m_maxAheadBytes = 0;
    qint64 m_bytesAhead = 0; // documents of m_ahead tidied ahead
    std::unique_ptr<TidyBatch> m_batch;
};
