#include "engine/TidyRunner.h"

#include "engine/TidyLibraryRun.h"
#include "platform/BuildIdentity.h"

namespace {
TidyRunner* g_installed = nullptr;
}

TidyResult InProcessTidyRunner::run(const TidyRequest& request) {
    return RunTidyLibrary(request);
}

QByteArray InProcessTidyRunner::identity() const {
    const QByteArray own = platform::OwnBuildIdentity();
    return own.isEmpty() ? QByteArray() : "in-process:" + own + ":" + tidyLibraryVersion();
}

TidyRunner& CurrentTidyRunner() {
    static InProcessTidyRunner inProcess;
    return g_installed ? *g_installed : inProcess;
}

TidyRunner* SetTidyRunner(TidyRunner* runner) {
    TidyRunner* previous = g_installed;
    g_installed = runner;
    return previous;
}
