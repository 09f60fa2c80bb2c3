#include "engine/EngineProtocol.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr char kMagic[4] = {'K', 'V', 'E', 'N'};

qsizetype PayloadLimit(EngineFrameKind kind) {
    switch (kind) {
    case EngineFrameKind::Request:
    case EngineFrameKind::Result:
        return kMaxEngineDocumentPayload;
    case EngineFrameKind::Hello:
    case EngineFrameKind::Refused:
        return kMaxEngineSmallPayload;
    }
    return -1;
}

void PutHeader(char* at, EngineFrameKind kind, quint32 length) {
    std::memcpy(at, kMagic, 4);
    qToBigEndian<quint16>(kEngineProtocolVersion, at + 4);
    at[6] = char(kind);
    at[7] = 0;
    qToBigEndian<quint32>(length, at + 8);
}

class Writer {
public:
    explicit Writer(QByteArray& out) : m_out(out) {}
    void u8(quint8 value) { m_out.append(char(value)); }
    void i32(qint32 value) { u32(quint32(value)); }
    void u32(quint32 value) {
        char bytes[4];
        qToBigEndian<quint32>(value, bytes);
        m_out.append(bytes, 4);
    }
    void u64(quint64 value) {
        char bytes[8];
        qToBigEndian<quint64>(value, bytes);
        m_out.append(bytes, 8);
    }
    void bytes(QByteArrayView data) {
        u32(quint32(data.size()));
        m_out.append(data.data(), data.size());
    }

private:
    QByteArray& m_out;
};

// Every read checks what is left; after the first failure all reads fail.
class Reader {
public:
    explicit Reader(QByteArrayView data) : m_data(data) {}
    bool ok() const { return m_ok; }
    bool atEnd() const { return m_pos == m_data.size(); }
    qsizetype left() const { return m_data.size() - m_pos; }

    quint8 u8() {
        if (!need(1))
            return 0;
        return quint8(m_data[m_pos++]);
    }
    quint32 u32() {
        if (!need(4))
            return 0;
        const quint32 value = qFromBigEndian<quint32>(m_data.data() + m_pos);
        m_pos += 4;
        return value;
    }
    qint32 i32() { return qint32(u32()); }
    quint64 u64() {
        if (!need(8))
            return 0;
        const quint64 value = qFromBigEndian<quint64>(m_data.data() + m_pos);
        m_pos += 8;
        return value;
    }
    QByteArray bytes(qsizetype limit) {
        const quint32 size = u32();
        if (!m_ok || qsizetype(size) > limit || !need(qsizetype(size)))
            return fail(), QByteArray();
        QByteArray value(m_data.data() + m_pos, qsizetype(size));
        m_pos += qsizetype(size);
        return value;
    }
    void fail() { m_ok = false; }

private:
    bool need(qsizetype count) {
        if (m_ok && left() >= count)
            return true;
        m_ok = false;
        return false;
    }

    QByteArrayView m_data;
    qsizetype m_pos = 0;
    bool m_ok = true;
};

// Reserves the header, lets `body` write the payload, then fills in the header.
template <typename Body>
QByteArray BuildFrame(EngineFrameKind kind, qsizetype sizeHint, Body body) {
    QByteArray frame;
    frame.reserve(kEngineFrameHeaderSize + sizeHint);
    frame.resize(kEngineFrameHeaderSize);
    Writer writer(frame);
    body(writer);
    PutHeader(frame.data(), kind, quint32(frame.size() - kEngineFrameHeaderSize));
    return frame;
}

// Smallest encoded sizes, which bound how many elements a count can honestly announce.
constexpr qsizetype kMinStepSize = 4 + 1 + 4 + 4;
constexpr qsizetype kMinReportSize = 4 + 4 + 4 + 4 + 4 + 1;

} // namespace

