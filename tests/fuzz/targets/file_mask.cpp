// File masks of the file-type filter: any filter and name give an answer or the clear
// invalid-mask error, and the answers agree with the rules every mask keeps.
#include "FuzzTarget.h"

#include "fileops/FileMask.h"
#include "support/Errors.h"

namespace {

std::optional<bool> Matches(const QString& name, const QString& mask) {
    try {
        return MatchesMask(name, mask);
    } catch (const KelvaneError& error) {
        FUZZ_CHECK(error.message().contains(QLatin1String("invalid mask")),
                   QStringLiteral("unexpected error: ") + error.message());
        return std::nullopt;
    }
}

bool HasWildcards(const QString& mask) {
    return mask.contains(QLatin1Char('*')) || mask.contains(QLatin1Char('?')) ||
           mask.contains(QLatin1Char('['));
}

} // namespace

KELVANE_FUZZ_TARGET(file_mask) {
    const QList<QByteArray> parts = SplitFuzzInput(data, 2);
    const QString filter = QString::fromUtf8(parts[0]);
    QStringList names = QString::fromUtf8(parts[1]).split(QLatin1Char('\n'));
    const QStringList masks = MaskList(filter);
    names << masks; // each mask also as a name
    for (const QString& name : names) {
        try {
            MatchesAnyMask(name, masks);
        } catch (const KelvaneError&) {
        }
        for (const QString& mask : masks) {
            const std::optional<bool> matches = Matches(name, mask);
            if (!matches)
                continue;
            if (!mask.isEmpty() && !HasWildcards(mask))
                FUZZ_CHECK(*matches == (name.compare(mask, Qt::CaseInsensitive) == 0),
                           QStringLiteral("plain mask '%1' and name '%2'").arg(mask, name));
            // A '*' more at the end only widens a mask; doubled stars change nothing.
            if (*matches)
                FUZZ_CHECK(Matches(name + QStringLiteral("tail"), mask + QLatin1Char('*')) == true,
                           QStringLiteral("mask '%1*' and name '%2tail'").arg(mask, name));
            if (!mask.contains(QLatin1Char('['))) { // inside a set a star is a character
                QString doubled = mask;
                doubled.replace(QLatin1Char('*'), QStringLiteral("**"));
                FUZZ_CHECK(Matches(name, doubled) == matches,
                           QStringLiteral("doubling the stars of '%1' changes it").arg(mask));
            }
        }
        FUZZ_CHECK(Matches(name, QStringLiteral("*")) == true,
                   QStringLiteral("'*' does not match '%1'").arg(name));
    }
}
