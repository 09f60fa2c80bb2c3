#pragma once
// kelvane-batch from its arguments to its exit status: the window's batch runs (tidy, validate,
// restore, remove backups) on a streamed work list, answered without a person, shown by a
// terminal progress bar and reported as text, JSON or SARIF.

#include <QStringList>

// `arguments` without the program's name. Answers the exit status: 0 all done and no message
// at Error level, 1 Error-level messages or files a check would change, 2 a usage or option
// error, 3 a file could not be processed, 128 + the signal's number after an interrupt (then
// InterruptWatch::ReRaise ends the process as that signal would).
int RunBatchProgram(const QStringList& arguments);
