#include "fileops/ReviewPreview.h"

#include "engine/TidyBatch.h"
#include "engine/TidyEngine.h"
#include "fileops/TidyAhead.h"
#include "support/Errors.h"
#include "support/Translation.h"

#include <QFileInfo>

ReviewPreview::ReviewPreview(QObject* parent) : QObject(parent) {}

ReviewPreview::~ReviewPreview() = default;

void ReviewPreview::Cancel() {
    m_batch.reset();
    m_list = nullptr;
    m_index = -1;
}

void ReviewPreview::Show(const ReviewList& list, qsizetype index,
                         const ResolvedTidyOptions& options) {
    Cancel();
    ShownFile file;
    file.path = list.Path(index);
    const QFileInfo info(file.path);
    if (info.isFile() && info.size() > kMaxDocumentBytes) {
        file.problem = FillTemplate(
            Translate(QStringLiteral("%s: File is too large to be tidied.")), {file.path});
        Finish(std::move(file));
        return;
    }
    try {
        file.original = ReadFileText(file.path);
    } catch (const KelvaneError& error) {
        file.problem = error.message();
        Finish(std::move(file));
        return;
    }
    m_list = &list;
    m_index = index;
    m_pending = std::move(file);
    m_batch = std::make_unique<TidyBatch>(options);
    try {
        m_batch->submit(m_pending.original);
    } catch (const KelvaneError& error) {
        m_pending.state = ShownFile::State::CannotTidy;
        m_pending.problem = error.message();
        Finish(std::move(m_pending));
        return;
    }
    if (m_batch->isNextReady()) {
        Take();
        return;
    }
    connect(m_batch.get(), &TidyBatch::nextReady, this, &ReviewPreview::Take);
}

void ReviewPreview::Take() {
    if (!m_batch || !m_batch->isNextReady())
        return;
    ShownFile file = std::move(m_pending);
    TidyResult result;
    try {
        result = m_batch->takeNext();
    } catch (const KelvaneError& error) {
        file.state = ShownFile::State::CannotTidy;
        file.problem = error.message();
        Finish(std::move(file));
        return;
    }
    file.reports = std::move(result.reports);
    if (result.status != TidyRunStatus::Completed) {
        file.state = ShownFile::State::CannotTidy;
        Finish(std::move(file));
        return;
    }
    file.tidied = std::move(result.output);
    const ReviewMismatch mismatch = m_index < m_list->Count()
                                        ? m_list->Compare(m_index, file.original, file.tidied)
                                        : ReviewMismatch::NotReviewed;
    switch (mismatch) {
    case ReviewMismatch::None:
    case ReviewMismatch::NotReviewed:
        file.state = ShownFile::State::AsReviewed;
        break;
    case ReviewMismatch::FileChanged:
        file.state = ShownFile::State::FileChanged;
        break;
    case ReviewMismatch::TidiedDiffers:
        file.state = ShownFile::State::TidiedDiffers;
        break;
    }
    file.changes = CompareTexts(file.original, file.tidied);
    Finish(std::move(file));
}

void ReviewPreview::Finish(ShownFile file) {
    // The batch goes after this event: Take runs inside its signal.
    if (m_batch)
        m_batch.release()->deleteLater();
    m_list = nullptr;
    m_index = -1;
    Q_EMIT Ready(file);
}
