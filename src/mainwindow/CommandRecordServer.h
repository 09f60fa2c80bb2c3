#pragma once
// The running program's end of the command records (CommandRecord.h): a local socket that
// only the current user can reach, read without ever holding up the event loop.
//
// Each connection gets kCommandRecordTimeoutMs to deliver its record and at most one record's
// worth of buffer; a peer of another user is dropped unheard. The handler runs from the event
// loop and may open modal dialogs; a record that arrives meanwhile is answered 0 at once and
// never reaches the handler, so the first job is not disturbed.

#include "mainwindow/CommandRecord.h"

#include <QObject>
#include <QString>
#include <functional>

class QLocalServer;
class QLocalSocket;

class CommandRecordServer : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<qint32(quint32 kind, const QString& commandLine)>;

    enum class ListenResult {
        Listening,
        AnotherCopyServes, // a live copy owns the socket; it is left alone
        Failed,            // see errorString()
    };

    explicit CommandRecordServer(Handler handler, QObject* parent = nullptr);
    ~CommandRecordServer() override;

    // Listens at `socketPath`. A socket left by a copy that died is replaced; one that a live
    // copy answers on is never taken over.
    ListenResult Listen(const QString& socketPath);
    // In the user's private runtime folder, named after the application title.
    ListenResult ListenInRuntimeFolder();

    // Time a sender has to deliver its record once connected (kCommandRecordTimeoutMs).
    void setRecordTimeout(int milliseconds) { m_recordTimeoutMs = milliseconds; }

    bool isListening() const;
    const QString& socketPath() const { return m_path; }
    const QString& errorString() const { return m_error; }
    // True while the handler runs a record's job.
    bool handling() const { return m_handling; }

private:
    class Connection;
    void Accept();
    void Dispatch(Connection* connection);
    void Forget(Connection* connection);

    Handler m_handler;
    QLocalServer* m_server;
    QString m_path;
    QString m_error;
    int m_recordTimeoutMs = kCommandRecordTimeoutMs;
    int m_connections = 0;
    bool m_handling = false;
};
