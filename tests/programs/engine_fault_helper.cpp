// A stand-in for kelvane-engine that misbehaves on purpose, for the process-pool tests. It runs
// the real helper body (EngineHelper.h) with a handler that looks at how the document starts:
//   "crash"           dies of SIGSEGV
//   "crash-if-used"   dies of SIGSEGV only when this process already answered a document
//   "hang"            never answers
//   "exit"            ends with exit status 3
//   "print"           writes to stdout and stderr, then answers normally
//   "eat N"           takes N MiB of memory (touching every page) before it answers normally
//   "overlap DIR"     puts a file of its own into DIR and waits up to 1.5 s for another helper's
//                     to appear; answers "together" or "alone" as its output
// and tidies anything else with the real library. Switches (taken out before the helper body
// sees the arguments):
//   --not-ready       ends at once with status 1, before the helper says Hello
//   --garbage         says Hello, then answers every request with bytes that are no frame
//   --old-protocol    says Hello in protocol version 3 (a helper of an older build), then waits

#include "engine/EngineHelper.h"
#include "engine/EngineProtocol.h"
#include "engine/TidyLibraryRun.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

int g_answered = 0;

// Dies of SIGSEGV as a crashing library would, without a sanitizer's handler turning the
// deliberate crash into a report of its own.
[[noreturn]] void CrashOnPurpose() {
    std::signal(SIGSEGV, SIG_DFL);
    std::raise(SIGSEGV);
    std::abort();
}

TidyResult Overlap(const QByteArray& folder) {
    const QByteArray mine = folder + "/" + QByteArray::number(::getpid());
    const int fd = ::open(mine.constData(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    bool together = false;
    for (int waited = 0; waited < 1500 && !together; waited += 10) {
        if (DIR* entries = ::opendir(folder.constData())) {
            int count = 0;
            while (const dirent* entry = ::readdir(entries))
                count += entry->d_name[0] != '.';
            ::closedir(entries);
            together = count > 1;
        }
        if (!together)
            ::usleep(10000);
    }
    if (together)
        ::usleep(300000); // so that the other one sees this one too
    ::unlink(mine.constData());
    ++g_answered;
    TidyResult result;
    result.status = TidyRunStatus::Completed;
    result.output = together ? "together" : "alone";
    return result;
}

TidyResult Misbehave(const TidyRequest& request) {
    const QByteArray& document = request.document;
    if (document.startsWith("crash-if-used")) {
        if (g_answered > 0)
            CrashOnPurpose();
    } else if (document.startsWith("crash")) {
        CrashOnPurpose();
    } else if (document.startsWith("hang")) {
        for (;;)
            ::pause();
    } else if (document.startsWith("exit")) {
        ::_exit(3);
    } else if (document.startsWith("eat ")) {
        // A failed allocation ends the process as the library's would (kEngineExitOutOfMemory).
        const long mebibytes = std::strtol(document.constData() + 4, nullptr, 10);
        std::vector<std::unique_ptr<char[]>> blocks;
        for (long i = 0; i < mebibytes; ++i) {
            blocks.push_back(std::make_unique<char[]>(1 << 20));
            std::memset(blocks.back().get(), 1, 1 << 20);
        }
    } else if (document.startsWith("overlap ")) {
        return Overlap(document.mid(8).trimmed());
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

int OldProtocol() {
    QByteArray hello = EncodeEngineFrame(EngineFrameKind::Hello, {});
    hello[4] = 0;
    hello[5] = 3;
    if (::write(1, hello.constData(), size_t(hello.size())) != hello.size())
        return 1;
    char buffer[4096];
    while (::read(0, buffer, sizeof buffer) > 0) {
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
        if (std::strcmp(argv[i], "--old-protocol") == 0)
            return OldProtocol();
        rest.push_back(argv[i]);
    }
    rest.push_back(nullptr);
    return RunEngineHelper(int(rest.size()) - 1, rest.data(), Misbehave);
}
