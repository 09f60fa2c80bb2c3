#include "engine/EngineHelper.h"

#include "engine/EngineProtocol.h"
#include "engine/TidyDocumentHeap.h"
#include "engine/TidyOptionCheck.h"
#include "platform/FileFunctions.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <new>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <tidy/tidy.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void OutOfMemory() {
    // Nothing more can be relied upon: no stream flushing, no destructors.
    _exit(kEngineExitOutOfMemory);
}

// The library's default allocator prints and calls exit(2) when malloc fails.
void TIDY_CALL OnTidyPanic(ctmbstr) {
    OutOfMemory();
}

// The address space this process holds now (VmSize), or -1 when it cannot be told. Read
// without allocating: memory may already be short.
qint64 AddressSpaceInUse() {
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char text[128];
    ssize_t got = 0;
    do {
        got = ::read(fd, text, sizeof text - 1);
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    if (got <= 0)
        return -1;
    text[got] = '\0';
    char* end = nullptr;
    const unsigned long long pages = std::strtoull(text, &end, 10);
    if (end == text || pages == 0)
        return -1;
    return qint64(pages) * qint64(::sysconf(_SC_PAGESIZE));
}

// The address space in use, read again only every so many requests and after a document that
// made the helper give memory back: reading it costs about as much as a small document's
// system calls, and between readings it changes only by what the allocators keep, a few
// megabytes against budgets of hundreds.
class InUseEstimate {
public:
    qint64 get() {
        if (m_value < 0 || ++m_uses >= kRereadEvery) {
            m_value = AddressSpaceInUse();
            m_uses = 0;
            // Should the size in use be unknown, assume it generously rather than set no limit.
            if (m_value < 0)
                m_value = qint64(1) << 30;
        }
        return m_value;
    }
    void forget() { m_value = -1; }

private:
    static constexpr int kRereadEvery = 32;
    qint64 m_value = -1;
    int m_uses = 0;
};

// While one request is served, the address space may grow by the request's budget and no
// further: a runaway document then fails an allocation and ends this process with
// kEngineExitOutOfMemory. Between requests the limit goes back to `idle`, so that the next
// (perhaps far larger) request can be read in.
class RequestMemoryLimit {
public:
    RequestMemoryLimit(qint64 budget, rlim_t idle, InUseEstimate& inUseEstimate) : m_idle(idle) {
        if (budget <= 0)
            return;
        const qint64 inUse = inUseEstimate.get();
        rlimit limit{};
        if (::getrlimit(RLIMIT_AS, &limit) != 0)
            return;
        const qint64 wanted = budget > LLONG_MAX - inUse ? LLONG_MAX : inUse + budget;
        rlim_t soft = rlim_t(wanted);
        if (m_idle != RLIM_INFINITY && soft > m_idle)
            soft = m_idle;
        if (limit.rlim_max != RLIM_INFINITY && soft > limit.rlim_max)
            soft = limit.rlim_max;
        limit.rlim_cur = soft;
        m_set = ::setrlimit(RLIMIT_AS, &limit) == 0;
    }
    ~RequestMemoryLimit() {
        rlimit limit{};
        if (m_set && ::getrlimit(RLIMIT_AS, &limit) == 0) {
            limit.rlim_cur = m_idle;
            ::setrlimit(RLIMIT_AS, &limit);
        }
    }
    RequestMemoryLimit(const RequestMemoryLimit&) = delete;
    RequestMemoryLimit& operator=(const RequestMemoryLimit&) = delete;

private:
    rlim_t m_idle;
    bool m_set = false;
};

// After a large document most of its memory is free but may still be held by the allocator;
// the pool counts a helper's memory by the document in hand only, so it goes back.
constexpr qsizetype kReleaseMemoryAfter = qsizetype(1) << 20;

enum class ReadOutcome { Frame, End, Corrupt };

ReadOutcome ReadFrame(int fd, EngineFrameReader& reader, std::vector<char>& chunk,
                      EngineFrame& frame) {
    for (;;) {
        switch (reader.next(frame)) {
        case EngineFrameReader::Status::Frame:
            return ReadOutcome::Frame;
        case EngineFrameReader::Status::Corrupt:
            return ReadOutcome::Corrupt;
        case EngineFrameReader::Status::NeedMore:
            break;
        }
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return ReadOutcome::Corrupt;
        }
        if (got == 0)
            return reader.isEmpty() ? ReadOutcome::End : ReadOutcome::Corrupt;
        reader.append(QByteArrayView(chunk.data(), got));
    }
}

struct ServeContext {
    int in = -1;
    int out = -1;
    TidyRequestHandler handler = nullptr;
    rlim_t idleLimit = RLIM_INFINITY; // the soft address-space limit between requests
    int exitCode = kEngineExitClean;
};

