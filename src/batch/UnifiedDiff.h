#pragma once
// A unified diff of two texts in the form of `diff -u` (three lines of context, hunks merged
// when their context meets, "\ No newline at end of file" where a text ends without one),
// computed here with Myers' O(ND) algorithm in its linear-space form. Very different texts
// would cost O(N * D) time: past a fixed amount of work the rest of a region is shown as
// removed and added as a whole, which is still a correct diff, only not the shortest.

#include <QByteArray>

// The diff of `before` to `after` with the headers "--- <beforeName>" and "+++ <afterName>"
// (a name with a line break, tab, quote or backslash in double quotes with C escapes, as GNU
// diff writes it); empty when the texts are equal.
QByteArray UnifiedDiff(const QByteArray& before, const QByteArray& after,
                       const QByteArray& beforeName, const QByteArray& afterName);
