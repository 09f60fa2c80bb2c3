#pragma once
// The generic runner behind every batch run: takes the items of a work list in order, calls
// the per-item handler for each, collects message lines, lets the user cancel between items
// and calls a finishing handler. It knows nothing of tidying. What shows the run (the modal
// progress window, or a terminal progress bar) is a ProgressView.

#include "fileops/WorkItems.h"

#include <QList>
#include <QString>
#include <functional>

enum TFormFileProgressState { fpsIdle, fpsRunning, fpsCancelled };

enum class MessageMark { Error = 0, Notice = 1 };

struct ProgressMessage {
    QString text;
    MessageMark mark = MessageMark::Error;
};

class FileProgressRun;

using TNextItemEvent = std::function<bool(FileProgressRun& sender, const QString& item)>;
using TNameQueryEvent = std::function<QString(FileProgressRun& sender, const QString& item)>;
using TCancelQueryEvent = std::function<bool(FileProgressRun& sender)>;
using TNotifyEvent = std::function<void(FileProgressRun& sender)>;

class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Shows the run and calls `process` once (the window: modally, from its first paint), then
    // closes. An exception thrown by `process` closes the view and is rethrown from here.
    virtual void RunModal(const QString& caption, const std::function<void()>& process) = 0;
    // Item `index` is in hand: show its caption and position at once (`count` is -1 while the
    // length of the list is not known).
    virtual void ShowItem(qsizetype index, qsizetype count, const QString& caption) = 0;
    // A message line was added.
    virtual void MessageAdded(const ProgressMessage& message) = 0;
    // Lets pending interface events run (repaints, Cancel) between two items.
    virtual void LetEventsRun() = 0;
    // The run was reset: forget the lines and the position.
    virtual void Reset() = 0;
};

class FileProgressRun {
public:
    explicit FileProgressRun(ProgressView& view) : m_view(view) {}

    // The caption shown while a run is in progress ("Tidying Files...").
    QString Caption;
    TNextItemEvent OnNextItem;
    TNameQueryEvent OnNameQuery;
    TCancelQueryEvent OnCancelQuery;
    TNotifyEvent OnFinished;

    // Runs the items through the view; true when it closed with OK (false after a confirmed
    // cancel). An error thrown by a handler leaves the loop (OnFinished is not called) and
    // reaches the caller once the view is closed; the state is then idle again.
    bool RunItems(WorkItems& items);
    // Clears the messages, the position, the list and the four handlers; State is kept.
    void ResetRun();

    // The Cancel button (and the view's close request while running): asks OnCancelQuery.
    void Cancel();
    // A request to close the view: true when it may close.
    bool CloseQuery();

    bool IsCancelled() const;
    TFormFileProgressState State() const { return m_state; }
    // Entries of the list; while a streamed list's length is unknown, the entries taken so far.
    // Once RunItems has returned (or an error left it), what it was then, until ResetRun.
    qsizetype ItemCount() const;
    qsizetype CurrentItem() const { return m_current; }
    QString ItemCaption(const QString& item);

    void AddMessage(const QString& text, MessageMark mark);
    void AddError(const QString& text) { AddMessage(text, MessageMark::Error); }
    void AddNotice(const QString& text) { AddMessage(text, MessageMark::Notice); }
    const QList<ProgressMessage>& Messages() const { return m_messages; }
    QStringList MessageTexts() const;
    // A view that prints lines as they come can ask that they are not also kept.
    void SetKeepMessages(bool keep) { m_keepMessages = keep; }

private:
    void ProcessItems();
    bool ProcessItem(qsizetype index, const QString& item);

    ProgressView& m_view;
    WorkItems* m_items = nullptr;
    TFormFileProgressState m_state = fpsIdle;
    bool m_ok = false; // the view's dialog result: OK while the run goes normally
    qsizetype m_current = 0;
    qsizetype m_taken = 0;
    qsizetype m_lastCount = 0; // ItemCount() when the list was let go
    QList<ProgressMessage> m_messages;
    bool m_keepMessages = true;
};
