#include "EngineFrames.h"

#include "FuzzTarget.h"

void ReadFrameStream(QByteArrayView stream, qsizetype piece) {
    EngineFrameReader reader;
    while (!stream.isEmpty()) {
        const qsizetype size = std::min(piece, stream.size());
        reader.append(stream.first(size));
        stream = stream.sliced(size);
        EngineFrame frame;
        EngineFrameReader::Status status;
        while ((status = reader.next(frame)) == EngineFrameReader::Status::Frame) {
            switch (frame.kind) {
            case EngineFrameKind::Request: {
                TidyRequest request;
                DecodeTidyRequest(frame.payload, request);
                break;
            }
            case EngineFrameKind::Result: {
                TidyResult result;
                DecodeTidyResult(frame.payload, result);
                break;
            }
            case EngineFrameKind::Hello:
            case EngineFrameKind::Refused:
                FUZZ_CHECK(frame.payload.size() <= kMaxEngineSmallPayload,
                           QStringLiteral("a small frame over its limit"));
                break;
            }
        }
        if (status == EngineFrameReader::Status::Corrupt) {
            FUZZ_CHECK(!reader.error().isEmpty(), QStringLiteral("corrupt without a reason"));
            return;
        }
    }
}

void CheckFrameReadsBack(const QByteArray& frame, EngineFrameKind kind, QByteArrayView payload) {
    EngineFrameReader reader;
    const qsizetype half = frame.size() / 2;
    reader.append(QByteArrayView(frame).first(half));
    EngineFrame read;
    EngineFrameReader::Status status = reader.next(read);
    if (status == EngineFrameReader::Status::NeedMore) {
        reader.append(QByteArrayView(frame).sliced(half));
        status = reader.next(read);
    }
    FUZZ_CHECK(status == EngineFrameReader::Status::Frame,
               QStringLiteral("an encoded frame does not read back: ") + reader.error());
    FUZZ_CHECK(read.kind == kind && read.payload == payload,
               QStringLiteral("a frame reads back changed"));
    FUZZ_CHECK(reader.isEmpty(), QStringLiteral("bytes left after the frame"));
}

void CheckResultRoundTrip(const TidyResult& result) {
    const QByteArray frame = EncodeTidyResultFrame(result);
    const QByteArrayView payload = QByteArrayView(frame).sliced(kEngineFrameHeaderSize);
    CheckFrameReadsBack(frame, EngineFrameKind::Result, payload);
    TidyResult decoded;
    FUZZ_CHECK(DecodeTidyResult(payload, decoded), QStringLiteral("a result does not decode"));
    TidyResult expected = result;
    for (TidyReport& report : expected.reports)
        report.text.truncate(kMaxEngineTextField);
    FUZZ_CHECK(decoded == expected, QStringLiteral("a result decodes changed"));
}
