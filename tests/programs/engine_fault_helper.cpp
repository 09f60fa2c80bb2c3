// A stand-in for kelvane-engine that misbehaves on purpose, for the process-pool tests. It runs
// the real helper body (EngineHelper.h) with a handler that looks at how the document starts:
//   "crash"           dies of SIGSEGV
//   "crash-if-used"   dies of SIGSEGV only when this process already answered a document
//   "hang"            never answers
//   "exit"            ends with exit status 3
//   "print"           writes to stdout and stderr, then answers normally
// and tidies anything else with the real library. Switches (taken out before the helper body
// sees the arguments):
//   --not-ready       ends at once with status 1, before the helper says Hello
//   --garbage         says Hello, then answers every request with bytes that are no frame

#include "engine/EngineHelper.h"
#include "engine/EngineProtocol.h"
#include "engine/TidyLibraryRun.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {

int g_answered = 0;

TidyResult Misbehave(const TidyRequest& request) {
    const QByteArray& document = request.document;
    if (document.startsWith("crash-if-used")) {
        if (g_answered > 0)
            std::raise(SIGSEGV);
    } else if (document.startsWith("crash")) {
        std::raise(SIGSEGV);
    } else if (document.startsWith("hang")) {
        for (;;)
            ::pause();
    } else if (document.startsWith("exit")) {
        ::_exit(3);
    } else if (document.startsWith("print")) {
        std::printf("stray output from the library\n");
        std::fflush(stdout);
        [[maybe_unused]] const ssize_t out = ::write(1, "raw stray bytes\n", 16);
        std::fprintf(stderr, "stray diagnostics\n");
    }
    ++g_answered;
    return RunTidyLibrary(request);
}

int Garbage() {
    const QByteArray hello = EncodeEngineFrame(EngineFrameKind::Hello, {});
    if (::write(1, hello.constData(), size_t(hello.size())) != hello.size())
        return 1;
    char buffer[4096];
    while (::read(0, buffer, sizeof buffer) > 0) {
        const char junk[] = "this is not a frame at all";
        if (::write(1, junk, sizeof junk) < 0)
            return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<char*> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--not-ready") == 0)
            return 1;
        if (std::strcmp(argv[i], "--garbage") == 0)
            return Garbage();
        rest.push_back(argv[i]);
    }
    rest.push_back(nullptr);
    return RunEngineHelper(int(rest.size()) - 1, rest.data(), Misbehave);
}
