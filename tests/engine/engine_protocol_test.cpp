// The helper protocol: frames and payloads survive a round trip, and truncated, corrupt or
// oversized input is refused without trusting its lengths; the option check that the helper
// applies to every request.

#include "engine/EngineProtocol.h"
#include "engine/TidyOptionCheck.h"
#include "engine/TidyOptionMapping.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

TidyRequest SampleRequest() {
    TidyOptionSet set;
    set.cbEnableTextWrapping = true;
    set.EditWrapWidth = QStringLiteral("72");
    set.CBAltText = true;
    set.EditAltText = QStringLiteral("Bild \u00e4");
    TidyRequest request;
    request.options = ResolveOptions(set);
    // A NUL byte and a last CR cross like any other byte.
    request.document = QByteArray("<p>caf\xe9 \x01\xff\0</p>\r", 17);
    request.mode = TidyRequest::Mode::ReportsOnly;
    return request;
}

TidyResult SampleResult() {
    TidyResult result;
    result.status = TidyRunStatus::Completed;
    result.output = "<HTML><BODY><P>x</P></BODY></HTML>\n";
    result.reports = {{int(TidyWarning), 1, 1, "missing <!DOCTYPE> declaration", "MISSING_DOCTYPE"},
                      {int(TidyInfo), 0, 0, QByteArray("\xc3\xa4", 2), "", true},
                      {12345, -1, 7, QByteArray(), "TRIM_EMPTY_ELEMENT", true}};
    return result;
}

QByteArray PayloadOf(const QByteArray& frame) {
    return frame.mid(kEngineFrameHeaderSize);
}

QByteArray Header(const char* magic, quint16 version, quint8 kind, quint8 reserved,
                  quint32 length) {
    QByteArray header(kEngineFrameHeaderSize, '\0');
    std::memcpy(header.data(), magic, 4);
    qToBigEndian<quint16>(version, header.data() + 4);
    header[6] = char(kind);
    header[7] = char(reserved);
    qToBigEndian<quint32>(length, header.data() + 8);
    return header;
}

EngineFrameReader::Status Feed(const QByteArray& bytes, EngineFrame& frame) {
    EngineFrameReader reader;
    reader.append(bytes);
    return reader.next(frame);
}

} // namespace

TEST(EngineFrames, RequestAndResultSurviveTheRoundTrip) {
    const TidyRequest request = SampleRequest();
    const TidyResult result = SampleResult();
    EngineFrameReader reader;
    reader.append(EncodeTidyRequestFrame(request, qint64(300) << 20) +
                  EncodeTidyResultFrame(result) + EncodeEngineFrame(EngineFrameKind::Hello, {}));

    EngineFrame frame;
    ASSERT_EQ(reader.next(frame), EngineFrameReader::Status::Frame);
    EXPECT_EQ(frame.kind, EngineFrameKind::Request);
    TidyRequest decodedRequest;
    qint64 budget = -1;
    ASSERT_TRUE(DecodeTidyRequest(frame.payload, decodedRequest, &budget));
    EXPECT_EQ(decodedRequest, request);
    EXPECT_EQ(budget, qint64(300) << 20);

    ASSERT_EQ(reader.next(frame), EngineFrameReader::Status::Frame);
    EXPECT_EQ(frame.kind, EngineFrameKind::Result);
    TidyResult decodedResult;
    ASSERT_TRUE(DecodeTidyResult(frame.payload, decodedResult));
    EXPECT_EQ(decodedResult, result);

    ASSERT_EQ(reader.next(frame), EngineFrameReader::Status::Frame);
    EXPECT_EQ(frame.kind, EngineFrameKind::Hello);
    EXPECT_TRUE(frame.payload.isEmpty());
    EXPECT_EQ(reader.next(frame), EngineFrameReader::Status::NeedMore);
    EXPECT_TRUE(reader.isEmpty());
}

