#pragma once
// Runs HTML Tidy in helper processes (kelvane-engine) instead of in the program.
//
// The library crashes on some hostile input and is not thread-safe, so each document goes to a
// helper process over a socket. Helpers are started when first needed, kept for the life of
// the pool, and started again after one died. A document whose helper crashes, exceeds the
// memory limit or the time-out, or answers garbage comes back as a Failed result with one
// report of the fatal level saying that HTML Tidy could not process it; the other documents are
// unaffected. When no helper can be started at all the caller gets a KelvaneError naming the
// helper program, and nothing falls back to running the library in the program.
//
// Memory: a small page can drive the library to gigabytes. Each document gets a budget that
// grows with its size; its helper may take that much address space beyond what it held when
// the document arrived, and a document that needs more fails with a fatal report. The budgets
// of the documents the helpers hold at one time stay within a share of the physical memory: a
// document waits in the queue until its budget fits.
//
// One pool thread owns the processes and does all socket I/O with poll(); callers only queue
// documents and wait for their tickets, from any thread. Each helper holds up to four requests,
// so that it finds the next document waiting; only the one it works on is blamed when it dies,
// the others go back to the queue. A document that crashes a helper which had served others
// gets one more try in a fresh helper first (an earlier document may have damaged the heap).
// With several helpers, documents of 1 MB and more start as soon as a helper is free rather
// than in list order, so that their time overlaps the small ones.

#include "engine/TidyRunner.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Half the memory this process may use: the physical memory, or its control group's limit
// when that is lower.
qint64 DefaultTidyMemoryTotal();

struct TidyPoolSettings {
    QString helperPath;          // the helper program
    QStringList helperArguments; // passed after the pool's own (test helpers take switches)
    int helperCount = 1;         // processes at most; started as documents need them
    // A document's memory budget is memoryPerByte bytes per byte of it, at least memoryFloor
    // (0: no budgets). The budgets of the documents in the helpers' hands add up to no more than
    // memoryTotal (0: no such bound); a document whose own budget is larger gets memoryTotal.
    qint64 memoryFloor = qint64(256) << 20;
    qint64 memoryPerByte = 64;
    qint64 memoryTotal = DefaultTidyMemoryTotal();
    // A document may take baseTimeout plus timeoutPer100KB for every 100,000 bytes.
    std::chrono::milliseconds baseTimeout{30000};
    std::chrono::milliseconds timeoutPer100KB{1000};
};

// kelvane-engine beside the program, one helper per core (at most 8), 30 s + 1 s/100 KB, and
// the memory budgets above.
TidyPoolSettings DefaultTidyPoolSettings();

// The memory budget of a document of `documentSize` bytes under `settings`; 0 for none.
qint64 TidyMemoryBudget(const TidyPoolSettings& settings, qsizetype documentSize);

struct TidyPoolJob;

class TidyProcessPool final : public TidyRunner {
public:
    using Ticket = std::shared_ptr<TidyPoolJob>;

    explicit TidyProcessPool(TidyPoolSettings settings = DefaultTidyPoolSettings());
    // Kills the helpers; tickets still outstanding come back as failures.
    ~TidyProcessPool() override;
    TidyProcessPool(const TidyProcessPool&) = delete;
    TidyProcessPool& operator=(const TidyProcessPool&) = delete;

    // submit + wait. Throws KelvaneError when no helper could be started (or for options that
    // the option set does not allow, which only a program error can produce).
    TidyResult run(const TidyRequest& request) override;
    // The helper program's build (platform::ProgramBuildIdentity), read when the pool is made.
    QByteArray identity() const override { return m_identity; }

    // Queues one document. `whenDone` is called on the pool thread once its result is there
    // (also when it failed); it must be quick and must not call back into the pool.
    Ticket submit(const TidyRequest& request, std::function<void()> whenDone = {});
    bool isDone(const Ticket& ticket) const;
    // Blocks until the ticket is done and gives its result (see run() for what it throws).
    TidyResult wait(const Ticket& ticket);
    // Forgets the ticket's document: dropped when still queued, its helper stopped when running.
    void cancel(const Ticket& ticket);

    const TidyPoolSettings& settings() const { return m_settings; }
    // How many helper processes were started so far (each restart counts).
    int startedHelpers() const;
    // Kills every helper at once and starts no more, for the end of the process: a helper
    // would otherwise see its channel close a moment before its parent-death signal and begin
    // an orderly exit (in a sanitized build, a leak check) only to be killed in it.
    void endHelpersAtExit();

private:
    struct Helper;

    void threadMain();
    void wake();
    void assignJobs(std::vector<std::function<void()>>& callbacks);
    // `code` (may be null) gets the system's reason when it fails.
    bool startHelper(Helper& helper, QString& error, int* code = nullptr);
    void sendPending(Helper& helper, std::vector<std::function<void()>>& callbacks);
    void receive(Helper& helper, std::vector<std::function<void()>>& callbacks);
    void helperEnded(Helper& helper, bool killedForTimeOut,
                     std::vector<std::function<void()>>& callbacks);
    // Ends the process; requests it still holds go back to the queue (or are dropped when
    // cancelled or shutting down).
    void stopHelper(Helper& helper, std::vector<std::function<void()>>& callbacks);
    void enqueue(const Ticket& job, bool atFront);
    Ticket takeQueued(std::deque<Ticket>::iterator at);
    void finish(const Ticket& job, std::vector<std::function<void()>>& callbacks);
    // Fails every queued document with "no helper could be started".
    void failQueued(const QString& reason, std::vector<std::function<void()>>& callbacks,
                    int signal = 0, int exitStatus = -1);

    const TidyPoolSettings m_settings;
    const QByteArray m_identity;
    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    std::deque<Ticket> m_queue;
    int m_largeQueued = 0; // queued documents that may start out of list order
    std::vector<Helper> m_helpers;
    std::thread m_thread;
    int m_wakeFd = -1;
    int m_started = 0;
    bool m_stopping = false;
    bool m_exiting = false;
};

// Creates the program's pool with DefaultTidyPoolSettings() (no process is started yet) and
// makes it the runner that RunTidy uses. Called once by the program at start-up; later calls
// do nothing. The pool lives until the process ends.
void InstallTidyProcessPool();
