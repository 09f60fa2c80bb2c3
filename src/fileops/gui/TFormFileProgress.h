#pragma once
// The modal progress window of the batch runs: shows which item is in hand and how far the
// run has got, collects the message lines of the steps, and lets the user cancel between
// items. The run itself is a FileProgressRun that this window shows.

#include "fileops/FileProgressRun.h"
#include "support/gui/ModalWork.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QIcon>
#include <functional>

class QAction;
class QCheckBox;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class TCaptionStrip;

class TFormFileProgress : public QDialog, public ProgressView {
    Q_OBJECT
public:
    explicit TFormFileProgress(QWidget* parent = nullptr);
    ~TFormFileProgress() override;

    // The runner the batch runs drive (caption, handlers, RunItems, ResetRun, messages).
    FileProgressRun& Run() { return m_run; }

    // Whether the messages list is shown (the ticked state of View Messages). Kept until the
    // program ends, never stored.
    bool ShowMessages() const;
    void SetShowMessages(bool show);

    // The Cancel action: asks the run's cancel query; the run stops before the next item.
    void actCancelExecute();
    // Inverts ShowMessages.
    void actViewMessagesExecute();

    // ProgressView
    void RunModal(const QString& caption, const std::function<void()>& process) override;
    void ShowItem(qsizetype index, qsizetype count, const QString& caption) override;
    void MessageAdded(const ProgressMessage& message) override;
    void LetEventsRun() override;
    void Reset() override;

    // The close box while a run is in progress: a Cancel request; the window closes by itself
    // once the run has stopped.
    void reject() override;

    // Between two items, pending events run at most this often, so that a run over many tiny
    // entries does not spend its time repainting.
    static constexpr int kEventInterval = 20; // milliseconds

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void SetBar(qsizetype index, qsizetype count);
    void CentreOnOwner();

    FileProgressRun m_run;

    TCaptionStrip* lblMessage;
    QProgressBar* pbProgress;
    QCheckBox* cbShowMessages;
    QPushButton* btCancel;
    QTreeWidget* lvMessages;
    QAction* actCancel;
    QAction* actViewMessages;
    // ilMessageImages: the red cross of error lines; notice lines get a blank of its size.
    QIcon m_errorMark;
    QIcon m_noMark;

    ModalWork m_modal;
    QElapsedTimer m_sinceEvents;
    QElapsedTimer m_sinceRepaint;
    QElapsedTimer m_itemTime;
};

// The one progress window of the process, created at start-up; null until then.
TFormFileProgress* FormFileProgress();
void SetFormFileProgress(TFormFileProgress* form);
