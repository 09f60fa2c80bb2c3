// Results from the helper: any payload either decodes to a result that encodes back to exactly
// those bytes or is refused; any byte stream from a helper is framed without trusting it.
#include "EngineFrames.h"
#include "FuzzTarget.h"

KELVANE_FUZZ_TARGET(engine_result) {
    const qsizetype piece = data.isEmpty() ? 1 : 1 + quint8(data[0]) % 64;
    ReadFrameStream(data, piece);

    TidyResult result;
    if (!DecodeTidyResult(data, result))
        return;
    const QByteArray frame = EncodeTidyResultFrame(result);
    FUZZ_CHECK(QByteArrayView(frame).sliced(kEngineFrameHeaderSize) == data,
               QStringLiteral("a result does not encode back to its bytes"));
    CheckResultRoundTrip(result);
}
