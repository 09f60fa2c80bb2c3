// The main window's start-up after its first show, and the command records it serves.
#include "mainwindow/gui/TFormKelvane.h"

#include "cmdline/gui/CommandLineJobs.h"
#include "mainwindow/CommandRecordServer.h"
#include "mainwindow/gui/TIEAddress.h"
#include "support/Translation.h"
#include "support/WebAddress.h"

#include <QApplication>
#include <QScopeGuard>
#include <cstdio>

void TFormKelvane::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    ApplyPreferences();
    // The rest of the start-up runs from the event loop, once the window is on the screen.
    QMetaObject::invokeMethod(this, &TFormKelvane::DeferredStart, Qt::QueuedConnection);
}

void TFormKelvane::DeferredStart() {
    if (m_startupDone)
        return;
    // Set first: the loop turns below, and a later show must not start all this again.
    m_startupDone = true;
    const bool ownCursor = testAttribute(Qt::WA_SetCursor);
    const QCursor previousCursor = cursor();
    setCursor(Qt::WaitCursor);
    RunGuarded([this] {
        LoadMainSettings();
        // The restored window is painted before the rest of the work.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        ApplyPreferences();
        // History begins with the folder the window opened on, so Back can return to it.
        m_history.Clear();
        m_history.AddCopy(m_currentFolder);
        const QString pending = std::exchange(PendingPath, QString());
        if (pending.isEmpty())
            return;
        if (IsWebAddress(pending)) {
            // The web-page road starts from the event loop, as a click on "Go" would.
            cbAddress->SetText(pending);
            QMetaObject::invokeMethod(this, &TFormKelvane::GoClick, Qt::QueuedConnection);
        } else {
            LocatePath(pending);
        }
    });
    if (ownCursor)
        setCursor(previousCursor);
    else
        unsetCursor();
}

bool TFormKelvane::ServeCommandRecords() {
    if (m_records && m_records->isListening())
        return true;
    delete m_records;
    m_records = new CommandRecordServer(
        [this](quint32 kind, const QString& commandLine) {
            return CommandReceiver(kind, commandLine);
        },
        this);
    switch (m_records->ListenInRuntimeFolder()) {
    case CommandRecordServer::ListenResult::Listening:
        return true;
    case CommandRecordServer::ListenResult::AnotherCopyServes:
        return false; // that copy serves them; this one works on without
    case CommandRecordServer::ListenResult::Failed:
        break;
    }
    const QString text =
        FillTemplate(Translate(QStringLiteral("Kelvane takes no command records: %s")),
                     {m_records->errorString()});
    std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    return false;
}

qint32 TFormKelvane::CommandReceiver(quint32 kind, const QString& commandLine) {
    // One record's job at a time: a second one would run inside the first one's dialogs.
    if (m_recordJobRunning)
        return crNotHandled;
    // While the window's own dialogs are open (the web-page road, a batch run, preferences)
    // only a job that needs none of them runs.
    std::function<bool(const ParsedCommandLine&)> admit;
    if (QApplication::activeModalWidget() != nullptr)
        admit = RunsWithoutDialogs;
    m_recordJobRunning = true;
    const auto done = qScopeGuard([this] { m_recordJobRunning = false; });
    return AnswerCommandRecord(
        kind, commandLine,
        [this](const ParsedCommandLine& parsed) {
            return RecordJob ? RecordJob(parsed) : RunCommandLineJob(parsed);
        },
        admit);
}
