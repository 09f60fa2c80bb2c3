#pragma once
// What the result cache keeps of one run of the library, and how it is stored. The status and
// the reports go through the engine protocol's own result encoding, so that every field a
// report carries is kept without this code knowing of it; the tidied text itself is not kept,
// only its digest and size (enough to tell "already tidied" and "tidying changes nothing").

#include "engine/TidyRequest.h"
#include "support/KeyedDigest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

struct CachedTidyResult {
    TidyRunStatus status = TidyRunStatus::Failed;
    QList<TidyReport> reports;
    // For a tidy: the tidied text's digest and size. Unknown for a reports-only run, and for
    // a tidy known only by checking (TidyRequest::Mode::CheckOutput).
    std::optional<KeyedDigest> output;
    qint64 outputSize = 0;

    bool operator==(const CachedTidyResult&) const = default;
};

// The stored bytes of `result`.
QByteArray EncodeCachedResult(const CachedTidyResult& result);
// False (and `out` untouched) for bytes that EncodeCachedResult did not make in this build:
// damaged, cut short, or from another format.
bool DecodeCachedResult(QByteArrayView bytes, CachedTidyResult& out);

// Identifies the stored format: the cache's own version, the engine protocol's, and the shape
// and encoding of a result with a report. A TidyReport that gains a field changes it (its size
// and its encoding change), so a cache written before such a change is never read after it.
QByteArray CachedResultFormat();
