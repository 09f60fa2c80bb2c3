// HTML Tidy's configuration files (--tidy-config): any file is either refused with a reason or
// gives options that the helper accepts.
#include "FuzzTarget.h"

#include "engine/TidyConfigImport.h"
#include "engine/TidyOptionCheck.h"
#include "engine/TidyOptionMapping.h"
#include "support/Errors.h"

KELVANE_FUZZ_TARGET(tidy_config) {
    TidyOptionSet options = TidyDefaultOptionSet();
    try {
        ImportTidyConfig(data.toByteArray(), options);
    } catch (const KelvaneError& error) {
        FUZZ_CHECK(error.message().startsWith(QStringLiteral("line ")),
                   QStringLiteral("refused without naming the line: ") + error.message());
        return;
    }
    ResolvedTidyOptions steps;
    try {
        steps = ResolveOptions(options);
    } catch (const KelvaneError&) {
        return; // an option error before anything runs
    }
    const QString refusal = CheckResolvedOptions(steps);
    FUZZ_CHECK(refusal.isEmpty(),
               QStringLiteral("an accepted configuration gives options the helper refuses: ") +
                   refusal);
}
