#pragma once
// Follows the check run of Review Changes: each file that tidying would change becomes an
// entry of a ReviewList, each other file a count. Comparing a page with its tidied text takes
// time (a diff), so it is done on a thread of its own while the run goes on; the texts are
// dropped once compared. At most a few megabytes of texts wait for it: beyond that the run
// waits, so memory does not grow with the number of files.

#include "fileops/BatchCommands.h"
#include "fileops/ReviewList.h"

#include <QObject>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

class QThread;

class ReviewCollector final : public QObject, public BatchObserver {
    Q_OBJECT
public:
    explicit ReviewCollector(ReviewList& list, QObject* parent = nullptr);
    ~ReviewCollector() override;
    ReviewCollector(const ReviewCollector&) = delete;
    ReviewCollector& operator=(const ReviewCollector&) = delete;

    void FileDone(const FileRecord& record) override;
    // Waits for the comparisons handed over so far and lists their files.
    void Finish();

    // Texts waiting for the comparison at most, in bytes and in files.
    static constexpr qint64 kMaxWaitingBytes = qint64(32) << 20;
    static constexpr size_t kMaxWaitingFiles = 256;

private:
    struct Job {
        QString path;
        QByteArray original;
        QByteArray tidied;
        int messages = 0;
    };
    void Work();
    // Lists the files compared so far (on the list's thread).
    void Deliver();

    ReviewList& m_list;
    QThread* m_thread = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_wake; // a job came, or the end
    std::condition_variable m_room; // a job was taken, or all are done
    std::deque<Job> m_jobs;
    qint64 m_waitingBytes = 0;
    bool m_working = false; // the thread holds a job
    bool m_stop = false;
    std::vector<ReviewSummary> m_done;
    bool m_deliveryPosted = false;
};
