#pragma once
// What identifies one build of a program: the build ID the linker stamps into the ELF file
// (.note.gnu.build-id, a digest of everything linked), or, for a file without one, a digest of
// its bytes. Two builds that could behave differently never share it.

#include <QByteArray>
#include <QString>

namespace platform {

// The identity of the program file at `path` ("gnu-build-id:" and the ID in hexadecimal, or
// "file-digest:" ...); empty when the file cannot be read.
QByteArray ProgramBuildIdentity(const QString& path);

// The same for the running program.
QByteArray OwnBuildIdentity();

} // namespace platform
