// Option files (--options, and the window's own [FormTidyProperties] section): any file is
// either refused with a reason or gives options that the helper accepts, so that a run never
// fails on a refused request after its settings were taken.
#include "FuzzTarget.h"

#include "batch/BatchArguments.h"
#include "batch/BatchSettings.h"
#include "engine/OptionStorage.h"
#include "engine/TidyOptionCheck.h"
#include "engine/TidyOptionMapping.h"
#include "support/IniFile.h"

namespace {

void CheckHelperAccepts(const TidyOptionSet& options, const QString& how) {
    ResolvedTidyOptions steps;
    try {
        steps = ResolveOptions(options);
    } catch (const KelvaneError&) {
        return; // refused with a message before anything runs
    }
    const QString refusal = CheckResolvedOptions(steps);
    FUZZ_CHECK(refusal.isEmpty(),
               how + QStringLiteral(" gives options the helper refuses: ") + refusal);
}

} // namespace

KELVANE_FUZZ_TARGET(options_file) {
    const QString path = WriteScratchFile(QStringLiteral("options.ini"), data);

    // kelvane-batch --options: strict.
    CurrentOptionSet() = TidyOptionSet();
    bool accepted = true;
    try {
        LoadBatchTidyOptions(path);
    } catch (const UsageError& error) {
        FUZZ_CHECK(!error.message().isEmpty(), QStringLiteral("refused without a reason"));
        accepted = false;
    }
    if (accepted)
        CheckHelperAccepts(CurrentOptionSet(), QStringLiteral("an accepted --options file"));
    CurrentOptionSet() = TidyOptionSet();

    // The window: lenient, from the same section of its settings file.
    TidyOptionSet options;
    LoadOptionSet(options, IniFile(path));
    CheckHelperAccepts(options, QStringLiteral("the settings file"));
}
