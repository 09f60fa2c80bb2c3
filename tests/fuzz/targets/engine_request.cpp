// Requests into the helper: any payload either decodes to a request that encodes back to
// exactly those bytes or is refused; a request whose options pass the helper's check is
// tidied, and its result crosses back unchanged.
#include "EngineFrames.h"
#include "FuzzTarget.h"

#include "engine/TidyLibraryRun.h"
#include "engine/TidyOptionCheck.h"

namespace {

// Large documents only slow the search down; the library itself is not what is fuzzed here.
constexpr qsizetype kMaxTidiedDocument = 16 * 1024;

} // namespace

KELVANE_FUZZ_TARGET(engine_request) {
    const qsizetype piece = data.isEmpty() ? 1 : 1 + quint8(data[0]) % 64;
    ReadFrameStream(data, piece);

    TidyRequest request;
    qint64 budget = -1;
    if (!DecodeTidyRequest(data, request, &budget))
        return;
    FUZZ_CHECK(budget >= 0, QStringLiteral("a negative memory budget"));
    const QByteArray frame = EncodeTidyRequestFrame(request, budget);
    FUZZ_CHECK(QByteArrayView(frame).sliced(kEngineFrameHeaderSize) == data,
               QStringLiteral("a request does not encode back to its bytes"));
    CheckFrameReadsBack(frame, EngineFrameKind::Request, data);

    if (!CheckResolvedOptions(request.options).isEmpty() ||
        request.document.size() > kMaxTidiedDocument)
        return;
    CheckResultRoundTrip(RunTidyLibrary(request));
}
