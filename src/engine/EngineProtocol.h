#pragma once
// The pipe protocol between the program and its HTML Tidy helper processes (kelvane-engine).
//
// Every message is a frame: a 12-byte header (the magic "KVEN", a 16-bit version, a kind byte,
// a zero byte, a 32-bit payload length, all big-endian) followed by exactly that many payload
// bytes. A frame with a wrong magic, version or kind, a length above the kind's limit, or a
// payload that does not decode to exactly its length is corrupt, and the stream is given up:
// neither side tries to resynchronise with a peer that has sent garbage. Readers never trust a
// length or a count further than the bytes actually at hand.
//
// The helper sends Hello once when it is ready, then answers each Request with one Result (or
// Refused when the request names options that may not be set). Nothing else crosses. A request
// carries, after its document, the memory budget of that document (see TidyProcessPool.h) and
// its mode (TidyRequest::Mode).

#include "engine/TidyRequest.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

enum class EngineFrameKind : quint8 {
    Hello = 1,   // helper to program, once, before anything else
    Request = 2, // program to helper: resolved options and one document
    Result = 3,  // helper to program: the answer to the request in hand
    Refused = 4, // helper to program: the request's options were refused; payload is the reason
};

// 4: each report carries its message key and whether it was muted.
// 5: a request may ask only for the check of a text (CheckOutput).
inline constexpr quint16 kEngineProtocolVersion = 5;
inline constexpr qsizetype kEngineFrameHeaderSize = 12;
// Requests and results: far beyond any page, well below what a QByteArray can hold.
inline constexpr qsizetype kMaxEngineDocumentPayload = qsizetype(1) << 30;
inline constexpr qsizetype kMaxEngineSmallPayload = 64 * 1024; // Hello and Refused
inline constexpr qsizetype kMaxEngineTextField = 64 * 1024;    // option texts, report texts
inline constexpr qsizetype kMaxEngineMessageKey = 128;         // the library's longest is ~40
inline constexpr int kMaxEngineOptionSteps = 256;

// How a helper process ends, so that the program can tell why a document was lost.
enum EngineHelperExit : int {
    kEngineExitClean = 0,        // the program closed the pipe between requests
    kEngineExitUsage = 64,       // bad command-line arguments
    kEngineExitProtocol = 65,    // the program sent something malformed
    kEngineExitOutOfMemory = 66, // an allocation failed under the memory limit
    kEngineExitNotReady = 67,    // could not set itself up (limits, the large-stack thread)
};

struct EngineFrame {
    EngineFrameKind kind = EngineFrameKind::Hello;
    QByteArray payload;
};

// A whole frame; `payload` must not exceed the kind's limit (checked by the caller).
QByteArray EncodeEngineFrame(EngineFrameKind kind, QByteArrayView payload);

// Frames the bytes of a stream as they arrive. After Corrupt every later call answers Corrupt.
// A frame of another protocol version is corrupt too; peerVersion() then says which version
// the peer speaks (a helper left from another build), 0 otherwise.
class EngineFrameReader {
public:
    enum class Status { NeedMore, Frame, Corrupt };

    void append(QByteArrayView bytes);
    // Takes the next complete frame out of the buffer.
    Status next(EngineFrame& frame);
    // True when no partial frame is buffered: the only state in which end of stream is clean.
    bool isEmpty() const { return m_buffer.size() == m_start; }
    // Why the stream was found corrupt (for logs and tests; not shown to users).
    const QString& error() const { return m_error; }
    quint16 peerVersion() const { return m_peerVersion; }

private:
    Status corrupt(QString reason);

    QByteArray m_buffer;
    qsizetype m_start = 0; // bytes before this were already taken
    QString m_error;
    quint16 m_peerVersion = 0;
};

// Request and result payloads. Decoding answers false, leaving `out` untouched, for anything
// malformed: short or over-long fields, a count larger than the bytes that follow, an option
// id the library does not have, an unknown kind or status, bytes left over at the end.
// `memoryBudget` is the address space in bytes that the helper may take for this request beyond
// what it holds when the request arrives; 0 for no limit of the request's own.
QByteArray EncodeTidyRequestFrame(const TidyRequest& request, qint64 memoryBudget = 0);
// The same frame as the pieces that, one after the other, make it up: the document's bytes are
// one of them, shared with the request rather than copied.
QList<QByteArray> EncodeTidyRequestPieces(const TidyRequest& request, qint64 memoryBudget = 0);
bool DecodeTidyRequest(QByteArrayView payload, TidyRequest& out, qint64* memoryBudget = nullptr);
QByteArray EncodeTidyResultFrame(const TidyResult& result);
bool DecodeTidyResult(QByteArrayView payload, TidyResult& out);
