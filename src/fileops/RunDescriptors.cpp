#include "fileops/RunDescriptors.h"

#include <QDir>
#include <algorithm>
#include <cerrno>
#include <sys/resource.h>

static_assert(EMFILE == 24 && ENFILE == 23, "IsDescriptorShortage names them by number");

namespace {

// What a lavish limit still gets at most: beyond this, more open files buy nothing.
constexpr qsizetype kMaxPagesAhead = 2048;
constexpr int kMaxRewrites = 512;
constexpr int kMaxFolders = 32;
// Helpers' sockets (a helper per --jobs, at most 64) and a few for everything else.
constexpr qint64 kMaxHelpers = 64;
// What one step opens for a moment (the page, its backup, a folder and its parent, a
// temporary), beyond the shares.
constexpr qint64 kStepDescriptors = 6;
// A rewrite waiting in the queue holds its page and may pin its folder and backup folder;
// while its group is written, its backup copy and new text are open too.
constexpr qint64 kPerRewrite = 5;
// A page held open ahead, and the folder it may pin.
constexpr qint64 kPerPageAhead = 2;

qint64 RaisedLimit() {
    static const qint64 limit = [] {
        struct rlimit files {};
        if (::getrlimit(RLIMIT_NOFILE, &files) != 0)
            return qint64(256);
        // The soft limit is often far below what the system allows the process.
        if (files.rlim_cur < files.rlim_max && files.rlim_cur < 8192) {
            struct rlimit raised = files;
            raised.rlim_cur = std::min<rlim_t>(files.rlim_max, 8192);
            if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
                files = raised;
        }
        return files.rlim_cur == RLIM_INFINITY ? qint64(1) << 20 : qint64(files.rlim_cur);
    }();
    return limit;
}

qint64 DescriptorsInUse() {
    const qsizetype listed = QDir(QStringLiteral("/proc/self/fd"))
                                 .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                                 .size();
    // Without /proc, a guess; the listing itself held one more.
    return listed > 0 ? qint64(listed) - 1 : 16;
}

} // namespace

qint64 OpenFileLimit() {
    return RaisedLimit();
}

DescriptorShares ShareDescriptors() {
    const qint64 free = RaisedLimit() - DescriptorsInUse();
    // A helper per eight free descriptors: at a small limit one helper, whose pool then
    // starts no more than fit.
    const qint64 helpers = std::clamp<qint64>(free / 8, 1, kMaxHelpers);
    qint64 rest = std::max<qint64>(0, free - helpers - kStepDescriptors);

    DescriptorShares shares;
    shares.oneAtATime = rest < kStepDescriptors + kPerRewrite + 2;
    shares.folders = int(std::clamp<qint64>(rest / 16, 1, kMaxFolders));
    rest = std::max<qint64>(0, rest - 2 * shares.folders);
    // Half of what is left for the rewrites, the rest for the look-ahead.
    shares.rewrites = int(std::clamp<qint64>(rest / 2 / kPerRewrite, 1, kMaxRewrites));
    rest = std::max<qint64>(0, rest - shares.rewrites * kPerRewrite);
    shares.pagesAhead = qsizetype(std::clamp<qint64>(rest / kPerPageAhead, 0, kMaxPagesAhead));
    return shares;
}
