// kelvane-batch: the batch runs of Kelvane without a window (tidy, validate, restore, clean),
// for terminals, SSH sessions and CI pipelines. It links no widgets and never needs a display.

#include "batch/BatchProgram.h"
#include "batch/InterruptWatch.h"
#include "platform/FileNames.h"
#include "support/ApplicationTitle.h"

#include <QCoreApplication>
#include <csignal>
#include <malloc.h>

int main(int argc, char** argv) {
    // Buffers of large pages go back to the system when freed, so that a long run's memory
    // follows what it holds now, not what it once held (the default threshold grows with
    // every large buffer freed, and the heap then fragments).
    ::mallopt(M_MMAP_THRESHOLD, 256 * 1024);
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
