// kelvane-batch's command line (arguments separated by NUL bytes): parsed, or refused with a
// reason.
#include "FuzzTarget.h"

#include "batch/BatchArguments.h"
#include "platform/FileNames.h"

KELVANE_FUZZ_TARGET(batch_arguments) {
    QStringList arguments;
    if (!data.isEmpty())
        for (const QByteArray& argument : data.toByteArray().split('\0'))
            arguments << platform::DecodeFileName(argument);
    try {
        const BatchArguments parsed = ParseBatchArguments(arguments);
        FUZZ_CHECK(parsed.jobs >= 0, QStringLiteral("a negative job count"));
    } catch (const UsageError& error) {
        FUZZ_CHECK(!error.message().isEmpty(), QStringLiteral("refused without a reason"));
    }
}
