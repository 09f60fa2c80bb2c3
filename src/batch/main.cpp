// kelvane-batch: the batch runs of Kelvane without a window (tidy, validate, restore, clean),
// for terminals, SSH sessions and CI pipelines. It links no widgets and never needs a display.

#include "batch/BatchProgram.h"
#include "batch/InterruptWatch.h"
#include "platform/FileNames.h"
#include "support/ApplicationTitle.h"

#include <QCoreApplication>
#include <csignal>

int main(int argc, char** argv) {
    // Names are bytes: taken before Qt sees them, those that are not UTF-8 are kept.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(platform::DecodeFileName(argv[i]));
    // A report sent to a pipe whose reader went away ends with an error, not a killed run.
    std::signal(SIGPIPE, SIG_IGN);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(kApplicationTitle);
    const int status = RunBatchProgram(arguments);
    // After an interrupt the shell is told so, the way the signal itself would have.
    InterruptWatch::ReRaise();
    return status;
}
