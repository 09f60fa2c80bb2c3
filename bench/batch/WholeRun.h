#pragma once
// The whole batch tidy run as the program does it (the run loop over files, helpers tidying
// ahead, verified backups flushed to disk, every report collected) against `tidy -m` over
// copies of the same files, as one process and as two side by side (xargs -P 2), in the same
// run. The program's road runs in a child process of this benchmark, so that its peak memory
// (and its helpers') is its own.

#include <QByteArray>
#include <QList>
#include <QString>

// The switch that makes this program the child that runs the tidy over a folder.
inline constexpr char kWholeRunChild[] = "--whole-run-child";

// The child: tidies every *.html under `folder` and prints
// "<run seconds> <files tidied> <reports> <own peak KB> <helpers' peak KB>".
int WholeRunChild(const QString& folder);

// The rounds and the report; 0 when every road ran.
int WholeRunBenchmark(const QList<QByteArray>& corpus, const QString& tidy, int cores);