QByteArray EncodeEngineFrame(EngineFrameKind kind, QByteArrayView payload) {
    QByteArray frame(kEngineFrameHeaderSize + payload.size(), Qt::Uninitialized);
    PutHeader(frame.data(), kind, quint32(payload.size()));
    if (!payload.isEmpty())
        std::memcpy(frame.data() + kEngineFrameHeaderSize, payload.data(), size_t(payload.size()));
    return frame;
}

void EngineFrameReader::append(QByteArrayView bytes) {
    if (!m_error.isEmpty())
        return;
    // Drop what was taken before growing, so the buffer holds at most one frame and a bit.
    if (m_start > 0 && (m_start == m_buffer.size() || m_start >= 64 * 1024)) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes.data(), bytes.size());
}

EngineFrameReader::Status EngineFrameReader::next(EngineFrame& frame) {
    if (!m_error.isEmpty())
        return Status::Corrupt;
    const qsizetype available = m_buffer.size() - m_start;
    const char* head = m_buffer.constData() + m_start;
    // A wrong magic shows as soon as its bytes are there, not only once a whole header is.
    const qsizetype magicBytes = std::min<qsizetype>(available, 4);
    if (std::memcmp(head, kMagic, size_t(magicBytes)) != 0)
        return corrupt(QStringLiteral("bad magic"));
    if (available < kEngineFrameHeaderSize)
        return Status::NeedMore;

    const quint16 version = qFromBigEndian<quint16>(head + 4);
    if (version != kEngineProtocolVersion) {
        const Status status = corrupt(QStringLiteral("unsupported version %1").arg(version));
        m_peerVersion = version;
        return status;
    }
    const quint8 kindByte = quint8(head[6]);
    if (kindByte < quint8(EngineFrameKind::Hello) || kindByte > quint8(EngineFrameKind::Refused))
        return corrupt(QStringLiteral("unknown frame kind %1").arg(kindByte));
    if (head[7] != 0)
        return corrupt(QStringLiteral("reserved header byte is not zero"));
    const EngineFrameKind kind = EngineFrameKind(kindByte);
    const quint32 length = qFromBigEndian<quint32>(head + 8);
    if (qint64(length) > qint64(PayloadLimit(kind)))
        return corrupt(QStringLiteral("payload of %1 bytes is over the limit").arg(length));
    if (available - kEngineFrameHeaderSize < qsizetype(length))
        return Status::NeedMore;

    frame.kind = kind;
    const qsizetype end = m_start + kEngineFrameHeaderSize + qsizetype(length);
    if (m_start == 0 && end == m_buffer.size()) {
        // The buffer is exactly this frame (the usual case for a large document): hand its
        // memory over instead of holding a second copy.
        frame.payload = std::move(m_buffer);
        frame.payload.remove(0, kEngineFrameHeaderSize);
        m_buffer = QByteArray();
        m_start = 0;
        return Status::Frame;
    }
    frame.payload = QByteArray(head + kEngineFrameHeaderSize, qsizetype(length));
    m_start = end;
    if (m_start == m_buffer.size()) {
        m_buffer = QByteArray();
        m_start = 0;
    }
    return Status::Frame;
}

EngineFrameReader::Status EngineFrameReader::corrupt(QString reason) {
    m_error = std::move(reason);
    m_buffer.clear();
    m_start = 0;
    return Status::Corrupt;
}

QList<QByteArray> EncodeTidyRequestPieces(const TidyRequest& request, qint64 memoryBudget) {
    QByteArray head;
    head.reserve(kEngineFrameHeaderSize + 64 * request.options.size() + 8);
    head.resize(kEngineFrameHeaderSize);
    Writer out(head);
    out.u32(quint32(request.options.size()));
    for (const TidyOptionStep& step : request.options) {
        out.i32(qint32(step.option));
        out.u8(quint8(step.kind));
        out.i32(step.number);
        out.bytes(step.text);
    }
    out.u32(quint32(request.document.size())); // the document's length; its bytes follow
    QByteArray tail;
    Writer end(tail);
    end.u64(quint64(std::max<qint64>(memoryBudget, 0)));
    end.u8(quint8(request.mode));
    PutHeader(
        head.data(), EngineFrameKind::Request,
        quint32(head.size() - kEngineFrameHeaderSize + request.document.size() + tail.size()));
    return {head, request.document, tail};
}

