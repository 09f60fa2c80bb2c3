#pragma once
// The arguments of kelvane-send, which hands one command line to the running Kelvane window:
// the job switches of the program's own command line and up to two names. Names are made
// absolute against the sender's working folder, since the window's working folder is another;
// web addresses go as they are.

#include <QString>
#include <QStringList>

// Exit statuses of kelvane-send.
enum : int {
    sendSucceeded = 0,   // reply 1: the job succeeded (or there was nothing to run)
    sendJobFailed = 1,   // reply -1: the job failed or was cancelled
    sendRefused = 2,     // reply 0: not taken (another job's dialogs are open, say)
    sendNoProgram = 3,   // no Kelvane window runs for this user
    sendBrokenOff = 4,   // the connection broke or the reply was garbled
    sendUsageError = 64, // the arguments make no sense
};

struct SendRequest {
    enum class Action { Send, Help, Version, UsageError };
    Action action = Action::UsageError;
    QString commandLine; // the whole line to send, program path first
    QString error;       // for UsageError
};

// `arguments` without the program's own name; `workingFolder` absolute.
SendRequest ParseSendArguments(const QStringList& arguments, const QString& workingFolder);

// The text of --help.
QString SendUsage();
