#pragma once
// What the Review Changes window shows of one listed file: the file read again and tidied
// again with the review's options, compared with what the review recorded. The library runs
// in the engine's helpers; the answer comes as a signal, so the window stays responsive while a
// large page is tidied.

#include "engine/TidyRequest.h"
#include "fileops/ReviewDiff.h"
#include "fileops/ReviewList.h"

#include <QObject>
#include <memory>

class TidyBatch;

struct ShownFile {
    enum class State {
        AsReviewed,    // the texts are those the review saw
        FileChanged,   // the file changed since: its texts now are shown
        TidiedDiffers, // the file is as reviewed, tidying it gives another text now
        Unreadable,    // `problem` says why
        CannotTidy,    // the library could not tidy it now; `problem` may say why
    };
    QString path;
    State state = State::Unreadable;
    QString problem;
    QByteArray original;
    QByteArray tidied;
    QList<TidyReport> reports;
    TextChanges changes;
};

class ReviewPreview : public QObject {
    Q_OBJECT
public:
    explicit ReviewPreview(QObject* parent = nullptr);
    ~ReviewPreview() override;

    // Reads and tidies entry `index` of `list` with `options`; Ready follows (at once when the
    // library runs in this process). A request replaces the one still in hand.
    void Show(const ReviewList& list, qsizetype index, const ResolvedTidyOptions& options);
    // Drops the request in hand.
    void Cancel();

Q_SIGNALS:
    void Ready(const ShownFile& file);

private:
    void Take();
    void Finish(ShownFile file);

    std::unique_ptr<TidyBatch> m_batch;
    const ReviewList* m_list = nullptr;
    qsizetype m_index = -1;
    ShownFile m_pending;
};
