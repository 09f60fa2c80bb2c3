#pragma once
// SIGINT and SIGTERM stop a batch run the way Cancel stops the window's: the file in hand is
// finished, then the run ends. The first signal is noted by its handler and written to a
// self-pipe, whose notifier calls the callback from the event loop (between files, or while a
// step waits for HTML Tidy). A second signal ends the process at once; that loses nothing,
// because every file is at every instant untouched or tidied with its backup.

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

class InterruptWatch final : public QObject {
public:
    // Installs the handlers; one watch per process.
    explicit InterruptWatch(std::function<void()> onInterrupt);
    // Restores the previous handlers.
    ~InterruptWatch() override;

    // The first signal that came, 0 while none has.
    static int Signal();
    // A descriptor that becomes readable once a signal came, and stays so (for a wait in
    // poll() that must end on an interrupt).
    int WakeFd() const;

    // Ends the process the way the signal would have, after the run stopped cleanly: the
    // shell then sees an interrupted command. Returns when no signal came.
    static void ReRaise();

private:
    std::function<void()> m_onInterrupt;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
