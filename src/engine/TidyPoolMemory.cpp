// How much memory the pool lets HTML Tidy take: per document, and for all helpers together.

#include "engine/TidyProcessPool.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <limits>
#include <unistd.h>

namespace {

// A number of bytes from a control-group file; "max" and anything unreadable give nothing.
std::optional<qint64> ReadLimit(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 value = file.read(64).trimmed().toLongLong(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

// The control group's memory limit (cgroup v2 by the process's own group, else v1).
std::optional<qint64> ControlGroupLimit() {
    QFile groups(QStringLiteral("/proc/self/cgroup"));
    QStringList candidates;
    if (groups.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : groups.readAll().split('\n')) {
            if (line.startsWith("0::"))
                candidates << QStringLiteral("/sys/fs/cgroup") +
                                  QString::fromUtf8(line.mid(3)).trimmed() +
                                  QStringLiteral("/memory.max");
        }
    }
    candidates << QStringLiteral("/sys/fs/cgroup/memory.max")
               << QStringLiteral("/sys/fs/cgroup/memory/memory.limit_in_bytes");
    for (const QString& path : std::as_const(candidates)) {
        if (const std::optional<qint64> limit = ReadLimit(path))
            return limit;
    }
    return std::nullopt;
}

} // namespace

qint64 DefaultTidyMemoryTotal() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    qint64 memory = pages > 0 && pageSize > 0 ? qint64(pages) * qint64(pageSize)
                                              : qint64(4) << 30; // a modest guess
    // A v1 group without a limit reports a huge number: min() takes care of it.
    if (const std::optional<qint64> limit = ControlGroupLimit())
        memory = std::min(memory, *limit);
    return std::max<qint64>(memory / 2, 1);
}

qint64 TidyMemoryBudget(const TidyPoolSettings& settings, qsizetype documentSize) {
    if (settings.memoryFloor <= 0)
        return 0;
    const qint64 perByte = std::max<qint64>(settings.memoryPerByte, 0);
    const qint64 size = std::max<qint64>(documentSize, 0);
    const qint64 bySize = perByte > 0 && size > std::numeric_limits<qint64>::max() / perByte
                              ? std::numeric_limits<qint64>::max()
                              : size * perByte;
    qint64 budget = std::max(settings.memoryFloor, bySize);
    if (settings.memoryTotal > 0)
        budget = std::min(budget, settings.memoryTotal);
    return budget;
}
