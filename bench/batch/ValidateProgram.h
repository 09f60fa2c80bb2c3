#pragma once
// `kelvane-batch validate -r` as a user runs it, against `tidy -e` over the same files as a
// shell user runs it in parallel (find -print0 | xargs -0 -P N -n 100 tidy -q -e), on a real
// manual: wall and processor time of each, the ratios, and whether both report the same
// messages for every file.

#include <QString>
#include <QStringList>

// The HTML folders of the real manuals scripts/fetch-manual provides (downloaded on first use,
// then cached); empty, with the reason printed, when none can be had.
QStringList ManualFolders();

// Three rounds over each folder with `jobs` helpers and `jobs` tidy processes. 0 when every
// road ran (the targets are printed, not enforced).
int ValidateBenchmark(const QStringList& folders, int jobs);
