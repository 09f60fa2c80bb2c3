#pragma once
// Command records: another program hands the running main window one command line, which it
// runs as a command-line job and answers with the job's result.
//
// They travel over a local socket in the user's private runtime folder, named after the
// untranslated application title ("<folder>/Mondavik Kelvane"). On the wire, in little-endian
// byte order:
//   record: kind (uint32), then the command line, then one zero byte. The command line is
//           UTF-8; a file name that is not UTF-8 keeps its own bytes. At most 64 KiB in all.
//   reply:  int32: 1 accepted (the job succeeded, or nothing was run), -1 the job failed,
//           0 not handled (a kind other than 0, a malformed or oversized record, or a job
//           already running).
// One record per connection; the sender then waits for the reply, for as long as the job's
// dialogs are open.

#include "cmdline/CommandLine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

inline constexpr qsizetype kMaxCommandRecordBytes = 64 * 1024;
// Longest wait for the rest of a record once a sender has connected.
inline constexpr int kCommandRecordTimeoutMs = 5000;

enum : qint32 {
    crNotHandled = 0,
    crAccepted = 1,
    crFailed = -1,
};

// The socket of the running program in `folder`.
QString CommandRecordSocketPath(const QString& folder);

// A command line cut at a zero character, since the record ends at the first zero byte.
QByteArray EncodeCommandRecord(quint32 kind, const QString& commandLine);
QByteArray EncodeCommandReply(qint32 reply);
// Nothing unless `bytes` is exactly one reply.
std::optional<qint32> DecodeCommandReply(QByteArrayView bytes);

// Collects one record from the bytes as they arrive.
class CommandRecordReader {
public:
    enum class State {
        Incomplete, // waiting for more
        Complete,   // kind() and commandLine() hold the record
        Refused,    // oversized, or bytes after the terminating zero
    };

    State Feed(QByteArrayView bytes);
    State state() const { return m_state; }
    quint32 kind() const { return m_kind; }
    const QString& commandLine() const { return m_commandLine; }

private:
    State m_state = State::Incomplete;
    QByteArray m_buffer;
    quint32 m_kind = 0;
    QString m_commandLine;
};

// The receiver's part: a kind other than 0 answers 0 and runs nothing; a command line that
// cannot be parsed (three names) answers 1 and runs nothing; a line that `admit` (when given)
// turns away answers 0; otherwise `job` runs with the parsed line (its first token, the
// sender's program path, skipped) and the answer is 1 when it succeeded, -1 when it failed.
using CommandJob = std::function<bool(const ParsedCommandLine& commandLine)>;
qint32 AnswerCommandRecord(quint32 kind, const QString& commandLine, const CommandJob& job,
                           const std::function<bool(const ParsedCommandLine&)>& admit = {});

// A job that opens no window of its own: the validation of a local file into a named report.
// Only such a job may run while the window's own dialogs are open, since the others would
// reuse a dialog (the options dialog, the download window, the save dialog) that is in use.
bool RunsWithoutDialogs(const ParsedCommandLine& commandLine);

// The sender's part.
struct SentRecord {
    enum class Status {
        Replied,   // `reply` holds the answer
        NoProgram, // nothing listens: no copy of the program runs
        Failed,    // the connection broke or the answer was garbled; see `error`
    };
    Status status = Status::Failed;
    qint32 reply = crNotHandled;
    QString error;
};
// Connects to `socketPath`, makes sure the listener runs as the current user, sends the record
// and waits for the reply; `replyTimeoutMs` < 0 waits as long as the job takes.
SentRecord SendCommandRecord(const QString& socketPath, quint32 kind, const QString& commandLine,
                             int replyTimeoutMs = -1);
// Sends to the running window of the current user wherever its socket is: in each folder of
// platform::PrivateRuntimeFolders() in turn, until a program answers there. NoProgram when
// none does; `tried` (when given) gets the sockets tried, for messages.
SentRecord SendToRunningWindow(quint32 kind, const QString& commandLine,
                               QStringList* tried = nullptr);
