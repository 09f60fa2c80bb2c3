#pragma once
// Which failures to write a page's new text end a run. Most refusals concern one file: its
// folder takes no new file (permissions, an immutable or append-only page, a name too long,
// a file busy or gone meanwhile); the file is then left as it was, with a line, and the run
// goes on. A failure that will meet every later file as well (no space, a quota, an I/O error,
// a read-only or vanished file system, no memory or descriptors left) ends the run there, so
// that it does not fail on each of thousands of files in turn. An error not known here is a
// refusal for that file: the file is left as it was either way.

// True when the errno value `error` ends the run.
bool FailureEndsRun(int error);
