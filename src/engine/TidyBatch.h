#pragma once
// The documents of one batch run, tidied ahead of the caller. A run resolves its options once,
// submits the next documents of its work list while it is still writing earlier results, and
// takes the results strictly in the order it submitted the documents.
//
// With a TidyProcessPool as runner the helpers work on the submitted documents in parallel;
// with any other runner (the in-process one, a test's fake) each document is tidied when it is
// taken. takeNext() waits in a local event loop when it is called on a thread with an event
// dispatcher, so the interface keeps painting and a modal progress window keeps its Cancel
// button while a large document is being tidied.

#include "engine/TidyEngine.h"
#include "engine/TidyProcessPool.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <deque>
#include <memory>

class TidyBatch : public QObject {
    Q_OBJECT

public:
    // `options` as ResolveOptions gives them (resolve before the run: that is where option
    // errors are raised). The runner must outlive the batch.
    explicit TidyBatch(ResolvedTidyOptions options, TidyRunner& runner = CurrentTidyRunner(),
                       QObject* parent = nullptr);
    ~TidyBatch() override; // cancels what was not taken

    // Queues a document (every byte of it, as RunTidy takes it) and returns its ticket: 1 for
    // the first document of the batch, then 2, 3 ... Throws KelvaneError for options the option
    // set does not allow (only a program error can produce those).
    quint64 submit(QByteArray document);
    // Submitted and not yet taken.
    qsizetype pendingCount() const { return qsizetype(m_entries.size()); }
    // The ticket takeNext() will answer for; 0 when nothing is pending.
    quint64 nextTicket() const;
    // Whether takeNext() would answer without waiting.
    bool isNextReady() const;
    // The result of the oldest document not yet taken, waiting for it as needed. A document
    // the library could not process comes back Failed with a fatal report saying so. Throws
    // KelvaneError when no helper process can be started; throws SilentAbort when cancel() was
    // called (from an event handled while waiting). Must not be called with nothing pending,
    // nor from inside its own wait.
    TidyResult takeNext();
    // Discards every document not yet taken; helpers busy with one are stopped.
    void cancel();

    // Whether the caller should submit another document before it takes the next result. With
    // a pool: while fewer than 8,192 documents or 64 MB of documents are pending, enough for the
    // other helpers to go on while one works through a very large page (results are taken in
    // list order). With any other runner: only when nothing is pending.
    bool wantsMore() const;
    // Wait in a local event loop (the default where the thread has one) or just block.
    void setPumpEvents(bool pump) { m_pumpEvents = pump; }
    // Whether the documents submitted from now on are only checked: their results carry the
    // reports a tidy would give, and no output. Validation runs use it, since writing the
    // tidied text is about half of the library's work. Off by default.
    void setReportsOnly(bool reportsOnly) {
        m_mode = reportsOnly ? TidyRequest::Mode::ReportsOnly : TidyRequest::Mode::Tidy;
    }
    bool reportsOnly() const { return m_mode == TidyRequest::Mode::ReportsOnly; }
    // The mode of the documents submitted from now on (setReportsOnly chooses between the
    // first two).
    void setMode(TidyRequest::Mode mode) { m_mode = mode; }

Q_SIGNALS:
    // The oldest pending document's result is there (queued). Only the completion of the
    // document then oldest is signalled: after takeNext(), ask isNextReady().
    void nextReady();

private:
    struct Entry {
        quint64 ticket = 0;
        qsizetype size = 0;
        QByteArray document;            // for runners that are not a pool
        TidyProcessPool::Ticket pooled; // for a pool
    };
    // Reached from the pool thread's callbacks; cut off when the batch goes.
    struct Link {
        std::mutex mutex;
        TidyBatch* batch = nullptr;
        // The ticket of the oldest pending document, 0 for none. Completions of later ones
        // wake nobody: the thread waits for the oldest, and finds the others done when it
        // gets to them.
        std::atomic<quint64> awaited{0};
    };

    void jobDone();
    // Set before the pool is asked about the new oldest document, so that its completion is
    // either seen there or signalled.
    void updateAwaited();

    const ResolvedTidyOptions m_options;
    TidyRunner& m_runner;
    TidyProcessPool* m_pool; // m_runner when it is a pool
    std::shared_ptr<Link> m_link;
    std::deque<Entry> m_entries;
    quint64 m_lastTicket = 0;
    qint64 m_pendingBytes = 0;
    quint64 m_cancelCount = 0;
    class QEventLoop* m_waitLoop = nullptr;
    bool m_pumpEvents = true;
    TidyRequest::Mode m_mode = TidyRequest::Mode::Tidy;
};

// The message text of a run's reports, as RunTidy gives it: one FormatTidyMessage line per
// report that is not muted, each followed by CR LF; empty without such reports. `which` can
// add the message keys, or take the muted reports too.
QString TidyMessageText(const QList<TidyReport>& reports, MessageLines which = MessageLines::Shown);
