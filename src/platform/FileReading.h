#pragma once
// Whole-file reads that never hang: what is named may be a FIFO, a device or a link to
// /dev/zero, and a plain open-and-read would block forever or read without end.

#include <QByteArray>
#include <QString>

namespace platform {

enum class ReadResult {
    Read,
    Missing,        // nothing of that name (or a dangling link)
    NotRegularFile, // a folder, FIFO, device or socket: refused before any byte is read
    TooLarge,       // more bytes than the caller's limit
    Failed,         // the system refused (permissions, I/O error); `error` says why
};

// Reads the whole of a regular file (a link to one counts) into `bytes`. With a `limit` of 0
// or more, a file that holds more bytes than that is refused. `error`, when given, receives
// the system's text for Missing and Failed, and for a folder.
ReadResult ReadRegularFile(const QString& path, QByteArray& bytes, qint64 limit = -1,
                           QString* error = nullptr);

} // namespace platform