TEST(EngineFrames, ByteByByteDeliveryGivesOneFrameAtTheLastByte) {
    const QByteArray frame = EncodeTidyResultFrame(SampleResult());
    EngineFrameReader reader;
    EngineFrame taken;
    for (qsizetype i = 0; i + 1 < frame.size(); ++i) {
        reader.append(frame.mid(i, 1));
        ASSERT_EQ(reader.next(taken), EngineFrameReader::Status::NeedMore) << "at byte " << i;
        // A stream that ends here ends inside a frame.
        EXPECT_FALSE(reader.isEmpty());
    }
    reader.append(frame.right(1));
    ASSERT_EQ(reader.next(taken), EngineFrameReader::Status::Frame);
    EXPECT_TRUE(reader.isEmpty());
    TidyResult decoded;
    EXPECT_TRUE(DecodeTidyResult(taken.payload, decoded));
}

TEST(EngineFrames, CorruptHeadersAreRefusedBeforeThePayloadArrives) {
    EngineFrame frame;
    const quint8 request = quint8(EngineFrameKind::Request);
    const quint16 v = kEngineProtocolVersion;
    EXPECT_EQ(Feed(Header("KVEX", v, request, 0, 0), frame), EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v + 1, request, 0, 0), frame),
              EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v - 1, request, 0, 0), frame),
              EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", 0, request, 0, 0), frame), EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v, 0, 0, 0), frame), EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v, 5, 0, 0), frame), EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v, request, 1, 0), frame), EngineFrameReader::Status::Corrupt);
    // Lengths over the kind's limit, announced without any payload behind them.
    EXPECT_EQ(Feed(Header("KVEN", v, request, 0, quint32(kMaxEngineDocumentPayload) + 1), frame),
              EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v, request, 0, 0xffffffffu), frame),
              EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed(Header("KVEN", v, quint8(EngineFrameKind::Hello), 0,
                          quint32(kMaxEngineSmallPayload) + 1),
                   frame),
              EngineFrameReader::Status::Corrupt);
    // Limits themselves are fine: the reader just waits for the bytes.
    EXPECT_EQ(Feed(Header("KVEN", v, request, 0, quint32(kMaxEngineDocumentPayload)), frame),
              EngineFrameReader::Status::NeedMore);
    // Printed text where a frame belongs is refused at its first byte.
    EXPECT_EQ(Feed("Warning: x", frame), EngineFrameReader::Status::Corrupt);
    EXPECT_EQ(Feed("K", frame), EngineFrameReader::Status::NeedMore);
    EXPECT_EQ(Feed("Kx", frame), EngineFrameReader::Status::Corrupt);
}

TEST(EngineFrames, ACorruptStreamStaysCorrupt) {
    EngineFrameReader reader;
    EngineFrame frame;
    reader.append("junk");
    ASSERT_EQ(reader.next(frame), EngineFrameReader::Status::Corrupt);
    EXPECT_FALSE(reader.error().isEmpty());
    reader.append(EncodeEngineFrame(EngineFrameKind::Hello, {}));
    EXPECT_EQ(reader.next(frame), EngineFrameReader::Status::Corrupt);
}

TEST(EngineFrames, GarbageAfterAFrameIsCaughtAtTheNextHeader) {
    EngineFrameReader reader;
    EngineFrame frame;
    reader.append(EncodeEngineFrame(EngineFrameKind::Hello, {}) + "trailing");
    ASSERT_EQ(reader.next(frame), EngineFrameReader::Status::Frame);
    EXPECT_EQ(reader.next(frame), EngineFrameReader::Status::Corrupt);
}

TEST(EnginePayloads, EveryTruncationAndAnyTrailingByteIsRefused) {
    const QByteArray request = PayloadOf(EncodeTidyRequestFrame(SampleRequest()));
    const QByteArray result = PayloadOf(EncodeTidyResultFrame(SampleResult()));
    TidyRequest decodedRequest;
    TidyResult decodedResult;
    for (qsizetype size = 0; size < request.size(); ++size)
        EXPECT_FALSE(DecodeTidyRequest(request.left(size), decodedRequest)) << size;
    for (qsizetype size = 0; size < result.size(); ++size)
        EXPECT_FALSE(DecodeTidyResult(result.left(size), decodedResult)) << size;
    EXPECT_FALSE(DecodeTidyRequest(request + '\0', decodedRequest));
    EXPECT_FALSE(DecodeTidyResult(result + 'x', decodedResult));
    // A failed decode leaves the target as it was.
    EXPECT_EQ(decodedRequest, TidyRequest());
    EXPECT_EQ(decodedResult, TidyResult());
}