QByteArray EncodeTidyRequestFrame(const TidyRequest& request, qint64 memoryBudget) {
    const QList<QByteArray> pieces = EncodeTidyRequestPieces(request, memoryBudget);
    return pieces[0] + pieces[1] + pieces[2];
}

bool DecodeTidyRequest(QByteArrayView payload, TidyRequest& out, qint64* memoryBudget) {
    Reader in(payload);
    TidyRequest request;
    const quint32 count = in.u32();
    if (!in.ok() || count > quint32(kMaxEngineOptionSteps) ||
        qsizetype(count) * kMinStepSize > in.left())
        return false;
    request.options.reserve(qsizetype(count));
    for (quint32 i = 0; i < count && in.ok(); ++i) {
        TidyOptionStep step;
        const qint32 option = in.i32();
        const quint8 kind = in.u8();
        step.number = in.i32();
        step.text = in.bytes(kMaxEngineTextField);
        // Checked before the casts: a value outside the enumeration must never be held in it.
        if (option <= TidyUnknownOption || option >= N_TIDY_OPTIONS ||
            kind > quint8(TidyOptionStep::Kind::Text)) {
            in.fail();
            break;
        }
        step.option = TidyOptionId(option);
        step.kind = TidyOptionStep::Kind(kind);
        request.options.append(std::move(step));
    }
    request.document = in.bytes(kMaxEngineDocumentPayload);
    const quint64 budget = in.u64();
    const quint8 mode = in.u8();
    if (!in.ok() || !in.atEnd() || budget > quint64(std::numeric_limits<qint64>::max()) ||
        mode > quint8(TidyRequest::Mode::CheckOutput))
        return false;
    request.mode = TidyRequest::Mode(mode);
    out = std::move(request);
    if (memoryBudget)
        *memoryBudget = qint64(budget);
    return true;
}

QByteArray EncodeTidyResultFrame(const TidyResult& result) {
    qsizetype hint = result.output.size() + 16;
    for (const TidyReport& report : result.reports)
        hint += kMinReportSize + report.text.size() + report.key.size();
    return BuildFrame(EngineFrameKind::Result, hint, [&](Writer& out) {
        out.u8(quint8(result.status));
        out.bytes(result.output);
        out.u32(quint32(result.reports.size()));
        for (const TidyReport& report : result.reports) {
            out.i32(report.level);
            out.i32(report.line);
            out.i32(report.column);
            out.bytes(QByteArrayView(report.text)
                          .first(std::min<qsizetype>(report.text.size(), kMaxEngineTextField)));
            out.bytes(QByteArrayView(report.key)
                          .first(std::min<qsizetype>(report.key.size(), kMaxEngineMessageKey)));
            out.u8(report.muted ? 1 : 0);
        }
    });
}

bool DecodeTidyResult(QByteArrayView payload, TidyResult& out) {
    Reader in(payload);
    TidyResult result;
    const quint8 status = in.u8();
    if (status > quint8(TidyRunStatus::Failed))
        return false;
    result.status = TidyRunStatus(status);
    result.output = in.bytes(kMaxEngineDocumentPayload);
    const quint32 count = in.u32();
    if (!in.ok() || qsizetype(count) * kMinReportSize > in.left())
        return false;
    result.reports.reserve(qsizetype(count));
    for (quint32 i = 0; i < count && in.ok(); ++i) {
        TidyReport report;
        report.level = in.i32();
        report.line = in.i32();
        report.column = in.i32();
        report.text = in.bytes(kMaxEngineTextField);
        report.key = in.bytes(kMaxEngineMessageKey);
        const quint8 muted = in.u8();
        if (muted > 1)
            in.fail();
        report.muted = muted == 1;
        result.reports.append(std::move(report));
    }
    if (!in.ok() || !in.atEnd())
        return false;
    out = std::move(result);
    return true;
}
