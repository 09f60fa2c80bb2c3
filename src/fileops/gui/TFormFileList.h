#pragma once
// The modal scanning window: shows a folder scan in progress (the folder in hand and the
// number of files found) and lets the user cancel it. The scan itself is ScanDirectory; this
// window drives it and is its observer.

#include "fileops/FolderScan.h"
#include "support/gui/ModalWork.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QStringList>

class QLabel;
class QProgressBar;
class QPushButton;

class TFormFileList : public QDialog, public FolderScanner, public ScanObserver {
    Q_OBJECT
public:
    explicit TFormFileList(QWidget* parent = nullptr);
    ~TFormFileList() override;

    // FolderScanner: false at once, without the window, when `folder` is not a folder;
    // otherwise the window scans it modally and answers false when the user cancelled. A
    // malformed mask is shown as an error and the scan counts as complete.
    bool ScanFolder(const QString& folder, const QString& filter, QStringList& target) override;
    // Scans `folder` (and everything below it) into the target list of the running ScanFolder.
    // False when the scan was stopped.
    bool ScanDirectory(const QString& folder);

    // ScanObserver
    void FolderEntered(const QString& folder) override;
    void CountChanged(qsizetype count) override;
    bool KeepGoing() override;

    // Cancel, Escape and the close box: the Cancel result, which stops the scan.
    void reject() override;

    // Pending events run (and the labels follow) at most this often during a scan.
    static constexpr int kEventInterval = 20; // milliseconds

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int Scan();
    void ShowProgress();
    void SetAnimating(bool running);

    QLabel* LabelFilePath;
    QLabel* LabelCount;
    QProgressBar* Animate;
    QPushButton* ButtonCancel;

    QString m_folder;
    QStringList m_masks;
    QStringList* m_target = nullptr;
    bool m_cancelled = false;
    ModalWork m_modal;
    QElapsedTimer m_sinceEvents;
    // What the labels are to show; applied when events run, not for every entry.
    QString m_shownFolder;
    qsizetype m_count = -1;
};

// The one scanning window of the process, created at start-up; null until then.
TFormFileList* FormFileList();
void SetFormFileList(TFormFileList* form);
