#pragma once
// The work list of a tidy or validate run, opened, read and tidied ahead. While the run's step
// handles one file, the files after it are opened, read and handed to the engine's helpers, so
// that they tidy in parallel and the step finds its result ready. Results are taken strictly in
// list order, each inside its own file's step; a file that changed after it was read ahead is
// read and tidied again, so no step ever sees a result computed from bytes the file no longer
// holds. Memory stays bounded: the look-ahead stops at the engine's limits
// (TidyBatch::wantsMore), at a number of entries and at a number of open files, whatever the
// length of the list.

#include "engine/TidyBatch.h"
#include "fileops/CachedTidying.h"
#include "fileops/PageFile.h"
#include "fileops/RunDescriptors.h"
#include "fileops/RunFiles.h"
#include "fileops/WorkItems.h"
#include "support/Errors.h"

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// The file-open error of a file that could not be read (as opposed to a failure of the engine).
class FileReadError : public KelvaneError {
public:
    using KelvaneError::KelvaneError;
};

// The largest document a run reads: far beyond any web page, and small enough that its tidied
// text still fits the engine's frames (EngineProtocol.h), whatever a hostile file claims.
inline constexpr qint64 kMaxDocumentBytes = qint64(256) << 20;

// A document of the run with the result of tidying it.
struct TidiedDocument {
    PageFile page;       // still open: the rewrite works on it
    QByteArray original; // the bytes that were tidied
    bool forbidden = false; // an executable program: not tidied (`result` is empty)
    // Its output is empty where the file is what its backup gives (`tidiedFromBackup`) and
    // the result came from the cache: such a file is never written.
    TidyResult result;
    // The file has a backup, and tidying the backup with the same options gives exactly the
    // file: it was tidied from its backup already.
    bool tidiedFromBackup = false;
};

class TidyAhead final : public WorkItems {
public:
    // Whether an opened file is worth reading and tidying ahead.
    using Wanted = std::function<bool(const PageFile& page)>;

    // `writes`: the run writes in the folders of its files (RunFiles).
    explicit TidyAhead(WorkItems& source, bool writes = false);
    ~TidyAhead() override;
    TidyAhead(const TidyAhead&) = delete;
    TidyAhead& operator=(const TidyAhead&) = delete;

    // The run's folders and files.
    RunFiles& Files() { return m_files; }
    // What the run may keep open (RunDescriptors.h), shared out when the run was made.
    const DescriptorShares& Shares() const { return m_shares; }

    // Before the run: whether the list has no entry at all.
    bool IsEmpty();
    // The first of the first `limit` entries that names a readable, non-empty file, with its
    // content; empty when there is none.
    QString FindSample(qsizetype limit, QByteArray* content = nullptr);

    struct Settings {
        Wanted wanted;       // empty: every regular file
        bool backups = false; // a file's backup is tidied too (the already-tidied test)
        bool refuseForbidden = false; // executable programs are not tidied (TidiedDocument)
        bool reportsOnly = false;     // the library's reports are all that is wanted (validate)
        PageUse use = PageUse::Read;  // what the files are opened for (OpenPage)
        // Releases what the run holds open besides the look-ahead (the rewrites in flight),
        // when the process has run short of descriptors; may be empty.
        std::function<void()> releaseDescriptors;
        // The texts a tidy may write are checked for the result cache at once (see
        // CachedTidying); the end of the list waits for those checks unless `stopped` says so.
        bool checkOutput = false;
        std::function<bool()> stopped;
    };
    // From now on, entries are tidied ahead with `options` by `runner` (which must outlive
    // this), answered from the installed result cache where it can (CurrentTidyResultCache).
    void Start(ResolvedTidyOptions options, TidyRunner& runner, Settings settings);
    // Drops everything tidied ahead (Cancel, the end of the run).
    void Stop();
    // The entries not yet handed to the run, counted without opening them: the rest of a
    // stream is read only as far as it is ready (`complete` false when it was not all there).
    struct Rest {
        qint64 count = 0;
        bool complete = true;
    };
    Rest CountRest();
    // At most `entries` are read ahead (0: the default of 8,192), and with `bytes` above 0 at
    // most that many bytes of documents are tidied ahead: a document that does not fit is
    // tidied in its own step. Memory then no longer depends on the list (a tidied page and its
    // reports take many times the page's size), at the price of helpers that wait around very
    // large pages.
    void SetMaxAhead(qsizetype entries, qint64 bytes = 0);

