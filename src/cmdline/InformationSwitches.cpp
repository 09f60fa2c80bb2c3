#include "cmdline/InformationSwitches.h"

InformationRequest FindInformationRequest(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument == QLatin1String("--help"))
            return InformationRequest::Help;
        if (argument == QLatin1String("--version"))
            return InformationRequest::Version;
    }
    return InformationRequest::None;
}

QString KelvaneUsage() {
    return QStringLiteral(
        "Usage: kelvane [PATH | ADDRESS]\n"
        "       kelvane -t INPUT [OUTPUT]\n"
        "       kelvane -v [-h] INPUT [REPORT]\n"
        "Opens the Kelvane window on PATH (a file or folder) or takes a web ADDRESS down the\n"
        "address bar's road; with -t or -v, runs that one job on INPUT (a file or a web\n"
        "address) and ends without showing the window.\n"
        "\n"
        "  -t            tidy INPUT through the tidy options dialog, saved to OUTPUT (or to a\n"
        "                file chosen in a save dialog); needs a display\n"
        "  -v            validate INPUT with the stored tidy options into REPORT as text (no\n"
        "                REPORT: a save dialog asks for one); with REPORT, needs no display\n"
        "  -h            with -v: an HTML report\n"
        "  -X            accepted and ignored\n"
        "  --help        this text\n"
        "  --version     the program's version\n"
        "\n"
        "Switches may stand before, between or after the names and may be written with a\n"
        "slash (/t, /v, /h, /X); letter case counts, and other switches are ignored.\n"
        "\n"
        "Exit status: 0 the job succeeded or the window was closed, 1 more than two names\n"
        "were given, 255 the job failed or was cancelled, or it needs a display and there is\n"
        "none.\n"
        "\n"
        "Without a window: kelvane-batch --help. To hand a job to the open window:\n"
        "kelvane-send --help.\n");
}
