// kelvane-batch --diff: the diff of any two texts under any names, applied to the first text,
// gives exactly the second, and its headers name the files as given.
#include "ApplyPatch.h"
#include "FuzzTarget.h"

#include "batch/UnifiedDiff.h"

KELVANE_FUZZ_TARGET(unified_diff) {
    // before, after, then the two names (defaults when absent).
    QList<QByteArray> parts = SplitFuzzInput(data, 4);
    const QByteArray beforeName = parts[2].isEmpty() ? QByteArray("page.html") : parts[2];
    const QByteArray afterName = parts[3].isEmpty() ? QByteArray("page.html.tidy") : parts[3];
    const QByteArray diff = UnifiedDiff(parts[0], parts[1], beforeName, afterName);
    if (parts[0] == parts[1]) {
        FUZZ_CHECK(diff.isEmpty(), QStringLiteral("a diff of equal texts"));
        return;
    }
    QString error;
    const std::optional<PatchedFile> patched = ApplyUnifiedDiff(parts[0], diff, error);
    FUZZ_CHECK(patched.has_value(), QStringLiteral("the diff does not apply: ") + error);
    FUZZ_CHECK(patched->text == parts[1], QStringLiteral("the patched text differs"));
    FUZZ_CHECK(patched->oldName == beforeName && patched->newName == afterName,
               QStringLiteral("the headers name other files"));
}
