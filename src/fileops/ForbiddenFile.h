#pragma once
// Files the tidy run refuses to touch: executable programs, recognised by content (libmagic:
// ELF executables and shared objects, PE and MS-DOS executables) or by a program name
// (.exe .com .bat .cmd).

#include <QByteArrayView>
#include <QString>

// An executable program. Never blocks: anything but a regular file is judged by its name only.
bool IsForbiddenFile(const QString& path);

// The same test on bytes already read from the file's start (its first 256 KB are enough).
bool IsForbiddenContent(const QString& path, QByteArrayView start);
