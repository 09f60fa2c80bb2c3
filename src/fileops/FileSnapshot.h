#pragma once
// A file's bytes together with what identifies that version of the file, so that a run can tell
// later whether the file still holds the bytes it tidied. Reads never block: a FIFO, device or
// socket named like a page is refused instead of waited on.

#include "support/Errors.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QCryptographicHash>
#include <QString>
#include <optional>
#include <sys/types.h>

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0; // any write, rename or attribute change moves this
    mode_t mode = 0;

    bool IsRegular() const;
    bool IsFolder() const;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of `path`, links followed; nothing when it cannot be read.
std::optional<FileIdentity> IdentityOf(const QString& path);

// The file-open error of a file that could not be read (as opposed to a failure of the engine).
class FileReadError : public KelvaneError {
public:
    using KelvaneError::KelvaneError;
};

struct FileSnapshot {
    QByteArray bytes;
    FileIdentity identity; // taken before the bytes were read: any later change shows
};

// The largest document a run reads: far beyond any web page, and small enough that its tidied
// text still fits the engine's frames (EngineProtocol.h), whatever a hostile file claims.
inline constexpr qint64 kMaxDocumentBytes = qint64(256) << 20;

// Reads a regular file whole. Raises the file-open error as a FileReadError when it cannot be
// opened or read, is not a regular file, or is larger than kMaxDocumentBytes.
FileSnapshot ReadSnapshot(const QString& path);

// A digest that tells two versions of a file apart, of `bytes` at once or piece by piece.
QByteArray ContentDigest(QByteArrayView bytes);

class ContentDigester {
public:
    ContentDigester();
    void Add(QByteArrayView bytes) { m_hash.addData(bytes); }
    QByteArray Result() const { return m_hash.result(); }

private:
    QCryptographicHash m_hash;
};
