// kelvane-send: hands one command line to the running Kelvane window and ends with its answer,
// so that scripts and file managers can use a window that is already open.

#include "cmdline/SendArguments.h"
#include "mainwindow/CommandRecord.h"
#include "platform/FileNames.h"

#include <QCoreApplication>
#include <QStringList>
#include <climits>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(FILE* stream, const QString& text) {
    std::fprintf(stream, "%s\n", text.toUtf8().constData());
}

QString WorkingFolder() {
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr)
        return {};
    return platform::DecodeFileName(buffer);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(platform::DecodeFileName(argv[i]));

    const QString folder = WorkingFolder();
    if (folder.isEmpty()) {
        Say(stderr, QStringLiteral("kelvane-send: the working folder cannot be read"));
        return sendUsageError;
    }
    const SendRequest request = ParseSendArguments(arguments, folder);
    switch (request.action) {
    case SendRequest::Action::Help:
        std::fputs(SendUsage().toUtf8().constData(), stdout);
        return sendSucceeded;
    case SendRequest::Action::Version:
        Say(stdout, QStringLiteral("kelvane-send " KELVANE_VERSION));
        return sendSucceeded;
    case SendRequest::Action::UsageError:
        Say(stderr,
            QStringLiteral("kelvane-send: %1\nTry 'kelvane-send --help'.").arg(request.error));
        return sendUsageError;
    case SendRequest::Action::Send:
        break;
    }

    // The socket is in the user's private runtime folder, or, where another user took that
    // name in a shared temporary folder, in a private folder of a name of its own.
    QStringList tried;
    const SentRecord sent = SendToRunningWindow(0, request.commandLine, &tried);
    switch (sent.status) {
    case SentRecord::Status::NoProgram: {
        QStringList shown;
        for (const QString& socket : tried)
            shown.append(platform::DisplayFileName(socket));
        Say(stderr, shown.isEmpty()
                        ? QStringLiteral("kelvane-send: no Kelvane window is running (no private "
                                         "runtime folder of this user)")
                        : QStringLiteral("kelvane-send: no Kelvane window is running (nothing "
                                         "answers at %1)")
                              .arg(shown.join(QStringLiteral(", "))));
        return sendNoProgram;
    }
    case SentRecord::Status::Failed:
        Say(stderr, QStringLiteral("kelvane-send: %1").arg(sent.error));
        return sendBrokenOff;
    case SentRecord::Status::Replied:
        break;
    }
    switch (sent.reply) {
    case crAccepted:
        return sendSucceeded;
    case crFailed:
        Say(stderr, QStringLiteral("kelvane-send: the job failed or was cancelled"));
        return sendJobFailed;
    case crNotHandled:
        Say(stderr, QStringLiteral("kelvane-send: the Kelvane window did not take the command "
                                   "(it runs another job, or shows a dialog that the job would "
                                   "need)"));
        return sendRefused;
    default:
        Say(stderr, QStringLiteral("kelvane-send: unknown reply %1").arg(sent.reply));
        return sendBrokenOff;
    }
}