    std::optional<QString> Next() override;
    qsizetype Count() const override;
    bool Ready() override { return !m_peeked.empty() || m_source.Ready(); }
    const TreeRoots* Roots() const override { return m_source.Roots(); }
    bool CountsExactly() const override { return m_source.CountsExactly(); }

    // The entry that Next() gave last (`path`), opened for the run's use: the look-ahead's
    // descriptor while the file is as it was then, else opened now. When the process has no
    // descriptor left, the look-ahead shrinks and the run's other holds are released before
    // the file is opened once more; if even that fails, raises KelvaneError (the run ends: no
    // file is reported as unreadable for it).
    OpenedPage Open(const QString& path, LinkRule rule);
    // The document of `page` (opened by Open): the result tidied ahead while the file is as it
    // was read, else the file read and tidied now. Raises FileReadError, also for a backup that
    // exists but cannot be read (whether the file was tidied from it cannot then be told).
    TidiedDocument Tidy(PageFile page);

private:
    struct Entry {
        QString path;
        OpenedPage opened; // Opened only when it was read ahead
        QByteArray original;
        bool forbidden = false;
        quint64 ticket = 0;       // 0: not tidied ahead
        quint64 backupTicket = 0; // 0: no backup tidied ahead
        qint64 bytes = 0;         // read ahead: the documents' size
        CachedTidying::Answer answer;
        // Answered by the cache and its bytes not kept (a validation needs none): the step
        // trusts the file's size and times to say it is as read.
        bool bytesDropped = false;
    };

    std::optional<QString> TakePath();
    std::optional<QString> PeekPath(qsizetype index);
    // Opens the entry when it is worth reading ahead.
    void OpenAhead(Entry& entry);
    // Whether its document may be tidied ahead now (the look-ahead's bytes, a very large page).
    bool Fits(const Entry& entry) const;
    // Reads the opened entry and hands it (and its backup) to the helpers.
    void ReadAhead(Entry& entry);
    // Reads and submits up to `budget` further entries. Only the first may wait for the source;
    // after it, a source that is not ready ends the top-up, so a slow pipe never holds up the
    // file in hand.
    void TopUp(int budget, bool mayWait);
    // Takes (and drops) results that no step will use any more.
    void DropUnused(bool wait);
    // Submits what the cache does not answer for the document (and its backup, already read)
    // to `batch`.
    void Submit(Entry& entry, const PageFile& page, const QByteArray& bytes,
                std::optional<QByteArray> backup, TidyBatch& batch);
    // The results of `entry`'s submissions (taken with `take`) or the cache's answers.
    void Collect(TidiedDocument& document, const Entry& entry,
                 const std::function<TidyResult(quint64)>& take);
    quint64 FirstLiveTicket() const;
    TidyResult TakeTicket(quint64 ticket);
    // The backup of `page`: its bytes, none (no backup, or a backup folder the rewrite will
    // refuse), or the reason it cannot be read (`error`).
    std::optional<QByteArray> ReadBackup(const PageFile& page, int& error);
    void Forget(Entry& entry);
    // The process ran short of descriptors: closes the files held open ahead (they are read
    // again in their steps), halves how many it may hold and lets go of cached folders.
    void ReleaseDescriptors();

    WorkItems& m_source;
    DescriptorShares m_shares;
    RunFiles m_files;
    std::deque<QString> m_peeked; // taken from the source, not yet read
    std::deque<Entry> m_ahead;    // read, and tidied ahead where wanted
    std::optional<Entry> m_waiting; // opened, next in line: waits for room to be tidied ahead
    Entry m_current;
    bool m_currentTaken = false;
    ResolvedTidyOptions m_options;
    TidyRunner* m_runner = nullptr;
    Settings m_settings;
    qsizetype m_maxAhead;
    qint64 m_maxAheadBytes = 0;
    qint64 m_bytesAhead = 0; // documents of m_ahead tidied ahead
    qsizetype m_openAhead = 0;
    qsizetype m_droppedAhead = 0; // entries dropped by Stop() before any step had them
    qsizetype m_maxOpenAhead;
    std::unique_ptr<TidyBatch> m_batch;
    CachedTidying m_cached;
};
