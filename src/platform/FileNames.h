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

} // namespace platform
