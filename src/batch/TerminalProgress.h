#pragma once
// The batch run's face on a terminal: the files done of the files listed so far, pages per
// second and the file in hand, on one line of standard error (ErrorOutput draws it only on a
// terminal that can redraw a line: not under TERM=dumb). Message lines of the run go to a handler, which places them in the report.

#include "batch/ErrorOutput.h"
#include "fileops/FileProgressRun.h"

#include <QElapsedTimer>
#include <functional>

class TerminalProgressView final : public ProgressView {
public:
    struct Hooks {
        // A message line of the run.
        std::function<void(const ProgressMessage&)> message;
        // Entries listed so far, and whether that is all of them.
        std::function<std::pair<qint64, bool>()> listed;
    };

    TerminalProgressView(ErrorOutput& out, Hooks hooks);
    // Called before each item's step (a cancel that came before the run reaches it there).
    void SetBeforeItem(std::function<void()> beforeItem) { m_beforeItem = std::move(beforeItem); }

    void RunModal(const QString& caption, const std::function<void()>& process) override;
    void ShowItem(qsizetype index, qsizetype count, const QString& caption) override;
    void MessageAdded(const ProgressMessage& message) override;
    void LetEventsRun() override;
    void Reset() override;

private:
    void Draw(qint64 done, const QString& caption);

    ErrorOutput& m_out;
    Hooks m_hooks;
    std::function<void()> m_beforeItem;
    QElapsedTimer m_started;
    QElapsedTimer m_lastDraw;
};

// The bar's text: "[#####     ] 120/4000  35.2 pages/s  Processing index.html"; `total` with
// `complete` false is shown as "4000+".
QString ProgressBarText(qint64 done, qint64 total, bool complete, double pagesPerSecond,
                        const QString& caption);
