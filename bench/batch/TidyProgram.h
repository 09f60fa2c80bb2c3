#pragma once
// The `tidy` command-line program as the benchmarks' yardstick, and the small helpers the batch
// benchmark's parts share.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// Our default options as `tidy` arguments, `-m` first; the files to tidy go after them.
const QStringList& TidyArguments();

// Writes the corpus as <folder>/page<i>.html (untimed set-up of a round); the paths, in order.
QStringList WriteCorpus(const QString& folder, const QList<QByteArray>& corpus);

// Wall-clock seconds of `program` with `arguments` (output discarded); -1 when it failed.
double TimedRun(const QString& program, const QStringList& arguments);

// `tidy -m` over a fresh copy of the corpus in `folder`, as one process.
double TidyProgram(const QString& tidy, const QString& folder, const QList<QByteArray>& corpus);

// `tidy -m` over a fresh copy in `folder`, as two processes side by side (xargs -P 2), each on
// half of the files, as a shell user would.
double TwoTidyPrograms(const QString& tidy, const QString& folder, const QList<QByteArray>& corpus);

QByteArray LoadAverage();
double Best(std::vector<double> values);
double Median(std::vector<double> values);
