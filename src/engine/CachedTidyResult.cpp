#include "engine/CachedTidyResult.h"

#include "engine/EngineProtocol.h"

#include <QtEndian>

namespace {

// Raised whenever what is stored changes in a way the protocol's version does not show.
constexpr quint32 kCacheFormatVersion = 1;

constexpr quint8 kOutputKnown = 1;
constexpr qsizetype kFixedSize = 1 + 16 + 8; // flags, output digest, output size

} // namespace

QByteArray EncodeCachedResult(const CachedTidyResult& result) {
    TidyResult plain;
    plain.status = result.status;
    plain.reports = result.reports;
    const QByteArray frame = EncodeTidyResultFrame(plain);
    QByteArray bytes;
    bytes.reserve(kFixedSize + frame.size() - kEngineFrameHeaderSize);
    bytes.append(char(result.output ? kOutputKnown : 0));
    bytes.append(result.output.value_or(KeyedDigest{}).Bytes());
    char size[8];
    qToLittleEndian<qint64>(result.output ? result.outputSize : 0, size);
    bytes.append(size, sizeof size);
    bytes.append(QByteArrayView(frame).sliced(kEngineFrameHeaderSize));
    return bytes;
}

bool DecodeCachedResult(QByteArrayView bytes, CachedTidyResult& out) {
    if (bytes.size() < kFixedSize)
        return false;
    const quint8 flags = quint8(bytes[0]);
    if ((flags & ~kOutputKnown) != 0)
        return false;
    KeyedDigest digest;
    KeyedDigest::FromBytes(bytes.sliced(1, 16), digest);
    const qint64 size = qFromLittleEndian<qint64>(bytes.data() + 17);
    TidyResult plain;
    if (size < 0 || !DecodeTidyResult(bytes.sliced(kFixedSize), plain) || !plain.output.isEmpty())
        return false;
    CachedTidyResult result;
    result.status = plain.status;
    result.reports = std::move(plain.reports);
    if (flags & kOutputKnown) {
        result.output = digest;
        result.outputSize = size;
    } else if (size != 0 || digest != KeyedDigest{}) {
        return false;
    }
    out = std::move(result);
    return true;
}

QByteArray CachedResultFormat() {
    TidyResult sample;
    sample.status = TidyRunStatus::Completed;
    TidyReport report; // by member: a field added later keeps its default here
    report.level = TidyWarning;
    report.line = 12;
    report.column = 34;
    report.text = QByteArrayLiteral("sample");
    sample.reports.append(report);
    QByteArray format = QByteArrayLiteral("kelvane-result-cache");
    char numbers[4 * 4];
    qToLittleEndian<quint32>(kCacheFormatVersion, numbers);
    qToLittleEndian<quint32>(kEngineProtocolVersion, numbers + 4);
    qToLittleEndian<quint32>(quint32(sizeof(TidyReport)), numbers + 8);
    qToLittleEndian<quint32>(quint32(sizeof(TidyResult)), numbers + 12);
    format.append(numbers, sizeof numbers);
    format.append(EncodeTidyResultFrame(sample));
    return format;
}
