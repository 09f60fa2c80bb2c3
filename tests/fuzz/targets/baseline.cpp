// Baselines (--baseline): any file is either refused with a reason or read, and then matching
// reports against it never fails.
#include "FuzzTarget.h"

#include "batch/Baseline.h"
#include "batch/BatchArguments.h"

KELVANE_FUZZ_TARGET(baseline) {
    const QString path = WriteScratchFile(QStringLiteral("baseline.json"), data);
    try {
        Baseline baseline = Baseline::Load(path);
        const QList<TidyReport> reports = {
            {int(TidyWarning), 1, 1, "missing <!DOCTYPE> declaration", "MISSING_DOCTYPE"},
            {int(TidyWarning), 2, 1, "missing <!DOCTYPE> declaration", "MISSING_DOCTYPE"}};
        const std::vector<bool> known = baseline.Match(QStringLiteral("site/index.html"), reports);
        FUZZ_CHECK(known.size() == 2, QStringLiteral("one answer per report"));
    } catch (const UsageError& error) {
        FUZZ_CHECK(!error.message().isEmpty(), QStringLiteral("refused without a reason"));
    }
}
