#pragma once
// What the pool thread keeps for each document and each helper process. Shared by the pool's
// parts (TidyProcessPool.cpp: its interface and main loop; TidyPoolHelpers.cpp: starting,
// feeding and ending helper processes; TidyPoolScheduling.cpp: which document goes where).

#include "engine/EngineProtocol.h"
#include "engine/TidyProcessPool.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

using Clock = std::chrono::steady_clock;

struct TidyPoolJob {
    enum class State { Queued, Running, Done };
    enum class Outcome {
        Answered,    // the helper answered: `result`
        Refused,     // the helper refused the options: `detail`
        Crashed,     // the helper died on it: `signal` or `exitStatus`
        OutOfMemory, // the helper hit its memory limit
        TimedOut,    // killed after `timeout`
        Malformed,   // the helper answered something that is not the protocol
        NotStarted,  // no helper could be started: `detail` or `signal`/`exitStatus`
        TooLarge,    // the document does not fit a request
        Stopped,     // the pool shut down first
    };

    QList<QByteArray> frame; // the encoded request in pieces, dropped once answered
    qsizetype frameSize = 0;
    qsizetype documentSize = 0;
    qint64 memoryBudget = 0; // 0: none
    std::chrono::milliseconds timeout{0};
    std::function<void()> whenDone;

    // Guarded by the pool's mutex.
    State state = State::Queued;
    bool cancelled = false;
    bool retried = false;
    Outcome outcome = Outcome::Stopped;
    TidyResult result;
    QString detail;
    int signal = 0;
    int exitStatus = -1;
};

// Requests per helper: the helper finds its next documents waiting when it finishes one,
// instead of idling whenever the pool thread is slow to wake up and send another.
constexpr size_t kRequestsPerHelper = 4;
// Documents from this size on take long enough (about 0.4 s per MB) to be worth starting early.
constexpr qsizetype kLargeDocument = qsizetype(1) << 20;

struct TidyProcessPool::Helper {
    pid_t pid = -1;
    int fd = -1;        // our end of the socket that is the helper's stdin and stdout
    bool ready = false; // Hello received
    int served = 0;     // documents answered since it started
    // Requests sent or being sent, oldest first, each with the stream offset at which its frame
    // ends. The helper works on the first; only that one is to blame when it dies.
    std::deque<std::pair<Ticket, qint64>> jobs;
    // Request pieces not yet written, the first from pendingStart on.
    std::deque<QByteArray> pending;
    qsizetype pendingStart = 0;
    qint64 sentTotal = 0;
    qint64 queuedTotal = 0;
    EngineFrameReader reader;
    Clock::time_point deadline; // of the first job

    // The memory the helper may take while it works through the requests it holds: the
    // largest of their budgets.
    qint64 reserved() const {
        qint64 largest = 0;
        for (const auto& entry : jobs)
            largest = std::max(largest, entry.first->memoryBudget);
        return largest;
    }
};

// Work the pool thread does once it has let go of its mutex.
using TidyPoolCallbacks = std::vector<std::function<void()>>;

inline void CloseQuietly(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}
