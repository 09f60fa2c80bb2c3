#include "cmdline/SendArguments.h"

#include "cmdline/CommandLine.h"
#include "support/WebAddress.h"

namespace {

// The first token of a command record is skipped by the receiver; this fills its place.
const QString kProgramToken = QStringLiteral("kelvane");

bool IsJobSwitch(const QString& argument) {
    static const QStringList switches = {"-t", "-v", "-h", "-X", "/t", "/v", "/h", "/X"};
    return switches.contains(argument);
}

QString AbsoluteName(const QString& name, const QString& workingFolder) {
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || IsWebAddress(name))
        return name;
    QString folder = workingFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + name;
}

SendRequest UsageError(const QString& error) {
    SendRequest request;
    request.error = error;
    return request;
}

} // namespace

SendRequest ParseSendArguments(const QStringList& arguments, const QString& workingFolder) {
    if (arguments.isEmpty())
        return UsageError(QStringLiteral("nothing to send"));
    QStringList line{kProgramToken};
    int names = 0;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded &&
            (argument == QLatin1String("--help") || argument == QLatin1String("-?")))
            return {SendRequest::Action::Help, {}, {}};
        if (!optionsEnded && argument == QLatin1String("--version"))
            return {SendRequest::Action::Version, {}, {}};
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && IsJobSwitch(argument)) {
            line.append(argument);
            continue;
        }
        if (!optionsEnded && argument.startsWith(QLatin1Char('-')))
            return UsageError(QStringLiteral("unknown option %1").arg(argument));
        if (++names > 2)
            return UsageError(QStringLiteral("too many files (%1)").arg(argument));
        // Made absolute, a name that begins with "-" cannot pass for a switch either.
        line.append(AbsoluteName(argument, workingFolder));
    }
    return {SendRequest::Action::Send, JoinCommandLine(line), {}};
}

QString SendUsage() {
    return QStringLiteral(
        "Usage: kelvane-send [-t | -v] [-h] INPUT [OUTPUT]\n"
        "Hands one command line to the Kelvane window that runs for this user, which runs it\n"
        "as a job (its dialogs open over that window) and answers when the job is over.\n"
        "\n"
        "  -t            tidy INPUT through the tidy options dialog, saved to OUTPUT (or a\n"
        "                file chosen in a save dialog)\n"
        "  -v            validate INPUT into a report at OUTPUT (or one chosen in a dialog)\n"
        "  -h            with -v: an HTML report\n"
        "  --            every argument after it is a name\n"
        "  --help        this text\n"
        "  --version     the version\n"
        "\n"
        "INPUT is a file or a web address (http:// or https://). Relative names are taken\n"
        "from this command's working folder and sent as absolute paths.\n"
        "\n"
        "Exit status: 0 the job succeeded, 1 it failed or was cancelled, 2 the window did not\n"
        "take it (it runs another job, or shows a dialog and the job would need one), 3 no\n"
        "Kelvane window runs, 4 the connection broke off, 64 wrong arguments.\n");
}
