#pragma once
// File names on Linux are bytes, mostly UTF-8. Paths are held as QString; a byte that is not
// part of valid UTF-8 is kept as the lone surrogate U+DC80 + byte (as Python's surrogateescape
// does), so that every name read from the system can be given back to it unchanged. Qt's own
// QFile::encodeName/decodeName replace such bytes and cannot round-trip them.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

QString DecodeFileName(QByteArrayView bytes);
QByteArray EncodeFileName(const QString& name);
// Whether `name` holds bytes that are not valid UTF-8 (shown, for instance, as "\xe9").
bool HasUndecodableBytes(const QString& name);

// Characters that must never reach a terminal raw, because they can move the cursor, rewrite
// the screen or start an escape sequence: C0 controls except tab, DEL and the C1 controls.
inline bool IsTerminalControl(char32_t c) {
    return (c < 0x20 && c != u'\t') || (c >= 0x7F && c <= 0x9F);
}

// `name` for people to read in messages and reports: every byte that is not UTF-8 and every
// terminal control is shown escaped ("\xe9", "\x1b"; C1 controls as "\u009b").
QString DisplayFileName(const QString& name);
// The same with every backslash doubled, so that what is shown stands for one name only: the
// byte 0xFF reads "\xff", the four characters "\xff" read "\\xff". The reports' form. With
// `keepControls`, controls stay as they are, for a format that escapes them itself (JSON).
QString UnambiguousFileName(const QString& name, bool keepControls = false);

// The folder of the running program file, its bytes kept (no trailing separator).
QString ProgramFolder();

} // namespace platform