TEST(EnginePayloads, CountsAndLengthsBeyondTheDataAreRefused) {
    TidyRequest request;
    TidyResult result;
    // An option count far beyond what follows (and beyond any real run).
    QByteArray payload = PayloadOf(EncodeTidyRequestFrame(SampleRequest()));
    qToBigEndian<quint32>(0xfffffff0u, payload.data());
    EXPECT_FALSE(DecodeTidyRequest(payload, request));
    qToBigEndian<quint32>(quint32(kMaxEngineOptionSteps) + 1, payload.data());
    EXPECT_FALSE(DecodeTidyRequest(payload, request));

    // A report count of four billion must not be believed (nor reserved).
    TidyResult empty;
    empty.status = TidyRunStatus::Completed;
    QByteArray resultPayload = PayloadOf(EncodeTidyResultFrame(empty));
    ASSERT_EQ(resultPayload.size(), 1 + 4 + 4);
    qToBigEndian<quint32>(0xffffffffu, resultPayload.data() + 5);
    EXPECT_FALSE(DecodeTidyResult(resultPayload, result));

    // An output length larger than the payload.
    QByteArray longOutput = PayloadOf(EncodeTidyResultFrame(empty));
    qToBigEndian<quint32>(1000, longOutput.data() + 1);
    EXPECT_FALSE(DecodeTidyResult(longOutput, result));

    // An unknown status.
    QByteArray badStatus = PayloadOf(EncodeTidyResultFrame(empty));
    badStatus[0] = char(2);
    EXPECT_FALSE(DecodeTidyResult(badStatus, result));

    // An unknown mode (the request's last byte).
    QByteArray badMode = PayloadOf(EncodeTidyRequestFrame(SampleRequest()));
    badMode[badMode.size() - 1] = char(quint8(TidyRequest::Mode::CheckOutput) + 1);
    EXPECT_FALSE(DecodeTidyRequest(badMode, request));
    badMode[badMode.size() - 1] = char(TidyRequest::Mode::CheckOutput);
    ASSERT_TRUE(DecodeTidyRequest(badMode, request));
    EXPECT_EQ(request.mode, TidyRequest::Mode::CheckOutput);
    badMode[badMode.size() - 1] = char(0);
    ASSERT_TRUE(DecodeTidyRequest(badMode, request));
    EXPECT_EQ(request.mode, TidyRequest::Mode::Tidy);
}

TEST(EnginePayloads, OptionIdsAndKindsOutsideTheLibraryAreRefused) {
    for (const qint32 bad : {qint32(TidyUnknownOption), qint32(N_TIDY_OPTIONS), qint32(-7)}) {
        TidyRequest request;
        request.options = {TidyOptionStep::Flag(TidyMakeBare, true)};
        QByteArray payload = PayloadOf(EncodeTidyRequestFrame(request));
        qToBigEndian<qint32>(bad, payload.data() + 4);
        TidyRequest decoded;
        EXPECT_FALSE(DecodeTidyRequest(payload, decoded)) << bad;
    }
    TidyRequest request;
    request.options = {TidyOptionStep::Flag(TidyMakeBare, true)};
    QByteArray payload = PayloadOf(EncodeTidyRequestFrame(request));
    payload[8] = char(2); // the step's kind
    TidyRequest decoded;
    EXPECT_FALSE(DecodeTidyRequest(payload, decoded));
}

TEST(EnginePayloads, RandomDamageNeverCrashesTheDecoders) {
    const QByteArray request = PayloadOf(EncodeTidyRequestFrame(SampleRequest()));
    const QByteArray result = PayloadOf(EncodeTidyResultFrame(SampleResult()));
    QRandomGenerator random(20240611);
    for (int round = 0; round < 3000; ++round) {
        QByteArray damaged = round % 2 ? request : result;
        const int hits = 1 + int(random.bounded(4));
        for (int i = 0; i < hits; ++i)
            damaged[random.bounded(int(damaged.size()))] = char(random.bounded(256));
        TidyRequest decodedRequest;
        TidyResult decodedResult;
        if (DecodeTidyRequest(damaged, decodedRequest)) {
            EXPECT_LE(decodedRequest.document.size(), damaged.size());
        }
        if (DecodeTidyResult(damaged, decodedResult)) {
            EXPECT_LE(decodedResult.output.size(), damaged.size());
        }
    }
}

