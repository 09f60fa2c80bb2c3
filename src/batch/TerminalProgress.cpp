#include "batch/TerminalProgress.h"

#include "platform/FileNames.h"

#include <QCoreApplication>

namespace {

constexpr int kBarCells = 20;
// Redraws at most this often: a terminal that is slow to scroll must not slow the run.
constexpr qint64 kDrawIntervalMs = 100;

} // namespace

QString ProgressBarText(qint64 done, qint64 total, bool complete, double pagesPerSecond,
                        const QString& caption) {
    const int filled = total > 0 ? int(qMin<qint64>(kBarCells, done * kBarCells / total)) : 0;
    return QStringLiteral("[%1%2] %3/%4%5  %6 pages/s  %7")
        .arg(QString(filled, QLatin1Char('#')), QString(kBarCells - filled, QLatin1Char(' ')))
        .arg(done)
        .arg(total)
        .arg(complete ? QString() : QStringLiteral("+"))
        .arg(pagesPerSecond, 0, 'f', 1)
        .arg(platform::DisplayFileName(caption));
}

TerminalProgressView::TerminalProgressView(ErrorOutput& out, Hooks hooks)
    : m_out(out), m_hooks(std::move(hooks)) {}

void TerminalProgressView::RunModal(const QString&, const std::function<void()>& process) {
    m_started.start();
    m_lastDraw.invalidate();
    struct ClearBar {
        ErrorOutput& out;
        ~ClearBar() { out.ClearBar(); }
    } clear{m_out};
    process();
}

void TerminalProgressView::ShowItem(qsizetype index, qsizetype, const QString& caption) {
    if (m_beforeItem)
        m_beforeItem();
    if (m_out.HasBar() && (!m_lastDraw.isValid() || m_lastDraw.elapsed() >= kDrawIntervalMs)) {
        m_lastDraw.start();
        Draw(index, caption);
    }
}

void TerminalProgressView::Draw(qint64 done, const QString& caption) {
    const auto [listed, complete] =
        m_hooks.listed ? m_hooks.listed() : std::pair<qint64, bool>{done + 1, false};
    const double seconds = double(m_started.elapsed()) / 1000.0;
    m_out.ShowBar(ProgressBarText(done, qMax(listed, done + 1), complete,
                                  seconds > 0 ? double(done) / seconds : 0.0, caption));
}

void TerminalProgressView::MessageAdded(const ProgressMessage& message) {
    if (m_hooks.message)
        m_hooks.message(message);
}

void TerminalProgressView::LetEventsRun() {
    // Where a Ctrl+C reaches the run's Cancel.
    QCoreApplication::processEvents();
}

void TerminalProgressView::Reset() {
    m_out.ClearBar();
}
