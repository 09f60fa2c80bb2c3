#pragma once
// The file descriptors a run may keep open, shared out among its needs so that together they
// stay under the process's limit (ulimit -n) whatever the length of the list or the number of
// its folders: pages opened ahead, pages waiting for their rewrite (each with two temporaries
// while its group is written), and the folders and backup folders kept open. A small limit
// gives a small look-ahead and small groups, not failed files.

#include <QtGlobal>

struct DescriptorShares {
    qsizetype pagesAhead = 0; // pages the look-ahead holds open
    int rewrites = 1;         // pages handed to the rewrite queue at once
    int folders = 1;          // folders kept open, and as many backup folders
    // So few that a step must not open its file while a rewrite holds its own: each file is
    // rewritten before the next is opened.
    bool oneAtATime = false;
};

// Raises the soft limit towards the hard one (once per process), then shares out what is not
// in use now, keeping room for the tidy helpers' sockets and for what a step opens briefly.
DescriptorShares ShareDescriptors();

// The process's soft limit on open files.
qint64 OpenFileLimit();

// The system refused a descriptor: the process's or the system's table is full.
inline bool IsDescriptorShortage(int error) {
    return error == 24 /* EMFILE */ || error == 23 /* ENFILE */;
}