TEST(TidyOptionCheck, WhatResolutionProducesIsAccepted) {
    TidyOptionSet everything;
    everything.cbEnableTextWrapping = true;
    everything.EditWrapWidth = QStringLiteral("0");
    everything.cbWrapAttributes = everything.cbWrapASP = everything.cbWrapPHP = true;
    everything.cbWrapJSTE = everything.cbWrapLiterals = everything.CBWrapSections = true;
    everything.CBAltText = true;
    everything.EditAltText = QStringLiteral("Caf\u00e9");
    everything.CBTabSize = {7, QStringLiteral("8")};
    for (int encoding = 0; encoding < kTidyEncodingNames.size(); ++encoding) {
        everything.CBInputEncoding = {encoding, kTidyEncodingNames[encoding]};
        everything.CBOutputEncoding = {encoding, kTidyEncodingNames[encoding]};
        EXPECT_EQ(CheckResolvedOptions(ResolveOptions(everything)), QString());
    }
    everything.EditMute = QStringLiteral("MISSING_DOCTYPE TRIM_EMPTY_ELEMENT,MISSING_DOCTYPE");
    EXPECT_EQ(CheckResolvedOptions(ResolveOptions(everything)), QString());
    EXPECT_EQ(CheckResolvedOptions(ResolveOptions(TidyOptionSet{})), QString());
    EXPECT_EQ(CheckResolvedOptions({}), QString());
}

TEST(TidyOptionCheck, OptionsOutsideTheSetAndMalformedValuesAreRefused) {
    using Step = TidyOptionStep;
    const QList<ResolvedTidyOptions> refused = {
        {Step::Text(TidyDoctype, "strict")}, // not an option the program sets
        {Step::Flag(TidyXhtmlOut, true)},    // idem
        {Step::Number(TidyMakeBare, 2)},     // a flag that is not 0 or 1
        {Step::Number(TidyMakeBare, -1)},
        {Step::Text(TidyMakeBare, "yes")}, // a flag given as text
        {Step::Number(TidyWrapLen, -5)},   // negative width
        {Step::Number(TidyTabSize, 0)},    // outside the list 1 to 8
        {Step::Number(TidyTabSize, 9)},
        {Step::Text(TidyInCharEncoding, "utf16")}, // not in the encoding list
        {Step::Text(TidyOutCharEncoding, "UTF8")},
        {Step::Text(TidyOutCharEncoding, QByteArray("raw\0x", 5))},
        {Step::Number(TidyInCharEncoding, 2)}, // an encoding by number
        {Step::Text(TidyAltText, QByteArray("a\0b", 3))},
        {Step::Text(TidyAltText, "\xff\xfe")},                             // not UTF-8
        {Step::Flag(TidyMakeBare, true), Step::Flag(TidyMakeBare, false)}, // twice
        {Step::Text(TidyMuteReports, "NO_SUCH_KEY")},      // a key the library does not have
        {Step::Text(TidyMuteReports, "STRING_NO_ERRORS")}, // dialogue: not a report message
        {Step::Text(TidyMuteReports, "MISSING_DOCTYPE,")},
        {Step::Number(TidyMuteReports, 1)},
    };
    // Options are named as the library's documentation names them, never by number.
    const QRegularExpression number(QStringLiteral("option \\d|\\d+ is"));
    for (const ResolvedTidyOptions& options : refused) {
        const QString reason = CheckResolvedOptions(options);
        EXPECT_FALSE(reason.isEmpty())
            << int(options.first().option) << " " << options.first().number;
        EXPECT_FALSE(reason.contains(number)) << reason.toStdString();
    }
    EXPECT_EQ(CheckResolvedOptions({Step::Text(TidyAltText, "\xff")}),
              QStringLiteral("the option \"alt-text\" is not valid UTF-8 text"));
    Step flagWithText = Step::Flag(TidyMakeBare, true);
    flagWithText.text = "1";
    EXPECT_FALSE(CheckResolvedOptions({flagWithText}).isEmpty());
}
