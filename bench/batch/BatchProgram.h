#pragma once
// The kelvane-batch program as a user runs it (`kelvane-batch tidy -r`), timed as a whole
// process, with the peak memory of the program and of its largest helper.

#include <QList>
#include <QString>

struct ProgramFigures {
    double wall = -1;     // seconds, process start to end; -1 when it failed
    qint64 selfKb = 0;    // peak resident memory of kelvane-batch
    qint64 helpersKb = 0; // the largest peak of one of its helpers
};

// Runs `kelvane-batch tidy -r -q --force -m *.html <folder>` (beside this benchmark), its
// report discarded, and watches its memory and its helpers' until it ends.
ProgramFigures RunBatchProgram(const QString& folder);

// The rounds against `tidy -m` (one process, and two side by side) over copies of the corpus,
// then the memory of kelvane-batch over 2,000 and over 20,000 pages. 0 when every road ran.
int BatchProgramBenchmark(const QList<QByteArray>& corpus, const QString& tidy);
