// --files-from lists, separated by line breaks and by NUL bytes: the entries read are exactly
// the non-empty pieces between separators, in order, each with its own bytes; a piece too long
// to be a path is reported and passed over, also where it spans the reader's chunks.
#include "FuzzTarget.h"

#include "batch/PathList.h"
#include "platform/FileNames.h"

namespace {

void CheckList(const QByteArray& content, char separator) {
    const QString path = WriteScratchFile(QStringLiteral("paths"), content);
    int problems = 0;
    PathList list(path, separator == '\0', [&](const QString&) { ++problems; });
    QList<QByteArray> read;
    while (const std::optional<QString> entry = list.Next())
        read << platform::EncodeFileName(*entry);

    QList<QByteArray> expected;
    int tooLong = 0;
    for (const QByteArray& piece : content.split(separator)) {
        if (piece.size() > PathList::kMaxEntry)
            ++tooLong;
        else if (!piece.isEmpty())
            expected << piece;
    }
    FUZZ_CHECK(
        read == expected,
        QStringLiteral("read %1 entries, expected %2").arg(read.size()).arg(expected.size()));
    FUZZ_CHECK(problems == tooLong,
               QStringLiteral("%1 problems for %2 over-long entries").arg(problems).arg(tooLong));
}

} // namespace

KELVANE_FUZZ_TARGET(path_list) {
    const QByteArray bytes = data.toByteArray();
    CheckList(bytes, '\n');
    CheckList(bytes, '\0');
    // The same after a first entry of about the longest length, so that the input's own entries
    // cross the reader's first chunk and the length limit (the first byte picks where).
    const qsizetype length =
        PathList::kMaxEntry - 8 + (bytes.isEmpty() ? 0 : quint8(bytes[0]) % 16);
    for (const char separator : {'\n', '\0'}) {
        QByteArray padded(length, 'p');
        padded += separator;
        CheckList(padded + bytes, separator);
    }
}
