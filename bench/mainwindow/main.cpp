// The main window at the machine's speed, offscreen (or on the display QT_QPA_PLATFORM names):
//
//   bench_mainwindow                 every benchmark
//   bench_mainwindow open [PAGES]    a folder of PAGES pages (default 20,000) opened and selected
//   bench_mainwindow validate [N]    Validate on N pages (default 20,000) from the window against
//                                    kelvane-batch validate on the same files
//   bench_mainwindow review [N]      Review Changes on N pages (default 20,000) from the window
//                                    against kelvane-batch tidy --check on the same files
//
// The interface must never stall for more than 100 ms.

#include "Benchmarks.h"
#include "EventLoopMeters.h"

#include <QStandardPaths>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const char* which = argc > 1 ? argv[1] : "";
    const int count = argc > 2 ? std::atoi(argv[2]) : 20000;
    if (count <= 0 || (which[0] != '\0' && std::strcmp(which, "open") != 0 &&
                       std::strcmp(which, "validate") != 0 && std::strcmp(which, "review") != 0)) {
        std::fprintf(stderr, "usage: bench_mainwindow [open|validate|review] [COUNT]\n");
        return 2;
    }
    TimedApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    int status = 0;
    if (which[0] == '\0' || std::strcmp(which, "open") == 0)
        status |= OpenFolderBenchmark(app, count);
    if (which[0] == '\0' || std::strcmp(which, "validate") == 0)
        status |= ValidateBenchmark(app, count);
    if (which[0] == '\0' || std::strcmp(which, "review") == 0)
        status |= ReviewBenchmark(app, count);
    return status;
}