int Serve(const ServeContext& context) {
    if (!platform::WriteAllToFd(context.out, EncodeEngineFrame(EngineFrameKind::Hello, {})))
        return kEngineExitClean; // the program is already gone
    EngineFrameReader reader;
    std::vector<char> chunk(256 * 1024);
    InUseEstimate inUse;
    for (;;) {
        EngineFrame frame;
        switch (ReadFrame(context.in, reader, chunk, frame)) {
        case ReadOutcome::End:
            return kEngineExitClean;
        case ReadOutcome::Corrupt:
            return kEngineExitProtocol;
        case ReadOutcome::Frame:
            break;
        }
        TidyRequest request;
        qint64 budget = 0;
        if (frame.kind != EngineFrameKind::Request ||
            !DecodeTidyRequest(frame.payload, request, &budget))
            return kEngineExitProtocol;
        frame.payload = QByteArray();
        const qsizetype documentSize = request.document.size();

        QByteArray answer;
        if (const QString refusal = CheckResolvedOptions(request.options); !refusal.isEmpty()) {
            answer = EncodeEngineFrame(EngineFrameKind::Refused,
                                       refusal.toUtf8().left(kMaxEngineSmallPayload));
        } else {
            // The answer is part of the document's cost: it is built under the same limit.
            const RequestMemoryLimit limit(budget, context.idleLimit, inUse);
            TidyResult result = context.handler(request);
            request = TidyRequest();
            answer = EncodeTidyResultFrame(result);
            if (answer.size() - kEngineFrameHeaderSize > kMaxEngineDocumentPayload) {
                // Too big to send: answer a failure rather than break the stream.
                TidyResult failed;
                failed.status = TidyRunStatus::Failed;
                answer = EncodeTidyResultFrame(failed);
            }
        }
        if (documentSize >= kReleaseMemoryAfter) {
            ReleaseKeptTidyHeapSlabs();
            ::malloc_trim(0);
            inUse.forget();
        }
        if (!platform::WriteAllToFd(context.out, answer))
            return kEngineExitClean; // the program closed the pipe: nobody is waiting
    }
}

void* ServeThread(void* argument) {
    auto* context = static_cast<ServeContext*>(argument);
    try {
        context->exitCode = Serve(*context);
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    }
    return nullptr;
}

bool ParseByteCount(const char* text, qint64& value) {
    if (!*text || *text == '-' || *text == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > (unsigned long long)LLONG_MAX)
        return false;
    value = qint64(parsed);
    return true;
}

} // namespace

int RunEngineHelper(int argc, char** argv, TidyRequestHandler handler) {
    qint64 memoryLimit = 0;
    const char* const limitPrefix = "--memory-limit=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], limitPrefix, std::strlen(limitPrefix)) == 0 &&
            ParseByteCount(argv[i] + std::strlen(limitPrefix), memoryLimit))
            continue;
        return kEngineExitUsage;
    }

    // A vanished program shows as a failed write, not as a signal.
    std::signal(SIGPIPE, SIG_IGN);
    // Do not outlive the program when it is killed outright.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    // Interrupts are the program's to handle: a terminal's Ctrl+C reaches the whole process
    // group, and a run that stops finishes the page in hand first. The pool ends a helper with
    // SIGKILL, and the line above ends it with the program.
    std::signal(SIGINT, SIG_IGN);
    std::signal(SIGTERM, SIG_IGN);

    ServeContext context;
    context.handler = handler;
    context.in = ::fcntl(0, F_DUPFD_CLOEXEC, 3);
    context.out = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (context.in < 0 || context.out < 0 || devNull < 0 || ::dup2(devNull, 0) < 0 ||
        ::dup2(devNull, 1) < 0)
        return kEngineExitNotReady;
    ::close(devNull);

    tidySetPanicCall(OnTidyPanic);
    SetTidyHeapExhaustedHandler(OutOfMemory);
    // One heap for both threads: a second thread's heap reserves address space ahead of use,
    // which would let a document take that much more than its budget.
    ::mallopt(M_ARENA_MAX, 1);

    if (memoryLimit > 0) {
        rlimit limit{};
        if (::getrlimit(RLIMIT_AS, &limit) != 0)
            return kEngineExitNotReady;
        limit.rlim_cur = rlim_t(memoryLimit);
        if (limit.rlim_max != RLIM_INFINITY && limit.rlim_cur > limit.rlim_max)
            limit.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return kEngineExitNotReady;
    }
    rlimit idle{};
    if (::getrlimit(RLIMIT_AS, &idle) == 0)
        context.idleLimit = idle.rlim_cur;

    // std::thread cannot choose its stack size.
    pthread_attr_t attributes;
    if (::pthread_attr_init(&attributes) != 0)
        return kEngineExitNotReady;
    pthread_t thread;
    const bool started = ::pthread_attr_setstacksize(&attributes, kEngineStackSize) == 0 &&
                         ::pthread_create(&thread, &attributes, ServeThread, &context) == 0;
    ::pthread_attr_destroy(&attributes);
    if (!started)
        return kEngineExitNotReady; // no Hello was sent: the program reports a broken helper
    ::pthread_join(thread, nullptr);
    return context.exitCode;
}
